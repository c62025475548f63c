// The Trash mover's shared pieces: the account's Trash, staging folders, free names, sentences.
#include "helper/HelperTrashMover.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/HelperACL.h"
#include "common/HelperPathRules.h"
#include "common/HelperStagingJournal.h"
#include "helper/HelperFaultPoints.h"
#include "helper/HelperLog.h"
#include "platform/ErrnoName.h"
#include "platform/SystemError.h"
#include "platform/UUID.h"
#include "platform/Unicode.h"

namespace veldo::helper {

using common::HelperStagingJournal;

namespace {

constexpr std::string_view kRecoveredItem = "Recovered item";

} // namespace

HelperTrashMover::Staging HelperTrashMover::Staging::make(SharedDescriptor folder,
                                                          std::string rawName,
                                                          SharedDescriptor trash)
{
    const std::string_view upToZero(rawName.data(), ::strnlen(rawName.data(), rawName.size()));
    std::string name = platform::repairedUtf8(upToZero);
    return Staging{std::move(folder), std::move(name), std::move(rawName), std::move(trash)};
}

std::string HelperTrashMover::homePath() const
{
    if (auto normalized = common::normalizePath(caller.home.standardized().path()))
        return *normalized;
    return caller.home.path();
}

std::optional<common::HelperVolumeStamp>
HelperTrashMover::trashStamp(const SharedDescriptor& trash) const
{
    if (!requestFacts)
        return common::HelperVolumeStamp::fromDescriptor(trash);
    const auto st = common::statDescriptor(trash);
    if (!st)
        return common::HelperVolumeStamp::fromDescriptor(trash);
    if (requestFacts->trash != st->identity()) {
        requestFacts->trashStamp = common::HelperVolumeStamp::fromDescriptor(trash);
        requestFacts->trash = st->identity();
    }
    return requestFacts->trashStamp;
}

common::HelperMountTable* HelperTrashMover::mountTable() const
{
    return requestFacts ? &requestFacts->mounts : nullptr;
}

HelperTrashMover::OpenedTrash HelperTrashMover::openUserTrash() const
{
    OpenedTrash opened;
    auto trash = common::openPathBeneath(homePath() + "/.Trash");
    if (!trash) {
        const int err = trash.error().systemErrno;
        if (err == ENOENT || err == ENOTDIR || err == ELOOP)
            opened.trashError =
                TrashError{"Your Trash folder is missing or isn't a normal folder."};
        else
            opened.errorCode = err;
        return opened;
    }
    auto st = common::statDescriptor(*trash);
    if (!st) {
        opened.errorCode = st.error().systemErrno;
        return opened;
    }
    if (!st->isDirectory() || st->uid != caller.uid) {
        opened.trashError = TrashError{"Your Trash folder doesn't belong to you."};
        return opened;
    }
    opened.trash = std::move(*trash);
    return opened;
}

std::string lastComponent(const std::string& normalized)
{
    return normalized.substr(normalized.rfind('/') + 1);
}

std::string parentOf(const std::string& normalized)
{
    const std::size_t slash = normalized.rfind('/');
    return slash == 0 ? std::string("/") : normalized.substr(0, slash);
}

bool beginsWithStagingPrefix(std::string_view name)
{
    static const std::string foldedPrefix = common::foldedForComparison(common::kStagingPrefix);
    return common::foldedForComparison(name).starts_with(foldedPrefix);
}

void grantFolder(const SharedDescriptor& folder, uid_t uid, gid_t gid, mode_t mode,
                 const HelperLog& log)
{
    const auto failed = [&](std::string_view call) {
        const int err = errno;
        const auto st = common::statDescriptor(folder);
        log.error("Couldn't give the folder with inode %{public}s to uid %{public}u: %{public}s "
                  "failed (%{public}s)",
                  {st ? std::to_string(st->inode) : std::string("?"), std::to_string(uid), call,
                   platform::errnoName(err)});
    };
    if (::fchown(folder.fd(), uid, gid) != 0)
        failed("fchown");
    if (::fchmod(folder.fd(), ((mode & ~mode_t(S_ISUID | S_ISGID)) & 07777) | S_IRWXU) != 0)
        failed("fchmod");
}

bool writeStagingRecord(const HelperStagingJournal& journal,
                        const common::HelperStagingRecord& record)
{
    if (faultPoint("journal.write"))
        return false;
    return static_cast<bool>(journal.write(record, record.stagingIdentity
                                                       ? platform::AtomicDurability::flushed
                                                       : platform::AtomicDurability::unflushed));
}

bool moveStagedItem(const SharedDescriptor& folder, const SharedDescriptor& to,
                    const std::string& name)
{
    return ::renameat2(folder.fd(), "item", to.fd(), name.c_str(), RENAME_NOREPLACE) == 0;
}

bool HelperTrashMover::freeName(const std::string& name, const SharedDescriptor& folder,
                                const SharedDescriptor& trash) const
{
    const std::string base = common::isPlainName(name) && !beginsWithStagingPrefix(name)
                                 ? name
                                 : std::string(kRecoveredItem);
    auto tryName = [&](const std::string& candidate) {
        // isPlainName: not empty, ".", ".." or holding "/", at most 255 bytes, no control
        // character.
        return common::isPlainName(candidate) && !beginsWithStagingPrefix(candidate) &&
               moveStagedItem(folder, trash, candidate);
    };
    if (tryName(base))
        return true;
    for (int n = 2; n <= 100; ++n)
        if (tryName(common::numberedName(base, n)))
            return true;
    const auto uuid = platform::UUID::random();
    return uuid && tryName(base + " " + uuid->string());
}

void HelperTrashMover::finishStaging(const SharedDescriptor& folder, const SharedDescriptor& trash,
                                     const std::string& stagingName,
                                     const common::HelperStagingRecord& record) const
{
    auto isEmpty = [&] {
        auto names = common::listDirectory(folder);
        return names && names->empty();
    };
    (void)common::removeDirectoryIfSame(trash, stagingName, folder);
    if (!isEmpty()) {
        auto item = common::statEntry(folder, "item");
        if (item && *item) {
            if (!freeName(record.trashName, folder, trash)) {
                const OpenedTrash again = openUserTrash();
                if (again.trash) {
                    auto trashStat = common::statDescriptor(*again.trash);
                    auto folderStat = common::statDescriptor(folder);
                    if (trashStat && folderStat && trashStat->device == folderStat->device)
                        (void)freeName(record.trashName, folder, *again.trash);
                }
            }
        }
        (void)common::removeDirectoryIfSame(trash, stagingName, folder);
        if (!isEmpty())
            return; // the journal record stays for the start-up settlement
    }
    faultPoint(record.kind == common::HelperStagingRecord::Kind::move ? "move.folderRemoved"
                                                                      : "restore.folderRemoved");
    if (ledger)
        (void)ledger->stagingJournal().remove(record.id);
}

bool isSealedStagingFolder(const SharedDescriptor& folder, const SharedDescriptor& trash)
{
    auto folderStat = common::statDescriptor(folder);
    auto trashStat = common::statDescriptor(trash);
    if (!folderStat || !trashStat)
        return false;
    return folderStat->isDirectory() && folderStat->uid == ::geteuid() &&
           (folderStat->mode & 07777) == 0700 && folderStat->device == trashStat->device &&
           common::extendedACLState(folder.fd()) == false;
}

std::string trashFailureMessage(int err)
{
    if (err == EPERM || err == EACCES)
        return "macOS refused to move this item. It may be protected by the system or a privacy "
               "setting.";
    if (err == EXDEV)
        return "This item is on another volume.";
    if (err == ENOTDIR || err == ELOOP)
        return "A folder on the way to this item is a symbolic link.";
    if (err == EILSEQ)
        return "Veldo can't safely identify this location, so it wasn't touched.";
    if (err == platform::kEAUTH)
        return "Authentication error";
    return platform::SystemError::posix(err).localizedDescription();
}

} // namespace veldo::helper
