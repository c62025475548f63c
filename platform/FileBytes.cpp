// A file read with pread.
#include "platform/FileBytes.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldo::platform {

std::optional<FileBytes> FileBytes::open(const std::string& hostPath)
{
    int fd = -1;
    do {
        // Non-blocking so that opening a FIFO can't wait for a writer.
        fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    } while (fd < 0 && errno == EINTR);
    return fromDescriptor(UniqueFd(fd));
}

std::optional<FileBytes> FileBytes::fromDescriptor(UniqueFd fd)
{
    struct stat st
    {
    };
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return std::nullopt;
    return FileBytes(std::move(fd), static_cast<std::uint64_t>(st.st_size));
}

bool FileBytes::read(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (offset > m_size || out.size() > m_size - offset)
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(m_fd.get(), out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false; // the file shrank since it was opened
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace veldo::platform
