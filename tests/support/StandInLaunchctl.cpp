// Installs and drives the stand-in launchctl script in a fake Mac.
#include "tests/support/StandInLaunchctl.h"

#include <fstream>
#include <sstream>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace veldo::testsupport {

using platform::MacPath;

StandInLaunchctl::StandInLaunchctl(const FakeMac& mac) : m_mac(mac)
{
    std::ifstream in(VELDO_STAND_INS_DIR "/launchctl", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_TRUE(in.good() || in.eof()) << "cannot read " VELDO_STAND_INS_DIR "/launchctl";
    mac.write(MacPath("/bin/launchctl"), text.str(), 0755);
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
    const std::string name(verb);
    m_mac.write(controlFolder().appendingPathComponent(name + ".stdout"), stdout);
    m_mac.write(controlFolder().appendingPathComponent(name + ".stderr"), stderr);
    if (exitCode)
        m_mac.write(controlFolder().appendingPathComponent(name + ".exit"),
                    std::to_string(*exitCode));
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
    std::ifstream in(m_mac.host(controlFolder().appendingPathComponent(name)));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace veldo::testsupport
