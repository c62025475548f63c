// HelperTrashMover: moves items into one account's Trash for the helper daemon, as root, through a
// private staging folder in that Trash, and the pieces the move, the put-back and the start-up
// settlement share: opening the account's Trash, the sealed-folder test, releasing a staged item
// under a free name, closing a staging folder, the sentences of failed system calls, and how a
// folder is opened and a normalised path split.
//
// Every file operation works relative to descriptors opened beneath the helper's root without
// following a symbolic link; renames never replace (renameat2 with RENAME_NOREPLACE). A staging
// folder is ".Veldo Helper <UUID>" directly in the Trash, root-owned, mode 0700, without ACL
// entries, holding at most the entry "item"; no item is ever given a name in the Trash that
// begins with that prefix (in any letter case).
//
// A mover is made for one request (or one settlement) and used on one thread; it keeps no state
// between calls besides its configuration. Blocking: all calls do file-system work; moveItems also
// runs launchctl through `launchctl`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>

#include "common/HelperFileAccess.h"
#include "common/HelperItemInventory.h"
#include "common/HelperMoveLedger.h"
#include "common/HelperStagingJournal.h"
#include "common/HelperStagingRecord.h"
#include "common/HelperVolumeStamp.h"
#include "common/SharedDescriptor.h"
#include "common/VeldoHelperItemResult.h"
#include "helper/HelperCaller.h"
#include "platform/MacPath.h"

namespace veldo::helper {

using common::HelperStat;
using common::SharedDescriptor;

class HelperLog;

struct HelperTrashMover
{
    // A whole sentence for the user about the account's Trash.
    struct TrashError
    {
        std::string message;
    };

    // The open Trash, or why it could not be opened: a TrashError, or the errno of a failing call.
    struct OpenedTrash
    {
        std::optional<SharedDescriptor> trash;
        std::optional<TrashError> trashError;
        int errorCode = 0;
    };

    // One staging folder found in a Trash.
    struct Staging
    {
        SharedDescriptor folder;
        std::string name;    // rawName up to its first zero byte, UTF-8 repaired
        std::string rawName; // the directory entry's name as the file system returned it
        SharedDescriptor trash;

        static Staging make(SharedDescriptor folder, std::string rawName, SharedDescriptor trash);
    };

    // What the inventory walk decided (see buildInventory).
    struct InventoryOutcome
    {
        common::HelperItemInventory inventory;      // entries, isComplete; foldersGranted false
        std::optional<SharedDescriptor> itemFolder; // the open item, for a directory
        bool handOver = false;
    };

    enum class OtherApps
    {
        none,
        found,
        couldNotCheck,
    };

    // What settling a journal record answers (see settleStagingRecord).
    enum class SettlementResult
    {
        settled,          // settled, or a record the daemon can't have written: drop it
        kept,             // the folder couldn't be emptied or searched, or another volume
        trashUnavailable, // the account's Trash couldn't be opened
    };

    // Where the search for a record's staging folder found it.
    struct FoundStaging
    {
        enum class Kind
        {
            byIdentity, // the recorded folder, under its recorded name or another in the Trash
            relocated,  // by its name across a remount, or by its identity elsewhere
            byName,     // no identity recorded: the folder under the recorded name
            none,       // proof that it is not there
            unknown,    // the search failed for a reason that proves nothing
        };
        Kind kind = Kind::none;
        std::optional<Staging> staging; // for the first three
    };

    // What one request finds out once for all its items: the mount table, and the volume stamp
    // of the Trash it last opened, by that Trash's identity.
    struct RequestFacts
    {
        common::HelperMountTable mounts;
        std::optional<common::HelperFileIdentity> trash;
        std::optional<common::HelperVolumeStamp> trashStamp;
    };

    HelperCaller caller;
    std::vector<platform::MacPath> protectedBundles;
    common::HelperMoveLedger* ledger = nullptr; // shared; outlives the mover
    std::function<void(const std::vector<std::string>&)> launchctl;
    int maximumDepth = 256;
    bool handsOverFoldersForTesting = false;
    std::function<bool()> isCancelled;
    // Shared by the copies of the mover; none: everything is asked afresh for each item.
    std::shared_ptr<RequestFacts> requestFacts;

