// HelperMoveLedger: the helper daemon's memory of every item it moved into a user's Trash, so
// that a put-back is honoured only for an item the daemon moved itself for the same account.
//
// The ledger is a list of HelperMoveRecord in the order they were added, held in memory. On the
// disk it is "Moves.plist" (a binary property list, an array of record dictionaries) in its folder
// and, beside it, "Moves.changes": the changes made since that file was written, one entry
// appended per change, so that a change costs the same whatever the ledger holds. Every
// kMinimumChangesBeforeCompaction changes or more (as many as the ledger holds records, when that
// is more) the ledger is written whole again with an empty list of changes, flushed to disk; so
// is it when the changes on the disk can't be used (missing, damaged, or not those of the
// "Moves.plist" there: the list names the SHA-256 of the file it follows). One inventory file per
// record lies in the folder "Inventories" beside them, named by the record id's canonical text
// and ".inventory". It bounds itself: records older than 30 days by its clock go, and it never
// holds more than 5,000 records of one account (as many as one request may move, and one cleanup
// may give the helper; that account's most recently added stay, so one account's moves never push
// out another's); a record's inventory file goes with it. Folders it makes are 0700 and files 0600
// (see HelperStateFiles.h); the whole files are written atomically, so a reader sees the old
// ledger or the new one, and an entry of the changes counts only when it is whole (its length and
// digest check), so an append cut off in the middle reads as not made.
//
// Every change is saved at once, so a daemon killed at any point loses nothing, but flushed to
// disk only by commit(): the daemon commits once per request, before it replies, so the records
// of what a reply says was moved are on the disk when the app reads them. A power cut before a
// commit loses at most the changes appended since; a "Moves.plist.committed" that an earlier
// build left (the ledger of its last commit) still stands in for a "Moves.plist" that can't be
// used at load, and goes once a usable one was flushed.
//
// The files are read only by load(). A ledger that was read (or found missing) then removes what
// interrupted runs left in its folders: temporary files of atomic writes of "Moves.plist", of its
// changes or of inventories, and inventory files that no record names. Beside a file that cannot be
// read, inventories stay: its records may name them. That clean-up is housekeeping: what it cannot
// remove stays for the next load and fails nothing.
//
// A "Moves.plist" that exists but is no ledger this daemon wrote (too large, a link, not a regular
// file, not parsed or decoded: one damaged record is enough) gives an empty ledger and is left
// untouched at load; before the ledger first overwrites it, the file is renamed aside to
// "Moves.plist.unreadable-<UTC date and time>" so that the proof of earlier moves is kept for a
// person to look at. When it cannot be kept aside, nothing is saved.
//
// Nothing throws or logs: load, add and remove answer their failure, for the daemon to log. Not
// thread-safe: the daemon uses it under its work lock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "base/Result.h"
#include "base/UniqueFd.h"
#include "common/HelperItemInventory.h"
#include "common/HelperMoveRecord.h"
#include "common/HelperStagingJournal.h"
#include "common/HelperStateFiles.h"
#include "common/VeldoHelperProtocol.h"
#include "platform/Clock.h"
#include "platform/MacPath.h"
#include "platform/PropertyList.h"
#include "platform/UUID.h"

namespace veldo::common {

// The helper daemon's state folder (a Mac path): ledger, inventories, staging journal.
inline constexpr std::string_view kStateDirectoryPath = "/private/var/db/orbelkan.Veldo.Helper";
inline platform::MacPath stateDirectoryURL()
{
    return platform::MacPath(kStateDirectoryPath);
}

class HelperMoveLedger final
{
public:
    static constexpr std::string_view kLedgerFileName = "Moves.plist";
    static constexpr std::string_view kChangesFileName = "Moves.changes";
    static constexpr std::string_view kCommittedFileName = "Moves.plist.committed";
    static constexpr std::string_view kInventoriesFolderName = "Inventories";
    static constexpr std::string_view kInventoryExtension = ".inventory";
    static constexpr std::int64_t kMaximumAgeSeconds = 2'592'000; // 30 days
    static constexpr std::size_t kMaximumRecordsPerAccount = kHelperRequestItemLimit;
    static constexpr std::size_t kMinimumChangesBeforeCompaction = 1024;

    // Loads the ledger of `directory` (see above): "Moves.plist" and the changes made since. When
    // loading pruned something, the folders are made and the change saved and committed; a
    // ledger that needed no pruning is not written. Fails with the errno when "Moves.plist" cannot
    // be read for a reason other than its absence or its content, when "Moves.changes" is there
    // but cannot be read, or when the pruned ledger cannot be saved. `clock` must outlive the
    // ledger.
    static Result<HelperMoveLedger>
    load(platform::MacPath directory,
         const platform::Clock& clock = platform::SystemClock::shared());

    HelperMoveLedger(HelperMoveLedger&&) = default;
    HelperMoveLedger& operator=(HelperMoveLedger&&) = default;
    HelperMoveLedger(const HelperMoveLedger&) = delete;
    HelperMoveLedger& operator=(const HelperMoveLedger&) = delete;

    const platform::MacPath& directory() const { return m_directory; }
    // The records, oldest first, valid until the next change.
    const std::vector<HelperMoveRecord>& records() const;
    platform::Clock::TimePoint now() const { return m_clock->now(); }

    // The most recently added record of `uid` whose trash path is exactly `trashPath` (the
    // caller normalises it first); none when there is none. Reads no file.
    std::optional<HelperMoveRecord> record(std::string_view trashPath, uid_t uid) const;

