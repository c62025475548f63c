// The shared system-call wrappers: retried opens, bounded whole reads, folder making.
#include "base/SystemCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldo::base {

UniqueFd openAt(int directoryFd, const char* name, int flags, mode_t mode)
{
    return UniqueFd(
        retryOnInterrupt([&] { return ::openat(directoryFd, name, flags | O_CLOEXEC, mode); }));
}

Result<std::string> readAll(int fd, std::size_t maxBytes)
{
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = retryOnInterrupt([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n < 0)
            return Error::fromErrno(errno);
        if (n == 0)
            return bytes;
        if (static_cast<std::size_t>(n) > maxBytes - bytes.size())
            return Error::fromErrno(EFBIG);
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

Result<UniqueFd> makeFolders(int directoryFd, std::string_view path,
                             const MakeFoldersOptions& options)
{
    constexpr int kWalk = O_PATH | O_DIRECTORY;
    for (std::string_view rest = path; !rest.empty();) {
        const std::size_t slash = rest.find('/');
        const std::string_view name = rest.substr(0, slash);
        if (name == "." || name == "..")
            return Error::fromErrno(EINVAL); // before anything is made
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    }
    UniqueFd current = openAt(path.starts_with('/') ? AT_FDCWD : directoryFd,
                              path.starts_with('/') ? "/" : ".", kWalk);
    if (!current)
        return Error::fromErrno(errno);
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string name(path.substr(0, slash));
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (name.empty())
            continue;

        UniqueFd next = openAt(current.get(), name.c_str(), kWalk);
        if (!next && errno == ENOENT) {
            if (retryOnInterrupt(
                    [&] { return ::mkdirat(current.get(), name.c_str(), options.mode); }) == 0) {
                // The folder just made: no link can stand at its name unless swapped in since.
                UniqueFd made =
                    openAt(current.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
                if (!made)
                    return Error::fromErrno(errno);
                if (options.onMade && !options.onMade(made.get()))
                    return Error::fromErrno(EPERM);
                next = std::move(made);
            } else if (errno == EEXIST) {
                next = openAt(current.get(), name.c_str(), kWalk);
            } else {
                return Error::fromErrno(errno);
            }
        }
        if (!next)
            return Error::fromErrno(errno);
        current = std::move(next);
    }
    return current;
}

} // namespace veldo::base
