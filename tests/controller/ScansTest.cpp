// The app list and leftover scans: stale results dropped, the leftover cache and its generation,
// the default selection, pruning, the detail pane following its app, and the removal-safety
// verdicts an orphan scan hands over with its result.
#include <mutex>
#include <thread>
#include <utility>

#include <signal.h>
#include <sys/wait.h>

#include "platform/Home.h"
#include "platform/MainBundle.h"
#include "platform/SecurityScopedAccess.h"
#include "tests/controller/ScriptedScans.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::LeftoverCategory;
using core::LeftoverItem;
using core::MatchConfidence;
using test::ids;
using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;

class Scans : public test::ScriptedScans
{
};

TEST_F(Scans, OnlyTheLatestAppScanLandsEvenWhenTheFirstFinishesLast)
{
    m_appLists = {{m_a}, {m_b}};
    auto vm = scriptedController();
    const std::int64_t generation = vm->leftoverCacheGeneration();

    vm->scanApps().detach();
    vm->setIncludeSystemApps(true);
    vm->scanApps().detach();
    ASSERT_TRUE(waitFor([&] { return m_gate.startCount() == 2; }));
    m_gate.open("apps 1");
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningApps(); }));
    EXPECT_EQ(ids(vm->apps()), std::vector<std::string>{m_b.id()});

    m_gate.open("apps 0");
    ASSERT_TRUE(waitFor([&] { return m_gate.finished("apps 0"); }));
    for (int i = 0; i < 5; ++i)
        processEvents();
    EXPECT_EQ(ids(vm->apps()), std::vector<std::string>{m_b.id()});
    EXPECT_FALSE(vm->isScanningApps());
    EXPECT_EQ(vm->leftoverCacheGeneration(), generation + 1);
    EXPECT_EQ(vm->appsTask(), nullptr);
}

TEST_F(Scans, AppScanNeedsAccessToAnApplicationsFolder)
{
    m_appLists = {{m_a}};
    m_leftovers[m_b.id()] = {};
    m_gate.open("apps 0");
    m_gate.open(m_b.id());
    auto vm = scriptedController();

    vm->setGrantedAccess({{core::AccessRootKind::userApplications, "/Users/u/Applications"_mac}});
    vm->scanApps().detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningApps(); }));
    EXPECT_EQ(ids(vm->apps()), std::vector<std::string>{m_a.id()});

    vm->setApps({m_a, m_b});
    vm->showApp(m_b).detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    vm->setGrantedAccess({{core::AccessRootKind::userLibrary, "/Users/u/Library"_mac}});
    vm->scanApps().detach();
    EXPECT_TRUE(vm->apps().empty());
    EXPECT_FALSE(vm->isScanningApps());
    EXPECT_FALSE(vm->detailApp());
    EXPECT_FALSE(vm->selectedAppID());
    EXPECT_EQ(m_gate.startCount(), 2u); // the inventory ran once, the leftover scan once
}

TEST_F(Scans, ALaterSelectionWinsAndStopsTheEarlierLeftoverScan)
{
    m_leftovers[m_a.id()] = {leftover("/Library/A", MatchConfidence::high)};
    m_leftovers[m_b.id()] = {leftover("/Library/B", MatchConfidence::high)};
    auto vm = scriptedController();
    vm->setApps({m_a, m_b});

    vm->showApp(m_a).detach();
    ASSERT_TRUE(waitFor([&] { return m_gate.started(m_a.id()); }));
    vm->showApp(m_b).detach();
    ASSERT_TRUE(waitFor([&] { return m_gate.stopped(m_a.id()); }));
    EXPECT_TRUE(vm->isScanningLeftovers());

    m_gate.open(m_b.id());
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    for (int i = 0; i < 5; ++i)
        processEvents();
    EXPECT_EQ(ids(vm->leftovers()), std::vector<std::string>{"/Library/B"});
    EXPECT_EQ(vm->selectedLeftoverIDs(), IdSet{"/Library/B"});
    EXPECT_EQ(vm->leftoverCache().size(), 1u);
    EXPECT_TRUE(vm->leftoverCache().contains(m_b.id()));
    EXPECT_EQ(vm->leftoverTask(), nullptr);
}

