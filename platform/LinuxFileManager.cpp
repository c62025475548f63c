// The Linux file manager: Trash by no-replace rename, moves, attributes, folders, writability.
#include "platform/LinuxFileManager.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/Home.h"
#include "platform/HostFiles.h"
#include "platform/MacRoot.h"
#include "platform/NumberedName.h"
#include "platform/Unicode.h"

namespace veldo::platform {

namespace {

enum class Access
{
    read,
    write
};

// Why a call failed, in words that end a sentence beginning "… because ".
std::string cause(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return "you don’t have permission to access it";
    case ENOENT:
        return "there is no such file or folder";
    case ENOTDIR:
        return "a part of its path isn’t a folder";
    case EEXIST:
    case ENOTEMPTY:
        return "an item with the same name already exists";
    case EXDEV:
        return "it is on a different volume";
    case EROFS:
        return "the volume is read-only";
    case ENOSPC:
    case EDQUOT:
        return "there isn’t enough space";
    case ELOOP:
        return "its path leads through too many symbolic links";
    case ENAMETOOLONG:
        return "its name or path is too long";
    case EBUSY:
        return "it is in use";
    case EINVAL:
        return "its location isn’t valid";
    default:
        return "of an unexpected error";
    }
}

std::string displayName(const MacPath& path)
{
    std::string name = path.lastPathComponent();
    return name.empty() ? path.path() : name;
}

// The Cocoa file error for `err`, wrapping the POSIX error.
SystemError fileError(Access access, int err, std::string sentence)
{
    const bool permission = err == EACCES || err == EPERM;
    const int code =
        access == Access::write
            ? (permission ? kCocoaFileWriteNoPermissionError : kCocoaFileWriteUnknownError)
            : (permission ? kCocoaFileReadNoPermissionError : kCocoaFileReadUnknownError);
    return SystemError(ErrorDomain::cocoa, code, std::move(sentence), SystemError::posix(err));
}

SystemError itemError(Access access, const MacPath& item, std::string_view action, int err)
{
    return fileError(access, err,
                     "“" + displayName(item) + "” couldn’t be " + std::string(action) +
                         " because " + cause(err) + ".");
}

bool holdsNul(const MacPath& path)
{
    return path.path().find('\0') != std::string::npos;
}

// An item the file manager can move: an absolute path without NUL whose last component names
// an entry (not "/", "." or "..").
bool isMovable(const MacPath& path)
{
    if (!path.isAbsolute() || holdsNul(path))
        return false;
    const std::string name = path.lastPathComponent();
    return !name.empty() && name != "/" && name != "." && name != "..";
}

struct OpenFolder
{
    UniqueFd fd;
    MacPath resolved; // the folder's Mac path with its links resolved
};

// Opens a folder by Mac path inside the root, its links followed there.
Result<OpenFolder> openFolder(const MacPath& folder, int flags)
{
    auto fd = openInRoot(folder, flags | O_DIRECTORY, FollowLinks::yes);
    if (!fd)
        return Error::fromErrno(fd.error().systemErrno, folder.path());
    auto resolved = macPathOfDescriptor(fd->get());
    if (!resolved)
        resolved = resolvingSymlinks(folder);
    return OpenFolder{std::move(*fd), std::move(*resolved)};
}

// Opens the folder `name` in `parentFd` for listing, making it first when it is missing. A
// folder made here gets exactly `mode` (the umask may have taken bits); nothing else is changed.
Result<UniqueFd> openOrMakeFolder(int parentFd, const std::string& name, mode_t mode)
{
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    UniqueFd fd = base::openAt(parentFd, name.c_str(), kFlags);
    if (fd)
        return fd;
    if (errno != ENOENT)
        return Error::fromErrno(errno);
    const bool made = ::mkdirat(parentFd, name.c_str(), mode) == 0;
    if (!made && errno != EEXIST)
        return Error::fromErrno(errno);
    fd = base::openAt(parentFd, name.c_str(), kFlags);
    if (!fd)
        return Error::fromErrno(errno);
    struct stat st
    {
    };
    if (made && ::fstat(fd.get(), &st) == 0 && st.st_uid == ::geteuid() &&
        (st.st_mode & 07777) != mode)
        ::fchmod(fd.get(), mode);
    return fd;
}

struct TrashFolder
{
    MacPath path;
    UniqueFd fd;
};

// The Trash for an item whose parent folder is `resolvedParent` (links resolved): the volume's
// ".Trashes/<uid>" under "/Volumes/<v>/", else the real user's home ".Trash".
Result<TrashFolder> openTrashFolder(const MacPath& resolvedParent)
{
    const std::vector<std::string> parts = resolvedParent.pathComponents();
    if (parts.size() >= 3 && parts[0] == "/" && parts[1] == "Volumes") {
        const MacPath volume = MacPath("/Volumes").appendingPathComponent(parts[2]);
        auto volumeFd = openFolder(volume, O_PATH);
        if (!volumeFd)
            return volumeFd.error();
        auto trashes = openOrMakeFolder(volumeFd->fd.get(), ".Trashes", 01333);
        if (!trashes)
            return trashes.error();
        const std::string uid = std::to_string(::getuid());
        auto own = openOrMakeFolder(trashes->get(), uid, 0700);
        if (!own)
            return own.error();
        return TrashFolder{volume.appendingPathComponent(".Trashes").appendingPathComponent(uid),
                           std::move(own).value()};
    }
    const MacPath home = homeDirectory();
    auto homeFd = openFolder(home, O_PATH);
    if (!homeFd)
        return homeFd.error();
    auto trash = openOrMakeFolder(homeFd->fd.get(), ".Trash", 0700);
    if (!trash)
        return trash.error();
    return TrashFolder{home.appendingPathComponent(".Trash"), std::move(trash).value()};
}

Result<std::unordered_set<std::string>> foldedNames(int folderFd)
{
    UniqueFd own = base::openAt(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!own)
        return Error::fromErrno(errno);
    std::unordered_set<std::string> names;
    auto listed = base::forEachName(
        std::move(own), [&names](std::string_view name) { names.insert(foldForComparison(name)); });
    if (!listed)
        return listed.error();
    return names;
}

} // namespace

