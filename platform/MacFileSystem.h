// File-system access by Mac path: every call maps through MacRoot, and symbolic links are
// resolved inside the root (an absolute target is re-rooted, ".." never climbs above "/"). The
// kernel does the resolving from a descriptor of the root and the calls then work on the
// descriptor they got, so a folder turned into a link between two steps cannot lead outside.
//
// All calls block on the file system, are thread-safe, and report failures as errno values
// (Error::systemErrno) without throwing. A missing path is ENOENT, never success; a path holding
// NUL is EINVAL (it would otherwise be cut short where the kernel reads it); a loop of links is
// ELOOP. Needs Linux 5.6 or later (openat2).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "base/Result.h"
#include "base/UniqueFd.h"
#include "platform/HostPath.h"
#include "platform/MacPath.h"

namespace veldo::platform {

enum class FileType
{
    regular,
    directory,
    symlink,
    other
};

struct FileTime
{
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    double toSeconds() const { return static_cast<double>(seconds) + nanoseconds / 1e9; }
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

struct FileStatus
{
    FileType type = FileType::other;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    mode_t mode = 0; // full st_mode
    uid_t uid = 0;
    gid_t gid = 0;
    std::uint64_t linkCount = 0;
    std::int64_t size = 0;
    std::int64_t blocks = 0; // 512-byte blocks allocated
    FileTime accessTime;
    FileTime modificationTime;
    FileTime changeTime;
    std::optional<FileTime> birthTime; // when the file system reports one
};

enum class FollowLinks
{
    no,
    yes
};

// The path with every symbolic link resolved inside the root, standardised. Components that do
// not exist are kept as written (taken lexically), as Foundation's resolvingSymlinksInPath does.
// A link loop (more than 40 links), or a path holding NUL, gives the standardised input.
MacPath resolvingSymlinks(const MacPath& path);

// The host path of `path` with the links of its parent folders resolved inside the root, and
// its last component resolved too when `follow` is yes, for the few host calls that only take a
// path (starting a program). The answer is only as good as the moment it was computed: work on
// files through openInRoot instead. Fails with ELOOP on a loop of links and EINVAL for a path
// holding NUL.
Result<HostPath> resolvedHostPath(const MacPath& path, FollowLinks follow);

// True when this process may execute `path` (its links resolved inside the root); false when it
// may not, when it is missing and on any failure to resolve it.
bool isExecutable(const MacPath& path);

// The Mac path of what a descriptor opened inside the root holds, as the kernel names it now;
// none when /proc can't tell or it lies outside the root.
std::optional<MacPath> macPathOfDescriptor(int fd);

// Opens `path` with the open(2) `flags` (O_CLOEXEC added) and `mode` (with O_CREAT). The kernel
// resolves the path from a descriptor of the root (openat2 with RESOLVE_IN_ROOT and
// RESOLVE_NO_MAGICLINKS): links are followed inside the root with an absolute target re-rooted,
// ".." stops at "/", and a folder turned into a link while the call runs cannot lead it out of
// the root. With follow no a link at the last component is not followed: O_PATH opens the link
// itself, other opens fail with ELOOP. A relative path is taken from "/". Fails with EINVAL for
// a path holding NUL, ELOOP for more than 40 links, or the errno of the open; retries EINTR and
// the kernel's EAGAIN after a rename raced the walk.
Result<UniqueFd> openInRoot(const MacPath& path, int flags, FollowLinks follow, mode_t mode = 0);

// Makes `folder` and its missing parents inside the root, each new one with `mode` and handed
// (open, readable) to `prepareNew` before anything is made inside it; its failure stops the
// walk and is answered with the folder's path. Folders that exist keep their mode and owner.
// Answers the folder opened O_RDONLY | O_DIRECTORY. Fails with ENOTDIR when something that is not a
// folder stands in the way, EINVAL for a path holding NUL, or the errno of the failing call.
Result<UniqueFd> makeFoldersInRoot(const MacPath& folder, mode_t mode,
                                   const std::function<Result<void>(int)>& prepareNew = {});

// stat (follow yes) or lstat (follow no) through the root.
Result<FileStatus> fileStatus(const MacPath& path, FollowLinks follow);

// lstat of the entry `name` (one component, not followed when it is a link) in the folder
// open as `folderFd`.
Result<FileStatus> fileStatusAt(int folderFd, const std::string& name);

// A folder opened inside the root, with the Mac path it was reached at once its links are
// resolved.
struct ResolvedFolder
{
    UniqueFd fd; // O_PATH | O_DIRECTORY
    MacPath resolved;
};

// Opens `folder`, its links followed inside the root. The resolved path is the folder's own
// letters (standardised) when no link lies on the way, else the path /proc names for the
// descriptor (or, when /proc can't tell, resolvingSymlinks of it). Fails as openInRoot does.
Result<ResolvedFolder> openResolvedFolder(const MacPath& folder);

bool exists(const MacPath& path);         // follows links
bool isDirectory(const MacPath& path);    // follows links
bool isRegularFile(const MacPath& path);  // follows links
bool isSymbolicLink(const MacPath& path); // the entry itself

// Names in a folder (no "." or ".."), in the order the file system gives them.
Result<std::vector<std::string>> listDirectory(const MacPath& folder);

// The folder's status (links followed) and then its names, as listDirectory gives them, both
// read through one descriptor, so they are of the same folder.
struct FolderReading
{
    FileStatus status;
    std::vector<std::string> names;
};
Result<FolderReading> readFolder(const MacPath& folder);

// The whole file, refused (EFBIG) when larger than `maxBytes`.
Result<std::string> readFile(const MacPath& path, std::size_t maxBytes);

// The target text of a symbolic link, as stored.
Result<std::string> readSymbolicLink(const MacPath& path);

// The name of the entry in `folder` that a case-insensitive Mac volume would answer for
// `name`: `name` itself when it exists, else the first entry whose name folds equal (NFD, case
// folded), as stored on disk. None when there is no such entry or the folder can't be listed.
std::optional<std::string> findEntryCaseInsensitive(const MacPath& folder, std::string_view name);

// The same lookup, answering the whole path of the entry.
std::optional<MacPath> existingCaseInsensitive(const MacPath& folder, std::string_view name);

} // namespace veldo::platform
