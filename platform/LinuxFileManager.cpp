// The Linux file manager: Trash by no-replace rename, moves, attributes, folders, writability.
#include "platform/LinuxFileManager.h"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>

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

// The Trash moves of one run. It keeps, for the run, the home folder, each Trash folder it used
// (open, with the folded names it held when first used and the names the run gave or found
// taken since) and the folder of the item it was last asked about, for that item's next calls.
class LinuxTrashRun final : public FileManager::TrashRun
{
public:
    std::optional<MacPath> openFolderOfItem(const MacPath& url) override;
    FileResult<FileStatus> attributesOfItem(const MacPath& path) override;
    FileResult<std::optional<MacPath>> trashItem(const MacPath& url) override;

private:
    struct Trash
    {
        MacPath path;
        UniqueFd holder; // the folder the Trash folder is in: the home, or a volume's .Trashes
        std::string name;
        mode_t mode = 0700; // given to it when it has to be made
        UniqueFd fd;
        struct stat identity
        {
        };
        std::unordered_set<std::string> folded;
    };

    struct ItemFolder
    {
        MacPath path; // as the item's path names it
        ResolvedFolder opened;
        bool itemRead = false; // the item's attributes were read through it
    };

    // The kept folder when it is that of `url`'s item, else that folder opened now; the run
    // keeps none afterwards.
    Result<ItemFolder> takeFolderOf(const MacPath& url);
    Result<Trash*> trashFor(const MacPath& resolvedFolder);
    static Result<void> open(Trash& trash);
    static Result<void> revalidate(Trash& trash);

    // By the volume's Mac path, "" for the home's Trash.
    std::map<std::string, Trash, std::less<>> m_trashes;
    std::optional<ItemFolder> m_itemFolder;
};

// Opens (making it when missing) and lists the Trash folder.
Result<void> LinuxTrashRun::open(Trash& trash)
{
    auto fd = openOrMakeFolder(trash.holder.get(), trash.name, trash.mode);
    if (!fd)
        return fd.error();
    struct stat identity
    {
    };
    if (::fstat(fd->get(), &identity) != 0)
        return Error::fromErrno(errno);
    auto listed = foldedNames(fd->get());
    if (!listed)
        return listed.error();
    trash.fd = std::move(fd).value();
    trash.identity = identity;
    trash.folded = std::move(listed).value();
    return {};
}

