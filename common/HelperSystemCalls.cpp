// System-call wrappers of the helper's file access: EINTR, statx and the flag translation.
#include "common/HelperSystemCalls.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include "base/SystemCalls.h"
#include "platform/FileFlags.h"
#include "platform/HostFiles.h"

namespace veldo::common::detail {

namespace {

constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME;

platform::FileTime fileTime(const struct statx_timestamp& t)
{
    return platform::FileTime{t.tv_sec, t.tv_nsec};
}

// The flags of a folder or regular file from FS_IOC_GETFLAGS on a readable descriptor; none
// when no such descriptor can be had (no read access, say) or the file system has no answer.
std::optional<std::uint32_t> inodeFlags(int fd, mode_t type)
{
    UniqueFd owned;
    const int readable = readableDescriptor(fd, type, owned);
    if (readable < 0)
        return std::nullopt;
    int value = 0; // the kernel reads and writes an int, whatever the ioctl's declared type
    const int rc =
        base::retryOnInterrupt([&] { return ::ioctl(readable, FS_IOC_GETFLAGS, &value); });
    if (rc != 0)
        return std::nullopt;
    return platform::macFlagsFromLinux(static_cast<std::uint32_t>(value));
}

} // namespace

bool isPathOnly(int fd)
{
    const int fl = ::fcntl(fd, F_GETFL);
    return fl >= 0 && (fl & O_PATH) != 0;
}

int readableDescriptor(int fd, mode_t type, UniqueFd& owned)
{
    if (!S_ISDIR(type) && !S_ISREG(type))
        return -1;
    if (!isPathOnly(fd))
        return fd;
    if (S_ISDIR(type)) {
        // "." of the folder itself: no name is looked up again.
        owned = openAt(fd, ".", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    } else {
        // The descriptor's own /proc name reaches the same inode; O_NONBLOCK and O_NOCTTY keep
        // the open free of side effects should the type have changed under a stale record.
        owned = openAt(AT_FDCWD, platform::descriptorName(fd).c_str(),
                       O_RDONLY | O_NONBLOCK | O_NOCTTY);
    }
    return owned.get();
}

namespace {

constexpr std::uint64_t kKeptAttributes = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;

// The record of one statx answer; its flags from the answer's attributes when the file system
// reports both kept ones there, else from `fd` (none: -1).
Result<HelperStat> statOf(const struct statx& sx, int fd)
{
    if ((sx.stx_mask & (STATX_TYPE | STATX_MODE | STATX_INO)) !=
        (STATX_TYPE | STATX_MODE | STATX_INO))
        return unexpected(Error::fromErrno(EIO));

    HelperStat st;
    st.device = static_cast<std::int64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor));
    st.inode = sx.stx_ino;
    st.mode = sx.stx_mode;
    st.links = sx.stx_nlink;
    st.uid = sx.stx_uid;
    st.gid = sx.stx_gid;
    st.size = static_cast<std::int64_t>(sx.stx_size);
    st.modificationTime = fileTime(sx.stx_mtime);
    st.changeTime = fileTime(sx.stx_ctime);
    if (sx.stx_mask & STATX_BTIME)
        st.birthTime = fileTime(sx.stx_btime);

    // The only flags kept are immutable and append-only. Where the file system reports both in
    // statx's attributes (ext4, xfs, btrfs, tmpfs...), they come from the inode's flags as
    // FS_IOC_GETFLAGS would read them, without opening the object again. Otherwise folders and
    // regular files answer FS_IOC_GETFLAGS on a readable descriptor; links, FIFOs, devices and
    // sockets must not be opened for it and take statx's attributes instead, as does anything
    // whose flags cannot be read so (no read access).
    if ((sx.stx_attributes_mask & kKeptAttributes) == kKeptAttributes)
        st.flags = platform::macFlagsFromStatxAttributes(sx.stx_attributes & kKeptAttributes);
    else if (auto flags = fd < 0 ? std::nullopt : inodeFlags(fd, st.mode & S_IFMT))
        st.flags = *flags;
    else if ((sx.stx_attributes_mask & kKeptAttributes) != 0)
        st.flags =
            platform::macFlagsFromStatxAttributes(sx.stx_attributes & sx.stx_attributes_mask);
    return st;
}

} // namespace

Result<HelperStat> statFd(int fd)
{
    struct statx sx = {};
    const int rc = base::retryOnInterrupt(
        [&] { return ::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, kStatxMask, &sx); });
    if (rc != 0)
        return unexpected(Error::fromErrno(errno));
    return statOf(sx, fd);
}

std::optional<Result<HelperStat>> statEntryAt(int directory, const char* name)
{
    struct statx sx = {};
    const int rc = base::retryOnInterrupt(
        [&] { return ::statx(directory, name, AT_SYMLINK_NOFOLLOW, kStatxMask, &sx); });
    if (rc != 0)
        return Result<HelperStat>(unexpected(Error::fromErrno(errno)));
    if ((sx.stx_attributes_mask & kKeptAttributes) != kKeptAttributes)
        return std::nullopt;
    return statOf(sx, -1);
}

std::optional<std::uint64_t> fileSystemID(int fd)
{
    struct statfs sfs = {};
    const int rc = base::retryOnInterrupt([&] { return ::fstatfs(fd, &sfs); });
    if (rc != 0)
        return std::nullopt;
    std::uint32_t words[2];
    static_assert(sizeof words == sizeof sfs.f_fsid);
    std::memcpy(words, &sfs.f_fsid, sizeof words);
    return static_cast<std::uint64_t>(words[0]) | (static_cast<std::uint64_t>(words[1]) << 32);
}

std::optional<std::uint64_t> mountID(int fd)
{
    struct statx sx = {};
    const int rc = base::retryOnInterrupt(
        [&] { return ::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &sx); });
    if (rc != 0 || (sx.stx_mask & STATX_MNT_ID) == 0)
        return std::nullopt;
    return sx.stx_mnt_id;
}

bool isSingleComponent(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace veldo::common::detail