FileResult<std::optional<MacPath>> LinuxFileManager::trashItem(const MacPath& url)
{
    auto fail = [&url](int err) {
        return itemError(Access::write, url, "moved to the Trash", err);
    };
    if (!isMovable(url))
        return fail(EINVAL);
    const MacPath parent = url.deletingLastPathComponent();
    const std::string name = url.lastPathComponent();
    auto parentFd = openFolder(parent, O_PATH);
    if (!parentFd)
        return fail(parentFd.error().systemErrno);
    struct stat item
    {
    };
    if (::fstatat(parentFd->fd.get(), name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(errno);
    auto trash = openTrashFolder(parentFd->resolved);
    if (!trash)
        return fail(trash.error().systemErrno);
    const int trashFd = trash->fd.get();

    std::lock_guard lock(m_trashMutex);
    struct stat folder
    {
    };
    if (::fstat(trashFd, &folder) != 0)
        return fail(errno);
    const auto key = std::pair<std::uint64_t, std::uint64_t>(folder.st_dev, folder.st_ino);
    auto kept = m_trashNames.find(key);
    if (kept == m_trashNames.end() || kept->second.modifiedSeconds != folder.st_mtim.tv_sec ||
        kept->second.modifiedNanoseconds != folder.st_mtim.tv_nsec) {
        auto listed = foldedNames(trashFd);
        if (!listed) {
            m_trashNames.erase(key);
            return fail(listed.error().systemErrno);
        }
        kept = m_trashNames
                   .insert_or_assign(key, TrashNames{folder.st_mtim.tv_sec, folder.st_mtim.tv_nsec,
                                                     std::move(listed).value()})
                   .first;
    }
    TrashNames& names = kept->second;
    for (int n = 1; n <= kMaxTrashNameTries; ++n) {
        const std::string candidate = numberedName(name, n);
        std::string folded = foldForComparison(candidate);
        if (names.folded.contains(folded))
            continue;
        if (::renameat2(parentFd->fd.get(), name.c_str(), trashFd, candidate.c_str(),
                        RENAME_NOREPLACE) == 0) {
            names.folded.insert(std::move(folded));
            if (::fstat(trashFd, &folder) == 0) {
                names.modifiedSeconds = folder.st_mtim.tv_sec;
                names.modifiedNanoseconds = folder.st_mtim.tv_nsec;
            } else {
                m_trashNames.erase(kept);
            }
            return std::optional<MacPath>(trash->path.appendingPathComponent(candidate));
        }
        const int err = errno;
        if (err != EEXIST)
            return fail(err);
        // Taken by an entry the kept names missed: never replaced, the next number is tried.
        names.folded.insert(std::move(folded));
    }
    return fail(EEXIST);
}

FileResult<void> LinuxFileManager::moveItem(const MacPath& from, const MacPath& to)
{
    const std::string action = "moved to “" + displayName(to.deletingLastPathComponent()) + "”";
    auto fail = [&](int err) { return itemError(Access::write, from, action, err); };
    if (!isMovable(from) || !isMovable(to))
        return fail(EINVAL);
    auto fromParent = openFolder(from.deletingLastPathComponent(), O_PATH);
    if (!fromParent)
        return fail(fromParent.error().systemErrno);
    auto toParent = openFolder(to.deletingLastPathComponent(), O_PATH);
    if (!toParent)
        return fail(toParent.error().systemErrno);
    if (::renameat2(fromParent->fd.get(), from.lastPathComponent().c_str(), toParent->fd.get(),
                    to.lastPathComponent().c_str(), RENAME_NOREPLACE) != 0)
        return fail(errno);
    return {};
}

FileResult<FileStatus> LinuxFileManager::attributesOfItem(const MacPath& path)
{
    auto fail = [&path](int err) { return itemError(Access::read, path, "read", err); };
    if (!path.isAbsolute() || holdsNul(path))
        return fail(EINVAL);
    auto status = fileStatus(path, FollowLinks::no);
    if (!status)
        return fail(status.error().systemErrno);
    return status.value();
}

FileResult<void> LinuxFileManager::createDirectory(const MacPath& url,
                                                   bool withIntermediateDirectories)
{
    auto fail = [&url](int err) { return itemError(Access::write, url, "created", err); };
    if (!url.isAbsolute() || holdsNul(url))
        return fail(EINVAL);
    std::vector<std::string> parts = url.pathComponents();
    for (const std::string& part : parts) {
        if (part == "." || part == "..")
            return fail(EINVAL);
    }
    auto makeOne = [](const MacPath& folder) -> int {
        const auto parent =
            openInRoot(folder.deletingLastPathComponent(), O_PATH | O_DIRECTORY, FollowLinks::yes);
        if (!parent)
            return parent.error().systemErrno;
        return ::mkdirat(parent->get(), folder.lastPathComponent().c_str(), 0777) == 0 ? 0 : errno;
    };
    if (!withIntermediateDirectories) {
        if (const int err = makeOne(url))
            return fail(err);
        return {};
    }
    MacPath current("/");
    for (std::size_t i = 1; i < parts.size(); ++i) {
        current = current.appendingPathComponent(parts[i]);
        auto status = fileStatus(current, FollowLinks::yes);
        if (!status && status.error().systemErrno == ENOENT) {
            const int err = makeOne(current);
            if (err == 0)
                continue;
            if (err != EEXIST)
                return fail(err);
            status = fileStatus(current, FollowLinks::yes);
        }
        if (!status)
            return fail(status.error().systemErrno);
        if (status->type != FileType::directory)
            return fail(EEXIST);
    }
    return {};
}

bool LinuxFileManager::isWritableFile(const MacPath& path)
{
    if (!path.isAbsolute() || holdsNul(path))
        return false;
    const auto opened = openInRoot(path, O_PATH, FollowLinks::yes);
    if (!opened)
        return false;
    return ::access(descriptorName(opened->get()).c_str(), W_OK) == 0;
}

} // namespace veldo::platform