// The Trash folder kept open must still be the one at its place; when another stands there now
// (or none), that one is opened and listed instead.
Result<void> LinuxTrashRun::revalidate(Trash& trash)
{
    struct stat now
    {
    };
    if (::fstatat(trash.holder.get(), trash.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == trash.identity.st_dev && now.st_ino == trash.identity.st_ino)
        return {};
    return open(trash);
}

// The Trash for an item whose folder is `resolvedFolder` (links resolved): the volume's
// ".Trashes/<uid>" under "/Volumes/<v>/", else the real user's home ".Trash".
Result<LinuxTrashRun::Trash*> LinuxTrashRun::trashFor(const MacPath& resolvedFolder)
{
    // "/Volumes/<v>" when the folder lies on (or is) a volume, else "".
    std::string_view volumePath;
    constexpr std::string_view kVolumes = "/Volumes/";
    if (const std::string& path = resolvedFolder.path();
        path.size() > kVolumes.size() && path.starts_with(kVolumes)) {
        const size_t end = path.find('/', kVolumes.size());
        if (end != kVolumes.size())
            volumePath = std::string_view(path).substr(0, end);
    }
    const bool onVolume = !volumePath.empty();
    if (auto kept = m_trashes.find(volumePath); kept != m_trashes.end()) {
        if (auto valid = revalidate(kept->second); !valid)
            return valid.error();
        return &kept->second;
    }
    const MacPath volume{std::string(volumePath)};
    Trash trash;
    if (onVolume) {
        auto volumeFd = openResolvedFolder(volume);
        if (!volumeFd)
            return volumeFd.error();
        auto trashes = openOrMakeFolder(volumeFd->fd.get(), ".Trashes", 01333);
        if (!trashes)
            return trashes.error();
        trash.name = std::to_string(::getuid());
        trash.path = volume.appendingPathComponent(".Trashes").appendingPathComponent(trash.name);
        trash.holder = std::move(trashes).value();
    } else {
        const MacPath home = homeDirectory();
        auto homeFd = openResolvedFolder(home);
        if (!homeFd)
            return homeFd.error();
        trash.name = ".Trash";
        trash.path = home.appendingPathComponent(trash.name);
        trash.holder = std::move(homeFd->fd);
    }
    if (auto opened = open(trash); !opened)
        return opened.error();
    return &m_trashes.insert_or_assign(volume.path(), std::move(trash)).first->second;
}

Result<LinuxTrashRun::ItemFolder> LinuxTrashRun::takeFolderOf(const MacPath& url)
{
    std::optional<ItemFolder> kept = std::exchange(m_itemFolder, std::nullopt);
    MacPath folder = url.deletingLastPathComponent();
    if (kept && kept->path == folder)
        return std::move(*kept);
    auto opened = openResolvedFolder(folder);
    if (!opened)
        return opened.error();
    return ItemFolder{std::move(folder), std::move(opened).value()};
}

std::optional<MacPath> LinuxTrashRun::openFolderOfItem(const MacPath& url)
{
    m_itemFolder.reset();
    if (!isMovable(url))
        return std::nullopt;
    auto folder = takeFolderOf(url);
    if (!folder)
        return std::nullopt;
    MacPath resolved = folder->opened.resolved;
    m_itemFolder = std::move(folder).value();
    return resolved;
}

FileResult<FileStatus> LinuxTrashRun::attributesOfItem(const MacPath& path)
{
    auto fail = [&path](int err) { return itemError(Access::read, path, "read", err); };
    if (!path.isAbsolute() || holdsNul(path))
        return fail(EINVAL);
    if (!isMovable(path)) {
        m_itemFolder.reset();
        auto status = fileStatus(path, FollowLinks::no);
        if (!status)
            return fail(status.error().systemErrno);
        return status.value();
    }
    auto folder = takeFolderOf(path);
    if (!folder)
        return fail(folder.error().systemErrno);
    auto status = fileStatusAt(folder->opened.fd.get(), path.lastPathComponent());
    if (!status)
        return fail(status.error().systemErrno);
    m_itemFolder = std::move(folder).value();
    m_itemFolder->itemRead = true;
    return status.value();
}

FileResult<std::optional<MacPath>> LinuxTrashRun::trashItem(const MacPath& url)
{
    auto fail = [&url](int err) {
        return itemError(Access::write, url, "moved to the Trash", err);
    };
    if (!isMovable(url)) {
        m_itemFolder.reset();
        return fail(EINVAL);
    }
    const std::string name = url.lastPathComponent();
    auto held = takeFolderOf(url);
    if (!held)
        return fail(held.error().systemErrno);
    const ResolvedFolder& folder = held->opened;
    // A missing item fails as itself, before any Trash is opened or made for it (an item whose
    // attributes were just read was there).
    if (!held->itemRead) {
        if (auto status = fileStatusAt(folder.fd.get(), name); !status)
            return fail(status.error().systemErrno);
    }
    auto trash = trashFor(folder.resolved);
    if (!trash)
        return fail(trash.error().systemErrno);
    Trash& into = **trash;
    for (int n = 1; n <= LinuxFileManager::kMaxTrashNameTries; ++n) {
        const std::string candidate = numberedName(name, n);
        std::string folded = foldForComparison(candidate);
        if (into.folded.contains(folded))
            continue;
        if (::renameat2(folder.fd.get(), name.c_str(), into.fd.get(), candidate.c_str(),
                        RENAME_NOREPLACE) == 0) {
            into.folded.insert(std::move(folded));
            return std::optional<MacPath>(into.path.appendingPathComponent(candidate));
        }
        const int err = errno;
        if (err != EEXIST)
            return fail(err);
        // Taken by an entry made since the Trash was listed: never replaced, and the name is
        // known to be taken from now on.
        into.folded.insert(std::move(folded));
    }
    return fail(EEXIST);
}

} // namespace

FileResult<std::optional<MacPath>> LinuxFileManager::trashItem(const MacPath& url)
{
    return LinuxTrashRun().trashItem(url);
}

std::unique_ptr<FileManager::TrashRun> LinuxFileManager::beginTrashRun()
{
    return std::make_unique<LinuxTrashRun>();
}

FileResult<void> LinuxFileManager::moveItem(const MacPath& from, const MacPath& to)
{
    const std::string action = "moved to “" + displayName(to.deletingLastPathComponent()) + "”";
    auto fail = [&](int err) { return itemError(Access::write, from, action, err); };
    if (!isMovable(from) || !isMovable(to))
        return fail(EINVAL);
    auto fromParent = openResolvedFolder(from.deletingLastPathComponent());
    if (!fromParent)
        return fail(fromParent.error().systemErrno);
    auto toParent = openResolvedFolder(to.deletingLastPathComponent());
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
