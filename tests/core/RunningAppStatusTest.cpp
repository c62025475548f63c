// Running-app status: matching by bundle and identifier, helpers, quitting; and a real process.
#include "app/core/RunningAppStatus.h"

#include <chrono>

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "app/core/InstalledAppInventory.h"
#include "platform/Clock.h"
#include "tests/support/FakeLastUsedDates.h"
#include "tests/support/FakeMac.h"
#include "tests/support/FakeRunningApplications.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using namespace std::chrono_literals;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::platform::RunningApplication;
using veldo::testsupport::FakeLastUsedDates;
using veldo::testsupport::FakeMac;
using veldo::testsupport::FakeRunningApplications;
using veldo::testsupport::FixtureProcess;
using namespace veldo::testsupport::literals;

namespace {

RunningApplication running(pid_t pid, std::optional<MacPath> bundle,
                           std::optional<MacPath> executable = std::nullopt,
                           std::optional<std::string> name = std::nullopt,
                           std::optional<std::string> identifier = std::nullopt)
{
    RunningApplication r;
    r.processIdentifier = pid;
    r.bundleURL = std::move(bundle);
    r.executableURL = std::move(executable);
    r.localizedName = std::move(name);
    r.bundleIdentifier = std::move(identifier);
    return r;
}

InstalledApp installed(const char* url, std::optional<std::string> bundleID)
{
    InstalledApp app;
    app.url = MacPath(url);
    app.name = MacPath(url).deletingPathExtension().lastPathComponent();
    app.bundleID = std::move(bundleID);
    return app;
}

std::vector<pid_t> pids(const std::vector<RunningApplication>& apps)
{
    std::vector<pid_t> out;
    for (const auto& a : apps)
        out.push_back(a.processIdentifier);
    return out;
}

} // namespace

TEST(RunningAppStatus, MatchesByBundleThenByIdentifierForTranslocatedOrBundlelessCopies)
{
    FakeMac mac;
    mac.mkdir("/Users/Shared/Build/Foo.app"_mac);
    mac.symlink("/Applications/Foo.app"_mac, "/Users/Shared/Build/Foo.app");
    const InstalledApp foo = installed("/Applications/Foo.app", std::string("com.Example.Foo"));

    FakeRunningApplications source;
    // Matched through the link, by path.
    source.setApplications(
        {running(10, MacPath("/Users/Shared/Build/Foo.app")),
         running(11, MacPath("/Volumes/Other/Foo.app"), std::nullopt, "Foo", "com.example.foo")});
    EXPECT_EQ(pids(runningApplicationsMatching(foo, source)), std::vector<pid_t>{10});

    // A copy elsewhere with the same identifier does not count...
    source.setApplications(
        {running(11, MacPath("/Volumes/Other/Foo.app"), std::nullopt, "Foo", "com.example.foo")});
    EXPECT_TRUE(runningApplicationsMatching(foo, source).empty());
    EXPECT_EQ(runningStatus(foo, source), RunningAppStatus::notRunning);

    // ...unless it runs translocated or without a bundle (identifier compared lower-cased).
    source.addApplication(running(12,
                                  MacPath("/private/var/folders/x/AppTranslocation/A1/d/Foo.app"),
                                  std::nullopt, "Foo", "COM.EXAMPLE.FOO"));
    source.addApplication(running(13, std::nullopt, MacPath("/opt/foo"), "Foo", "com.example.foo"));
    source.addApplication(running(14, std::nullopt, MacPath("/opt/bar"), "Bar", "com.example.bar"));
    EXPECT_EQ(pids(runningApplicationsMatching(foo, source)), (std::vector<pid_t>{12, 13}));
    const auto status = runningStatus(foo, source);
    EXPECT_TRUE(status.isRunning);
    EXPECT_EQ(status.processIdentifier, 12);

    // Without an identifier only the path counts.
    EXPECT_TRUE(
        runningApplicationsMatching(installed("/Applications/Foo.app", std::nullopt), source)
            .empty());
    EXPECT_TRUE(
        runningApplicationsMatching(installed("/Applications/Foo.app", std::string("")), source)
            .empty());
}

TEST(RunningAppStatus, HelpersAreNamedOnceAndNeverMakeTheAppRun)
{
    FakeMac mac;
    mac.mkdir("/Applications/Foo.app/Contents/MacOS"_mac);
    const InstalledApp foo = installed("/Applications/Foo.app", std::string("com.example.foo"));
    FakeRunningApplications source;
    source.setApplications({
        running(20, MacPath("/Applications/Foo.app/Contents/Library/LoginItems/Agent.app"),
                std::nullopt, "Foo Agent"),
        running(21, std::nullopt, MacPath("/Applications/Foo.app/Contents/XPCServices/Render"),
                "Foo Agent"),
        running(22, MacPath("/Applications/Foo.app/Contents/Helpers/Sync.app")),
        running(23, std::nullopt, MacPath("/Applications/Foo.app/Contents/Helpers/indexer")),
        running(4242, std::nullopt, std::nullopt),
        // Not inside: a sibling whose name extends the bundle's, and the bundle path itself.
        running(25, MacPath("/Applications/Foo.app2/Contents/MacOS/x"), std::nullopt, "Sibling"),
        running(26, std::nullopt, MacPath("/Applications/Foo.app"), "Itself"),
    });
    auto status = runningStatus(foo, source);
    EXPECT_FALSE(status.isRunning);
    EXPECT_EQ(status.processIdentifier, std::nullopt);
    EXPECT_EQ(status.helperNames, (std::vector<std::string>{"Foo Agent", "Sync", "indexer"}));
    EXPECT_EQ(pids(helperProcesses(foo, source)), (std::vector<pid_t>{20, 21, 22, 23}));

    // The app's own processes are not helpers.
    source.setApplications(
        {running(30, MacPath("/Applications/Foo.app"),
                 MacPath("/Applications/Foo.app/Contents/MacOS/Foo"), "Foo"),
         running(31, MacPath("/Applications/Foo.app/Contents/Helpers/Sync.app"))});
    status = runningStatus(foo, source);
    EXPECT_TRUE(status.isRunning);
    EXPECT_EQ(status.processIdentifier, 30);
    EXPECT_EQ(status.helperNames, std::vector<std::string>{"Sync"});
    EXPECT_EQ(pids(helperProcesses(foo, source)), std::vector<pid_t>{31});
}

