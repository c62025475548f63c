// Atomic whole-file writes, relative to a folder opened inside the Mac root.
#include "platform/AtomicFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "platform/MacFileSystem.h"

namespace veldo::platform {

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp-";
constexpr std::size_t kTemporaryRandomCharacters = 6;

// Tries at a free temporary name before giving up with EEXIST.
constexpr int kNameAttempts = 100;

bool isEntryName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

Result<std::string> randomSuffix()
{
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::array<unsigned char, kTemporaryRandomCharacters> random{};
    ssize_t n;
    do {
        n = ::getrandom(random.data(), random.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(random.size()))
        return Error::fromErrno(n < 0 ? errno : EIO);
    std::string suffix;
    for (unsigned char byte : random)
        suffix.push_back(kLetters[byte % kLetters.size()]);
    return suffix;
}

} // namespace

std::optional<std::string_view> atomicWriteTarget(std::string_view entry)
{
    const std::size_t tail = kTemporarySuffix.size() + kTemporaryRandomCharacters;
    if (entry.size() < 2 + tail || !entry.starts_with('.') ||
        entry.substr(entry.size() - tail, kTemporarySuffix.size()) != kTemporarySuffix)
        return std::nullopt;
    return entry.substr(1, entry.size() - 1 - tail);
}

Result<void> writeAll(int fd, std::span<const std::string_view> pieces)
{
    std::vector<iovec> vectors;
    vectors.reserve(std::min<std::size_t>(pieces.size(), IOV_MAX));
    std::size_t next = 0; // the first piece not yet in `vectors`
    while (next < pieces.size() || !vectors.empty()) {
        while (next < pieces.size() && vectors.size() < IOV_MAX) {
            const std::string_view piece = pieces[next++];
            if (!piece.empty())
                vectors.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
        if (vectors.empty())
            break;
        const ssize_t n = ::writev(fd, vectors.data(), static_cast<int>(vectors.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        // Drop what was written: whole vectors, then the front of a partly written one.
        auto written = static_cast<std::size_t>(n);
        std::size_t done = 0;
        while (done < vectors.size() && written >= vectors[done].iov_len)
            written -= vectors[done++].iov_len;
        vectors.erase(vectors.begin(), vectors.begin() + static_cast<std::ptrdiff_t>(done));
        if (!vectors.empty()) {
            vectors.front().iov_base = static_cast<char*>(vectors.front().iov_base) + written;
            vectors.front().iov_len -= written;
        }
    }
    return {};
}

Result<void> writeAll(int fd, std::string_view bytes)
{
    return writeAll(fd, std::span<const std::string_view>(&bytes, 1));
}

Result<void> writeFileAtomicallyAt(int folder, std::string_view name, std::string_view bytes,
                                   mode_t mode, AtomicDurability durability)
{
    return writeFileAtomicallyAt(folder, name, std::span<const std::string_view>(&bytes, 1), mode,
                                 durability);
}

Result<void> writeFileAtomicallyAt(int folder, std::string_view name,
                                   std::span<const std::string_view> pieces, mode_t mode,
                                   AtomicDurability durability)
{
    if (!isEntryName(name))
        return Error::fromErrno(EINVAL);
    const std::string target(name);
    std::string temp;
    UniqueFd fd;
    for (int attempt = 0; attempt < kNameAttempts && !fd; ++attempt) {
        auto suffix = randomSuffix();
        if (!suffix)
            return suffix.error();
        temp = "." + target + std::string(kTemporarySuffix) + *suffix;
        do {
            fd.reset(::openat(folder, temp.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        } while (!fd && errno == EINTR);
        if (!fd && errno != EEXIST)
            return Error::fromErrno(errno);
    }
    if (!fd)
        return Error::fromErrno(EEXIST);
    auto fail = [&](int err) {
        ::unlinkat(folder, temp.c_str(), 0);
        return Error::fromErrno(err);
    };
    if (::fchmod(fd.get(), mode) != 0)
        return fail(errno);
    if (auto w = writeAll(fd.get(), pieces); !w)
        return fail(w.error().systemErrno);
    const bool flushed = durability == AtomicDurability::flushed;
    if (flushed && ::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0)
        return fail(errno);
    struct stat existing = {};
    if (!flushed && ::fstatat(folder, target.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(existing.st_mode)) {
        if (::renameat2(folder, temp.c_str(), folder, target.c_str(), RENAME_EXCHANGE) == 0) {
            // The temporary name holds the earlier file now; a failure to delete it leaves it for
            // the writer's clean-up of interrupted writes. Anything but a file put there since
            // the look goes back to its name.
            if (::unlinkat(folder, temp.c_str(), 0) == 0 || errno != EISDIR)
                return {};
            const int err = errno;
            (void)::renameat2(folder, temp.c_str(), folder, target.c_str(), RENAME_EXCHANGE);
            return fail(err);
        }
        if (errno != ENOENT && errno != EINVAL)
            return fail(errno);
    }
    if (::renameat(folder, temp.c_str(), folder, target.c_str()) != 0)
        return fail(errno);
    // Make the rename itself durable; a failure here leaves a complete file either way.
    if (flushed)
        ::fsync(folder);
    return {};
}

Result<void> writeFileAtomically(const MacPath& path, std::string_view bytes,
                                 const AtomicWriteOptions& options)
{
    const std::string name = path.lastPathComponent();
    if (name == "/" || !isEntryName(name) || path.path().find('\0') != std::string::npos)
        return Error::fromErrno(EINVAL, path.path());
    const MacPath parent = path.deletingLastPathComponent();
    auto folder = options.createFolders
                      ? makeFoldersInRoot(parent, 0700)
                      : openInRoot(parent, O_RDONLY | O_DIRECTORY, FollowLinks::yes);
    if (!folder)
        return Error::fromErrno(folder.error().systemErrno, path.path());
    if (auto written = writeFileAtomicallyAt(folder->get(), name, bytes, options.mode); !written)
        return Error::fromErrno(written.error().systemErrno, path.path());
    return {};
}

} // namespace veldo::platform
