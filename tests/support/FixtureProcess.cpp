// Starting and reaping fixture processes from executables in the fake Mac.
#include "tests/support/FixtureProcess.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <sstream>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"

extern char** environ; // NOLINT(readability-identifier-naming): the C library's name

namespace veldo::testsupport {

void installFixtureExecutable(const FakeMac& mac, const platform::MacPath& executable)
{
    for (const char* candidate : {"/usr/bin/sleep", "/bin/sleep"}) {
        std::ifstream in(candidate, std::ios::binary);
        if (!in)
            continue;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        mac.write(executable, bytes.str(), 0755);
        return;
    }
    ADD_FAILURE() << "no sleep program to copy";
}

FixtureProcess::FixtureProcess(const FakeMac& mac, const platform::MacPath& executable,
                               OnTerminate onTerminate)
{
    const std::string host = mac.host(executable);
    std::string name = executable.lastPathComponent();
    std::string seconds = "600";
    char* argv[] = {name.data(), seconds.data(), nullptr};
    // A blocked SIGTERM stays pending: the program never sees the request to quit.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    if (onTerminate == OnTerminate::ignore) {
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGTERM);
        ::posix_spawnattr_setsigmask(&attributes, &blocked);
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, host.c_str(), nullptr, &attributes, argv, environ);
    ::posix_spawnattr_destroy(&attributes);
    EXPECT_EQ(rc, 0) << "spawn " << host;
    // posix_spawn returns once the program has been executed, so /proc already shows it.
    if (rc == 0)
        m_pid = pid;
}

FixtureProcess::~FixtureProcess()
{
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        (void)veldo::base::retryOnInterrupt([&] { return ::waitpid(m_pid, &status, 0); });
    }
}

std::optional<int> FixtureProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (m_pid <= 0)
        return std::nullopt;
    // The process descriptor becomes readable when the process has ended.
    const UniqueFd ended(static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0)));
    if (!ended)
        return std::nullopt;
    pollfd watch{ended.get(), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready =
            ::poll(&watch, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready > 0)
            break;
        if (ready == 0)
            return std::nullopt;
        if (errno != EINTR)
            return std::nullopt;
    }
    int status = 0;
    if (veldo::base::retryOnInterrupt([&] { return ::waitpid(m_pid, &status, 0); }) != m_pid)
        return std::nullopt;
    m_reaped = true;
    return status;
}

} // namespace veldo::testsupport
