// SlowLoginShell: a login shell whose start-up outlasts any test, for stopping the tool search
// while its shell runs.
#pragma once

#include "tests/support/FakeMac.h"
#include "tests/support/StandInScript.h"

namespace veldo::testsupport {

// While it lives, the user's login shell is "/bin/sh" (through SHELL), and its start-up file for
// interactive use (ENV, a script in the fake Mac's /private/tmp) takes a minute, in steps short
// enough that nothing it starts outlives a stopped shell by much. An interactive shell ignores
// SIGTERM. Tests check CommandRunner::loginShell() is "/bin/sh" (the host's /etc/shells allows
// it) before relying on it. Not thread-safe: tests make it before threads start.
class SlowLoginShell
{
public:
    explicit SlowLoginShell(const FakeMac& mac);

private:
    EnvironmentVariable m_shell;
    EnvironmentVariable m_startUp;
};

} // namespace veldo::testsupport
