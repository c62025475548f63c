// Installs and drives the stand-in brew script in a fake Mac.
#include "tests/support/StandInBrew.h"

#include <cstdlib>

#include "tests/support/StandInControl.h"

namespace veldo::testsupport {

using platform::MacPath;

StandInBrew::StandInBrew(const FakeMac& mac, const MacPath& at) : m_mac(mac)
{
    // NOLINTBEGIN(concurrency-mt-unsafe): set up before any test thread starts
    if (const char* previous = std::getenv("VELDO_MAC_ROOT"))
        m_previousRoot = previous;
    ::setenv("VELDO_MAC_ROOT", mac.root().c_str(), 1);
    // NOLINTEND(concurrency-mt-unsafe)
    mac.write(at, standInScript("brew"), 0755);
    mac.mkdir(controlFolder());
}

StandInBrew::~StandInBrew()
{
    // NOLINTBEGIN(concurrency-mt-unsafe)
    if (m_previousRoot)
        ::setenv("VELDO_MAC_ROOT", m_previousRoot->c_str(), 1);
    else
        ::unsetenv("VELDO_MAC_ROOT");
    // NOLINTEND(concurrency-mt-unsafe)
}

MacPath StandInBrew::controlFolder()
{
    return MacPath("/private/var/brew-stand-in");
}

void StandInBrew::setMode(std::string_view command, std::string_view mode) const
{
    m_mac.write(controlFolder().appendingPathComponent(std::string(command) + ".mode"), mode);
}

void StandInBrew::setOutput(std::string_view command, std::string_view stdout,
                            std::string_view stderr, std::optional<int> exitCode) const
{
    writeRecordedAnswer(m_mac, controlFolder(), command, stdout, stderr, exitCode);
}

std::vector<std::string> StandInBrew::calls() const
{
    return logLines("calls.log");
}

std::vector<std::string> StandInBrew::environments() const
{
    return logLines("env.log");
}

std::vector<std::string> StandInBrew::logLines(std::string_view name) const
{
    return controlLogLines(m_mac, controlFolder(), name);
}

} // namespace veldo::testsupport
