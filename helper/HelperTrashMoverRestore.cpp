// The Trash mover's put-back of one item it moved earlier: only what the ledger recorded for this
// account, still the same object in the Trash, with the same original folder and a tree that
// matches its inventory; journaled and staged on the way, left in the Trash on any doubt.
#include <cerrno>
#include <map>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/HelperACL.h"
#include "common/HelperPathDigest.h"
#include "common/HelperPathRules.h"
#include "common/HelperStagingJournal.h"
#include "common/HelperStateFiles.h"
#include "common/HelperVolumeStamp.h"
#include "helper/HelperFaultPoints.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"
#include "platform/UUID.h"

namespace veldo::helper {

using common::HelperFileIdentity;
using common::HelperItemInventory;
using common::HelperPathDigest;
using common::VeldoHelperItemResult;
using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;

namespace {

constexpr std::size_t kMaximumInventoryBytes = std::size_t{1} << 30;

constexpr std::string_view kUnidentifiable =
    "Veldo can't safely identify this location, so it wasn't touched.";
constexpr std::string_view kNotMovedByHelper =
    "Veldo's helper didn't move this item, so putting it back needs your password.";
constexpr std::string_view kChanged =
    "It changed in the Trash since Veldo moved it, so Veldo won't put it back.";
constexpr std::string_view kStillInTrash = "It's still in the Trash; try Undo again.";
constexpr std::string_view kGone = "It's no longer in the Trash.";
constexpr std::string_view kFolderReplaced =
    "Its original folder was replaced since Veldo moved it, so Veldo won't put it back.";
constexpr std::string_view kOccupied = "Something new already exists at its original location.";
constexpr std::string_view kFolderGone = "Its original folder no longer exists.";
constexpr std::string_view kNoPrivateFolder =
    "Veldo's helper couldn't prepare a private folder in your Trash. It's still in the Trash; "
    "try Undo again.";
constexpr std::string_view kStopped =
    "Veldo's helper stopped while checking it; it is still in the Trash. Try Undo again.";

VeldoHelperItemResult answer(const std::string& trashPath, Outcome outcome,
                             std::optional<std::string_view> message = std::nullopt,
                             std::optional<Reason> reason = std::nullopt)
{
    VeldoHelperItemResult result;
    result.path = trashPath;
    result.outcome = outcome;
    if (message)
        result.message = std::string(*message);
    result.reason = reason;
    return result;
}

// A result whose sentence tells the user to try Undo again: the app keeps the point for that.
VeldoHelperItemResult retryLater(VeldoHelperItemResult result)
{
    result.retryable = true;
    return result;
}

// Device and inode, and the birth time where both sides know it: Linux hands a freed inode
// number to the next new file at once.
bool sameObject(const HelperStat& st, const HelperFileIdentity& identity)
{
    return st.identity() == identity;
}

// The state of one verification walk and its undo.
struct RestoreWalk
{
    const HelperTrashMover& mover;
    const HelperItemInventory& inventory;
    std::int64_t device;
    common::HelperFileSystemInfo fileSystem;
    std::set<std::uint64_t> seen;
    std::map<std::pair<std::int64_t, std::uint64_t>, std::uint16_t> handedBack;

    bool cancelled() const { return mover.isCancelled && mover.isCancelled(); }

    bool verify(const SharedDescriptor& folder, const std::string& path, int depth)
    {
        if (depth > mover.maximumDepth || cancelled())
            return false;
        auto st = common::statDescriptor(folder);
        if (!st || st->device != device || !common::isOnFileSystem(folder, fileSystem))
            return false;
        const auto found = inventory.entries.find(st->inode);
        if (found == inventory.entries.end())
            return false;
        const HelperItemInventory::Entry& entry = found->second;
        if (entry.pathHash != HelperPathDigest::of(path) || !S_ISDIR(entry.mode))
            return false;
        if (::fchown(folder.fd(), entry.uid, entry.gid) != 0 ||
            ::fchmod(folder.fd(), entry.mode & 07777) != 0)
            return false;
        const bool first = handedBack.empty();
        handedBack[{device, st->inode}] = entry.mode;
        if (first)
            faultPoint("restore.walking");
        if (inventory.foldersGranted) {
            (void)common::installEmptyACL(folder.fd());
            if (common::extendedACLState(folder.fd()) != false)
                return false;
        } else {
            const auto digest = common::aclDigest(folder.fd());
            if (!digest || *digest != entry.aclHash)
                return false;
        }
        auto again = common::statDescriptor(folder);
        if (!again || again->device != device || !inventoryEntryMatches(entry, *again, path))
            return false;
        if (!seen.insert(st->inode).second)
            return false;
        auto names = common::listDirectory(folder);
        if (!names)
            return false;
        for (const std::string& name : *names) {
            auto child = common::statEntry(folder, name);
            if (!child || !*child || (*child)->device != device)
                return false;
            const HelperStat& cs = **child;
            const std::string childPath = common::concatenateBytes(path, name);
            if (!cs.isDirectory()) {
                const auto ce = inventory.entries.find(cs.inode);
                if (ce == inventory.entries.end() ||
                    !inventoryEntryMatches(ce->second, cs, childPath) ||
                    !seen.insert(cs.inode).second)
                    return false;
                continue;
            }
            UniqueFd fd(::openat(folder.fd(), name.c_str(), kFolderFlags));
            if (!fd)
                return false;
            const SharedDescriptor childFolder(std::move(fd));
            auto opened = common::statDescriptor(childFolder);
            if (!opened || opened->identity() != cs.identity() ||
                !verify(childFolder, childPath, depth + 1))
                return false;
        }
        return true;
    }

