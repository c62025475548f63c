// Installs and drives the stand-in osascript and the shell tools in a fake Mac.
#include "tests/support/StandInOsascript.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/StandInScript.h"

namespace veldo::testsupport {

using platform::MacPath;

namespace {

std::string programBytes()
{
    std::ifstream in(VELDO_OSASCRIPT_STAND_IN, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_TRUE(in.good() || in.eof()) << "cannot read " << VELDO_OSASCRIPT_STAND_IN;
    return bytes.str();
}

} // namespace

StandInOsascript::StandInOsascript(const FakeMac& mac) : m_mac(mac), m_launchctl(mac)
{
    mac.write(MacPath("/usr/bin/osascript"), programBytes(), 0755);
    mac.write(MacPath("/usr/bin/stat"), standInScript("stat"), 0755);
    for (const char* tool : {"env", "perl", "mktemp"})
        mac.write(MacPath("/usr/bin").appendingPathComponent(tool), standInScript(tool), 0755);
    mac.write(MacPath("/bin/rmdir"), standInScript("rmdir"), 0755);
    mac.mkdir(controlFolder(), 0755);
    mac.write(controlFolder().appendingPathComponent("VeldoRenameHook.pm"),
              standInScript("VeldoRenameHook.pm"));
}

MacPath StandInOsascript::controlFolder()
{
    return MacPath("/private/var/osascript-stand-in");
}

void StandInOsascript::setRuns() const
{
    m_mac.write(controlFolder().appendingPathComponent("mode"), "");
}

void StandInOsascript::setCancels() const
{
    m_mac.write(controlFolder().appendingPathComponent("mode"), "cancel");
}

void StandInOsascript::setError(int number, std::string_view text) const
{
    m_mac.write(controlFolder().appendingPathComponent("mode"),
                "error " + std::to_string(number) + " " + std::string(text));
}

void StandInOsascript::setExitStatus(int status) const
{
    m_mac.write(controlFolder().appendingPathComponent("mode"), "exit " + std::to_string(status));
}

void StandInOsascript::remove() const
{
    std::error_code ec;
    std::filesystem::remove(m_mac.host(MacPath("/usr/bin/osascript")), ec);
    EXPECT_FALSE(ec) << ec.message();
}

void StandInOsascript::setHook(std::string_view command) const
{
    m_mac.write(controlFolder().appendingPathComponent("hook"), command);
}

void StandInOsascript::setPerlRenameHook(int n, std::string_view command) const
{
    m_mac.write(controlFolder().appendingPathComponent("perl-hook"),
                std::to_string(n) + "\n" + std::string(command));
}

std::vector<std::string> StandInOsascript::prompts() const
{
    return logged("prompt");
}

std::vector<std::string> StandInOsascript::scripts() const
{
    return logged("script");
}

std::vector<std::string> StandInOsascript::logged(std::string_view extension) const
{
    std::vector<std::string> runs;
    for (int n = 1;; ++n) {
        const MacPath file = controlFolder().appendingPathComponent("run-" + std::to_string(n) +
                                                                    "." + std::string(extension));
        if (!std::filesystem::exists(m_mac.host(file)))
            return runs;
        runs.push_back(m_mac.contents(file));
    }
}

} // namespace veldo::testsupport
