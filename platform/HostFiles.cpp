// Reads of host files for the application.
#include "platform/HostFiles.h"

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"

namespace veldo::platform {

std::string readHostText(const HostPath& path, std::size_t maxBytes)
{
    base::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return {};
    std::string text;
    char chunk[4096];
    while (text.size() < maxBytes) {
        const ssize_t n =
            base::retryOnInterrupt([&] { return ::read(fd.get(), chunk, sizeof chunk); });
        if (n <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text;
}

bool isExecutableHostFile(const HostPath& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

HostPath descriptorName(int fd)
{
    return HostPath("/proc/self/fd/" + std::to_string(fd));
}

HostPath hostPathOfDescriptor(int fd)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(descriptorName(fd).c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size())
        return {};
    target.resize(static_cast<std::size_t>(n));
    return HostPath(std::move(target));
}

} // namespace veldo::platform