    void regrant(const SharedDescriptor& folder, int depth) const
    {
        if (depth > mover.maximumDepth)
            return;
        auto st = common::statDescriptor(folder);
        if (!st)
            return;
        const auto saved = handedBack.find({st->device, st->inode});
        if (saved == handedBack.end())
            return;
        auto names = common::listDirectory(folder);
        for (const std::string& name : names ? *names : std::vector<std::string>{}) {
            auto child = common::statEntry(folder, name);
            if (!child || !*child || !(*child)->isDirectory() || (*child)->device != st->device ||
                !handedBack.contains({(*child)->device, (*child)->inode}))
                continue;
            UniqueFd fd(::openat(folder.fd(), name.c_str(), kFolderFlags));
            if (!fd)
                continue;
            const SharedDescriptor childFolder(std::move(fd));
            auto opened = common::statDescriptor(childFolder);
            if (!opened || opened->identity() != (*child)->identity() ||
                !common::isOnFileSystem(childFolder, fileSystem))
                continue;
            regrant(childFolder, depth + 1);
        }
        grantFolder(folder, mover.caller.uid, mover.caller.gid, saved->second, serviceLog());
    }
};

} // namespace

bool inventoryEntryMatches(const HelperItemInventory::Entry& entry, const HelperStat& st,
                           std::string_view relativePath)
{
    return entry.pathHash == HelperPathDigest::of(relativePath) && entry.uid == st.uid &&
           entry.gid == st.gid && entry.mode == static_cast<std::uint16_t>(st.mode) &&
           st.mode <= 0xffff && entry.flags == (st.flags & common::kComparedFlagsMask) &&
           (S_ISDIR(entry.mode) || entry.links == st.links);
}

std::optional<HelperItemInventory> readInventory(const common::HelperMoveLedger& ledger,
                                                 const platform::UUID& id)
{
    auto bytes = common::HelperStateFiles::read(ledger.inventoriesDirectory(),
                                                common::HelperMoveLedger::inventoryFileName(id),
                                                kMaximumInventoryBytes);
    if (!bytes)
        return std::nullopt;
    return HelperItemInventory::fromBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
}

VeldoHelperItemResult HelperTrashMover::restoreItems(const std::string& trashPath,
                                                     const std::string& originalPath) const
{
    // 1, 2: the location verdict and the one spelling of both paths.
    const common::LocationVerdict verdict =
        common::checkRestoreLocation(trashPath, originalPath, caller.home, protectedBundles);
    if (verdict.kind == common::LocationVerdict::Kind::refused)
        return answer(trashPath, Outcome::failed, verdict.message);
    if (verdict.kind == common::LocationVerdict::Kind::notManaged)
        return answer(trashPath, Outcome::notHandled, verdict.message, Reason::notManaged);
    const auto trashItem = common::normalizePath(trashPath);
    const auto original = common::normalizePath(originalPath);
    if (!trashItem || !original || *original == "/")
        return answer(trashPath, Outcome::failed, kUnidentifiable);

    // 3, 4: the ledger's record and the inventory written at the move.
    if (!ledger)
        return answer(trashPath, Outcome::notHandled, kNotMovedByHelper, Reason::notManaged);
    const auto moved = ledger->record(*trashItem, caller.uid);
    if (!moved || moved->originalPath != *original)
        return answer(trashPath, Outcome::notHandled, kNotMovedByHelper, Reason::notManaged);
    const auto inventory = readInventory(*ledger, moved->id);
    if (!inventory || !inventory->isComplete || !moved->parentIdentity || !moved->parentOwnerID)
        return answer(trashPath, Outcome::notHandled, kChanged, Reason::changed);

    // 5, 6: names, and the caller's Trash.
    const std::string trashName = lastComponent(*trashItem);
    const std::string originalName = lastComponent(*original);
    const OpenedTrash opened = openUserTrash();
    if (!opened.trash) {
        const std::string sentence = opened.trashError       ? opened.trashError->message
                                     : opened.errorCode != 0 ? trashFailureMessage(opened.errorCode)
                                                             : trashFailureMessage(EIO);
        return retryLater(answer(trashPath, Outcome::notHandled,
                                 sentence + " " + std::string(kStillInTrash), Reason::unsafePath));
    }
    const SharedDescriptor trash = *opened.trash;

    // 7-10: the item in the Trash, its original folder and name.
    auto stepError = [&](const Error& error) {
        const int code = error.systemErrno;
        if (code == ENOENT)
            return answer(trashPath, Outcome::failed, kFolderGone);
        if (code == EILSEQ)
            return answer(trashPath, Outcome::notHandled, kUnidentifiable, Reason::unsafePath);
        if (code != 0)
            return answer(trashPath, Outcome::notHandled, trashFailureMessage(code),
                          Reason::unsafePath);
        return answer(trashPath, Outcome::failed, "The operation couldn't be completed.");
    };
    const auto stamp = trashStamp(trash);
    const HelperFileIdentity identity = common::remapDevice(moved->identity, moved->volume, stamp);
    const HelperFileIdentity parentIdentity =
        common::remapDevice(*moved->parentIdentity, moved->volume, stamp);
    auto inTrash = common::statEntry(trash, trashName);
    if (!inTrash)
        return stepError(inTrash.error());
    if (!*inTrash) {
        (void)ledger->remove(moved->id);
        return answer(trashPath, Outcome::failed, kGone);
    }
    if (!sameObject(**inTrash, identity))
        return answer(trashPath, Outcome::notHandled, kChanged, Reason::changed);
    auto parent = common::openPathBeneath(parentOf(*original), {.exactNames = true});
    if (!parent)
        return stepError(parent.error());
    auto parentStat = common::statDescriptor(*parent);
    if (!parentStat)
        return stepError(parentStat.error());
    if (!sameObject(*parentStat, parentIdentity) || parentStat->uid != *moved->parentOwnerID)
        return answer(trashPath, Outcome::notHandled, kFolderReplaced, Reason::unsafePath);
    auto occupant = common::statEntry(*parent, originalName);
    if (!occupant)
        return stepError(occupant.error());
    if (*occupant)
        return answer(trashPath, Outcome::failed, kOccupied);

    // 11: a launch daemon's property list goes back into launchd.
    const auto itemEntry = inventory->entries.find(identity.inode);
    const bool isDaemon = common::isLaunchDaemonPlist(*original) && !inventory->entries.empty() &&
                          itemEntry != inventory->entries.end() && !S_ISDIR(itemEntry->second.mode);

    // 12: journaled before anything moves, then the private folder.
    const auto recordId = platform::UUID::random();
    const auto stagingId = platform::UUID::random();
    if (!recordId || !stagingId)
        return retryLater(
            answer(trashPath, Outcome::notHandled, kNoPrivateFolder, Reason::changed));
    const common::HelperStagingJournal journal = ledger->stagingJournal();
    common::HelperStagingRecord record;
    record.id = *recordId;
    record.kind = common::HelperStagingRecord::Kind::restore;
    record.uid = caller.uid;
    record.gid = caller.gid;
    record.home = homePath();
    record.stagingName = std::string(common::kStagingPrefix) + stagingId->string();
    record.itemIdentity = identity;
    record.originalPath = *original;
    record.trashName = trashName;
    record.isDaemon = isDaemon;
    record.date = ledger->now();
    record.parentIdentity = parentIdentity;
    record.volume = stamp;
    if (!writeStagingRecord(journal, record)) {
        (void)journal.remove(record.id);
        return retryLater(
            answer(trashPath, Outcome::notHandled, kNoPrivateFolder, Reason::changed));
    }
    faultPoint("restore.journaled");
    auto made = faultPoint("staging.folder") ? Result<SharedDescriptor>(Error::fromErrno(EIO))
                                             : common::makePrivateFolder(trash, record.stagingName);
    if (!made) {
        (void)journal.remove(record.id);
        return retryLater(
            answer(trashPath, Outcome::notHandled, kNoPrivateFolder, Reason::changed));
    }
    const SharedDescriptor folder = *made;
    auto madeStat = common::statDescriptor(folder);
    if (!madeStat) {
        (void)journal.remove(record.id);
        return retryLater(
            answer(trashPath, Outcome::notHandled, kNoPrivateFolder, Reason::changed));
    }
    faultPoint("restore.folderMade");
    record.stagingIdentity = madeStat->identity();
    if (!writeStagingRecord(journal, record)) {
        (void)common::removeDirectoryIfSame(trash, record.stagingName, folder);
        auto names = common::listDirectory(folder);
        if (names && names->empty())
            (void)journal.remove(record.id);
        return retryLater(
            answer(trashPath, Outcome::notHandled, kNoPrivateFolder, Reason::changed));
    }
    faultPoint("restore.journaledAgain");

    // 13: into the private folder.
    VeldoHelperItemResult result;
    auto finish = [&] {
        finishStaging(folder, trash, record.stagingName, record);
        return result;
    };
    if (::renameat2(trash.fd(), trashName.c_str(), folder.fd(), "item", RENAME_NOREPLACE) != 0) {
        const int err = errno;
        result = err == ENOENT ? answer(trashPath, Outcome::failed, kGone)
                               : answer(trashPath, Outcome::notHandled, trashFailureMessage(err),
                                        Reason::changed);
        return finish();
    }
    faultPoint("restore.staged");
    auto release = [&] { (void)freeName(trashName, folder, trash); };

    // 14: still the recorded object.
    auto staged = common::statEntry(folder, "item");
    if (!staged || !*staged || !sameObject(**staged, identity)) {
        release();
        result = answer(trashPath, Outcome::notHandled, kChanged, Reason::changed);
        return finish();
    }
    const HelperStat itemStat = **staged;

    // 15: the tree against its inventory.
    std::optional<SharedDescriptor> itemFolder;
    std::optional<RestoreWalk> walk;
    if (!itemStat.isDirectory()) {
        const auto only = inventory->entries.find(itemStat.inode);
        if (inventory->entries.size() != 1 || only == inventory->entries.end() ||
            !inventoryEntryMatches(only->second, itemStat, {})) {
            release();
            result = answer(trashPath, Outcome::notHandled, kChanged, Reason::changed);
            return finish();
        }
    } else {
        UniqueFd fd(::openat(folder.fd(), "item", kFolderFlags));
        std::optional<common::HelperFileSystemInfo> fileSystem;
        if (fd) {
            itemFolder = SharedDescriptor(std::move(fd));
            auto itemOpened = common::statDescriptor(*itemFolder);
            if (itemOpened && sameObject(*itemOpened, identity))
                fileSystem = common::fileSystemInfo(*itemFolder, mountTable());
        }
        if (!fileSystem) {
            release();
            result = answer(trashPath, Outcome::notHandled, kChanged, Reason::changed);
            return finish();
        }
        walk.emplace(RestoreWalk{*this, *inventory, identity.device, *fileSystem, {}, {}});
        bool verified = walk->verify(*itemFolder, {}, 0);
        if (verified) {
            std::set<std::uint64_t> keys;
            for (const auto& [key, entry] : inventory->entries)
                keys.insert(key);
            verified = keys == walk->seen;
        }
        if (!verified) {
            if (inventory->foldersGranted)
                walk->regrant(*itemFolder, 0);
            release();
            result = isCancelled && isCancelled()
                         ? retryLater(answer(trashPath, Outcome::failed, kStopped))
                         : answer(trashPath, Outcome::notHandled, kChanged, Reason::changed);
            return finish();
        }
    }
    faultPoint("restore.verified");

    // 16: back to the original place.
    if (::renameat2(folder.fd(), "item", parent->fd(), originalName.c_str(), RENAME_NOREPLACE) !=
        0) {
        const int err = errno;
        if (inventory->foldersGranted && walk && itemFolder)
            walk->regrant(*itemFolder, 0);
        release();
        if (err == EEXIST)
            result = answer(trashPath, Outcome::failed, kOccupied);
        else if (err == EPERM || err == EACCES || err == EXDEV)
            result = answer(trashPath, Outcome::notHandled, trashFailureMessage(err),
                            Reason::unsafePath);
        else
            result = answer(trashPath, Outcome::failed, trashFailureMessage(err));
        return finish();
    }
    faultPoint("restore.returned");

    // 17: launchd, the ledger, the answer.
    if (isDaemon && !itemStat.isDirectory() && launchctl)
        launchctl({"bootstrap", "system", *original});
    (void)ledger->remove(moved->id);
    faultPoint("restore.unrecorded");
    result = answer(trashPath, Outcome::done);
    result.destination = *original;
    return finish();
}

} // namespace veldo::helper