TEST(RunningAppStatus, HelperDisplayNames)
{
    EXPECT_EQ(helperDisplayName(
                  running(1, MacPath("/A.app/Contents/B.app"), MacPath("/A.app/x"), "Named")),
              "Named");
    EXPECT_EQ(helperDisplayName(running(1, MacPath("/A.app/Contents/B.app"), MacPath("/A.app/x"))),
              "B");
    EXPECT_EQ(helperDisplayName(running(1, std::nullopt, MacPath("/A.app/Contents/tool"), "")),
              "tool");
    EXPECT_EQ(helperDisplayName(running(4242, std::nullopt)), "pid 4242");
}

TEST(RunningAppStatus, RequestQuitAsksTheAppThenItsHelpers)
{
    FakeMac mac;
    mac.mkdir("/Applications/Foo.app"_mac);
    const InstalledApp foo = installed("/Applications/Foo.app", std::nullopt);
    FakeRunningApplications source;

    // Nothing runs: true, nothing sent.
    source.setApplications({running(40, MacPath("/Applications/Bar.app"))});
    EXPECT_TRUE(requestQuit(foo, source));
    EXPECT_TRUE(source.terminated().empty());

    source.setApplications({
        running(41, std::nullopt, MacPath("/Applications/Foo.app/Contents/Helpers/h")),
        running(42, MacPath("/Applications/Foo.app")),
        running(43, MacPath("/Applications/Foo.app")),
    });
    // A helper that refuses does not count.
    source.setRefusing({41});
    EXPECT_TRUE(requestQuit(foo, source));
    EXPECT_EQ(source.terminated(), (std::vector<pid_t>{42, 43, 41}));

    // One of the app's own processes refusing makes the request fail; the rest are still asked.
    source.clearTerminated();
    source.setRefusing({42});
    EXPECT_FALSE(requestQuit(foo, source));
    EXPECT_EQ(source.terminated(), (std::vector<pid_t>{42, 43, 41}));
}

TEST(RunningAppStatus, RealFixtureAppIsFoundAndQuits)
{
    FakeMac mac;
    mac.makeApp("/Applications/Fixture.app"_mac,
                PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.fixture"},
                                       {"CFBundleName", "Fixture"}});
    veldo::testsupport::installFixtureExecutable(
        mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    veldo::testsupport::installFixtureExecutable(
        mac,
        "/Applications/Fixture.app/Contents/Library/LoginItems/Agent.app/Contents/MacOS/Agent"_mac);
    mac.writePlist(
        "/Applications/Fixture.app/Contents/Library/LoginItems/Agent.app/Contents/Info.plist"_mac,
        PlistValue::Dictionary{{"CFBundleDisplayName", "Fixture Agent"}});

    FakeLastUsedDates noDates;
    veldo::platform::ManualClock clock;
    const InventorySources sources{&veldo::platform::ProcRunningApplications::shared(), &noDates,
                                   &clock};
    auto app = InstalledAppInventory::load("/Applications/Fixture.app"_mac, sources);
    ASSERT_TRUE(app);
    EXPECT_EQ(runningStatus(*app), RunningAppStatus::notRunning);
    EXPECT_EQ(app->lastUsed, std::nullopt);

    FixtureProcess main(mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    FixtureProcess agent(
        mac,
        "/Applications/Fixture.app/Contents/Library/LoginItems/Agent.app/Contents/MacOS/Agent"_mac);
    ASSERT_GT(main.pid(), 0);
    ASSERT_GT(agent.pid(), 0);

    const auto status = runningStatus(*app);
    EXPECT_TRUE(status.isRunning);
    EXPECT_EQ(status.processIdentifier, main.pid());
    EXPECT_EQ(status.helperNames, std::vector<std::string>{"Fixture Agent"});
    // A running app was used just now.
    EXPECT_EQ(InstalledAppInventory::load("/Applications/Fixture.app"_mac, sources)->lastUsed,
              clock.now());

    EXPECT_TRUE(requestQuit(*app));
    for (FixtureProcess* p : {&main, &agent}) {
        auto exit = p->waitForExit(10s);
        ASSERT_TRUE(exit);
        EXPECT_TRUE(WIFSIGNALED(*exit));
        EXPECT_EQ(WTERMSIG(*exit), SIGTERM);
    }
    EXPECT_EQ(runningStatus(*app), RunningAppStatus::notRunning);
}
