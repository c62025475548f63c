// The Trash mover's move of one item: journaled, staged in a private folder, checked by identity,
// inventoried, renamed into the Trash and recorded; put back where it was when anything is wrong.
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "common/HelperACL.h"
#include "common/HelperPathRules.h"
#include "common/HelperStagingJournal.h"
#include "common/HelperVolumeStamp.h"
#include "common/RemovalSafety.h"
#include "helper/FolderRules.h"
#include "helper/HelperFaultPoints.h"
#include "helper/HelperLog.h"
#include "helper/HelperTrashMover.h"
#include "platform/UUID.h"

namespace veldo::helper {

using common::VeldoHelperItemResult;
using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;

namespace {

constexpr std::string_view kUnidentifiable =
    "Veldo can't safely identify this location, so it wasn't touched.";
constexpr std::string_view kClosedFolder =
    "A folder on the way to this item is closed to your account, so moving it needs your password.";
constexpr std::string_view kNoPrivateFolder =
    "Veldo's helper couldn't prepare a private folder in your Trash.";
constexpr std::string_view kNotBackInTrash =
    "Veldo's helper couldn't put it back where it was; it is in the Trash, but Undo can't put it "
    "back.";
constexpr std::string_view kNotBackStaged =
    "Veldo's helper couldn't put it back where it was; it will try again when it next starts.";

VeldoHelperItemResult answer(const std::string& source, Outcome outcome,
                             std::optional<std::string_view> message = std::nullopt,
                             std::optional<Reason> reason = std::nullopt)
{
    VeldoHelperItemResult result;
    result.path = source;
    result.outcome = outcome;
    if (message)
        result.message = std::string(*message);
    result.reason = reason;
    return result;
}

// The answer for an error of the steps before anything is journaled.
VeldoHelperItemResult answerFor(const std::string& source, const Error& error)
{
    const int code = error.systemErrno;
    if (code == platform::kEAUTH)
        return answer(source, Outcome::notHandled, kClosedFolder, Reason::notManaged);
    if (code == ENOENT)
        return answer(source, Outcome::missing);
    if (code != 0)
        return answer(source, Outcome::notHandled, trashFailureMessage(code), Reason::notManaged);
    return answer(source, Outcome::failed, "The operation couldn't be completed.");
}

} // namespace

VeldoHelperItemResult HelperTrashMover::moveItems(const std::string& source,
                                                  const std::string& destination) const
{
    // 1, 2: the location verdict and the one spelling of both paths.
    const common::LocationVerdict verdict =
        common::checkMoveLocation(source, destination, caller.home, protectedBundles, true);
    if (verdict.kind == common::LocationVerdict::Kind::refused)
        return answer(source, Outcome::failed, verdict.message);
    if (verdict.kind == common::LocationVerdict::Kind::notManaged)
        return answer(source, Outcome::notHandled, verdict.message, Reason::notManaged);
    const auto sourcePath = common::normalizePath(source);
    const auto destinationPath = common::normalizePath(destination);
    if (!sourcePath || !destinationPath || *sourcePath == "/")
        return answer(source, Outcome::failed, kUnidentifiable);
    const std::string itemName = lastComponent(*sourcePath);
    const std::string trashName = lastComponent(*destinationPath);
    const std::string home = homePath();

    // 3-7: the parent and the item, as the caller could reach them.
    const auto searchRule = [this](const HelperStat& st, const SharedDescriptor& fd) {
        return FolderRules::callerCanSearch(st, common::extendedACLState(fd.fd()), caller);
    };
    auto parent = common::openPathBeneath(*sourcePath == "/" ? "/" : parentOf(*sourcePath),
                                          {.readable = false, .exactNames = true}, searchRule);
    if (!parent)
        return answerFor(source, parent.error());
    auto parentStat = common::statDescriptor(*parent);
    if (!parentStat)
        return answerFor(source, parentStat.error());
    auto found = common::statEntry(*parent, itemName);
    if (!found)
        return answerFor(source, found.error());
    if (!*found)
        return answer(source, Outcome::missing);
    const HelperStat itemStat = **found;
    const auto stored = common::attributesOfEntry(*parent, itemName);
    if (!stored || *stored != itemName)
        return answer(source, Outcome::notHandled, kUnidentifiable, Reason::unsafePath);
    if (itemStat.isDirectory()) {
        UniqueFd fd(::openat(parent->fd(), itemName.c_str(),
                             O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        auto st =
            fd ? common::statDescriptor(fd.get()) : Result<HelperStat>(Error::fromErrno(errno));
        if (!st || st->identity() != itemStat.identity() ||
            !FolderRules::callerCanSearch(*st, common::extendedACLState(fd.get()), caller))
            return answer(source, Outcome::notHandled, kClosedFolder, Reason::notManaged);
    }

    // 8: the caller's Trash.
    const OpenedTrash opened = openUserTrash();
    if (opened.trashError)
        return answer(source, Outcome::notHandled, opened.trashError->message, Reason::notManaged);
    if (!opened.trash)
        return answerFor(source, Error::fromErrno(opened.errorCode));
    const SharedDescriptor trash = *opened.trash;
    const bool isDaemon = !itemStat.isDirectory() && common::isLaunchDaemonPlist(*sourcePath);

    // 9, 10: journaled before anything moves, then the private folder.
    const auto recordId = platform::UUID::random();
    const auto stagingId = platform::UUID::random();
    if (!ledger || !recordId || !stagingId)
        return answer(source, Outcome::notHandled, kNoPrivateFolder, Reason::notManaged);
    const common::HelperStagingJournal journal = ledger->stagingJournal();
    common::HelperStagingRecord record;
    record.id = *recordId;
    record.kind = common::HelperStagingRecord::Kind::move;
    record.uid = caller.uid;
    record.gid = caller.gid;
    record.home = home;
    record.stagingName = std::string(common::kStagingPrefix) + stagingId->string();
    record.itemIdentity = itemStat.identity();
    record.originalPath = *sourcePath;
    record.trashName = trashName;
    record.isDaemon = isDaemon;
    record.date = ledger->now();
    record.parentIdentity = parentStat->identity();
    record.volume = trashStamp(trash);
    if (!writeStagingRecord(journal, record)) {
        (void)journal.remove(record.id);
        return answer(source, Outcome::notHandled, kNoPrivateFolder, Reason::notManaged);
    }
    faultPoint("move.journaled");

    auto made = faultPoint("staging.folder") ? Result<SharedDescriptor>(Error::fromErrno(EIO))
                                             : common::makePrivateFolder(trash, record.stagingName);
    auto madeStat = made ? common::statDescriptor(*made) : Result<HelperStat>(made.error());
    if (!madeStat) {
        if (made)
            (void)common::removeDirectoryIfSame(trash, record.stagingName, *made);
        (void)journal.remove(record.id);
        return answer(source, Outcome::notHandled, kNoPrivateFolder, Reason::notManaged);
    }
    const SharedDescriptor folder = *made;
    faultPoint("move.folderMade");
    record.stagingIdentity = madeStat->identity();
    if (!writeStagingRecord(journal, record)) {
        (void)common::removeDirectoryIfSame(trash, record.stagingName, folder);
        auto names = common::listDirectory(folder);
        if (names && names->empty())
            (void)journal.remove(record.id);
        return answer(source, Outcome::notHandled, kNoPrivateFolder, Reason::notManaged);
    }
    faultPoint("move.journaledAgain");

    const std::vector<std::string> bootstrap{"bootstrap", "system", *sourcePath};
    auto callLaunchctl = [this](const std::vector<std::string>& arguments) {
        if (launchctl)
            launchctl(arguments);
    };

    // 11, 12: out of launchd, into the private folder.
    if (isDaemon)
        callLaunchctl({"bootout", "system", *sourcePath});
    faultPoint("move.bootedOut");
    if (::renameat2(parent->fd(), itemName.c_str(), folder.fd(), "item", RENAME_NOREPLACE) != 0) {
        const int err = errno;
        if (isDaemon)
            callLaunchctl(bootstrap);
        VeldoHelperItemResult result;
        if (err == ENOENT)
            result = answer(source, Outcome::missing);
        else if (err == EPERM || err == EACCES)
            result =
                answer(source, Outcome::notHandled, trashFailureMessage(err), Reason::notManaged);
        else if (err == EXDEV)
            result = answer(source, Outcome::failed, "This item is on another volume.");
        else
            result = answer(source, Outcome::failed, trashFailureMessage(err));
        finishStaging(folder, trash, record.stagingName, record);
        return result;
    }
    faultPoint("move.staged");

    // Put back: the item returns to its place (and launchd); failing that, it goes into the
    // Trash under a free name, or stays staged for the next start. The answer is chosen after
    // the staging folder has been closed.
    enum class PutBack
    {
        notNeeded,
        back,
        notBack,
    };
    PutBack putBack = PutBack::notNeeded;
    auto putItemBack = [&](bool withBootstrap) {
        if (moveStagedItem(folder, *parent, itemName)) {
            if (isDaemon && withBootstrap)
                callLaunchctl(bootstrap);
            putBack = PutBack::back;
        } else {
            (void)freeName(trashName, folder, trash);
            putBack = PutBack::notBack;
        }
    };
    VeldoHelperItemResult result;
    std::optional<std::string_view> notBackInTrash; // the answer when it lands in the Trash

    // 13: still the item that was looked at.
    auto staged = common::statEntry(folder, "item");
    const bool same = staged && *staged && (*staged)->identity() == itemStat.identity();
    std::optional<InventoryOutcome> inventory;
    std::string finalName;
    if (!same) {
        putItemBack(true);
        result = answer(source, Outcome::failed,
                        "It changed while Veldo's helper was moving it, so it was left alone.");
    } else if (const OtherApps apps =
                   (**staged).isDirectory() &&
                           common::RemovalSafety::isAppsFolderLocation(*sourcePath, home)
                       ? checkForOtherApps(folder)
                       : OtherApps::none;
               apps != OtherApps::none) {
        // 14: a folder in an applications folder must hold no other apps.
        putItemBack(apps != OtherApps::found);
        result = answer(source, Outcome::failed,
                        apps == OtherApps::found
                            ? "This folder contains other apps, so it wasn't removed."
                            : "Veldo's helper couldn't check this folder for other apps, so it "
                              "wasn't removed.");
    } else {
        // 15, 16: the inventory, then the last chance to stop.
        inventory = buildInventory(folder, **staged, *parent);
        faultPoint("move.inventoried");
        if (isCancelled && isCancelled()) {
            putItemBack(true);
            result = answer(source, Outcome::notHandled,
                            "Veldo's helper stopped before it got to this item.", Reason::stopped);
            notBackInTrash = "Veldo's helper stopped while moving it; it is in the Trash, but Undo "
                             "can't put it back.";
        } else {
            // 17: the final name in the Trash.
            for (int n = 1; n <= 10'000; ++n) {
                const std::string candidate =
                    n == 1 ? trashName : common::numberedName(trashName, n);
                if (!common::isPlainName(candidate) || beginsWithStagingPrefix(candidate))
                    break;
                if (::renameat2(folder.fd(), "item", trash.fd(), candidate.c_str(),
                                RENAME_NOREPLACE) == 0) {
                    finalName = candidate;
                    break;
                }
                if (errno != EEXIST)
                    break;
            }
            if (finalName.empty()) {
                putItemBack(true);
                result = answer(source, Outcome::failed,
                                "Veldo couldn't find a free name for it in the Trash.");
            }
        }
    }

    if (!finalName.empty()) {
        faultPoint("move.renamed");
        // 18, 19: hand-over, ledger record, answer.
        common::HelperItemInventory& items = inventory->inventory;
        if (inventory->handOver && inventory->itemFolder) {
            handOverFolders(*inventory->itemFolder, items);
            items.foldersGranted = true;
        }
        faultPoint("move.handedOver");
        const std::string trashPath = home + "/.Trash/" + finalName;
        common::HelperMoveRecord moved;
        moved.id = platform::UUID::random().value_or(*recordId);
        moved.uid = caller.uid;
        moved.trashPath = trashPath;
        moved.originalPath = *sourcePath;
        moved.identity = itemStat.identity();
        moved.ownerID = itemStat.uid;
        moved.groupID = itemStat.gid;
        moved.date = ledger->now();
        moved.parentIdentity = parentStat->identity();
        moved.parentOwnerID = parentStat->uid;
        moved.volume = record.volume;
        if (auto added = ledger->add(std::move(moved), items); !added)
            serviceLog().error("Couldn't record the move of %{private}s in the ledger (%{public}s)",
                               {*sourcePath, platform::errnoName(added.error().systemErrno)});
        faultPoint("move.recorded");
        result = answer(source, Outcome::done);
        result.destination = trashPath;
        result.ownerID = itemStat.uid;
        result.groupID = itemStat.gid;
    }

    // 20: close the staging folder; then the answer of a put-back that failed.
    finishStaging(folder, trash, record.stagingName, record);
    if (putBack == PutBack::notBack) {
        auto left = common::statEntry(folder, "item");
        const bool stillStaged = !left || *left;
        if (stillStaged)
            result = answer(source, Outcome::failed, kNotBackStaged);
        else
            result = answer(source, Outcome::failed, notBackInTrash.value_or(kNotBackInTrash));
    }
    return result;
}

} // namespace veldo::helper
