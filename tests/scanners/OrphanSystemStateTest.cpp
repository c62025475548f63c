// launchctl's two listings read as labels, and the running executables from /proc.
#include "app/scanners/OrphanSystemState.h"

#include <algorithm>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using namespace veldo::scanners::OrphanScanner;
using veldo::testsupport::FakeMac;
using veldo::testsupport::FixtureProcess;
using veldo::testsupport::installFixtureExecutable;
using Labels = std::unordered_set<std::string>;
using namespace veldo::testsupport::literals;

TEST(OrphanSystemState, ParsesLaunchctlList)
{
    const std::pair<const char*, Labels> cases[] = {
        {"", {}},
        {"PID\tStatus\tLabel\n", {}},
        {"PID\tStatus\tLabel", {}},
        {"\n\nPID\tStatus\tLabel\n\n", {}},
        // The header is the first non-empty line, whatever it says.
        {"\n-\t0\tcom.first.line\n-\t0\tcom.second.line\n", {"com.second.line"}},
        {"PID\tStatus\tLabel\n"
         "123\t0\tcom.vendor.Agent\n"
         "-\t78\t  com.spaced.label \t\n"
         "\t\tcom.empty.fields\n"
         "-\t0\t\n"
         "-\t0\t   \n"
         "-\t0\n"
         "no tabs at all\n"
         "-\t0\tcom.extra\tfield\n"
         "-\t0\tcom.carriage\r\n",
         {"com.vendor.Agent", "com.spaced.label", "com.empty.fields", "com.extra",
          "com.carriage\r"}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseLaunchctlList(text), expected);
    }
}

TEST(OrphanSystemState, ParsesLaunchctlServices)
{
    const char* kFull = "system = {\n"
                        "\ttype = system\n"
                        "\tservices = {\n"
                        "\t\t       0      -  \tcom.apple.one\n"
                        "\t\t     123      0      com.vendor.Daemon\n"
                        "\t\t    two fields\n"
                        "\n"
                        "\t}\n"
                        "\tunmanaged processes = {\n"
                        "\t\t       1      -      com.after.block\n"
                        "\t}\n"
                        "}\n";
    const std::pair<const char*, Labels> cases[] = {
        {kFull, {"com.apple.one", "com.vendor.Daemon"}},
        // Without the closing "}" every line to the end counts.
        {"services = {\n 0 - com.a\n 1 - com.b extra\n", {"com.a", "com.b"}},
        {"services = {\n}\n 0 - com.after\n", {}},
        {"services={\n 0 - com.not.a.block\n}\n", {}},
        {"no services here\n 0 - com.x\n", {}},
        {"", {}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseLaunchctlServices(text), expected);
    }
}

TEST(OrphanSystemState, RunningExecutablesInsideTheMac)
{
    FakeMac mac;
    installFixtureExecutable(mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    FixtureProcess process(mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    ASSERT_GT(process.pid(), 0);

    const auto paths = runningExecutablePaths();
    EXPECT_NE(
        std::find(paths.begin(), paths.end(), "/Applications/Fixture.app/Contents/MacOS/Fixture"),
        paths.end());
    // Host programs (this test, the shell) are no programs of this Mac.
    EXPECT_TRUE(std::all_of(paths.begin(), paths.end(), [&](const std::string& p) {
        return p.starts_with('/') && p.find(mac.root()) == std::string::npos;
    }));
}

TEST(OrphanSystemState, WithoutAMacRootEveryReadableProcessCounts)
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    const auto paths = runningExecutablePaths();
    EXPECT_NE(std::find(paths.begin(), paths.end(), std::string(self, static_cast<std::size_t>(n))),
              paths.end());
}

TEST(OrphanSystemState, OtherUsersProcessesAreLeftOut)
{
    // Root's processes (this test among them) can't be read by another user; the listing goes on
    // without them.
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    const std::string me(self, static_cast<std::size_t>(n));
    const int status = veldo::testsupport::runUnprivileged([&] {
        const auto paths = runningExecutablePaths();
        // The child itself still runs this program, so it is listed exactly once.
        return std::count(paths.begin(), paths.end(), me) == 1 ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
