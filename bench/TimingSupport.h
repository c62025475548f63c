// What the timing programs that compare with du share: writing their generated files and
// timing one run.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace veldo::bench {

// Writes `bytes` (at most 8 KiB) of filler into a new file at the host path; false on failure.
inline bool writeFile(const std::string& path, std::size_t bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    static const std::string kData(8192, 'v');
    bool ok = bytes == 0 || ::write(fd, kData.data(), bytes) == static_cast<ssize_t>(bytes);
    ok = ::close(fd) == 0 && ok;
    return ok;
}

// The seconds `f` takes.
template <typename F>
double seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace veldo::bench
