// StandInLaunchctl: the stand-in launchctl script (tests/support/stand-ins/launchctl) installed
// at a fake Mac's "/bin/launchctl".
//
// The script runs as a real child process and finds its fake Mac from its own path. It logs
// every call's arguments (a path inside the fake Mac as its Mac path) and environment, and
// answers each verb with the output, exit code or hang the test recorded (see the script's
// header). The control folder and its logs are writable by everyone, so a child that dropped
// privileges can call it too. Make it after the FakeMac. Not thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

class StandInLaunchctl
{
public:
    explicit StandInLaunchctl(const FakeMac& mac);

    // Where the script keeps its logs and reads its answers (a Mac path).
    static platform::MacPath controlFolder();

    // What `verb` prints and its exit code.
    void setOutput(std::string_view verb, std::string_view stdout, std::string_view stderr = {},
                   std::optional<int> exitCode = std::nullopt) const;
    // Makes `verb` hang after printing its output.
    void setHangs(std::string_view verb) const;

    // One line per call so far, each argument in brackets: "[bootout][gui/501][/Library/…]".
    std::vector<std::string> calls() const;
    // One line per call so far: the call's environment, "NAME=value" pairs sorted by name.
    std::vector<std::string> environments() const;

private:
    std::vector<std::string> logLines(std::string_view name) const;

    const FakeMac& m_mac;
};

} // namespace veldo::testsupport