    // The volume stamp of the open Trash (the one requestFacts keeps when it is that Trash).
    std::optional<common::HelperVolumeStamp> trashStamp(const SharedDescriptor& trash) const;
    // requestFacts' mount table, or none.
    common::HelperMountTable* mountTable() const;

    // The caller's home path as the mover records it: the standardised home normalised, or the
    // home's path as it is when normalisation refuses it.
    std::string homePath() const;

    // Opens the caller's "<home>/.Trash" (search-only, every component without following links).
    // A missing Trash, a link or a non-folder on the way: "Your Trash folder is missing or isn't
    // a normal folder."; not a folder of the caller's: "Your Trash folder doesn't belong to
    // you."; any other failure: its errno. Never creates the Trash.
    OpenedTrash openUserTrash() const;

    // Moves "item" of `folder` into `trash` under the first free name derived from `name`
    // (itself, "<stem> n.<ext>" for n = 2…100, then "<name> <UUID>"), where a name that is not
    // plain or begins with the staging prefix is replaced by "Recovered item". False when no
    // candidate could be used. Never throws.
    bool freeName(const std::string& name, const SharedDescriptor& folder,
                  const SharedDescriptor& trash) const;

    // Closes an operation's staging folder: removes it when empty, else releases its "item" into
    // the Trash under a free name first (with the Trash opened again when needed); the journal
    // record goes only when the folder is then gone or empty. Never deletes anything but an empty
    // staging folder.
    void finishStaging(const SharedDescriptor& folder, const SharedDescriptor& trash,
                       const std::string& stagingName,
                       const common::HelperStagingRecord& record) const;

    // Moves the item at `source` into the caller's Trash under the last component of
    // `destination` (or the next free numbered name), journaled, staged, inventoried and
    // recorded in the ledger. Never throws: every failure is the result.
    common::VeldoHelperItemResult moveItems(const std::string& source,
                                            const std::string& destination) const;

    // Puts the item at `trashPath` back to `originalPath` when the ledger recorded its move for
    // the caller and the item, its original folder and its tree are unchanged: journaled, staged,
    // verified against the inventory (folders get their recorded owners and modes back), renamed
    // into place, the ledger record removed. Any doubt leaves the item in the Trash, under its
    // name or a free variant, with its record. Never throws: every failure is the result.
    common::VeldoHelperItemResult restoreItems(const std::string& trashPath,
                                               const std::string& originalPath) const;

    // Settles one record of an operation that was cut off: the staging folder is found, a move
    // still in it goes back to its place when that folder is unchanged and the name is free,
    // anything else in it goes into the Trash under a free name; the folder is removed when
    // empty, and a launch daemon's property list found back at its place is bootstrapped. The
    // folders of a handed-over tree that an interrupted put-back gave back to their owners are
    // the caller's again before the tree goes into the Trash. A put-back whose item is back at
    // its place (its recorded identity in its recorded folder) loses its ledger record; the
    // records of every other item stay, also of one no longer in the Trash, whose Undo then says
    // so. Never throws.
    SettlementResult settleStagingRecord(const common::HelperStagingRecord& record) const;

    // Drops the ledger record of the put-back of `record`, whose item is back at its place
    // (logged in the "journal" category).
    void forgetPutBackItem(const common::HelperStagingRecord& record) const;

    // The record's staging folder in the open `trash` (with the Trash's volume stamp); the record
    // is already translated to the Trash's current mount.
    FoundStaging findStagingFolder(const common::HelperStagingRecord& record,
                                   const SharedDescriptor& trash,
                                   const std::optional<common::HelperVolumeStamp>& stamp) const;

    // The parent folder of `originalPath`, opened without following links, only when it is the
    // object `identity` (none without one).
    std::optional<SharedDescriptor>
    openOriginalParent(const std::string& originalPath,
                       const std::optional<common::HelperFileIdentity>& identity) const;