TEST_F(Scans, ASupersededScanLeavesEverythingAsTheNewerOperationLeftIt)
{
    m_leftovers[m_a.id()] = {leftover("/Library/A", MatchConfidence::high)};
    auto vm = scriptedController();
    vm->setApps({m_a});
    vm->showApp(m_a).detach();
    ASSERT_TRUE(waitFor([&] { return m_gate.started(m_a.id()); }));
    vm->clearDetail();
    ASSERT_TRUE(waitFor([&] { return m_gate.finished(m_a.id()); }));
    for (int i = 0; i < 5; ++i)
        processEvents();
    EXPECT_FALSE(vm->isScanningLeftovers());
    EXPECT_TRUE(vm->leftovers().empty());
    EXPECT_TRUE(vm->leftoverCache().empty());
    EXPECT_FALSE(vm->detailApp());
}

TEST_F(Scans, ALeftoverScanStraddlingAnAppScanShowsItsResultButSkipsTheCache)
{
    m_leftovers[m_a.id()] = {leftover("/Library/A", MatchConfidence::high)};
    m_appLists = {{m_a}};
    auto vm = scriptedController();
    vm->setApps({m_a});
    vm->showApp(m_a).detach();
    ASSERT_TRUE(waitFor([&] { return m_gate.started(m_a.id()); }));

    m_gate.open("apps 0");
    vm->scanApps().detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningApps(); }));
    m_gate.open(m_a.id());
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    EXPECT_EQ(ids(vm->leftovers()), std::vector<std::string>{"/Library/A"});
    EXPECT_TRUE(vm->leftoverCache().empty());

    // The next scan started after the emptying writes the cache again.
    vm->scanLeftovers().detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    EXPECT_TRUE(vm->leftoverCache().contains(m_a.id()));
}

TEST_F(Scans, AnAppInTheTrashIsNotItsOwnLeftover)
{
    const std::string trashed = m_mac.home().appendingPathComponent(".Trash/T.app").path();
    const InstalledApp t = app(trashed, "T");
    m_leftovers[t.id()] = {
        leftover(trashed, MatchConfidence::certain, false, LeftoverCategory::application),
        leftover(trashed, MatchConfidence::high), leftover("/Library/T", MatchConfidence::high)};
    m_gate.open(t.id());
    auto vm = scriptedController();
    vm->showApp(t).detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    ASSERT_EQ(vm->leftovers().size(), 2u);
    EXPECT_EQ(vm->leftovers()[0].category, LeftoverCategory::supportFiles);
    EXPECT_EQ(vm->leftoverCache().at(t.id()).size(), 2u);
}

TEST_F(Scans, DefaultSelectionFollowsTheSettings)
{
    const std::string at = "/Library/Caches/";
    const std::vector<LeftoverItem> items = {
        leftover(at + "certain", MatchConfidence::certain),
        leftover(at + "high", MatchConfidence::high),
        leftover(at + "medium", MatchConfidence::medium),
        leftover(at + "low", MatchConfidence::low),
        leftover(at + "certain-admin", MatchConfidence::certain, true),
        leftover(at + "medium-admin", MatchConfidence::medium, true),
        // What the removal-safety policy refuses would not move: never ticked.
        leftover(at + "refused", MatchConfidence::certain),
        leftover(at + "refused-admin", MatchConfidence::medium, true),
    };
    m_refused = {at + "refused", at + "refused-admin"};
    struct Case
    {
        bool medium, low, admin;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {false, false, false, {"certain", "high"}},
        {true, false, false, {"certain", "high", "medium"}},
        {false, true, false, {"certain", "high", "low"}},
        {false, false, true, {"certain", "high", "certain-admin"}},
        {true, true, true, {"certain", "high", "medium", "low", "certain-admin", "medium-admin"}},
    };
    const auto idsAt = [&](const std::vector<std::string>& names) {
        IdSet set;
        for (const std::string& name : names)
            set.insert(at + name);
        return set;
    };
    auto vm = scriptedController();
    for (const Case& c : cases) {
        m_settings->setSelectMediumConfidence(c.medium);
        m_settings->setSelectLowConfidence(c.low);
        m_settings->setIncludeAdminRequiredByDefault(c.admin);
        EXPECT_EQ(vm->defaultLeftoverSelection(items), idsAt(c.expected))
            << c.medium << c.low << c.admin;
    }

    // The detail pane's scan ticks the same items.
    m_leftovers[m_a.id()] = items;
    m_gate.openAll();
    Task<void> show = vm->showApp(m_a);
    ASSERT_TRUE(waitFor([&] { return show.isDone(); }));
    EXPECT_EQ(vm->leftovers().size(), items.size());
    EXPECT_EQ(vm->selectedLeftoverIDs(), idsAt(cases[4].expected));
}

