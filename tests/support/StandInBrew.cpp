// Installs and drives the stand-in brew script in a fake Mac.
#include "tests/support/StandInBrew.h"

#include <fstream>

#include <unistd.h>

namespace veldo::testsupport {

using platform::MacPath;

StandInBrew::StandInBrew(const FakeMac& mac, const MacPath& at)
    : m_mac(mac), m_rootVariable(mac.root())
{
    mac.write(at, standInScript("brew"), 0755);
    mac.mkdir(controlFolder());
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
    const std::string name(command);
    m_mac.write(controlFolder().appendingPathComponent(name + ".stdout"), stdout);
    m_mac.write(controlFolder().appendingPathComponent(name + ".stderr"), stderr);
    if (exitCode)
        m_mac.write(controlFolder().appendingPathComponent(name + ".exit"),
                    std::to_string(*exitCode));
}

bool StandInBrew::hanging(std::string_view command) const
{
    return ::access(
               m_mac.host(controlFolder().appendingPathComponent(std::string(command) + ".hanging"))
                   .c_str(),
               F_OK) == 0;
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
    std::ifstream in(m_mac.host(controlFolder().appendingPathComponent(name)));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace veldo::testsupport
