#include "helper/PinnedProcess.h"

#include <charconv>
#include <ctime>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/SystemCalls.h"

namespace veldo::helper {

PinnedProcess PinnedProcess::openedLate(pid_t pid, std::uint64_t startedBy)
{
    PinnedProcess process;
    process.pid = pid;
    if (pid > 0)
        process.pidfd = base::UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    process.startedBy = startedBy;
    return process;
}

std::uint64_t bootTicksNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const auto perSecond = static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
    return static_cast<std::uint64_t>(now.tv_sec) * perSecond +
           static_cast<std::uint64_t>(now.tv_nsec) * perSecond / 1'000'000'000u;
}

std::optional<long> pidOfProcessDescriptor(int pidfd)
{
    if (pidfd < 0)
        return std::nullopt;
    const std::string name = "/proc/self/fdinfo/" + std::to_string(pidfd);
    const base::UniqueFd info = base::openAt(AT_FDCWD, name.c_str(), O_RDONLY);
    if (!info)
        return std::nullopt;
    const auto text = base::readAll(info.get(), 64 * 1024);
    if (!text)
        return std::nullopt;
    const std::string_view all = *text;
    const auto at = all.find("\nPid:\t");
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = all.substr(at + 6);
    long value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || end == rest.data() ||
        (end != rest.data() + rest.size() && *end != '\n'))
        return std::nullopt;
    return value;
}

} // namespace veldo::helper
