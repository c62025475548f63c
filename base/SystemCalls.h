// Thin wrappers of the system calls every layer makes: EINTR retried in one place, descriptors
// owned, whole reads bounded.
//
// All calls block on the file system and are safe on any thread. Failures keep errno's meaning:
// an invalid UniqueFd leaves errno set; a Result carries the errno and no path (the caller knows
// which path it meant and adds it).
#pragma once

#include <cerrno>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <sys/types.h>

#include "base/Result.h"
#include "base/UniqueFd.h"

namespace veldo::base {

// Calls `call` again for as long as it fails with EINTR (returns -1 with errno EINTR) and
// returns its last result. For calls that report failure as -1: open, read, write, stat,
// ioctl, waitpid, poll...
template <typename Call>
auto retryOnInterrupt(Call&& call) -> std::invoke_result_t<Call&>
{
    using R = std::invoke_result_t<Call&>;
    static_assert(std::is_integral_v<R>, "retryOnInterrupt is for calls returning -1 on failure");
    for (;;) {
        const R rc = call();
        if (rc != static_cast<R>(-1) || errno != EINTR)
            return rc;
    }
}

// openat with EINTR retried and O_CLOEXEC always added. Invalid with errno set on failure.
UniqueFd openAt(int directoryFd, const char* name, int flags, mode_t mode = 0);

// Everything left to read from `fd` up to end of file, read in chunks with EINTR retried.
// EFBIG when there is more than `maxBytes` (nothing is returned then); the errno of the failed
// read otherwise.
Result<std::string> readAll(int fd, std::size_t maxBytes);

// Calls `visit` with the name of each entry of the folder open at `folder`, "." and ".." left out,
// in the order the file system gives them, from the folder's first entry whatever the
// descriptor's offset (a duplicate shares its original's, and is rewound with it). `folder` is
// taken over and closed before the return; it must be open for reading (O_RDONLY | O_DIRECTORY;
// an O_PATH descriptor fails with EBADF). Fails with fdopendir's errno (ENOTDIR for something
// that is not a folder) or with the errno of a failed readdir; names visited before that failure
// stay visited.
Result<void> forEachName(UniqueFd folder, const std::function<void(std::string_view name)>& visit);

// The names forEachName visits, in its order.
Result<std::vector<std::string>> folderNames(UniqueFd folder);

struct MakeFoldersOptions
{
    mode_t mode = 0700; // permissions of each folder made (before the umask)
    // Called with a readable descriptor of each folder made, in order from the outermost; a
    // false answer stops with EPERM (say, when the new folder could not be given its owner).
    std::function<bool(int folderFd)> onMade;
};

// Makes `path` and every missing folder above it, one component at a time relative to
// `directoryFd` (AT_FDCWD, or an absolute `path`, for the host's own tree): an existing
// component must be a folder or a link to one; a missing one is made with mkdirat. A folder that
// appears between the look and the mkdirat is used as found. Returns a descriptor of the last
// folder for the *at calls (possibly O_PATH: not for reading or listing; `directoryFd`'s own for a
// path without components). Walking needs search permission only. Fails with ENOTDIR
// when a component is something else, with EINVAL for a "." or ".." component (before making
// anything), and with the errno of the failed call otherwise; folders made before a failure stay.
Result<UniqueFd> makeFolders(int directoryFd, std::string_view path,
                             const MakeFoldersOptions& options = {});

} // namespace veldo::base
