// File-system calls by Mac path, resolved by the kernel inside the Mac root.
#include "platform/MacFileSystem.h"

#include <cerrno>
#include <climits>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/HostFiles.h"
#include "platform/MacRoot.h"
#include "platform/Unicode.h"

namespace veldo::platform {

namespace {

constexpr int kMaxLinks = 40;
// openat2 answers EAGAIN when a rename elsewhere raced its walk over ".."; the walk is retried.
constexpr int kRaceRetries = 32;
constexpr std::uint64_t kInRoot = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;

bool holdsNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

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

// The components joined as a path relative to the root's descriptor ("." for the root). A
// trailing slash is dropped with the empty components, so it never makes the kernel follow a
// last link that the caller asked to keep.
std::string relativeToRoot(const std::vector<std::string>& parts)
{
    if (parts.empty())
        return ".";
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty())
            out.push_back('/');
        out.append(p);
    }
    return out;
}

// The components with "." dropped and ".." taking the one before it away (none above "/"), as
// the kernel takes them when no link is in the way.
std::string lexicallyResolved(const std::vector<std::string>& parts)
{
    std::vector<std::string> kept;
    for (const std::string& part : parts) {
        if (part == "..") {
            if (!kept.empty())
                kept.pop_back();
        } else if (part != ".") {
            kept.push_back(part);
        }
    }
    return joinMac(kept);
}

// openat2 from the root's descriptor with RESOLVE_IN_ROOT and RESOLVE_NO_MAGICLINKS, and
// `moreResolve` flags.
int openBeneath(int rootFd, const std::string& relative, int flags, mode_t mode,
                std::uint64_t moreResolve = 0)
{
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags | O_CLOEXEC);
    // openat2 refuses a mode without a flag that creates.
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        how.mode = mode;
    how.resolve = kInRoot | moreResolve;
    for (int attempt = 0;; ++attempt) {
        const long fd = ::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how);
        if (fd >= 0)
            return static_cast<int>(fd);
        if (errno == EINTR || (errno == EAGAIN && attempt < kRaceRetries))
            continue;
        return -1;
    }
}

// The root's own descriptor (the host's "/" for the identity mapping) and the path the kernel
// gives for it, opened once per root and shared by every call.
struct RootHandle
{
    UniqueFd fd;
    std::string canonical; // the root as /proc names it, links in the host path resolved
};

struct RootCache
{
    std::mutex mutex;
    std::shared_ptr<const RootHandle> handle;
    MacRootResetHook hook = addMacRootResetHook([this] {
        std::lock_guard lock(mutex);
        handle.reset();
    });
};

