// The helper's tool runner and its launchctl binding.
#include "helper/ToolRunner.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "common/HelperPathRules.h"
#include "helper/HelperLog.h"
#include "platform/ChildProcess.h"
#include "platform/MacRoot.h"
#include "platform/SystemError.h"
#include "platform/Unicode.h"

namespace veldo::helper {

namespace ToolRunner {

namespace {

using Clock = std::chrono::steady_clock;

bool writableOnlyByRoot(const struct stat& st, bool folder)
{
    if (st.st_uid != 0)
        return false;
    if (folder && (st.st_mode & S_ISVTX) != 0)
        return true;
    if ((st.st_mode & S_IWGRP) != 0 && st.st_gid != 0)
        return false;
    return (st.st_mode & S_IWOTH) == 0;
}

// Milliseconds until `deadline` for poll (0 once it has passed).
int millisecondsUntil(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(left.count(), 1 << 30));
}

// Reads what the pipe holds now; false at its end (or on an error other than EAGAIN).
bool drain(int fd, std::string& into)
{
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN;
    }
}

// Waits until the child has ended or `deadline` has passed (none: no limit), reading the pipe
// meanwhile; true when the child has ended.
bool waitForEnd(const platform::ChildProcess& child, std::optional<Clock::time_point> deadline,
                bool& pipeOpen, std::string& output)
{
    for (;;) {
        pollfd fds[2] = {{child.exitFd(), POLLIN, 0}, {child.stdoutFd(), POLLIN, 0}};
        const int timeout = deadline ? millisecondsUntil(*deadline) : -1;
        const int n = ::poll(fds, pipeOpen ? 2 : 1, timeout);
        if (n < 0 && errno != EINTR)
            return false;
        if (pipeOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            pipeOpen = drain(child.stdoutFd(), output);
        if ((fds[0].revents & POLLIN) != 0)
            return true;
        if (n == 0 && deadline && Clock::now() >= *deadline)
            return false;
    }
}

std::int32_t terminationStatus(int waitStatus)
{
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus))
        return WTERMSIG(waitStatus);
    return -1;
}

RunResult couldNotStart(const platform::MacPath& tool, int err)
{
    const std::string description = platform::SystemError::posix(err).localizedDescription();
    toolsLog().error("Couldn't start %{public}s: %{public}s", {tool.path(), description});
    return RunResult{-1, description, false};
}

// Walks `hostPath` from the host "/" without following links, checking every folder and the
// last entry (a regular file, or a folder when `lastIsFolder`).
Result<void> checkRootOwnedPath(const std::string& hostPath, bool lastIsFolder)
{
    if (hostPath.empty() || hostPath.front() != '/')
        return Error::fromErrno(EPERM);
    UniqueFd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!current)
        return Error::fromErrno(errno);
    std::string_view rest(hostPath);
    for (;;) {
        struct stat st
        {
        };
        if (::fstat(current.get(), &st) != 0)
            return Error::fromErrno(errno);
        while (rest.starts_with('/'))
            rest.remove_prefix(1);
        const bool last = rest.empty();
        if (last && !lastIsFolder) {
            if (!S_ISREG(st.st_mode) || !writableOnlyByRoot(st, false))
                return Error::fromErrno(EPERM);
            return {};
        }
        if (!S_ISDIR(st.st_mode) || !writableOnlyByRoot(st, true))
            return Error::fromErrno(EPERM);
        if (last)
            return {};
        const std::size_t slash = rest.find('/');
        const std::string name(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
        if (name == "." || name == "..")
            return Error::fromErrno(EPERM);
        UniqueFd next(::openat(current.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!next)
            return Error::fromErrno(errno);
        current = std::move(next);
    }
}

} // namespace

Result<void> checkToolPath(const std::string& hostPath)
{
    return checkRootOwnedPath(hostPath, false);
}

Result<void> checkFolderPath(const std::string& hostPath)
{
    return checkRootOwnedPath(hostPath, true);
}

bool isWritableOnlyByRoot(const struct stat& status, bool folder)
{
    return writableOnlyByRoot(status, folder);
}

RunResult run(const platform::MacPath& tool, const std::vector<std::string>& arguments,
              std::chrono::milliseconds timeout, std::chrono::milliseconds grace)
{
    const std::string hostTool = platform::hostPath(tool);
    if (auto checked = checkToolPath(hostTool); !checked)
        return couldNotStart(tool, checked.error().systemErrno);

    std::vector<std::string> argv{tool.path()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    platform::SpawnOptions options;
    options.combinedOutput = true;
    auto child =
        platform::ChildProcess::spawn(hostTool, argv, {std::string(kPathVariable)}, options);
    if (!child)
        return couldNotStart(tool, child.error().systemErrno);

    RunResult result;
    std::string bytes;
    bool pipeOpen = true;
    bool ended = waitForEnd(*child, Clock::now() + timeout, pipeOpen, bytes);
    if (!ended) {
        result.timedOut = true;
        (void)child->sendSignal(SIGTERM);
        ended = waitForEnd(*child, Clock::now() + grace, pipeOpen, bytes);
        if (!ended) {
            (void)child->sendSignal(SIGKILL);
            waitForEnd(*child, std::nullopt, pipeOpen, bytes);
        }
    }
    // The child has ended; a grandchild may still hold the pipe: read for one grace at most.
    const Clock::time_point readDeadline = Clock::now() + grace;
    while (pipeOpen) {
        pollfd fd{child->stdoutFd(), POLLIN, 0};
        const int n = ::poll(&fd, 1, millisecondsUntil(readDeadline));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pipeOpen = drain(child->stdoutFd(), bytes);
    }
    child->closeOutput();
    result.status = terminationStatus(child->wait());
    result.output = platform::repairedUtf8(bytes);

    toolsLog().info("%{public}s %{public}s exited %{public}d",
                    {tool.path(), arguments.empty() ? std::string_view{} : arguments.front(),
                     std::to_string(result.status)});
    return result;
}

} // namespace ToolRunner

void runLaunchctl(const std::vector<std::string>& arguments)
{
    if (arguments.size() != 3 || (arguments[0] != "bootout" && arguments[0] != "bootstrap") ||
        arguments[1] != "system" || common::normalizePath(arguments[2]) != arguments[2] ||
        !common::isLaunchDaemonPlist(arguments[2]))
        return;
    const std::vector<std::string> hostArguments{
        arguments[0], arguments[1], platform::hostPath(platform::MacPath(arguments[2]))};
    (void)ToolRunner::run(platform::MacPath("/bin/launchctl"), hostArguments,
                          std::chrono::seconds(30));
}

} // namespace veldo::helper
