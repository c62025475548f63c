// What the timing programs that compare with du or mv share: writing their generated files,
// running mv and timing one run.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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

// `mv -t <to> <paths>` as one process; true when it exited 0.
inline bool runMv(const std::string& to, const std::vector<std::string>& paths)
{
    std::vector<std::string> arguments{"mv", "-t", to};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "mv", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
