// StandInPackageManager: the stand-in script (tests/support/stand-ins/package-manager) installed
// in a fake Mac under the name of npm, pip3, pip or gem.
//
// The script runs as a real child process. It finds the fake Mac through VELDO_MAC_ROOT, which
// this object sets for the whole process while it lives (and restores when it goes), logs every
// call's arguments and PATH, and prints what the test recorded for the call's command (its first
// argument) with the recorded exit code, or hangs. Make it after the FakeMac and before the first
// tool lookup (the search path is computed once per root). Not thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInScript.h"

namespace veldo::testsupport {

class StandInPackageManager
{
public:
    // Installs the script as `folder`/`name` (Mac paths) in `mac`, executable.
    StandInPackageManager(const FakeMac& mac, std::string_view name,
                          const platform::MacPath& folder = platform::MacPath("/opt/homebrew/bin"));
    StandInPackageManager(const StandInPackageManager&) = delete;
    StandInPackageManager& operator=(const StandInPackageManager&) = delete;

    // Where the script is installed.
    const platform::MacPath& path() const { return m_path; }

    // What `command` prints, standard error first, and its exit code (0 when none is given).
    void setOutput(std::string_view command, std::string_view stdout, std::string_view stderr = {},
                   std::optional<int> exitCode = std::nullopt) const;
    // Makes `command` sleep far beyond any time-out after printing.
    void setHangs(std::string_view command) const;

    // One line per call so far, each argument in brackets: "[ls][-g][--depth=0][--json]".
    std::vector<std::string> calls() const;
    // The PATH each call saw.
    std::vector<std::string> paths() const;

private:
    platform::MacPath controlFile(std::string_view name) const;
    std::vector<std::string> logLines(std::string_view name) const;

    const FakeMac& m_mac;
    std::string m_name;
    platform::MacPath m_path;
    MacRootVariable m_rootVariable;
};

} // namespace veldo::testsupport
