// Process ids and executables read from /proc.
#include "platform/ProcessList.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "platform/MacRoot.h"

namespace veldo::platform {

namespace ProcessList {

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

} // namespace

std::vector<pid_t> processIds(int procFd)
{
    std::vector<pid_t> pids;
    base::UniqueFd listFd = base::openAt(procFd, ".", O_RDONLY | O_DIRECTORY);
    if (!listFd)
        return pids;
    // A listing that fails part-way answers the processes read until then.
    (void)base::forEachName(std::move(listFd), [&pids](std::string_view name) {
        if (name.empty() || name.front() < '1' || name.front() > '9')
            return;
        pid_t pid = 0;
        auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (ec == std::errc() && end == name.data() + name.size() && pid > 0)
            pids.push_back(pid);
    });
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::optional<std::string> executableHostPath(int pidFd)
{
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(pidFd, "exe", target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size())
        return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    if (target.size() > kDeletedSuffix.size() &&
        std::string_view(target).substr(target.size() - kDeletedSuffix.size()) == kDeletedSuffix)
        target.resize(target.size() - kDeletedSuffix.size());
    return target;
}

RootMapping::RootMapping() : m_root(macRoot())
{
    if (m_root.empty())
        return;
    if (char* r = ::realpath(m_root.c_str(), nullptr)) {
        m_resolvedRoot = r;
        std::free(r); // NOLINT(cppcoreguidelines-no-malloc): realpath's buffer
    }
}

std::optional<MacPath> RootMapping::macPath(const std::string& host) const
{
    if (m_root.empty())
        return MacPath(host);
    for (const std::string* prefix : {&m_root, &m_resolvedRoot}) {
        if (prefix->empty() || host.size() <= prefix->size() ||
            host.compare(0, prefix->size(), *prefix) != 0 || host[prefix->size()] != '/')
            continue;
        return MacPath(host.substr(prefix->size()));
    }
    return std::nullopt;
}

} // namespace ProcessList

std::vector<MacPath> runningExecutablePaths()
{
    using namespace ProcessList;
    std::vector<MacPath> paths;
    base::UniqueFd procFd = base::openAt(AT_FDCWD, "/proc", O_RDONLY | O_DIRECTORY);
    if (!procFd)
        return paths;
    const RootMapping mapping;
    for (pid_t pid : processIds(procFd.get())) {
        base::UniqueFd fd =
            base::openAt(procFd.get(), std::to_string(pid).c_str(), O_RDONLY | O_DIRECTORY);
        if (!fd)
            continue; // gone since the listing
        auto host = executableHostPath(fd.get());
        if (!host)
            continue; // another user's (EACCES), a kernel thread, a zombie
        if (auto path = mapping.macPath(*host))
            paths.push_back(std::move(*path));
    }
    return paths;
}

} // namespace veldo::platform