TEST_F(Scans, PruningKeepsToolEntriesAndTheTrashedDetailApp)
{
    const InstalledApp trashed = app("/Users/u/.Trash/T.app", "T");
    m_leftovers[trashed.id()] = {};
    m_gate.open(trashed.id());
    auto vm = scriptedController();
    vm->setApps({m_a});
    vm->showApp(trashed).detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    vm->setSelectedAppIDs({"veldo://orphans", trashed.id(), m_a.id(), m_b.id()});
    vm->setBatchIncludedIDs({m_a.id(), m_b.id()});
    vm->setBatchResults({BatchAppResult{m_b, {}, {}, false, false, std::nullopt},
                         BatchAppResult{m_a, {}, {}, false, false, std::nullopt}});

    vm->pruneSelections();
    EXPECT_EQ(vm->selectedAppIDs(), (IdSet{"veldo://orphans", trashed.id(), m_a.id()}));
    EXPECT_EQ(vm->selectedAppID(), trashed.id());
    EXPECT_EQ(vm->batchIncludedIDs(), IdSet{m_a.id()});
    ASSERT_EQ(vm->batchResults().size(), 1u);
    EXPECT_EQ(vm->batchResults()[0].app.id(), m_a.id());

    // A selected app that left the list and is not the detail app clears the detail.
    vm->setDetailApp(m_b);
    vm->pruneSelections();
    EXPECT_FALSE(vm->selectedAppID());
    EXPECT_FALSE(vm->detailApp());
}

TEST_F(Scans, TheDetailPaneFollowsItsAppIntoTheTrash)
{
    const std::string trashPath = "/Users/u/.Trash/Other.app";
    m_leftovers[m_a.id()] = {};
    m_leftovers[trashPath] = {leftover("/Library/A", MatchConfidence::high)};
    m_gate.open(m_a.id());
    m_gate.open(trashPath);
    m_existing = {m_a.id()};
    auto vm = scriptedController();
    vm->setApps({m_a});
    vm->showApp(m_a).detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    ASSERT_EQ(vm->detailAppLocation(), DetailAppLocation::installed);

    core::WatchedAppBundle bundle;
    bundle.trashURL = platform::MacPath(trashPath);
    bundle.bundleID = "COM.Example.A";
    // Only a copy went to the Trash while the app's file is still there.
    vm->detailAppTrashed(bundle);
    processEvents();
    EXPECT_EQ(vm->detailApp()->id(), m_a.id());

    m_existing = {trashPath};
    vm->detailAppTrashed(bundle);
    ASSERT_TRUE(waitFor([&] {
        return !vm->isScanningLeftovers() && vm->detailApp() && vm->detailApp()->id() == trashPath;
    }));
    EXPECT_EQ(vm->selectedAppIDs(), IdSet{trashPath});
    EXPECT_EQ(ids(vm->leftovers()), std::vector<std::string>{"/Library/A"});
}

TEST_F(Scans, AVanishedTrashedAppGivesWayToAnInstalledCopy)
{
    const std::string trashPath = m_mac.home().appendingPathComponent(".Trash/A.app").path();
    const InstalledApp trashed = app(trashPath, "A", "com.example.A");
    m_leftovers[trashPath] = {};
    m_leftovers[m_a.id()] = {};
    m_gate.open(trashPath);
    m_gate.open(m_a.id());
    m_existing = {trashPath, m_a.id()};
    auto vm = scriptedController();
    vm->setApps({m_b, m_a});
    vm->showApp(trashed).detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    ASSERT_EQ(vm->detailAppLocation(), DetailAppLocation::inTrash);

    m_existing = {m_a.id()};
    vm->refreshDetailLocation().detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));
    EXPECT_EQ(vm->detailApp()->id(), m_a.id());
    EXPECT_EQ(vm->detailAppLocation(), DetailAppLocation::installed);
}

class Drops : public Scans
{
protected:
    Drops()
    {
        m_realLoad = true;
        m_gate.openAll();
    }
    ~Drops() override { platform::testing::setMainBundleURL(std::nullopt); }

