// Starting and reaping fixture processes from executables in the fake Mac.
#include "tests/support/FixtureProcess.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/SystemCalls.h"

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

FixtureProcess::FixtureProcess(const FakeMac& mac, const platform::MacPath& executable)
{
    const std::string host = mac.host(executable);
    std::string name = executable.lastPathComponent();
    std::string seconds = "600";
    char* argv[] = {name.data(), seconds.data(), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, host.c_str(), nullptr, nullptr, argv, environ);
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
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_reaped = true;
            return status;
        }
        if (r < 0 && errno != EINTR)
            return std::nullopt;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace veldo::testsupport
