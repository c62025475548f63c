// The controller's helpers: selection pruning, where an app now is, the helpers notice and the
// wait for apps to quit.
#include <chrono>
#include <map>

#include <QCoreApplication>
#include <QThread>

#include "tests/controller/ControllerFixture.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::controller {
namespace {

using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

class Helpers : public ControllerFixture
{
};

TEST_F(Helpers, SelectionsSurviveByExactIds)
{
    const IdSet listed = {"/Applications/Café.app", "/Applications/My App.app"};
    const std::optional<std::string> detail = "/Users/u/.Trash/Gone.app";
    struct Case
    {
        std::string id;
        bool afterScan;
        bool afterChangeAlone; // a one-element new selection
        bool afterChangeOfTwo;
    };
    const std::vector<Case> cases = {
        {"/Applications/Café.app", true, true, true},
        {"/Applications/Cafe\u0301.app", false, false, false}, // decomposed: another string
        {"/Applications/My App.app", true, true, true},
        {"/Applications/My App.app/", false, false, false},
        {"/applications/my app.app", false, false, false},
        {"veldo://developer", true, true, true},
        {"veldo://orphans", true, true, true},
        {"/Users/u/.Trash/Gone.app", true, true, false},
        {"/Applications/Other.app", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(UninstallViewModel::selectionSurvivesAppScan(c.id, listed, detail), c.afterScan);
        EXPECT_EQ(
            UninstallViewModel::selectionSurvivesSelectionChange(c.id, listed, detail, IdSet{c.id}),
            c.afterChangeAlone);
        EXPECT_EQ(UninstallViewModel::selectionSurvivesSelectionChange(
                      c.id, listed, detail, IdSet{c.id, "/Applications/X.app"}),
                  c.afterChangeOfTwo);
    }
    EXPECT_FALSE(UninstallViewModel::selectionSurvivesAppScan("/A.app", {}, std::nullopt));
}

TEST_F(Helpers, HelpersNoticeNamesEveryAppInQuotes)
{
    EXPECT_FALSE(UninstallViewModel::helperProcessesNotice({}));
    EXPECT_EQ(UninstallViewModel::helperProcessesNotice(
                  {app("/Applications/A.app", "Alpha"), app("/Applications/B.app", "Beta")}),
              "Helpers of “Alpha”, “Beta” are still running and may recreate some files. Quit "
              "them from the menu bar or Activity Monitor.");
}

TEST_F(Helpers, DetailAppLocationLooksAtTheFileSystem)
{
    auto controller = makeController();
    m_mac.mkdir("/Applications/Here.app"_mac);
    const platform::MacPath trashed =
        m_mac.mkdir(m_mac.home().appendingPathComponent(".Trash/Trashed.app"));
    struct Case
    {
        std::string path;
        DetailAppLocation expected;
    };
    const std::vector<Case> cases = {
        {"/Applications/Here.app", DetailAppLocation::installed},
        {trashed.path(), DetailAppLocation::inTrash},
        {"/Applications/Gone.app", DetailAppLocation::removed},
        {m_mac.home().appendingPathComponent(".Trash/Gone.app").path(), DetailAppLocation::removed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(controller->detailAppLocation(app(c.path, "App")), c.expected);
    }
}

using LeftoverResult = Result<std::vector<core::LeftoverItem>>;

Task<> runScan(TaskScope&, QThreadPool* pool, std::function<LeftoverResult()> work,
               std::optional<LeftoverResult>* out)
{
    *out = co_await inBackground(*pool, std::move(work));
}

TEST_F(Helpers, LeftoverScanBodyRunsTheServiceOnItsOwnCopiesOffTheGuiThread)
{
    ControllerServices services;
    std::atomic<bool> onGuiThread{true};
    std::string seenApp;
    std::size_t seenRoots = 0;
    services.leftoverScan = [&](const core::InstalledApp& a,
                                const std::vector<core::ScopedAccessRoot>& roots,
                                std::stop_token stop) -> LeftoverResult {
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        seenApp = a.id();
        seenRoots = roots.size();
        EXPECT_FALSE(stop.stop_requested());
        return std::vector<core::LeftoverItem>{item("/Library/Caches/com.example")};
    };
    auto controller = makeController(services);
    std::optional<LeftoverResult> result;
    runScan(controller->taskScope(), &controller->scanPool(),
            controller->leftoverScanWork(app("/Applications/Example.app", "Example"),
                                         controller->grantedAccess(), controller->shutdownToken()),
            &result)
        .detach();
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }));
    EXPECT_FALSE(onGuiThread);
    EXPECT_EQ(seenApp, "/Applications/Example.app");
    EXPECT_EQ(seenRoots, 4U);
    ASSERT_TRUE(result->has_value());
    EXPECT_EQ((*result)->size(), 1U);
}

TEST_F(Helpers, LeftoverScanBodyUsesTheLeftoverScanner)
{
    platform::PlistValue::Dictionary info;
    info["CFBundleIdentifier"] = platform::PlistValue("com.example.scanned");
    info["CFBundleName"] = platform::PlistValue("Scanned");
    m_mac.makeApp("/Applications/Scanned.app"_mac, platform::PlistValue(info));
    const platform::MacPath cache =
        m_mac.mkdir(m_mac.home().appendingPathComponent("Library/Caches/com.example.scanned"));
    m_mac.write(cache.appendingPathComponent("data"), "cached");
    auto controller = makeController();
    auto scanned = app("/Applications/Scanned.app", "Scanned", "com.example.scanned");
    const LeftoverResult result =
        controller->leftoverScanWork(scanned, controller->grantedAccess(), {})();
    ASSERT_TRUE(result.has_value());
    std::vector<std::string> found;
    for (const core::LeftoverItem& i : *result)
        found.push_back(i.id());
    EXPECT_NE(std::find(found.begin(), found.end(), cache.path()), found.end());
}