    platform::MacPath makeApp(const std::string& relativeToHome, const std::string& name)
    {
        const platform::MacPath path = m_mac.home().appendingPathComponent(relativeToHome);
        m_mac.makeApp(path, platform::PlistValue::Dictionary{
                                {"CFBundleName", name}, {"CFBundleIdentifier", "com." + name}});
        m_existing.insert(path.path());
        return path;
    }
};

TEST_F(Drops, ItemsThatAreNotAppsOnlySetTheNotice)
{
    const platform::MacPath folder = m_mac.home().appendingPathComponent("Documents");
    m_mac.mkdir(folder);
    m_mac.mkdir(m_mac.home().appendingPathComponent("Loud.APP/Contents"));
    m_mac.write(m_mac.home().appendingPathComponent("notes.txt"), "text");
    auto vm = scriptedController();
    vm->setApps({m_a});
    vm->showApp(m_a).detach();
    ASSERT_TRUE(waitFor([&] { return !vm->isScanningLeftovers(); }));

    for (const std::string name :
         {"Documents", "Loud.APP", "notes.txt", "Missing.app", "new\nline.app", "bad\xff.app"}) {
        const platform::MacPath dropped = m_mac.home().appendingPathComponent(name);
        vm->handleDrop(dropped).detach();
        EXPECT_EQ(vm->dropNotice(), "That item isn't a macOS application.") << name;
        EXPECT_EQ(vm->selectedAppID(), m_a.id()) << name;
        EXPECT_EQ(vm->apps().size(), 1u) << name;
        EXPECT_EQ(platform::testing::activeSecurityScopedAccesses(dropped.standardized()), 0u)
            << name;
    }
}

TEST_F(Drops, ABundleFromOutsideTheAppFoldersJoinsTheListOnceInNameOrder)
{
    const platform::MacPath beta = makeApp("Downloads/Beta.app", "Beta");
    const InstalledApp alpha = app("/Applications/Alpha.app", "Alpha");
    const InstalledApp mu = app("/Applications/Mu.app", "Mu");
    auto vm = scriptedController();
    vm->setApps({alpha, mu});

    Task<void> drop = vm->handleDrop(beta);
    EXPECT_EQ(platform::testing::activeSecurityScopedAccesses(beta), 1u);
    ASSERT_TRUE(waitFor([&] { return drop.isDone(); }));
    EXPECT_EQ(ids(vm->apps()), (std::vector<std::string>{alpha.id(), beta.path(), mu.id()}));
    EXPECT_EQ(vm->selectedAppID(), beta.path());
    EXPECT_FALSE(vm->dropNotice());
    EXPECT_EQ(platform::testing::activeSecurityScopedAccesses(beta), 0u);

    Task<void> again = vm->handleDrop(m_mac.home().appendingPathComponent("Downloads/./Beta.app"));
    ASSERT_TRUE(waitFor([&] { return again.isDone(); }));
    EXPECT_EQ(vm->apps().size(), 3u);
    EXPECT_EQ(platform::testing::activeSecurityScopedAccesses(beta), 0u);
}

TEST_F(Drops, TheProgramsOwnBundleIsShownWithItsRefusal)
{
    const platform::MacPath self = makeApp("Downloads/Veldo.app", "Veldo");
    platform::testing::setMainBundleURL(self);
    auto vm = scriptedController();
    Task<void> drop = vm->handleDrop(self);
    ASSERT_TRUE(waitFor([&] { return drop.isDone(); }));
    EXPECT_EQ(vm->selectedAppID(), self.path());
    EXPECT_EQ(vm->dropNotice(),
              common::removalRefusalMessage(common::RemovalSafety::Refusal::isSelf()));
    EXPECT_EQ(platform::testing::activeSecurityScopedAccesses(self), 0u);
}

