// The /proc list of running applications and quitting one, with real fixture processes.
#include "platform/RunningApplications.h"

#include <algorithm>
#include <chrono>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/PlistValue.h"
#include "platform/RunningApplicationsSnapshot.h"
#include "tests/support/FakeMac.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::platform;
using namespace std::chrono_literals;
using veldo::testsupport::FakeMac;
using veldo::testsupport::FixtureProcess;
using veldo::testsupport::installFixtureExecutable;
using namespace veldo::testsupport::literals;

namespace {

std::optional<RunningApplication> findPid(pid_t pid)
{
    for (auto& app : ProcRunningApplications::shared().runningApplications()) {
        if (app.processIdentifier == pid)
            return app;
    }
    return std::nullopt;
}

} // namespace

TEST(RunningApplications, ListsProcessesInsideTheMacWithTheirBundles)
{
    FakeMac mac;
    mac.makeApp("/Applications/Fixture.app"_mac,
                PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.Fixture"},
                                       {"CFBundleName", "Fixture"},
                                       {"CFBundleDisplayName", "Fixture Pro"}});
    installFixtureExecutable(mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    installFixtureExecutable(mac, "/Applications/Fixture.app/Contents/Helpers/fixture-tool"_mac);
    installFixtureExecutable(mac, "/Applications/Bare.app/Contents/MacOS/Bare"_mac);

    FixtureProcess app(mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    FixtureProcess tool(mac, "/Applications/Fixture.app/Contents/Helpers/fixture-tool"_mac);
    FixtureProcess bare(mac, "/Applications/Bare.app/Contents/MacOS/Bare"_mac);
    ASSERT_GT(app.pid(), 0);
    ASSERT_GT(tool.pid(), 0);
    ASSERT_GT(bare.pid(), 0);

    auto listed = findPid(app.pid());
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->bundleURL, MacPath("/Applications/Fixture.app"));
    EXPECT_EQ(listed->executableURL, MacPath("/Applications/Fixture.app/Contents/MacOS/Fixture"));
    EXPECT_EQ(listed->bundleIdentifier, "com.example.Fixture");
    EXPECT_EQ(listed->localizedName, "Fixture Pro");
    EXPECT_NE(listed->startTime, 0u);

    // An executable elsewhere in a bundle has no bundle of its own.
    auto helper = findPid(tool.pid());
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->bundleURL, std::nullopt);
    EXPECT_EQ(helper->executableURL,
              MacPath("/Applications/Fixture.app/Contents/Helpers/fixture-tool"));
    EXPECT_EQ(helper->localizedName, std::nullopt);

    // A bundle without an information dictionary: a bundle, but no identifier or name.
    auto plain = findPid(bare.pid());
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->bundleURL, MacPath("/Applications/Bare.app"));
    EXPECT_EQ(plain->bundleIdentifier, std::nullopt);
    EXPECT_EQ(plain->localizedName, std::nullopt);

    // Processes outside the Mac (this test program) are not listed; the order is by process id.
    const auto all = ProcRunningApplications::shared().runningApplications();
    EXPECT_TRUE(std::none_of(all.begin(), all.end(),
                             [](const auto& a) { return a.processIdentifier == ::getpid(); }));
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return a.processIdentifier < b.processIdentifier;
    }));
}

TEST(RunningApplications, DeletedExecutableStillMapsIntoTheMac)
{
    FakeMac mac;
    installFixtureExecutable(mac, "/Applications/Gone.app/Contents/MacOS/Gone"_mac);
    FixtureProcess gone(mac, "/Applications/Gone.app/Contents/MacOS/Gone"_mac);
    ASSERT_GT(gone.pid(), 0);
    ASSERT_EQ(::unlink(mac.host("/Applications/Gone.app/Contents/MacOS/Gone"_mac).c_str()), 0);

    auto listed = findPid(gone.pid());
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->executableURL, MacPath("/Applications/Gone.app/Contents/MacOS/Gone"));
    EXPECT_EQ(listed->bundleURL, MacPath("/Applications/Gone.app"));
}

TEST(RunningApplications, TerminateSendsSigtermOnlyToTheListedProcess)
{
    FakeMac mac;
    installFixtureExecutable(mac, "/Applications/Quit.app/Contents/MacOS/Quit"_mac);
    FixtureProcess process(mac, "/Applications/Quit.app/Contents/MacOS/Quit"_mac);
    ASSERT_GT(process.pid(), 0);
    auto listed = findPid(process.pid());
    ASSERT_TRUE(listed);

    // A listing whose start time no longer matches (a reused process id) is refused.
    RunningApplication stale = *listed;
    stale.startTime += 1;
    EXPECT_FALSE(ProcRunningApplications::shared().terminate(stale));
    stale.startTime = 0;
    EXPECT_FALSE(ProcRunningApplications::shared().terminate(stale));
    EXPECT_EQ(process.waitForExit(50ms), std::nullopt);

    EXPECT_TRUE(ProcRunningApplications::shared().terminate(*listed));
    auto status = process.waitForExit(10s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);

    // Once gone (and reaped) it is no longer listed and can't be asked again.
    EXPECT_EQ(findPid(process.pid()), std::nullopt);
    EXPECT_FALSE(ProcRunningApplications::shared().terminate(*listed));
}

TEST(RunningApplications, ASnapshotKeepsOneReadingAndQuitsThroughItsSource)
{
    FakeMac mac;
    installFixtureExecutable(mac, "/Applications/Kept.app/Contents/MacOS/Kept"_mac);
    FixtureProcess process(mac, "/Applications/Kept.app/Contents/MacOS/Kept"_mac);
    ASSERT_GT(process.pid(), 0);
    const RunningApplicationsSnapshot snapshot(ProcRunningApplications::shared());
    const auto kept = [&](const RunningApplicationSource& source) {
        for (const RunningApplication& app : source.runningApplications())
            if (app.processIdentifier == process.pid())
                return std::optional<RunningApplication>(app);
        return std::optional<RunningApplication>();
    };
    const std::optional<RunningApplication> listed = kept(snapshot);
    ASSERT_TRUE(listed);

    EXPECT_TRUE(snapshot.terminate(*listed));
    ASSERT_TRUE(process.waitForExit(10s));
    // The reading stays as it was; a fresh one no longer lists the process.
    EXPECT_EQ(kept(snapshot), listed);
    EXPECT_FALSE(kept(ProcRunningApplications::shared()));
}
