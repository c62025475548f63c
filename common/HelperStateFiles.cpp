// The helper's state files: folders made 0700, atomic writes (flushed or not), guarded reads.
#include "common/HelperStateFiles.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/AtomicFile.h"
#include "platform/MacFileSystem.h"

namespace veldo::common::HelperStateFiles {

namespace {

using platform::MacPath;

// The folder's descriptor, readable so that it can be listed and flushed, opened inside the root.
Result<UniqueFd> openFolder(const MacPath& folder)
{
    return platform::openInRoot(folder, O_RDONLY | O_DIRECTORY, platform::FollowLinks::yes);
}

// An entry name the kernel would read whole: one holding NUL would be cut short there.
bool holdsNul(std::string_view name)
{
    return name.find('\0') != std::string_view::npos;
}

// Gives a new folder or file its mode and, when running as root, root as its owner.
Result<void> establishOwnership(int fd, mode_t mode)
{
    if (::geteuid() == 0 && ::fchown(fd, 0, 0) != 0)
        return Error::fromErrno(errno);
    if (::fchmod(fd, mode) != 0)
        return Error::fromErrno(errno);
    return {};
}

// Makes `folder` and its missing parents (0700, root's when running as root) and opens it.
Result<UniqueFd> makeAndOpen(const MacPath& folder)
{
    const MacPath standardized = folder.standardized();
    if (!standardized.isAbsolute())
        return Error::fromErrno(EINVAL, folder.path());
    return platform::makeFoldersInRoot(standardized, kFolderMode,
                                       [](int fd) { return establishOwnership(fd, kFolderMode); });
}

// Retries `call` while it fails with EINTR; its result.
template <typename Call>
int retrying(const Call& call)
{
    int rc;
    do {
        rc = call();
    } while (rc != 0 && errno == EINTR);
    return rc;
}

} // namespace

bool Folder::holdsFolder() const
{
    // Still a folder with a name: one removed since (no links left) is opened again.
    struct stat st = {};
    return m_fd && ::fstat(m_fd.get(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_nlink > 0;
}

Result<int> Folder::open()
{
    if (holdsFolder())
        return m_fd.get();
    auto made = makeAndOpen(m_path);
    if (!made)
        return made.error();
    m_fd = std::move(*made);
    return m_fd.get();
}

Result<int> Folder::openExisting()
{
    if (holdsFolder())
        return m_fd.get();
    auto opened = openFolder(m_path);
    if (!opened)
        return opened.error();
    m_fd = std::move(*opened);
    return m_fd.get();
}

Result<void> makeFolders(const MacPath& folder)
{
    const auto made = makeAndOpen(folder);
    if (!made)
        return made.error();
    return {};
}

Result<void> tightenFolder(const MacPath& folder)
{
    const auto fd = openFolder(folder);
    if (!fd)
        return fd.error();
    if (::fchmod(fd->get(), kFolderMode) != 0)
        return Error::fromErrno(errno, folder.path());
    return {};
}

namespace {

Result<void> writeAtomicallyIn(int directory, const MacPath& folder, std::string_view name,
                               std::span<const std::string_view> pieces,
                               AtomicDurability durability)
{
    auto written = platform::writeFileAtomicallyAt(directory, name, pieces, kFileMode, durability);
    if (!written) {
        // The platform's writer names no path; the entry's is ours to add.
        Error error = written.error();
        error.path = folder.appendingPathComponent(name).path();
        return error;
    }
    return {};
}

Result<void> removeIn(int directory, const MacPath& folder, std::string_view name)
{
    const std::string path = folder.appendingPathComponent(name).path();
    if (holdsNul(name))
        return Error::fromErrno(EINVAL, path);
    const std::string entry(name);
    if (::unlinkat(directory, entry.c_str(), 0) != 0)
        return Error::fromErrno(errno, path);
    return {};
}

} // namespace

Result<void> writeAtomically(const MacPath& folder, std::string_view name, std::string_view bytes,
                             AtomicDurability durability)
{
    const auto directory = openFolder(folder);
    if (!directory)
        return directory.error();
    return writeAtomicallyIn(directory->get(), folder, name,
                             std::span<const std::string_view>(&bytes, 1), durability);
}

Result<void> writeAtomically(Folder& folder, std::string_view name, std::string_view bytes,
                             AtomicDurability durability)
{
    return writeAtomically(folder, name, std::span<const std::string_view>(&bytes, 1), durability);
}

Result<void> writeAtomically(Folder& folder, std::string_view name,
                             std::span<const std::string_view> pieces, AtomicDurability durability)
{
    const auto directory = folder.open();
    if (!directory)
        return directory.error();
    return writeAtomicallyIn(*directory, folder.path(), name, pieces, durability);
}

Result<void> flushFile(Folder& folder, std::string_view name)
{
    const std::string path = folder.path().appendingPathComponent(name).path();
    if (holdsNul(name))
        return Error::fromErrno(EINVAL, path);
    const auto directory = folder.openExisting();
    if (!directory)
        return directory.error();
    const std::string entry(name);
    int fd;
    do {
        fd = ::openat(*directory, entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Error::fromErrno(errno, path);
    const UniqueFd file(fd);
    if (retrying([&] { return ::fsync(file.get()); }) != 0)
        return Error::fromErrno(errno, path);
    return {};
}

Result<void> flushFolder(Folder& folder)
{
    const auto directory = folder.openExisting();
    if (!directory)
        return directory.error();
    if (retrying([&] { return ::fsync(*directory); }) != 0)
        return Error::fromErrno(errno, folder.path().path());
    return {};
}

Result<void> flushFileSystem(Folder& folder)
{
    const auto directory = folder.openExisting();
    if (!directory)
        return directory.error();
    if (retrying([&] { return ::syncfs(*directory); }) != 0)
        return Error::fromErrno(errno, folder.path().path());
    return {};
}

Result<void> link(Folder& folder, std::string_view from, std::string_view to)
{
    const std::string path = folder.path().appendingPathComponent(from).path();
    if (holdsNul(from) || holdsNul(to))
        return Error::fromErrno(EINVAL, path);
    const auto directory = folder.openExisting();
    if (!directory)
        return directory.error();
    const std::string source(from);
    const std::string target(to);
    if (::linkat(*directory, source.c_str(), *directory, target.c_str(), 0) != 0)
        return Error::fromErrno(errno, path);
    return {};
}

Result<std::string> read(const MacPath& folder, std::string_view name, std::size_t maxBytes)
{
    const std::string path = folder.appendingPathComponent(name).path();
    if (holdsNul(name))
        return Error::fromErrno(EINVAL, path);
    const auto directory = openFolder(folder);
    if (!directory)
        return directory.error();
    const std::string entry(name);
    int fd;
    do {
        // Non-blocking, so that a FIFO put at the name cannot hold the open.
        fd = ::openat(directory->get(), entry.c_str(),
                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Error::fromErrno(errno, path);
    const UniqueFd file(fd);
    struct stat st = {};
    if (::fstat(file.get(), &st) != 0)
        return Error::fromErrno(errno, path);
    if (!S_ISREG(st.st_mode))
        return Error::fromErrno(EINVAL, path);
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return Error::fromErrno(EFBIG, path);

    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno, path);
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes)
            return Error::fromErrno(EFBIG, path); // it grew while being read
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

Result<void> remove(const MacPath& folder, std::string_view name)
{
    if (holdsNul(name))
        return Error::fromErrno(EINVAL, folder.appendingPathComponent(name).path());
    const auto directory = openFolder(folder);
    if (!directory)
        return directory.error();
    return removeIn(directory->get(), folder, name);
}

Result<void> remove(Folder& folder, std::string_view name)
{
    const auto directory = folder.openExisting();
    if (!directory)
        return directory.error();
    return removeIn(*directory, folder.path(), name);
}

Result<void> renameWithoutReplacing(const MacPath& folder, std::string_view from,
                                    std::string_view to)
{
    if (holdsNul(from) || holdsNul(to))
        return Error::fromErrno(EINVAL, folder.appendingPathComponent(from).path());
    const auto opened = openFolder(folder);
    if (!opened)
        return opened.error();
    const UniqueFd& directory = *opened;
    const std::string source(from);
    const std::string target(to);
    if (::renameat2(directory.get(), source.c_str(), directory.get(), target.c_str(),
                    RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL)
        return Error::fromErrno(errno, folder.appendingPathComponent(from).path());
    // A file system without RENAME_NOREPLACE: look first. The state folder is root's alone, so
    // nothing else can slip a name in between.
    struct stat st = {};
    if (::fstatat(directory.get(), target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return Error::fromErrno(EEXIST, folder.appendingPathComponent(to).path());
    if (::renameat(directory.get(), source.c_str(), directory.get(), target.c_str()) != 0)
        return Error::fromErrno(errno, folder.appendingPathComponent(from).path());
    return {};
}

Result<std::vector<std::string>> list(const MacPath& folder)
{
    auto directory = openFolder(folder);
    if (!directory)
        return directory.error();
    auto names = base::folderNames(std::move(directory).value());
    if (!names)
        return Error::fromErrno(names.error().systemErrno, folder.path());
    return names;
}

} // namespace veldo::common::HelperStateFiles