TEST_F(Drops, LinksBrokenInfoListsAndOddNamesAreShownByTheirOwnPaths)
{
    const platform::MacPath real = makeApp("Downloads/Real.app", "Real");
    const platform::MacPath link = m_mac.home().appendingPathComponent("Desktop/Link.app");
    m_mac.mkdir(link.deletingLastPathComponent());
    m_mac.symlink(link, real.path());
    const platform::MacPath broken = m_mac.home().appendingPathComponent("Downloads/Broken.app");
    m_mac.write(broken.appendingPathComponent("Contents/Info.plist"), "not a property list");
    const platform::MacPath twoLines =
        m_mac.home().appendingPathComponent("Downloads/Two\nLines.app");
    m_mac.mkdir(twoLines.appendingPathComponent("Contents"));
    const platform::MacPath notUtf8 = m_mac.home().appendingPathComponent("Downloads/Bad\xff.app");
    m_mac.mkdir(notUtf8.appendingPathComponent("Contents"));
    auto vm = scriptedController();

    struct Case
    {
        platform::MacPath dropped;
        std::string name;
    };
    for (const Case& c : {Case{link, "Real"}, Case{broken, "Broken"}, Case{twoLines, "Two\nLines"},
                          Case{notUtf8, "Bad\xff"}}) {
        Task<void> drop = vm->handleDrop(c.dropped);
        ASSERT_TRUE(waitFor([&] { return drop.isDone(); })) << c.name;
        ASSERT_TRUE(vm->detailApp()) << c.name;
        EXPECT_EQ(vm->detailApp()->id(), c.dropped.path()) << c.name;
        EXPECT_EQ(vm->detailApp()->name, c.name);
        EXPECT_EQ(vm->selectedAppIDs(), IdSet{c.dropped.path()}) << c.name;
        EXPECT_EQ(platform::testing::activeSecurityScopedAccesses(c.dropped), 0u) << c.name;
        EXPECT_FALSE(vm->dropNotice()) << c.name << ": " << vm->dropNotice().value_or("");
    }
    EXPECT_EQ(ids(vm->apps()), (std::vector<std::string>{notUtf8.path(), broken.path(), link.path(),
                                                         twoLines.path()}));
}

TEST_F(Scans, QuitAndRescanRescansWhetherOrNotTheAppQuits)
{
    m_gate.openAll();
    for (const bool quits : {true, false}) {
        m_quitsOnRequest = quits;
        m_running = {m_a.id()};
        auto vm = scriptedController();
        vm->setApps({m_a});
        Task<void> show = vm->showApp(m_a);
        ASSERT_TRUE(waitFor([&] { return show.isDone(); }));
        const std::size_t scans = m_gate.startCount();

        Task<void> quit = vm->quitAndRescan();
        ASSERT_TRUE(waitFor([&] { return quit.isDone(); }));
        EXPECT_EQ(m_quitRequests.back(), m_a.id());
        EXPECT_EQ(vm->runningStatus().isRunning, !quits);
        EXPECT_EQ(m_gate.startCount(), scans + 1) << quits;
    }
}

TEST_F(Scans, QuitAndRescanLeavesAnotherSelectionAlone)
{
    m_gate.openAll();
    m_quitsOnRequest = false;
    m_running = {m_a.id()};
    auto vm = scriptedController();
    vm->setApps({m_a, m_b});
    Task<void> show = vm->showApp(m_a);
    ASSERT_TRUE(waitFor([&] { return show.isDone(); }));

    Task<void> quit = vm->quitAndRescan();
    Task<void> other = vm->showApp(m_b);
    ASSERT_TRUE(waitFor([&] { return other.isDone(); }));
    const std::size_t scans = m_gate.startCount();
    ASSERT_TRUE(waitFor([&] { return quit.isDone(); }));
    EXPECT_EQ(m_gate.startCount(), scans);
    EXPECT_EQ(vm->selectedAppID(), m_b.id());
    EXPECT_FALSE(vm->runningStatus().isRunning);
}

// Quitting real processes that run from app bundles in the fake Mac.
class RealQuit : public Scans
{
protected:
    RealQuit()
    {
        m_realProcesses = true;
        m_gate.openAll();
    }
    InstalledApp installApp(const std::string& name)
    {
        const platform::MacPath bundle("/Applications/" + name + ".app");
        m_mac.makeApp(bundle, platform::PlistValue::Dictionary{
                                  {"CFBundleName", name}, {"CFBundleIdentifier", "com." + name}});
        testsupport::installFixtureExecutable(m_mac, executable(bundle));
        return app(bundle.path(), name, "com." + name);
    }
    static platform::MacPath executable(const InstalledApp& app) { return executable(app.url); }
    static platform::MacPath executable(const platform::MacPath& bundle)
    {
        return bundle.appendingPathComponent("Contents/MacOS")
            .appendingPathComponent(bundle.deletingPathExtension().lastPathComponent());
    }
    using OnTerminate = testsupport::FixtureProcess::OnTerminate;
};

