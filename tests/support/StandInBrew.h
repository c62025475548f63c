// StandInBrew: the stand-in brew script (tests/support/stand-ins/brew) installed in a fake Mac.
//
// The script runs as a real child process. It finds the fake Mac through VELDO_MAC_ROOT in its
// environment, which this object sets for the whole process while it lives (and restores when
// it goes), logs every call's arguments and Homebrew environment, and behaves per command as
// its mode says (see the script's header): brew's own behaviour, a password prompt, recorded
// output with an exit code, or a hang. Make it after the FakeMac and before the first tool
// lookup (the search path is computed once per root). Not thread-safe; tests set it up before
// starting threads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInScript.h"

namespace veldo::testsupport {

class StandInBrew
{
public:
    // Installs the script at `at` (a Mac path) in `mac`, executable.
    explicit StandInBrew(const FakeMac& mac,
                         const platform::MacPath& at = platform::MacPath("/opt/homebrew/bin/brew"));
    StandInBrew(const StandInBrew&) = delete;
    StandInBrew& operator=(const StandInBrew&) = delete;

    // Where the script keeps its logs and reads its modes (a Mac path).
    static platform::MacPath controlFolder();

    // Sets the mode of `command` ("info", "uninstall", "list-formula", "list-cask", "bundle"):
    // "", "password", "recorded", "hang", "stubborn" or (for "bundle") "no-file".
    void setMode(std::string_view command, std::string_view mode) const;
    // The output `command` prints in brew's behaviour ("info") and the modes "recorded" and
    // "hang"; the exit code is used by "recorded".
    void setOutput(std::string_view command, std::string_view stdout, std::string_view stderr = {},
                   std::optional<int> exitCode = std::nullopt) const;

    // Whether a call of `command` in the mode "hang" or "stubborn" has reached its sleep (a
    // stubborn one ignoring SIGTERM already).
    bool hanging(std::string_view command) const;
    // One line per call so far, each argument in brackets: "[uninstall][--cask][firefox]".
    std::vector<std::string> calls() const;
    // One line per call so far with the Homebrew variables it saw ("NONINTERACTIVE=1 …").
    std::vector<std::string> environments() const;

private:
    std::vector<std::string> logLines(std::string_view name) const;

    const FakeMac& m_mac;
    MacRootVariable m_rootVariable;
};

} // namespace veldo::testsupport
