// Small helpers shared by the tests of the helper's file access.
#pragma once

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include "base/Result.h"
#include "common/HelperDescriptor.h"
#include "common/HelperFileAccess.h"

namespace veldo::common::testsupport {

// The errno a failed Result carries; 0 for success.
template <typename T>
int fsCode(const Result<T>& result)
{
    return result ? 0 : HelperFSError::of(result.error()).code;
}

inline HelperStat statOf(const HelperDescriptor& d)
{
    auto st = statDescriptor(d);
    return st ? *st : HelperStat{};
}

// Sets Linux inode flags (FS_IOC_SETFLAGS) on host paths and clears them again when it goes, so
// the fake Mac can be removed. set() answers the errno when the file system or the kernel
// refuses (no CAP_LINUX_IMMUTABLE, no flag support).
class InodeFlagGuard
{
public:
    InodeFlagGuard() = default;
    InodeFlagGuard(const InodeFlagGuard&) = delete;
    InodeFlagGuard& operator=(const InodeFlagGuard&) = delete;
    ~InodeFlagGuard()
    {
        for (const std::string& path : m_paths)
            apply(path, 0, FS_IMMUTABLE_FL | FS_APPEND_FL);
    }

    int set(const std::string& hostPath, int flags)
    {
        const int err = apply(hostPath, flags, 0);
        if (err == 0)
            m_paths.push_back(hostPath);
        return err;
    }

private:
    static int apply(const std::string& hostPath, int add, int remove)
    {
        const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return errno;
        int flags = 0;
        int err = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            err = errno;
        } else {
            flags = (flags | add) & ~remove;
            if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
                err = errno;
        }
        ::close(fd);
        return err;
    }

    std::vector<std::string> m_paths;
};

// A tmpfs mounted on a host folder for one test, detached when it goes.
class TmpfsMount
{
public:
    explicit TmpfsMount(std::string hostFolder) : m_folder(std::move(hostFolder))
    {
        if (::mount("veldo-test", m_folder.c_str(), "tmpfs", 0, "size=1m") == 0)
            m_mounted = true;
        else
            m_error = errno;
    }
    ~TmpfsMount()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return m_mounted; }
    int error() const { return m_error; }

private:
    std::string m_folder;
    bool m_mounted = false;
    int m_error = 0;
};

} // namespace veldo::common::testsupport
