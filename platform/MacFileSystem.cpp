// File-system calls by Mac path, with symbolic links resolved inside the Mac root.
#include "platform/MacFileSystem.h"

#include <cerrno>
#include <deque>
#include <limits>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "platform/MacRoot.h"
#include "platform/Unicode.h"

namespace veldo::platform {

namespace {

constexpr int kMaxLinks = 40;

// The components of a path without the leading "/".
std::vector<std::string> splitPath(std::string_view p)
{
    auto parts = MacPath(p).pathComponents();
    if (!parts.empty() && parts.front() == "/")
        parts.erase(parts.begin());
    return parts;
}

std::string joinMac(const std::vector<std::string>& parts)
{
    if (parts.empty())
        return "/";
    std::string out;
    for (const auto& p : parts) {
        out.push_back('/');
        out.append(p);
    }
    return out;
}

// Resolves `path` component by component inside the root. With followLast no, the last
// component is left as it is (its parents are resolved). Returns the resolved Mac path, or
// none on a link loop.
std::optional<std::string> resolveInRoot(const MacPath& path, bool followLast)
{
    const std::string root = macRoot();
    std::deque<std::string> pending;
    for (auto& c : splitPath(path.path()))
        pending.push_back(std::move(c));
    std::vector<std::string> resolved;
    int links = 0;
    // Components of `resolved` from this index on could not be looked at and are taken
    // lexically; once ".." takes them away again, what follows is resolved as usual (else a
    // link after "missing/.." would reach the host unresolved and lead it out of the root).
    constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    std::size_t missingFrom = kNone;
    while (!pending.empty()) {
        std::string c = std::move(pending.front());
        pending.pop_front();
        if (c == ".")
            continue;
        if (c == "..") {
            if (!resolved.empty())
                resolved.pop_back();
            if (resolved.size() <= missingFrom)
                missingFrom = kNone;
            continue;
        }
        const bool missing = missingFrom != kNone;
        if (missing || (pending.empty() && !followLast)) {
            resolved.push_back(std::move(c));
            continue;
        }
        std::string host = root + joinMac(resolved);
        if (host.back() != '/')
            host.push_back('/');
        host.append(c);
        struct stat st
        {
        };
        if (::lstat(host.c_str(), &st) != 0) {
            // Whatever lies beyond a missing component is taken lexically.
            missingFrom = resolved.size();
            resolved.push_back(std::move(c));
            continue;
        }
        if (!S_ISLNK(st.st_mode)) {
            resolved.push_back(std::move(c));
            continue;
        }
        if (++links > kMaxLinks)
            return std::nullopt;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        ssize_t n = ::readlink(host.c_str(), target.data(), target.size());
        if (n < 0) {
            missingFrom = resolved.size();
            resolved.push_back(std::move(c));
            continue;
        }
        target.resize(static_cast<size_t>(n));
        if (!target.empty() && target.front() == '/')
            resolved.clear();
        auto targetParts = splitPath(target);
        for (auto it = targetParts.rbegin(); it != targetParts.rend(); ++it)
            pending.push_front(std::move(*it));
    }
    return joinMac(resolved);
}

Result<FileStatus> statHost(const std::string& host, bool follow)
{
    struct statx sx
    {
    };
    const int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::statx(AT_FDCWD, host.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return Error::fromErrno(errno);
    FileStatus s;
    const mode_t mode = sx.stx_mode;
    s.type = S_ISREG(mode)   ? FileType::regular
             : S_ISDIR(mode) ? FileType::directory
             : S_ISLNK(mode) ? FileType::symlink
                             : FileType::other;
    s.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    s.inode = sx.stx_ino;
    s.mode = mode;
    s.uid = sx.stx_uid;
    s.gid = sx.stx_gid;
    s.linkCount = sx.stx_nlink;
    s.size = static_cast<std::int64_t>(sx.stx_size);
    s.blocks = static_cast<std::int64_t>(sx.stx_blocks);
    s.accessTime = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    s.modificationTime = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    s.changeTime = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
    if (sx.stx_mask & STATX_BTIME)
        s.birthTime = FileTime{sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    return s;
}

} // namespace

MacPath resolvingSymlinks(const MacPath& path)
{
    if (auto r = resolveInRoot(path, true))
        return MacPath(std::move(*r));
    return path.standardized();
}

std::string resolvedHostPath(const MacPath& path, FollowLinks follow)
{
    auto r = resolveInRoot(path, follow == FollowLinks::yes);
    if (r)
        return hostPath(*r);
    // A loop of links: the unresolved path would let the host follow an absolute target out of
    // the root. Hand over a path every call refuses (ENOTDIR) and that nothing can create.
    return std::string(kUnresolvableHostPath);
}

Result<FileStatus> fileStatus(const MacPath& path, FollowLinks follow)
{
    auto r = resolveInRoot(path, follow == FollowLinks::yes);
    if (!r)
        return Error::fromErrno(ELOOP, path.path());
    auto st = statHost(hostPath(*r), false);
    if (!st)
        return Error::fromErrno(st.error().systemErrno, path.path());
    return st;
}

bool exists(const MacPath& path)
{
    return fileStatus(path, FollowLinks::yes).has_value();
}

bool isDirectory(const MacPath& path)
{
    auto st = fileStatus(path, FollowLinks::yes);
    return st && st->type == FileType::directory;
}

bool isRegularFile(const MacPath& path)
{
    auto st = fileStatus(path, FollowLinks::yes);
    return st && st->type == FileType::regular;
}

bool isSymbolicLink(const MacPath& path)
{
    auto st = fileStatus(path, FollowLinks::no);
    return st && st->type == FileType::symlink;
}

Result<std::vector<std::string>> listDirectory(const MacPath& folder)
{
    auto r = resolveInRoot(folder, true);
    if (!r)
        return Error::fromErrno(ELOOP, folder.path());
    UniqueFd fd(::open(hostPath(*r).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return Error::fromErrno(errno, folder.path());
    DIR* dir = ::fdopendir(fd.get());
    if (!dir)
        return Error::fromErrno(errno, folder.path());
    fd.release();
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* e = ::readdir(dir)) { // NOLINT(concurrency-mt-unsafe): one DIR per call
        std::string_view name = e->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0)
        return Error::fromErrno(err, folder.path());
    return names;
}

Result<std::string> readFile(const MacPath& path, std::size_t maxBytes)
{
    auto r = resolveInRoot(path, true);
    if (!r)
        return Error::fromErrno(ELOOP, path.path());
    UniqueFd fd(::open(hostPath(*r).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return Error::fromErrno(errno, path.path());
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        return Error::fromErrno(errno, path.path());
    if (S_ISDIR(st.st_mode))
        return Error::fromErrno(EISDIR, path.path());
    if (!S_ISREG(st.st_mode))
        return Error::fromErrno(EINVAL, path.path());
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return Error::fromErrno(EFBIG, path.path());
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno, path.path());
        }
        if (n == 0)
            break;
        if (data.size() + static_cast<size_t>(n) > maxBytes)
            return Error::fromErrno(EFBIG, path.path());
        data.append(buf, static_cast<size_t>(n));
    }
    return data;
}

Result<std::string> readSymbolicLink(const MacPath& path)
{
    const std::string host = resolvedHostPath(path, FollowLinks::no);
    std::string target(4096, '\0');
    ssize_t n = ::readlink(host.c_str(), target.data(), target.size());
    if (n < 0)
        return Error::fromErrno(errno, path.path());
    target.resize(static_cast<size_t>(n));
    return target;
}

std::optional<std::string> findEntryCaseInsensitive(const MacPath& folder, std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos)
        return std::nullopt;
    if (fileStatus(folder.appendingPathComponent(name), FollowLinks::no))
        return std::string(name);
    auto names = listDirectory(folder);
    if (!names)
        return std::nullopt;
    const std::string wanted = foldForComparison(name);
    for (const auto& entry : *names) {
        if (foldForComparison(entry) == wanted)
            return entry;
    }
    return std::nullopt;
}

std::optional<MacPath> existingCaseInsensitive(const MacPath& folder, std::string_view name)
{
    if (auto found = findEntryCaseInsensitive(folder, name))
        return folder.appendingPathComponent(*found);
    return std::nullopt;
}

} // namespace veldo::platform
