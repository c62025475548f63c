// Descriptor-relative file access for the helper daemon (and the app's administrator path):
// walks from the Mac root one folder at a time, status and listings relative to open folders,
// the private staging folder, and a guarded folder removal.
//
// Security contract: nothing here follows a symbolic link, reaches a folder outside the Mac
// root, or re-opens something by a path string it built (the only paths opened are
// "/proc/self/fd/N" names of descriptors already held, and "/proc/self/mountinfo").
// The helper's "/" is the Mac root host folder (platform::macRoot(), "" meaning the host's "/"),
// opened once as a directory descriptor; a ".." met at that root stays at the root, as "/.."
// does on a Mac.
//
// Every call blocks on the file system, keeps no state of its own (beyond the cached root and
// test hooks), is safe on any thread, and retries EINTR. Failures are Results whose
// error().systemErrno is the errno of the failing call (error().code is ErrorCode::ioFailure);
// probes that cannot fail loudly answer none, and callers take none as "no proof", never as a
// match. Three codes are set by the operations themselves rather than by a system call: kEAUTH (a
// per-folder check refused a step of openPathBeneath), EILSEQ (a name differs from the one stored
// on disk) and EPERM (a private folder failed its checks). Compare codes by name (EACCES,
// kEAUTH), never by a Darwin number.
// Entry names are single path components: a name that is empty, ".", "..", or holds "/" or a NUL
// byte is refused with EINVAL.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Result.h"
#include "common/HelperStat.h"
#include "common/SharedDescriptor.h"
#include "platform/ErrnoName.h"

namespace veldo::common {

using platform::kEAUTH;

// The per-folder check of openPathBeneath: gets each folder's status and open descriptor, and
// returns false to refuse the walk there.
using HelperFolderCheck = std::function<bool(const HelperStat&, const SharedDescriptor&)>;

// Opens the host folder `hostFolder` ("" for "/") as a search-only directory descriptor, the
// root of the walks. The folder is configuration, not user data, so a link in it is followed.
Result<SharedDescriptor> openHelperRoot(const std::string& hostFolder);

// The process's helper root: platform::macRoot() opened once and kept; opened again after the
// Mac root changes (platform::testing::setMacRoot). A failure is not kept.
Result<SharedDescriptor> helperRoot();

// How openPathBeneath opens the last folder and compares names; the default opens every folder
// search-only and takes each name as the kernel finds it.
struct OpenBeneath
{
    bool readable = false;   // open the last folder O_RDONLY, so that it can be listed
    bool exactNames = false; // each component must be the name stored on disk
};

// Opens the absolute Mac path `path` beneath `root`, one component at a time, and returns the
// last folder (a new descriptor of the root itself when the path has no component).
// - Empty pieces vanish: "//a/" is "/a". "." stays where it is. ".." goes back to the folder the
//   walk came from (and must find the very folder it came through, else EXDEV); at the root it
//   stays at the root.
// - Folders are opened search-only (O_PATH) without following links; with `how.readable` the last
//   one is opened O_RDONLY instead, so that it can be listed. A symbolic link or a
//   non-directory at any step fails there (ELOOP or ENOTDIR); a component with a NUL byte fails
//   with EINVAL.
// - With `how.exactNames`, each component must be the name stored on disk (canonically equivalent);
//   otherwise the step fails with EILSEQ, unless the folder opened is the root of a mounted file
//   system whose mount point is the path so far.
// - With `check`, the root and every folder opened are checked before the walk goes on; a false
//   answer fails with kEAUTH (before anything beneath that folder is opened).
// Every descriptor opened on the way is closed before returning.
Result<SharedDescriptor> openPathBeneath(const SharedDescriptor& root, std::string_view path,
                                         OpenBeneath how = {}, const HelperFolderCheck& check = {});
// The same beneath helperRoot().
Result<SharedDescriptor> openPathBeneath(std::string_view path, OpenBeneath how = {},
                                         const HelperFolderCheck& check = {});

// The status of the open object (statx on the descriptor; any descriptor kind).
Result<HelperStat> statDescriptor(int fd);
inline Result<HelperStat> statDescriptor(const SharedDescriptor& descriptor)
{
    return statDescriptor(descriptor.fd());
}

// The status of the entry `name` in `directory`, not following a link (a dangling link gives
// the link's own record); none when there is no such entry (ENOENT); any other errno fails.
Result<std::optional<HelperStat>> statEntry(const SharedDescriptor& directory,
                                            const std::string& name);

// The names of the folder's entries as raw bytes (not necessarily UTF-8), in directory order,
// without "." and "..". Works on search-only descriptors too (the folder is re-opened through
// the descriptor, never by path).
Result<std::vector<std::string>> listDirectory(const SharedDescriptor& directory);

// The entry's name as stored on disk, when the entry exists (not following a link) and its name
// is valid UTF-8; none otherwise. Never fails loudly. Linux lookups are exact, so a found entry's
// stored name is the name asked for; a test hook can answer otherwise.
std::optional<std::string> attributesOfEntry(const SharedDescriptor& directory,
                                             const std::string& name);

// The file system holding an open object: its f_fsid (one 64-bit value), its mount id and its
// mount point as a Mac path (none when the mount point lies outside the Mac root). Equal values
// mean the same mount of the same file system.
struct HelperFileSystemInfo
{
    std::uint64_t fileSystemID = 0;
    std::uint64_t mountID = 0;
    std::optional<std::string> mountPoint;

