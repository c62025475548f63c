// Installs and drives the stand-in package-manager script in a fake Mac.
#include "tests/support/StandInPackageManager.h"

#include <fstream>

namespace veldo::testsupport {

using platform::MacPath;

StandInPackageManager::StandInPackageManager(const FakeMac& mac, std::string_view name,
                                             const MacPath& folder)
    : m_mac(mac), m_name(name), m_path(folder.appendingPathComponent(name)),
      m_rootVariable(mac.root())
{
    mac.write(m_path, standInScript("package-manager"), 0755);
    mac.mkdir(controlFile(""));
}

void StandInPackageManager::setOutput(std::string_view command, std::string_view stdout,
                                      std::string_view stderr, std::optional<int> exitCode) const
{
    const std::string name(command);
    m_mac.write(controlFile(name + ".stdout"), stdout);
    m_mac.write(controlFile(name + ".stderr"), stderr);
    m_mac.write(controlFile(name + ".exit"), std::to_string(exitCode.value_or(0)));
}

void StandInPackageManager::setHangs(std::string_view command) const
{
    m_mac.write(controlFile(std::string(command) + ".mode"), "hang");
}

std::vector<std::string> StandInPackageManager::calls() const
{
    return logLines("calls.log");
}

std::vector<std::string> StandInPackageManager::paths() const
{
    return logLines("path.log");
}

MacPath StandInPackageManager::controlFile(std::string_view name) const
{
    const MacPath folder = MacPath("/private/var/stand-ins").appendingPathComponent(m_name);
    return name.empty() ? folder : folder.appendingPathComponent(name);
}

std::vector<std::string> StandInPackageManager::logLines(std::string_view name) const
{
    std::ifstream in(m_mac.host(controlFile(name)));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace veldo::testsupport
