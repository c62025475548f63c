// Installs and drives the stand-in launchctl script in a fake Mac.
#include "tests/support/StandInLaunchctl.h"

#include "tests/support/StandInControl.h"
#include "tests/support/StandInScript.h"

namespace veldo::testsupport {

using platform::MacPath;

StandInLaunchctl::StandInLaunchctl(const FakeMac& mac) : m_mac(mac)
{
    mac.write(MacPath("/bin/launchctl"), standInScript("launchctl"), 0755);
    mac.mkdir(controlFolder(), 0777);
    // Made now and writable by all, so that calls by any user append to the same logs.
    for (const char* log : {"calls.log", "env.log"})
        mac.write(controlFolder().appendingPathComponent(log), "", 0666);
}

MacPath StandInLaunchctl::controlFolder()
{
    return MacPath("/private/var/launchctl-stand-in");
}

void StandInLaunchctl::setOutput(std::string_view verb, std::string_view stdout,
                                 std::string_view stderr, std::optional<int> exitCode) const
{
    writeRecordedAnswer(m_mac, controlFolder(), verb, stdout, stderr, exitCode);
}

void StandInLaunchctl::setHangs(std::string_view verb) const
{
    m_mac.write(controlFolder().appendingPathComponent(std::string(verb) + ".mode"), "hang");
}

std::vector<std::string> StandInLaunchctl::calls() const
{
    return logLines("calls.log");
}

std::vector<std::string> StandInLaunchctl::environments() const
{
    return logLines("env.log");
}

std::vector<std::string> StandInLaunchctl::logLines(std::string_view name) const
{
    return controlLogLines(m_mac, controlFolder(), name);
}

} // namespace veldo::testsupport