    friend bool operator==(const HelperFileSystemInfo&, const HelperFileSystemInfo&) = default;
};

// The mount points of /proc/self/mountinfo by mount id, read when first asked and again when
// asked for a mount id it doesn't hold (a mount made since): one read for the many questions of
// a request. Not thread-safe.
class HelperMountTable final
{
public:
    // The host mount point of the mount `id`; none when the table has no such mount.
    std::optional<std::string> mountPoint(std::uint64_t id);

private:
    std::optional<std::vector<std::pair<std::uint64_t, std::string>>> m_mounts;
};

// Reads fstatfs and, by the descriptor's mount id, /proc/self/mountinfo (through `mounts` when
// given); none when any of it cannot be read. Never fails loudly.
std::optional<HelperFileSystemInfo> fileSystemInfo(int fd, HelperMountTable* mounts = nullptr);
inline std::optional<HelperFileSystemInfo> fileSystemInfo(const SharedDescriptor& descriptor,
                                                          HelperMountTable* mounts = nullptr)
{
    return fileSystemInfo(descriptor.fd(), mounts);
}

// Whether the open object lies on the mount that `info` describes: the same f_fsid and mount id
// (fstatfs and statx, no mountinfo read). While a descriptor on that mount stays open, its mount
// id names no other mount, so a match means the same mount and mount point as
// fileSystemInfo(fd) == info. False when either cannot be read. Never fails loudly.
bool isOnFileSystem(int fd, const HelperFileSystemInfo& info);
inline bool isOnFileSystem(const SharedDescriptor& descriptor, const HelperFileSystemInfo& info)
{
    return isOnFileSystem(descriptor.fd(), info);
}

// Where an object is now, found by device and inode.
struct HelperCurrentPath
{
    enum class Kind
    {
        path,    // `path` holds it
        missing, // no such object on the volume
        unknown, // could not be checked
    };
    Kind kind = Kind::unknown;
    std::string path;
};

// Linux has no lookup of a path by device and inode, so the answer is always `unknown`.
// Callers must treat unknown as "could not check", never as "not there".
HelperCurrentPath currentPath(std::int64_t device, std::uint64_t inode);

// Makes the private folder `name` (mode 0700) in `parent` and opens it. The new folder must be a
// directory owned by the effective user, mode exactly 0700, without immutable or append-only
// flags, on the parent's device, with two links, born no earlier than one second before the
// call (its change time where no birth time is reported), and empty; otherwise the call fails
// with EPERM and leaves the entry where it is (it may not be the folder just made). Extended ACL
// entries (inherited from the parent) are cleared; when they cannot be, the folder is removed
// again (only if still the same) and the call fails with EPERM. An existing name fails with
// EEXIST and is left alone; other failures give the errno of the failing call.
Result<SharedDescriptor> makePrivateFolder(const SharedDescriptor& parent, const std::string& name);

// Removes the empty folder `name` from `parent` only when that entry (not following a link) is
// still the folder `expected` (same identity). Every other case removes nothing: ENOENT when
// there is no entry, ErrorCode::refused when it is another object, or the errno of the failing
// call (ENOTEMPTY for a folder with entries).
Result<void> removeDirectoryIfSame(const SharedDescriptor& parent, const std::string& name,
                                   const SharedDescriptor& expected);

namespace testing {
// Replaces the reader of names as stored on disk that attributesOfEntry uses (and so
// openPathBeneath's exact-name check); it gets the directory descriptor and the name asked for.
// An empty function restores the real reader. Test-only; not to be called while other threads
// walk.
void setStoredNameReader(
    std::function<std::optional<std::string>(int directoryFd, const std::string& name)> reader);
} // namespace testing

} // namespace veldo::common