TEST_F(RealQuit, QuitAndRescanWithAProcessThatQuitsAndOneThatIgnoresTheRequest)
{
    const InstalledApp app = installApp("Fixture");
    for (const OnTerminate onTerminate : {OnTerminate::exits, OnTerminate::ignores}) {
        const bool quits = onTerminate == OnTerminate::exits;
        testsupport::FixtureProcess process(m_mac, executable(app), onTerminate);
        ASSERT_GT(process.pid(), 0);
        auto vm = scriptedController();
        vm->setApps({app});
        Task<void> show = vm->showApp(app);
        ASSERT_TRUE(waitFor([&] { return show.isDone(); }));
        ASSERT_TRUE(vm->runningStatus().isRunning) << quits;
        const std::size_t scans = m_gate.startCount();

        const auto started = std::chrono::steady_clock::now();
        Task<void> quit = vm->quitAndRescan();
        ASSERT_TRUE(waitFor([&] { return quit.isDone(); })) << quits;
        EXPECT_EQ(m_gate.startCount(), scans + 1) << quits;
        EXPECT_EQ(vm->runningStatus().isRunning, !quits);
        if (quits) {
            const std::optional<int> status = process.waitForExit(std::chrono::seconds(2));
            ASSERT_TRUE(status);
            EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM);
        } else {
            // The wait lasted its whole (injected) time and the process still runs.
            EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
            EXPECT_FALSE(process.waitForExit(std::chrono::milliseconds(0)));
        }
    }
}

TEST_F(RealQuit, ASelectionChangedDuringTheWaitIsLeftAlone)
{
    const InstalledApp stubborn = installApp("Stubborn");
    const InstalledApp other = installApp("Other");
    testsupport::FixtureProcess process(m_mac, executable(stubborn), OnTerminate::ignores);
    ASSERT_GT(process.pid(), 0);
    auto vm = scriptedController();
    vm->setApps({other, stubborn});
    Task<void> show = vm->showApp(stubborn);
    ASSERT_TRUE(waitFor([&] { return show.isDone(); }));

    Task<void> quit = vm->quitAndRescan();
    Task<void> select = vm->selectApps({other.id()});
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));
    const std::size_t scans = m_gate.startCount();
    ASSERT_TRUE(waitFor([&] { return quit.isDone(); }));
    EXPECT_EQ(m_gate.startCount(), scans);
    EXPECT_EQ(vm->selectedAppID(), other.id());
    EXPECT_FALSE(vm->runningStatus().isRunning);
}

TEST_F(RealQuit, TheRealWaitForAnAppThatKeepsRunningLastsThreeSeconds)
{
    m_realDurations = true;
    const InstalledApp app = installApp("Stubborn");
    testsupport::FixtureProcess process(m_mac, executable(app), OnTerminate::ignores);
    ASSERT_GT(process.pid(), 0);
    auto vm = scriptedController();
    vm->setApps({app});
    Task<void> show = vm->showApp(app);
    ASSERT_TRUE(waitFor([&] { return show.isDone(); }));

    const auto started = std::chrono::steady_clock::now();
    Task<void> quit = vm->quitAndRescan();
    while (!quit.isDone() && std::chrono::steady_clock::now() - started < std::chrono::seconds(10))
        processEvents();
    ASSERT_TRUE(quit.isDone());
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::seconds(3));
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_TRUE(vm->runningStatus().isRunning);
}

TEST_F(Scans, OrphanScanGetsTheAppListOnlyWhenSystemAppsAreListed)
{
    m_gate.openAll();
    struct Case
    {
        bool includeSystemApps;
        std::vector<InstalledApp> apps;
        std::string scannedOver;
    };
    const Case cases[] = {
        {false, {m_a, m_b}, "/orphans over their own list"},
        {true, {}, "/orphans over their own list"},
        {true, {m_a, m_b}, "/orphans over 2"},
    };
    for (const Case& c : cases) {
        auto vm = scriptedController();
        vm->setIncludeSystemApps(c.includeSystemApps);
        vm->setApps(c.apps);
        vm->setSelectedOrphanIDs({"/Library/Old"});
        Task<void> scan = vm->scanOrphans();
        EXPECT_TRUE(vm->selectedOrphanIDs().empty());
        ASSERT_TRUE(waitFor([&] { return scan.isDone(); }));
        ASSERT_EQ(vm->orphanResult().unreadableLocations.size(), 1u);
        EXPECT_EQ(vm->orphanResult().unreadableLocations[0].path(), c.scannedOver);
        EXPECT_TRUE(vm->hasScannedOrphans());
        EXPECT_FALSE(vm->isScanningOrphans());
        EXPECT_EQ(vm->orphanTask(), nullptr);
    }
}