// A running-status service playing a script: per app path, how many more readings show it
// running, and whether its helpers never quit.
class ScriptedApps
{
public:
    ControllerServices services(std::chrono::milliseconds interval)
    {
        ControllerServices s;
        s.durations.quitWaitInterval = interval;
        s.runningStatus = [this](const core::InstalledApp& app) {
            ++readings;
            core::RunningAppStatus status;
            int& left = runningFor[app.id()];
            if (left > 0) {
                --left;
                status.isRunning = true;
                status.processIdentifier = 100;
            }
            if (helpersForever.contains(app.id()))
                status.helperNames = {"Agent"};
            return status;
        };
        return s;
    }

    std::map<std::string, int> runningFor;
    std::set<std::string> helpersForever;
    int readings = 0;
};

TEST_F(Helpers, WaitAnswersAtOnceWhenNothingRuns)
{
    ScriptedApps script;
    auto controller = makeController(script.services(10ms));
    Task<QuitWaitResult> wait = controller->waitForAppsToQuit(
        {app("/Applications/A.app", "A"), app("/Applications/B.app", "B")}, 1000ms);
    // No sleep: the task ended inside the call.
    ASSERT_TRUE(wait.isDone());
    EXPECT_EQ(script.readings, 2);
}

Task<> collect(TaskScope&, Task<QuitWaitResult> wait, std::optional<QuitWaitResult>* out)
{
    *out = co_await wait;
}

TEST_F(Helpers, WaitEndsWhenTheAppsQuit)
{
    ScriptedApps script;
    script.runningFor["/Applications/A.app"] = 3;
    auto controller = makeController(script.services(5ms));
    std::optional<QuitWaitResult> result;
    collect(controller->taskScope(),
            controller->waitForAppsToQuit({app("/Applications/A.app", "A")}, 2000ms), &result)
        .detach();
    EXPECT_FALSE(result);
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }));
    EXPECT_EQ(*result, QuitWaitResult{});
    EXPECT_EQ(script.readings, 4);
}

TEST_F(Helpers, AHelperThatNeverQuitsLastsTheWholeTimeOut)
{
    ScriptedApps script;
    script.helpersForever = {"/Applications/A.app"};
    script.runningFor["/Applications/B.app"] = 1'000'000;
    auto controller = makeController(script.services(10ms));
    std::optional<QuitWaitResult> result;
    const auto started = std::chrono::steady_clock::now();
    collect(controller->taskScope(),
            controller->waitForAppsToQuit(
                {app("/Applications/A.app", "A"), app("/Applications/B.app", "B")}, 150ms),
            &result)
        .detach();
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 150ms);
    ASSERT_EQ(result->stillRunning.size(), 1U);
    EXPECT_EQ(result->stillRunning[0].id(), "/Applications/B.app");
    ASSERT_EQ(result->helpersOnly.size(), 1U);
    EXPECT_EQ(result->helpersOnly[0].id(), "/Applications/A.app");
}

TEST(WaitForAppsToQuit, DefaultDurations)
{
    EXPECT_EQ(ControllerDurations::kQuitWaitTimeout, 3000ms);
    EXPECT_EQ(ControllerDurations::kQuitWaitInterval, 250ms);
    const ControllerDurations durations;
    EXPECT_EQ(durations.quitWaitTimeout, 3000ms);
    EXPECT_EQ(durations.quitWaitInterval, 250ms);
}

TEST(WaitForAppsToQuit, RealDefaultsWaitThreeSeconds)
{
    testsupport::FakeMac mac;
    ScriptedApps script;
    script.runningFor["/Applications/A.app"] = 1'000'000;
    ControllerServices services;
    services.runningStatus = script.services(ControllerDurations::kQuitWaitInterval).runningStatus;
    auto defaults = std::make_shared<platform::UserDefaults>("/private/tmp/test.plist"_mac);
    UninstallViewModel controller(std::make_shared<core::CleanupSettings>(defaults),
                                  std::make_shared<core::CleanupStats>(defaults), defaults,
                                  services);
    std::optional<QuitWaitResult> result;
    const auto started = std::chrono::steady_clock::now();
    collect(controller.taskScope(),
            controller.waitForAppsToQuit({ControllerFixture::app("/Applications/A.app", "A")},
                                         controller.durations().quitWaitTimeout),
            &result)
        .detach();
    const auto deadline = started + 10s;
    while (!result && std::chrono::steady_clock::now() < deadline)
        ControllerFixture::processEvents();
    ASSERT_TRUE(result);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, 3000ms);
    // One reading at once, then one after each quarter second up to the deadline.
    EXPECT_GE(script.readings, 12);
    EXPECT_LE(script.readings, 14);
    EXPECT_EQ(result->stillRunning.size(), 1U);
}

} // namespace
} // namespace veldo::controller