Result<std::shared_ptr<const RootHandle>> openRoot()
{
    static RootCache cache;
    std::lock_guard lock(cache.mutex);
    if (cache.handle)
        return cache.handle;
    const std::string root = macRoot();
    auto handle = std::make_shared<RootHandle>();
    do {
        handle->fd.reset(
            ::open(root.empty() ? "/" : root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    } while (!handle->fd && errno == EINTR);
    if (!handle->fd)
        return Error::fromErrno(errno);
    handle->canonical = hostPathOfDescriptor(handle->fd.get()).string();
    cache.handle = handle;
    return cache.handle;
}

// The Mac path of what `fd` holds, named by /proc; none when /proc can't tell or it lies
// outside the root.
std::optional<std::string> macPathUnderRoot(const RootHandle& root, int fd)
{
    if (root.canonical.empty())
        return std::nullopt;
    const std::string host = hostPathOfDescriptor(fd).string();
    if (host.empty() || host.front() != '/')
        return std::nullopt;
    if (root.canonical == "/")
        return host;
    if (host.compare(0, root.canonical.size(), root.canonical) != 0)
        return std::nullopt;
    if (host.size() == root.canonical.size())
        return std::string("/");
    if (host[root.canonical.size()] != '/')
        return std::nullopt;
    return host.substr(root.canonical.size());
}

// The Mac path of the entry the root-relative `parts` lead to, followed by the kernel inside
// the root and named by /proc; none when the kernel can't open it or /proc can't tell (the
// caller then walks the components itself).
std::optional<std::string> kernelResolved(const RootHandle& root,
                                          const std::vector<std::string>& parts)
{
    if (root.canonical.empty())
        return std::nullopt;
    const UniqueFd fd(openBeneath(root.fd.get(), relativeToRoot(parts), O_PATH, 0));
    if (!fd)
        return std::nullopt;
    return macPathUnderRoot(root, fd.get());
}

// Resolves `path` inside the root: by its letters when it holds no link, by the kernel when it
// exists, else component by component, each step relative to the descriptor of the folder
// reached so far. With followLast false, the last component is left as it is (its parents are
// resolved). Components that are missing are taken lexically. Answers the resolved
// Mac path; ELOOP on a link loop, EINVAL for a path holding NUL.
Result<std::string> resolveInRoot(const MacPath& path, bool followLast)
{
    if (holdsNul(path.path()))
        return Error::fromErrno(EINVAL, path.path());
    auto opened = openRoot();
    if (!opened)
        return Error::fromErrno(opened.error().systemErrno, path.path());
    const RootHandle& root = **opened;
    std::vector<std::string> parts = splitPath(path.path());
    // Most paths hold no link at all: then the answer is the lexical one. Most of the rest
    // exist, and the kernel resolves them in one call. With the last component kept as it is,
    // only its folder is resolved so.
    const int plainFlags = followLast ? O_PATH : O_PATH | O_NOFOLLOW;
    if (const UniqueFd plain(
            openBeneath(root.fd.get(), relativeToRoot(parts), plainFlags, 0, RESOLVE_NO_SYMLINKS));
        plain)
        return lexicallyResolved(parts);
    if (followLast || parts.empty() || parts.back() == "." || parts.back() == "..") {
        if (auto whole = kernelResolved(root, parts))
            return std::move(*whole);
    } else {
        std::vector<std::string> folderParts(parts.begin(), parts.end() - 1);
        if (auto folder = kernelResolved(root, folderParts))
            return (*folder == "/" ? *folder : *folder + "/") + parts.back();
    }
    std::deque<std::string> pending;
    for (auto& c : parts)
        pending.push_back(std::move(c));
    std::vector<std::string> resolved;
    // The folder `resolved` names, when it is open; reopened from the root when needed.
    UniqueFd folder;
    int links = 0;
    // Components of `resolved` from this index on could not be looked at and are taken
    // lexically; once ".." takes them away again, what follows is resolved as usual.
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
            folder.reset();
            continue;
        }
        const bool missing = missingFrom != kNone;
        if (missing || (pending.empty() && !followLast)) {
            resolved.push_back(std::move(c));
            folder.reset();
            continue;
        }
        if (!folder)
            folder.reset(
                openBeneath(root.fd.get(), relativeToRoot(resolved), O_PATH | O_DIRECTORY, 0));
        struct stat st
        {
        };
        if (!folder || ::fstatat(folder.get(), c.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Whatever lies beyond a missing component is taken lexically.
            missingFrom = resolved.size();
            resolved.push_back(std::move(c));
            folder.reset();
            continue;
        }
        if (!S_ISLNK(st.st_mode)) {
            UniqueFd next;
            if (S_ISDIR(st.st_mode))
                next.reset(::openat(folder.get(), c.c_str(),
                                    O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            folder = std::move(next);
            resolved.push_back(std::move(c));
            continue;
        }
        if (++links > kMaxLinks)
            return Error::fromErrno(ELOOP, path.path());
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t n = ::readlinkat(folder.get(), c.c_str(), target.data(), target.size());
        if (n < 0) {
            missingFrom = resolved.size();
            resolved.push_back(std::move(c));
            folder.reset();
            continue;
        }
        target.resize(static_cast<size_t>(n));
        if (!target.empty() && target.front() == '/') {
            resolved.clear();
            folder.reset();
        }
        auto targetParts = splitPath(target);
        for (auto it = targetParts.rbegin(); it != targetParts.rend(); ++it)
            pending.push_front(std::move(*it));
    }
    return joinMac(resolved);
}

// statx of `name` in `fd` ("" for the descriptor itself), a final link not followed.
Result<FileStatus> statEntry(int fd, const char* name)
{
    struct statx sx
    {
    };
    const int flags = (*name == '\0' ? AT_EMPTY_PATH : 0) | AT_SYMLINK_NOFOLLOW;
    if (::statx(fd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
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

Result<HostPath> resolvedHostPath(const MacPath& path, FollowLinks follow)
{
    auto r = resolveInRoot(path, follow == FollowLinks::yes);
    if (!r)
        return r.error();
    return HostPath(hostPath(MacPath(std::move(*r))));
}

bool isExecutable(const MacPath& path)
{
    const auto opened = openInRoot(path, O_PATH, FollowLinks::yes);
    if (!opened)
        return false;
    return ::access(descriptorName(opened->get()).c_str(), X_OK) == 0;
}

std::optional<MacPath> macPathOfDescriptor(int fd)
{
    auto root = openRoot();
    if (!root)
        return std::nullopt;
    auto path = macPathUnderRoot(**root, fd);
    if (!path)
        return std::nullopt;
    return MacPath(std::move(*path));
}

Result<UniqueFd> openInRoot(const MacPath& path, int flags, FollowLinks follow, mode_t mode)
{
    if (holdsNul(path.path()))
        return Error::fromErrno(EINVAL, path.path());
    auto root = openRoot();
    if (!root)
        return Error::fromErrno(root.error().systemErrno, path.path());
    if (follow == FollowLinks::no)
        flags |= O_NOFOLLOW;
    const int fd =
        openBeneath((*root)->fd.get(), relativeToRoot(splitPath(path.path())), flags, mode);
    if (fd < 0)
        return Error::fromErrno(errno, path.path());
    return UniqueFd(fd);
}

Result<UniqueFd> makeFoldersInRoot(const MacPath& folder, mode_t mode,
                                   const std::function<Result<void>(int)>& prepareNew)
{
    if (holdsNul(folder.path()))
        return Error::fromErrno(EINVAL, folder.path());
    auto root = openRoot();
    if (!root)
        return Error::fromErrno(root.error().systemErrno, folder.path());
    const std::vector<std::string> parts = splitPath(folder.path());
    // Each prefix is opened from the root, so its links resolve inside it; a missing one is
    // made in the folder opened just before, which is where the kernel looked for it.
    const int rootFd = (*root)->fd.get();
    UniqueFd parent(openBeneath(rootFd, ".", O_PATH | O_DIRECTORY, 0));
    std::vector<std::string> prefix;
    for (const std::string& part : parts) {
        if (!parent)
            return Error::fromErrno(errno, folder.path());
        prefix.push_back(part);
        UniqueFd next(openBeneath(rootFd, relativeToRoot(prefix), O_PATH | O_DIRECTORY, 0));
        if (!next && errno == ENOENT && part != "." && part != "..") {
            int rc;
            do {
                rc = ::mkdirat(parent.get(), part.c_str(), mode);
            } while (rc != 0 && errno == EINTR);
            if (rc == 0) {
                UniqueFd made;
                do {
                    made.reset(::openat(parent.get(), part.c_str(),
                                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                } while (!made && errno == EINTR);
                if (!made)
                    return Error::fromErrno(errno, folder.path());
                if (prepareNew) {
                    if (auto prepared = prepareNew(made.get()); !prepared)
                        return Error::fromErrno(prepared.error().systemErrno, folder.path());
                }
                next = std::move(made);
            } else if (errno == EEXIST) {
                // Made by someone else meanwhile (or a link whose target is missing).
                next.reset(openBeneath(rootFd, relativeToRoot(prefix), O_PATH | O_DIRECTORY, 0));
            } else {
                return Error::fromErrno(errno, folder.path());
            }
        }
        if (!next)
            return Error::fromErrno(errno, folder.path());
        parent = std::move(next);
    }
    return openInRoot(folder, O_RDONLY | O_DIRECTORY, FollowLinks::yes);
}

Result<FileStatus> fileStatus(const MacPath& path, FollowLinks follow)
{
    auto fd = openInRoot(path, O_PATH, follow);
    if (!fd)
        return fd.error();
    auto st = statEntry(fd->get(), "");
    if (!st)
        return Error::fromErrno(st.error().systemErrno, path.path());
    return st;
}

Result<FileStatus> fileStatusAt(int folderFd, const std::string& name)
{
    if (name.empty() || holdsNul(name) || name.find('/') != std::string::npos)
        return Error::fromErrno(EINVAL, name);
    return statEntry(folderFd, name.c_str());
}

Result<ResolvedFolder> openResolvedFolder(const MacPath& folder)
{
    if (holdsNul(folder.path()))
        return Error::fromErrno(EINVAL, folder.path());
    auto root = openRoot();
    if (!root)
        return Error::fromErrno(root.error().systemErrno, folder.path());
    // A standardised absolute path is its own lexical resolution; others are taken apart.
    MacPath lexical = folder.standardized();
    std::string relative;
    if (folder.isAbsolute() && lexical.path() == folder.path()) {
        relative = folder.path() == "/" ? "." : folder.path().substr(1);
    } else {
        const std::vector<std::string> parts = splitPath(folder.path());
        relative = relativeToRoot(parts);
        lexical = MacPath(lexicallyResolved(parts));
    }
    constexpr int kFlags = O_PATH | O_DIRECTORY;
    // Most folders are reached without a link: then the path is its own resolution, and no
    // name has to be asked of /proc. A walk that fails for another reason met no link before
    // it failed, so following links would fail the same way.
    if (UniqueFd plain(openBeneath((*root)->fd.get(), relative, kFlags, 0, RESOLVE_NO_SYMLINKS));
        plain)
        return ResolvedFolder{std::move(plain), std::move(lexical)};
    if (errno != ELOOP)
        return Error::fromErrno(errno, folder.path());
    UniqueFd fd(openBeneath((*root)->fd.get(), relative, kFlags, 0));
    if (!fd)
        return Error::fromErrno(errno, folder.path());
    auto named = macPathUnderRoot(**root, fd.get());
    MacPath resolved = named ? MacPath(std::move(*named)) : resolvingSymlinks(folder);
    return ResolvedFolder{std::move(fd), std::move(resolved)};
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

namespace {

// The names in the folder open at `fd` (taken over and closed), without "." and "..".
Result<std::vector<std::string>> namesIn(UniqueFd fd, const MacPath& folder)
{
    auto names = base::folderNames(std::move(fd));
    if (!names)
        return Error::fromErrno(names.error().systemErrno, folder.path());
    return names;
}

} // namespace

Result<std::vector<std::string>> listDirectory(const MacPath& folder)
{
    auto fd = openInRoot(folder, O_RDONLY | O_DIRECTORY, FollowLinks::yes);
    if (!fd)
        return fd.error();
    return namesIn(std::move(*fd), folder);
}

Result<FolderReading> readFolder(const MacPath& folder)
{
    auto fd = openInRoot(folder, O_RDONLY | O_DIRECTORY, FollowLinks::yes);
    if (!fd)
        return fd.error();
    auto status = statEntry(fd->get(), "");
    if (!status)
        return Error::fromErrno(status.error().systemErrno, folder.path());
    auto names = namesIn(std::move(*fd), folder);
    if (!names)
        return names.error();
    return FolderReading{std::move(*status), std::move(*names)};
}

Result<std::string> readFile(const MacPath& path, std::size_t maxBytes)
{
    // Non-blocking, so that a FIFO at the path cannot hold the open.
    auto opened = openInRoot(path, O_RDONLY | O_NONBLOCK, FollowLinks::yes);
    if (!opened)
        return opened.error();
    const UniqueFd& fd = *opened;
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
    auto fd = openInRoot(path, O_PATH, FollowLinks::no);
    if (!fd)
        return fd.error();
    std::string target(4096, '\0');
    const ssize_t n = ::readlinkat(fd->get(), "", target.data(), target.size());
    if (n < 0)
        return Error::fromErrno(errno, path.path());
    target.resize(static_cast<size_t>(n));
    return target;
}

std::optional<std::string> findEntryCaseInsensitive(const MacPath& folder, std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        holdsNul(name))
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
