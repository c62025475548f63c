// StandInOsascript: the stand-in osascript (tests/support/osascript) and the shell tools of a
// fake Mac that the administrator script uses.
//
// Installs, all root's when the test runs as root: "/usr/bin/osascript" (a copy of the built
// stand-in program), "/usr/bin/stat" (BSD "stat -f" over GNU stat), wrappers of the host's tools
// at "/usr/bin/env", "/usr/bin/perl", "/usr/bin/mktemp" and "/bin/rmdir", and the launchctl
// stand-in. The stand-in only runs a script when the fake Mac's system folders and these tools
// are root's and writable by no one else, so it is only usable by tests that run as root.
// Make it after the FakeMac. Not thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInLaunchctl.h"

namespace veldo::testsupport {

class StandInOsascript
{
public:
    explicit StandInOsascript(const FakeMac& mac);

    // Where the stand-in logs its runs and reads its mode (a Mac path).
    static platform::MacPath controlFolder();

    // The script runs (the mode a new stand-in starts in).
    void setRuns() const;
    // The password dialog is cancelled: the -128 line, nothing runs.
    void setCancels() const;
    // "do shell script" fails with this number and text; nothing runs.
    void setError(int number, std::string_view text) const;
    // osascript ends with this status and prints nothing; nothing runs.
    void setExitStatus(int status) const;
    // No osascript at all: the launch fails.
    void remove() const;
    // A shell command run (as root) just before the script.
    void setHook(std::string_view command) const;
    // A shell command run right after the n-th rename of each perl run.
    void setPerlRenameHook(int n, std::string_view command) const;

    // Each run's prompt and script, in order, as the shell received them.
    std::vector<std::string> prompts() const;
    std::vector<std::string> scripts() const;

    const StandInLaunchctl& launchctl() const { return m_launchctl; }

private:
    std::vector<std::string> logged(std::string_view extension) const;

    const FakeMac& m_mac;
    StandInLaunchctl m_launchctl;
};

} // namespace veldo::testsupport
