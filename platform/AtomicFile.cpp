// Atomic whole-file writes through the Mac root.
#include "platform/AtomicFile.h"

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "platform/MacFileSystem.h"

namespace veldo::platform {

namespace {

Result<void> makeFolders(const std::string& host)
{
    struct stat st = {};
    if (::stat(host.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? Result<void>() : Error::fromErrno(ENOTDIR, host);
    const auto slash = host.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (auto parent = makeFolders(host.substr(0, slash)); !parent)
            return parent;
    }
    if (::mkdir(host.c_str(), 0700) != 0 && errno != EEXIST)
        return Error::fromErrno(errno, host);
    return {};
}

} // namespace

Result<void> writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

Result<void> writeFileAtomically(const MacPath& path, std::string_view bytes,
                                 const AtomicWriteOptions& options)
{
    const std::string name = path.lastPathComponent();
    if (name.empty() || name == "/" || name == "." || name == "..")
        return Error::fromErrno(EINVAL, path.path());
    const std::string folder = resolvedHostPath(path.deletingLastPathComponent(), FollowLinks::yes);
    if (options.createFolders) {
        if (auto made = makeFolders(folder); !made)
            return Error::fromErrno(made.error().systemErrno, path.path());
    }
    const std::string target = folder + "/" + name;
    std::string temp = folder + "/." + name + ".tmp-XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd)
        return Error::fromErrno(errno, path.path());
    auto fail = [&](int err) {
        ::unlink(temp.c_str());
        return Error::fromErrno(err, path.path());
    };
    if (::fchmod(fd.get(), options.mode) != 0)
        return fail(errno);
    if (auto w = writeAll(fd.get(), bytes); !w)
        return fail(w.error().systemErrno);
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0)
        return fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return fail(errno);
    // Make the rename itself durable; a failure here leaves a complete file either way.
    if (UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir)
        ::fsync(dir.get());
    return {};
}

} // namespace veldo::platform
