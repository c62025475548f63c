// HelperMoveLedger: the helper daemon's memory of every item it moved into a user's Trash, so
// that a put-back is honoured only for an item the daemon moved itself for the same account.
//
// The ledger is a list of HelperMoveRecord in the order they were added, held in memory and
// saved whole after every change to "Moves.plist" (a binary property list, an array of record
// dictionaries) in its folder, with one inventory file per record in the folder "Inventories"
// beside it, named by the record id's canonical text and ".inventory". It bounds itself: records
// older than 30 days by its clock go, and it never holds more than 5,000 records of one account
// (as many as one request may move; that account's most recently added stay, so one account's
// moves never push out another's); a record's inventory file goes with it. Folders it makes are
// 0700 and files 0600 (see HelperStateFiles.h); writes are atomic, so a reader sees the old
// ledger or the new one.
//
// Every change is saved at once, so a daemon killed at any point loses nothing, but flushed to
// disk only by commit(): the daemon commits once per request, before it replies, so the records
// of what a reply says was moved are on the disk when the app reads them. Until then the ledger
// of the last commit stays on the disk beside "Moves.plist" as "Moves.plist.committed" (a second
// name of that file, made at the first change after a commit), and a "Moves.plist" that can't be
// used at load (a power cut before the commit can leave it empty) gives way to it; a usable
// "Moves.plist" at load is flushed and makes the committed copy go.
//
// The file is read only by load(). A ledger that was read (or found missing) then removes what
// interrupted runs left in its folders: temporary files of atomic writes of "Moves.plist" or of
// inventories, and inventory files that no record names. Beside a file that cannot be read,
// inventories stay: its records may name them. That clean-up is housekeeping: what it cannot
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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "base/Result.h"
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
    static constexpr std::string_view kCommittedFileName = "Moves.plist.committed";
    static constexpr std::string_view kInventoriesFolderName = "Inventories";
    static constexpr std::string_view kInventoryExtension = ".inventory";
    static constexpr std::int64_t kMaximumAgeSeconds = 2'592'000; // 30 days
    static constexpr std::size_t kMaximumRecordsPerAccount = kHelperRequestItemLimit;

    // Loads the ledger of `directory` (see above). When loading pruned something, the folders
    // are made and the ledger saved and committed; a ledger that needed no pruning is not
    // rewritten. Fails with the errno when "Moves.plist" cannot be read for a reason other than
    // its absence or its content, or when the pruned ledger cannot be saved. `clock` must
    // outlive the ledger.
    static Result<HelperMoveLedger>
    load(platform::MacPath directory,
         const platform::Clock& clock = platform::SystemClock::shared());

    HelperMoveLedger(HelperMoveLedger&&) = default;
    HelperMoveLedger& operator=(HelperMoveLedger&&) = default;
    HelperMoveLedger(const HelperMoveLedger&) = delete;
    HelperMoveLedger& operator=(const HelperMoveLedger&) = delete;

    const platform::MacPath& directory() const { return m_directory; }
    // The records, oldest first.
    const std::vector<HelperMoveRecord>& records() const { return m_records; }
    platform::Clock::TimePoint now() const { return m_clock->now(); }

    // The most recently added record of `uid` whose trash path is exactly `trashPath` (the
    // caller normalises it first); none when there is none. Reads no file.
    std::optional<HelperMoveRecord> record(std::string_view trashPath, uid_t uid) const;

    // Adds `record` with its inventory: records of the same uid and trash path are dropped with
    // their inventory files, the inventory file is written (the record is not added when that
    // fails), the record appended, the ledger pruned and saved. Fails when "Moves.plist" was not
    // saved (ErrorCode::invalidArgument for a record that cannot be encoded, else the errno).
    Result<void> add(HelperMoveRecord record, const HelperItemInventory& inventory);

    // Drops every record with `id`, deletes that id's inventory file (whether or not a record
    // matched) and saves. Fails when "Moves.plist" was not saved.
    Result<void> remove(const platform::UUID& id);
    // The same for several ids at once, with one save.
    Result<void> remove(const std::vector<platform::UUID>& ids);

    // Flushes to disk what was saved since the last commit ("Moves.plist", the inventory files
    // written and the names made or deleted), then lets the committed copy go; closes the
    // folders kept open since. Nothing to flush: nothing happens. On failure the committed copy
    // stays and the next commit flushes again.
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
    // Erases the records `erase` picks, with their encoded forms; true when any went.
    template <typename Predicate>
    bool eraseRecordsIf(Predicate&& erase);
    Result<void> prepareDirectories() const;
    void removeInventory(const platform::UUID& id) const;
    void removeLeftovers() const;
    Result<void> save();
    Result<void> keepUnreadableLedgerAside();
    Result<void> keepCommittedCopy();
    // Flushes the state folder's entries and, when `ledger`, "Moves.plist" itself.
    Result<void> flushLedger(bool ledger);

    platform::MacPath m_directory;
    // The state folder, its inventories and its journal, open from first use to the next commit.
    mutable HelperStateFiles::Folder m_folder;
    mutable HelperStateFiles::Folder m_inventories;
    std::shared_ptr<HelperStateFiles::Folder> m_staging;
    std::vector<HelperMoveRecord> m_records;
    // Each record's property-list form, in step with m_records, so a save encodes no record
    // again; and the rest of the file, whose buffers each save reuses.
    std::vector<platform::EncodedPlistItem> m_encoded;
    platform::BinaryPlistScratch m_scratch;
    const platform::Clock* m_clock;
    // "Moves.plist" exists but could not be read or decoded, and has not been kept aside yet.
    bool m_unreadableLedgerOnDisk = false;
    // "Moves.plist.committed" holds the ledger of the last commit.
    bool m_committedCopyKept = false;
    // Saved since the last commit: "Moves.plist", and the inventory files written.
    bool m_ledgerUnflushed = false;
    std::vector<std::string> m_unflushedInventories;
};

} // namespace veldo::common
