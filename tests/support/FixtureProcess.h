// FixtureProcess: a real process started from an executable inside the fake Mac, for tests of
// the running-application list.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <sys/types.h>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

// Copies a small system program (sleep) to the Mac path `executable` (parents made, mode 0755).
// Fails the test when the program can't be found or copied.
void installFixtureExecutable(const FakeMac& mac, const platform::MacPath& executable);

class FixtureProcess
{
public:
    // Whether the process quits when asked to (SIGTERM), or keeps running (the signal blocked).
    enum class OnTerminate
    {
        quit,
        ignore
    };

    // Starts the executable at the Mac path `executable` (a copy of sleep) so that it runs for
    // up to ten minutes. pid() is 0 when it could not be started.
    FixtureProcess(const FakeMac& mac, const platform::MacPath& executable,
                   OnTerminate onTerminate = OnTerminate::quit);
    // Kills and reaps the process if it still runs.
    ~FixtureProcess();
    FixtureProcess(const FixtureProcess&) = delete;
    FixtureProcess& operator=(const FixtureProcess&) = delete;

    pid_t pid() const { return m_pid; }

    // Waits up to `timeout` for the process to end and reaps it. The wait status, or none when it
    // still runs at the time-out.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

private:
    pid_t m_pid = 0;
    bool m_reaped = false;
};

} // namespace veldo::testsupport
