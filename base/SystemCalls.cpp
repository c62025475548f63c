// The shared system-call wrappers: retried opens, bounded whole reads, folder listings, folder
// making.
#include "base/SystemCalls.h"

#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/UniqueDir.h"

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

Result<void> forEachName(UniqueFd folder, const std::function<void(std::string_view name)>& visit)
{
    const UniqueDir stream = UniqueDir::adopt(std::move(folder));
    if (!stream)
        return Error::fromErrno(errno);
    ::rewinddir(stream.get());
    for (;;) {
        errno = 0; // readdir reports its failures only through errno
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's alone
        const dirent* entry = ::readdir(stream.get());
        if (!entry) {
            if (errno != 0)
                return Error::fromErrno(errno);
            return {};
        }
        const std::string_view name(entry->d_name, ::strnlen(entry->d_name, sizeof entry->d_name));
        if (name != "." && name != "..")
            visit(name);
    }
}

Result<std::vector<std::string>> folderNames(UniqueFd folder)
{
    std::vector<std::string> names;
    auto listed = forEachName(std::move(folder),
                              [&names](std::string_view name) { names.emplace_back(name); });
    if (!listed)
        return listed.error();
    return names;
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
