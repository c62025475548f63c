// File flags through FS_IOC_GETFLAGS or statx, translated to the Mac's values.
#include "platform/FileFlags.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/HostFiles.h"
#include "platform/MacFileSystem.h"
#include "platform/MacRoot.h"

namespace veldo::platform {

namespace {

struct ExtraFlags
{
    std::mutex mutex;
    std::map<std::string, std::uint32_t> byPath;

    MacRootResetHook hook = addMacRootResetHook([this] {
        std::lock_guard lock(mutex);
        byPath.clear();
    });
};

ExtraFlags& extraFlags()
{
    static ExtraFlags extra;
    return extra;
}

std::uint32_t injectedFlags(const MacPath& path)
{
    ExtraFlags& extra = extraFlags();
    std::lock_guard lock(extra.mutex);
    auto it = extra.byPath.find(path.standardized().path());
    return it == extra.byPath.end() ? 0 : it->second;
}

// FS_IOC_GETFLAGS on the entry `entry` (an O_PATH descriptor, which can't answer it) reopened
// for reading; none when it can't be reopened or the file system does not answer the call.
std::optional<std::uint32_t> inodeFlags(int entry, bool isDirectory)
{
    const int openFlags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    // A folder reopens as its own "."; a file through its descriptor's entry in /proc, which
    // names the very file the descriptor holds.
    const HostPath procEntry = descriptorName(entry);
    UniqueFd fd;
    do {
        fd.reset(isDirectory ? ::openat(entry, ".", openFlags | O_DIRECTORY)
                             : ::open(procEntry.c_str(), openFlags & ~O_NOFOLLOW));
    } while (!fd && errno == EINTR);
    if (!fd)
        return std::nullopt;
    int linuxFlags = 0;
    if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &linuxFlags) != 0)
        return std::nullopt;
    return macFlagsFromLinux(static_cast<std::uint32_t>(linuxFlags));
}

} // namespace

std::uint32_t macFlagsFromLinux(std::uint32_t linuxFlags)
{
    std::uint32_t flags = 0;
    if (linuxFlags & FS_IMMUTABLE_FL)
        flags |= kSystemImmutableFlag;
    if (linuxFlags & FS_APPEND_FL)
        flags |= kSystemAppendFlag;
    return flags;
}

std::uint32_t macFlagsFromStatxAttributes(std::uint64_t attributes)
{
    std::uint32_t flags = 0;
    if (attributes & STATX_ATTR_IMMUTABLE)
        flags |= kSystemImmutableFlag;
    if (attributes & STATX_ATTR_APPEND)
        flags |= kSystemAppendFlag;
    return flags;
}

Result<std::uint32_t> fileFlags(const MacPath& path)
{
    auto entry = openInRoot(path, O_PATH, FollowLinks::no);
    if (!entry)
        return entry.error();
    struct statx sx
    {
    };
    if (::statx(entry->get(), "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_TYPE, &sx) != 0)
        return Error::fromErrno(errno, path.path());
    std::uint32_t flags = 0;
    const bool isDirectory = S_ISDIR(sx.stx_mode);
    std::optional<std::uint32_t> fromInode;
    if (isDirectory || S_ISREG(sx.stx_mode))
        fromInode = inodeFlags(entry->get(), isDirectory);
    flags = fromInode ? *fromInode
                      : macFlagsFromStatxAttributes(sx.stx_attributes_mask & sx.stx_attributes);
    return flags | injectedFlags(path);
}

namespace testing {

void addFileFlags(const MacPath& path, std::uint32_t flags)
{
    ExtraFlags& extra = extraFlags();
    std::lock_guard lock(extra.mutex);
    extra.byPath[path.standardized().path()] |= flags;
}

} // namespace testing

} // namespace veldo::platform