TEST_F(Scans, ASupersededOrphanScanIsStoppedAndDropped)
{
    m_gate.open("orphans over their own list");
    auto vm = scriptedController();
    vm->setIncludeSystemApps(true);
    vm->setApps({m_a});
    Task<void> first = vm->scanOrphans();
    ASSERT_TRUE(waitFor([&] { return m_gate.started("orphans over 1"); }));

    vm->setIncludeSystemApps(false);
    Task<void> second = vm->scanOrphans();
    ASSERT_TRUE(waitFor([&] { return first.isDone() && second.isDone(); }));
    EXPECT_TRUE(m_gate.stopped("orphans over 1"));
    EXPECT_EQ(vm->orphanResult().unreadableLocations.at(0).path(), "/orphans over their own list");
    EXPECT_TRUE(vm->hasScannedOrphans());

    // A result the scanner marks cancelled, still current, is shown but does not count as a scan.
    m_orphanScanStopsItself = true;
    Task<void> third = vm->scanOrphans();
    ASSERT_TRUE(waitFor([&] { return third.isDone(); }));
    EXPECT_TRUE(vm->orphanResult().wasCancelled);
    EXPECT_FALSE(vm->hasScannedOrphans());
    EXPECT_FALSE(vm->isScanningOrphans());
}

TEST_F(Scans, DeveloperScanPreselectsOnlyCaches)
{
    auto item = [](std::string path, bool isCache) {
        core::ToolchainItem i;
        i.url = platform::MacPath(std::move(path));
        i.isCache = isCache;
        i.sizeBytes = 1 << 30;
        return i;
    };
    core::ToolchainGroup first;
    first.items = {item("/u/Library/Caches/Homebrew", true), item("/u/.rustup", false)};
    core::ToolchainGroup second;
    second.items = {item("/u/.npm", true)};
    core::ToolchainGroup sdkOnly;
    sdkOnly.items = {item("/u/Library/Developer/SDKs", false)};

    struct Case
    {
        std::vector<core::ToolchainGroup> groups;
        IdSet selected;
    };
    const Case cases[] = {
        {{first, second}, {"/u/Library/Caches/Homebrew", "/u/.npm"}},
        {{sdkOnly}, {}},
    };
    for (const Case& c : cases) {
        m_toolchainGroups = c.groups;
        auto vm = scriptedController();
        vm->setSelectedToolchainIDs({"/u/old"});
        Task<void> scan = vm->scanDeveloper();
        EXPECT_TRUE(vm->isScanningDeveloper());
        EXPECT_TRUE(vm->selectedToolchainIDs().empty());
        ASSERT_TRUE(waitFor([&] { return scan.isDone(); }));
        EXPECT_EQ(vm->selectedToolchainIDs(), c.selected);
        EXPECT_EQ(vm->toolchainGroups().size(), c.groups.size());
        EXPECT_TRUE(vm->hasScannedDeveloper());
        EXPECT_FALSE(vm->isScanningDeveloper());
        EXPECT_EQ(m_scannedHome, platform::homeDirectory());
    }
}

TEST_F(Scans, AcceptedOrphanAndDeveloperResultsNotifyEvenWhenUnchanged)
{
    m_gate.openAll();
    auto vm = scriptedController();
    int orphanWrites = 0;
    int toolchainWrites = 0;
    QObject::connect(vm.get(), &UninstallViewModel::orphanResultChanged, [&] { ++orphanWrites; });
    QObject::connect(vm.get(), &UninstallViewModel::toolchainGroupsChanged,
                     [&] { ++toolchainWrites; });
    for (int round = 1; round <= 2; ++round) {
        Task<void> orphans = vm->scanOrphans();
        Task<void> developer = vm->scanDeveloper();
        ASSERT_TRUE(waitFor([&] { return orphans.isDone() && developer.isDone(); }));
        EXPECT_EQ(orphanWrites, round);
        // The emptying at the start and the result.
        EXPECT_EQ(toolchainWrites, 2 * round);
    }
}