    // Adds `record` with its inventory: records of the same uid and trash path are dropped with
    // their inventory files, the inventory file is written (the record is not added when that
    // fails), the record appended, the ledger pruned and the change saved. Fails when the change
    // was not saved (ErrorCode::invalidArgument for a record that cannot be encoded, else the
    // errno); the next save that succeeds saves it too.
    Result<void> add(HelperMoveRecord record, const HelperItemInventory& inventory);

    // Drops every record with `id`, deletes that id's inventory file (whether or not a record
    // matched) and saves. Fails when the change was not saved.
    Result<void> remove(const platform::UUID& id);
    // The same for several ids at once, with one save.
    Result<void> remove(const std::vector<platform::UUID>& ids);

    // Flushes to disk what was saved since the last commit (the changes appended, the inventory
    // files written and the names made or deleted), then lets an earlier build's committed copy
    // go; closes the folders and files kept open since. Nothing to flush: nothing happens. On
    // failure the next commit flushes again.
    Result<void> commit();

    // The staging journal beside the ledger ("Staging" in its folder), whose folder stays open
    // from its first use to the next commit.
    HelperStagingJournal stagingJournal() const;

    // The folder of the inventory files, and the name of one record's file in it.
    platform::MacPath inventoriesDirectory() const;
    static std::string inventoryFileName(const platform::UUID& id);

private:
    HelperMoveLedger(platform::MacPath directory, const platform::Clock& clock);

    bool prune();
    // Takes a record with its encoded form as the newest; erases one (its id noted for the next
    // save, its inventory file left to the caller).
    void insertSlot(HelperMoveRecord record, platform::EncodedPlistItem encoded);
    void eraseSlot(std::uint64_t sequence);
    Result<void> prepareDirectories() const;
    void removeInventory(const platform::UUID& id) const;
    void removeLeftovers() const;
    // Saves the changes made since the last save: appended to "Moves.changes", or the ledger
    // written whole (compact()) when the changes on the disk can't be used or are many.
    Result<void> save();
    Result<void> compact();
    Result<void> appendChanges();
    // Takes the changes on the disk that follow the "Moves.plist" whose bytes are `ledgerBytes`.
    // Fails with the errno when "Moves.changes" exists but cannot be read.
    Result<void> replayChanges(std::string_view ledgerBytes);
    Result<void> keepUnreadableLedgerAside();
    // Flushes the state folder's entries and, when `ledger`, "Moves.plist" and the changes.
    Result<void> flushLedger(bool ledger);

    platform::MacPath m_directory;
    // The state folder, its inventories and its journal, open from first use to the next commit.
    mutable HelperStateFiles::Folder m_folder;
    mutable HelperStateFiles::Folder m_inventories;
    std::shared_ptr<HelperStateFiles::Folder> m_staging;
    // The records in ledger order (by the sequence number of their adding), each with its
    // property-list form, so a save encodes no record again; and the indexes that make an add, a
    // removal and a lookup cost the same whatever the ledger holds: by id, by account and Trash
    // path (several only in a file another run left so), by account, and by date.
    struct Slot
    {
        HelperMoveRecord record;
        platform::EncodedPlistItem encoded;
    };
    std::map<std::uint64_t, Slot> m_slots;
    std::uint64_t m_nextSequence = 0;
    std::map<platform::UUID, std::uint64_t> m_byID;
    std::map<std::pair<uid_t, std::string>, std::vector<std::uint64_t>> m_byPlace;
    std::map<uid_t, std::set<std::uint64_t>> m_byAccount;
    std::set<std::pair<platform::Clock::TimePoint, std::uint64_t>> m_byDate;
    // records() as last asked for; none after a change.
    mutable std::optional<std::vector<HelperMoveRecord>> m_recordsAsked;
    // The rest of the file, whose buffers each save reuses.
    platform::BinaryPlistScratch m_scratch;
    const platform::Clock* m_clock;
    // "Moves.plist" exists but could not be read or decoded, and has not been kept aside yet.
    bool m_unreadableLedgerOnDisk = false;
    // "Moves.plist.committed" (left by an earlier build) holds the ledger of its last commit.
    bool m_committedCopyKept = false;
    // Saved since the last commit: changes appended, and the inventory files written.
    bool m_ledgerUnflushed = false;
    std::vector<std::string> m_unflushedInventories;
    // The changes not saved yet: records added (in order) and ids of records that went.
    std::vector<HelperMoveRecord> m_addedSinceSave;
    std::vector<platform::UUID> m_removedSinceSave;
    // "Moves.changes" follows the "Moves.plist" on the disk and ends with a whole entry; how many
    // entries it holds; and the file, open for appending until the next commit.
    bool m_changesUsable = false;
    // What "Moves.changes" on the disk names: the digest of the "Moves.plist" it follows (empty:
    // none, or no file). None: not known (not read, or a write that failed).
    struct ChangesOnDisk
    {
        std::string follows;
    };
    std::optional<ChangesOnDisk> m_changesOnDisk;
    std::size_t m_changeEntries = 0;
    UniqueFd m_changes;
};

namespace testing {
// Called, when set, once the first half of an entry is appended to "Moves.changes" and before
// the rest (a test kills the process there); none: nothing. Not thread-safe.
void setChangeAppendHook(std::function<void()> hook);
// Called, when set, once "Moves.plist" is written whole and before its new list of changes is;
// none: nothing. Not thread-safe.
void setLedgerRewriteHook(std::function<void()> hook);
} // namespace testing

} // namespace veldo::common