    // Renames "item" of `folder` to `originalPath` in its recorded parent, never replacing.
    bool
    returnToOriginalPlace(const SharedDescriptor& folder, const std::string& originalPath,
                          const std::optional<common::HelperFileIdentity>& parentIdentity) const;

    // For a put-back record whose staged folder tree was handed over at the move (ledger record
    // and inventory say so): every recorded folder of it back to the record's account, with
    // owner read, write and search; children first, results unchecked.
    void regrantInterruptedRestore(const common::HelperStagingRecord& record,
                                   const SharedDescriptor& folder) const;

    // The inventory of the staged "item" of `staging` whose status is `itemStat`, and whether its
    // folders are to be handed over; `parent` is the folder the item came from.
    InventoryOutcome buildInventory(const SharedDescriptor& staging, const HelperStat& itemStat,
                                    const SharedDescriptor& parent) const;

    // Gives every recorded folder of the tree to the caller (owner read, write and search added,
    // set-id bits removed); files keep their owners. Checks each folder against `inventory`.
    void handOverFolders(const SharedDescriptor& item,
                         const common::HelperItemInventory& inventory) const;

    // Whether the staged "item" folder holds an app bundle at its first or second level.
    OtherApps checkForOtherApps(const SharedDescriptor& staging) const;
};

// The inventory file the ledger keeps for record `id`; none when it can't be read or decoded.
std::optional<common::HelperItemInventory> readInventory(const common::HelperMoveLedger& ledger,
                                                         const platform::UUID& id);

// Whether the status `st` of the object at `relativePath` in a tree is the one `entry` recorded:
// path digest, owner, group, mode, compared flags and, for a non-folder, the link count.
bool inventoryEntryMatches(const common::HelperItemInventory::Entry& entry, const HelperStat& st,
                           std::string_view relativePath);

// Gives the open folder to `uid` and `gid`, its permissions `mode` less the set-id bits plus
// owner read, write and search: the hand-over of a moved tree's folders, and their regrant after a
// put-back that gave them back to their owners and then stopped. Its callers go on whatever the
// outcome; a failing call is logged to `log` (the folder may stay another account's in the Trash).
void grantFolder(const SharedDescriptor& folder, uid_t uid, gid_t gid, mode_t mode,
                 const HelperLog& log);

// Writes an operation's journal record; false when it wasn't written (or the fault point
// "journal.write" fails it). Unflushed while the record names no private folder yet (a power cut
// then leaves at most an empty folder of the helper's in the Trash), flushed once it names one,
// before the item moves, so that the record is on the disk whenever the item may lie in it.
bool writeStagingRecord(const common::HelperStagingJournal& journal,
                        const common::HelperStagingRecord& record);

// One rename attempt of "item" in `folder` to `name` in `to`, never replacing an entry.
bool moveStagedItem(const SharedDescriptor& folder, const SharedDescriptor& to,
                    const std::string& name);

// Whether `folder`, found in `trash`, is a staging folder the daemon made: a directory of the
// effective user, mode exactly 0700, on the Trash's device, without ACL entries (an unreadable ACL
// is not sealed). Any failure: false.
bool isSealedStagingFolder(const SharedDescriptor& folder, const SharedDescriptor& trash);

// How the mover opens a folder it reads or walks: for reading, never through a symbolic link,
// closed on exec.
inline constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The last component of a path as normalizePath spells it ("/a/b" gives "b"; "/" gives "").
std::string lastComponent(const std::string& normalized);

// The folder of a path as normalizePath spells it ("/a/b" gives "/a"; "/a" and "/" give "/").
std::string parentOf(const std::string& normalized);

// Whether a name begins with the staging prefix after canonical decomposition and case folding.
bool beginsWithStagingPrefix(std::string_view name);

// The sentence for a failed system call's errno, compared by name: EPERM/EACCES, EXDEV,
// ENOTDIR/ELOOP and EILSEQ have the move's own sentences, any other the system's text for it.
std::string trashFailureMessage(int err);

} // namespace veldo::helper