// Orphan scans whose findings are judged for removal safety: the scan waits on a gate; the check
// refuses a folder that holds one of the context's installed apps and counts the checks made on
// the GUI thread and elsewhere.
class JudgedOrphanScans : public ControllerFixture
{
protected:
    std::unique_ptr<UninstallViewModel> judgingController()
    {
        ControllerServices services;
        services.orphanScan = [this](const std::optional<std::vector<InstalledApp>>&,
                                     std::stop_token stop) {
            scanners::OrphanScanResult result;
            result.groups = {{"com.tools", "Tools", {finding("/Applications/Tools", 100)}},
                             {"com.cache", "Cache", {finding("/Library/Caches/com.cache", 20)}}};
            result.wasCancelled = !m_gate.pass("orphans", stop);
            return result;
        };
        services.removalRefusal = [this](const platform::MacPath& url,
                                         const common::RemovalSafety::PreparedContext& context)
            -> std::optional<common::RemovalSafety::Refusal> {
            {
                std::lock_guard lock(m_mutex);
                ++(std::this_thread::get_id() == m_guiThread ? m_guiChecks : m_backgroundChecks);
            }
            for (const platform::MacPath& app : context.context().installedApps)
                if (app.path().starts_with(url.path() + "/"))
                    return common::RemovalSafety::Refusal::containsOtherApps(app.path());
            return std::nullopt;
        };
        return makeController(std::move(services));
    }

    static scanners::OrphanFinding finding(std::string path, std::int64_t bytes)
    {
        scanners::OrphanFinding f;
        f.item = item(std::move(path), bytes);
        return f;
    }

    static std::vector<LeftoverItem> allItems(const UninstallViewModel& vm)
    {
        return scanners::OrphanGroup::allItems(vm.orphanResult().groups);
    }

    std::pair<int, int> checks()
    {
        std::lock_guard lock(m_mutex);
        return {m_guiChecks, m_backgroundChecks};
    }

    test::Gate m_gate;
    const std::thread::id m_guiThread = std::this_thread::get_id();
    std::mutex m_mutex;
    int m_guiChecks = 0;
    int m_backgroundChecks = 0;
};

TEST_F(JudgedOrphanScans, TheVerdictsArriveWithTheResult)
{
    m_gate.openAll();
    auto vm = judgingController();
    std::int64_t seen = -1;
    QObject::connect(vm.get(), &UninstallViewModel::orphanResultChanged, vm.get(),
                     [&] { seen = vm->removableBytes(allItems(*vm)); });
    Task<void> scan = vm->scanOrphans();
    ASSERT_TRUE(waitFor([&] { return scan.isDone(); }));
    EXPECT_EQ(seen, 120);
    vm->setSelectedOrphanIDs({"/Applications/Tools", "/Library/Caches/com.cache"});
    EXPECT_EQ(vm->selectedOrphanBytes(), 120);
    EXPECT_EQ(checks(), std::make_pair(0, 2)); // judged once each, in the background

    // A later app list is a new context: the paths are judged again, on the GUI thread.
    vm->setApps({app("/Applications/Tools/Editor.app", "Editor")});
    EXPECT_EQ(vm->removableBytes(allItems(*vm)), 20);
    EXPECT_EQ(checks(), std::make_pair(2, 2));
}

TEST_F(JudgedOrphanScans, VerdictsOfAnOlderContextAreJudgedAgain)
{
    auto vm = judgingController();
    Task<void> scan = vm->scanOrphans();
    ASSERT_TRUE(waitFor([&] { return m_gate.started("orphans"); }));
    // The app list changes while the scan runs: its verdicts, judged without the app, would let
    // the folder that holds it through.
    vm->setApps({app("/Applications/Tools/Editor.app", "Editor")});
    std::int64_t seen = -1;
    QObject::connect(vm.get(), &UninstallViewModel::orphanResultChanged, vm.get(),
                     [&] { seen = vm->removableBytes(allItems(*vm)); });
    m_gate.open("orphans");
    ASSERT_TRUE(waitFor([&] { return scan.isDone(); }));
    EXPECT_EQ(seen, 20);
    EXPECT_EQ(checks(), std::make_pair(2, 2));
    vm->setSelectedOrphanIDs({"/Applications/Tools", "/Library/Caches/com.cache"});
    EXPECT_EQ(vm->selectedOrphanBytes(), 20);
    EXPECT_EQ(checks(), std::make_pair(2, 2));
}

} // namespace
} // namespace veldo::controller
