// Reads of host files for the application.
#include "platform/HostFiles.h"

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

} // namespace veldo::platform
