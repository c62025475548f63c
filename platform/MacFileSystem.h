// File-system access by Mac path: every call maps through MacRoot, and symbolic links are
// resolved inside the root (an absolute target is re-rooted, ".." never climbs above "/").
//
// All calls block on the file system, are thread-safe, and report failures as errno values
// (Error::systemErrno) without throwing. A missing path is ENOENT, never success.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "base/Result.h"
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
// A link loop (more than 40 links) gives the standardised input.
MacPath resolvingSymlinks(const MacPath& path);

// The host path of `path` with the links of its parent folders resolved inside the root, and
// its last component resolved too when `follow` is yes. What callers pass to host calls. When
// the links form a loop, kUnresolvableHostPath, which every host call refuses.
std::string resolvedHostPath(const MacPath& path, FollowLinks follow);

inline constexpr std::string_view kUnresolvableHostPath = "/dev/null/unresolvable-link-loop";

// stat (follow yes) or lstat (follow no) through the root.
Result<FileStatus> fileStatus(const MacPath& path, FollowLinks follow);

bool exists(const MacPath& path);         // follows links
bool isDirectory(const MacPath& path);    // follows links
bool isRegularFile(const MacPath& path);  // follows links
bool isSymbolicLink(const MacPath& path); // the entry itself

// Names in a folder (no "." or ".."), in the order the file system gives them.
Result<std::vector<std::string>> listDirectory(const MacPath& folder);

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
