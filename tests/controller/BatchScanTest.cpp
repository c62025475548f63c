// The batch scan of several selected apps, the selection change that starts it, and the cask
// index behind the batch's cask tokens.
#include "tests/controller/ScriptedScans.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::MatchConfidence;
using test::ids;

class Batch : public test::ScriptedScans
{
protected:
    // A controller listing `apps`.
    std::unique_ptr<UninstallViewModel> controllerListing(const std::vector<InstalledApp>& apps)
    {
        auto vm = scriptedController();
        vm->setApps(apps);
        return vm;
    }
    // Fills the leftover cache of `app` the way the detail pane does.
    void showOnce(UninstallViewModel& vm, const InstalledApp& app)
    {
        m_gate.open(app.id());
        Task<void> show = vm.showApp(app);
        ASSERT_TRUE(waitFor([&] { return show.isDone(); }));
    }
    static std::vector<std::string> batchIds(const UninstallViewModel& vm)
    {
        std::vector<std::string> out;
        for (const BatchAppResult& result : vm.batchResults())
            out.push_back(result.app.id());
        return out;
    }

    // An index of one cask installing one app into /Applications.
    static leftovers::CaskIndex indexOf(const std::string& token, const std::string& appName)
    {
        leftovers::CaskInfo cask;
        cask.token = token;
        cask.appNames = {appName};
        return {{appName, cask}};
    }

    const InstalledApp m_c = app("/Applications/C.app", "C", "com.example.c");
    const InstalledApp m_d = app("/Applications/D.app", "D", "com.example.d");
};

TEST_F(Batch, TenAppsAreScannedThreeAtATimeAndListedInSelectionOrder)
{
    std::vector<InstalledApp> apps;
    IdSet selection;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "App" + std::to_string(i);
        apps.push_back(app("/Applications/" + name + ".app", name));
        selection.insert(apps.back().id());
        m_leftovers[apps.back().id()] = {
            leftover("/Library/" + name, i == 4 ? MatchConfidence::low : MatchConfidence::high)};
    }
    auto vm = controllerListing(apps);
    Task<void> select = vm->selectApps(selection);
    EXPECT_TRUE(vm->isScanningBatch());
    ASSERT_TRUE(waitFor([&] { return m_gate.startCount() == 3; }));
    for (int i = 0; i < 20; ++i)
        processEvents();
    EXPECT_EQ(m_gate.startCount(), 3u);

    // Finishing out of order: each finished scan makes room for exactly one more.
    for (const int i : {2, 0, 1}) {
        m_gate.open(apps[static_cast<std::size_t>(i)].id());
        const std::size_t next = m_gate.startCount() + 1;
        ASSERT_TRUE(waitFor([&] { return m_gate.startCount() == next; }));
    }
    EXPECT_TRUE(m_gate.started(apps[5].id()));
    EXPECT_FALSE(m_gate.started(apps[6].id()));
    m_gate.openAll();
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));

    EXPECT_EQ(m_leftoverScansMost, 3);
    EXPECT_EQ(batchIds(*vm), ids(apps));
    EXPECT_FALSE(vm->isScanningBatch());
    EXPECT_EQ(vm->batchTask(), nullptr);
    EXPECT_EQ(vm->leftoverCache().size(), 10u);
    EXPECT_EQ(vm->batchResults()[3].leftovers.at(0).id(), "/Library/App3");
    // The app with only a low-confidence leftover is listed unticked.
    EXPECT_TRUE(vm->batchResults()[4].defaultSelected.empty());
    IdSet ticked = selection;
    ticked.erase(apps[4].id());
    EXPECT_EQ(vm->batchIncludedIDs(), ticked);
    EXPECT_FALSE(vm->detailApp());
}

TEST_F(Batch, TheScansOfOneBatchShareOneReadingOfEachFolder)
{
    // More apps than scans run at once, so that later scans start as earlier ones end.
    const std::vector<InstalledApp> apps{m_a, m_b, m_c, m_d};
    auto vm = controllerListing(apps);
    m_gate.openAll();
    Task<void> select = vm->selectApps({m_a.id(), m_b.id(), m_c.id(), m_d.id()});
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));

    std::lock_guard lock(m_batchListingsMutex);
    ASSERT_EQ(m_batchListings.size(), apps.size());
    for (const InstalledApp& a : apps)
        EXPECT_EQ(m_batchListings.at(a.id()), m_batchListings.at(m_a.id())) << a.id();
}

TEST_F(Batch, AnAllCachedSelectionIsListedWithoutScanningOrATask)
{
    m_leftovers[m_a.id()] = {leftover("/Library/A", MatchConfidence::high)};
    m_leftovers[m_b.id()] = {leftover("/Library/B", MatchConfidence::medium)};
    auto vm = controllerListing({m_a, m_b});
    showOnce(*vm, m_a);
    showOnce(*vm, m_b);
    const std::size_t scans = m_gate.startCount();
    int raised = 0;
    QObject::connect(vm.get(), &UninstallViewModel::isScanningBatchChanged, [&] { ++raised; });

    Task<void> select = vm->selectApps({m_a.id(), m_b.id()});
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));
    EXPECT_EQ(raised, 0);
    EXPECT_EQ(vm->batchTask(), nullptr);
    EXPECT_EQ(m_gate.startCount(), scans);
    EXPECT_EQ(batchIds(*vm), (std::vector<std::string>{m_a.id(), m_b.id()}));
    EXPECT_EQ(vm->batchIncludedIDs(), IdSet{m_a.id()}); // B's medium item is not preselected
    EXPECT_FALSE(vm->detailApp());
    EXPECT_FALSE(vm->selectedAppID());
}

TEST_F(Batch, ABatchSupersededWhileReadingTheRunningAppsIsNotListed)
{
    auto vm = controllerListing({m_a, m_b});
    showOnce(*vm, m_a);
    showOnce(*vm, m_b);
    Task<void> batch = vm->selectApps({m_a.id(), m_b.id()});
    Task<void> single = vm->selectApps({m_a.id()});
    ASSERT_TRUE(waitFor([&] { return batch.isDone() && single.isDone(); }));
    EXPECT_TRUE(vm->batchResults().empty());
    EXPECT_TRUE(vm->batchIncludedIDs().empty());
    EXPECT_EQ(vm->selectedAppID(), m_a.id());
}

TEST_F(Batch, TheInclusionMergeKeepsTheUsersTicksAndTicksNewEligibleApps)
{
    const InstalledApp system = app("/System/Applications/Chess.app", "Chess", "com.apple.Chess");
    m_leftovers[m_a.id()] = {leftover("/Library/A", MatchConfidence::high)};
    m_leftovers[m_b.id()] = {leftover("/Library/B", MatchConfidence::high)};
    m_leftovers[m_c.id()] = {leftover("/Library/C", MatchConfidence::high)};
    m_leftovers[m_d.id()] = {};
    m_leftovers[system.id()] = {leftover("/Library/Chess", MatchConfidence::certain)};
    m_gate.openAll();
    m_running = {m_b.id()};
    auto vm = controllerListing({m_a, m_b, m_c, m_d, system});

    Task<void> first = vm->selectApps({m_a.id(), m_b.id()});
    ASSERT_TRUE(waitFor([&] { return first.isDone(); }));
    EXPECT_EQ(vm->batchIncludedIDs(), (IdSet{m_a.id(), m_b.id()}));
    vm->setBatchIncludedIDs({m_b.id()}); // the user unticks A

    const int readings = m_runningReadings;
    Task<void> second = vm->selectApps({m_a.id(), m_b.id(), m_c.id(), m_d.id(), system.id()});
    ASSERT_TRUE(waitFor([&] { return second.isDone(); }));
    EXPECT_EQ(m_runningReadings, readings + 1); // one reading for the whole rebuild
    EXPECT_EQ(vm->batchIncludedIDs(), (IdSet{m_b.id(), m_c.id()}));
    ASSERT_EQ(vm->batchResults().size(), 5u);
    const BatchAppResult& d = vm->batchResults()[3];
    EXPECT_TRUE(d.leftovers.empty());
    EXPECT_TRUE(d.defaultSelected.empty());
    const BatchAppResult& chess = vm->batchResults()[4];
    EXPECT_TRUE(chess.isProtected);
    EXPECT_TRUE(chess.defaultSelected.empty());
    EXPECT_EQ(chess.leftovers.size(), 1u);
    EXPECT_FALSE(vm->batchResults()[0].isRunning);
    EXPECT_TRUE(vm->batchResults()[1].isRunning);
}

TEST_F(Batch, WhatThePolicyRefusesIsNotInTheDefaultSelection)
{
    // A's bundle is refused, its cache not; C has nothing else to remove.
    m_leftovers[m_a.id()] = {
        leftover(m_a.id(), MatchConfidence::certain, false, LeftoverCategory::application),
        leftover("/Library/Caches/A", MatchConfidence::high),
        leftover("/Library/A admin", MatchConfidence::certain, true)};
    m_leftovers[m_c.id()] = {
        leftover(m_c.id(), MatchConfidence::certain, false, LeftoverCategory::application)};
    m_refused = {m_a.id(), m_c.id(), "/Library/A admin"};
    m_settings->setIncludeAdminRequiredByDefault(true);
    m_gate.openAll();
    auto vm = controllerListing({m_a, m_c});
    Task<void> select = vm->selectApps({m_a.id(), m_c.id()});
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));

    ASSERT_EQ(vm->batchResults().size(), 2u);
    const BatchAppResult& a = vm->batchResults()[0];
    EXPECT_EQ(ids(a.defaultSelected), std::vector<std::string>{"/Library/Caches/A"});
    EXPECT_FALSE(a.removesAppBundle());
    EXPECT_EQ(a.leftovers.size(), 3u) << "every item is still listed";
    EXPECT_TRUE(vm->batchResults()[1].defaultSelected.empty());
    EXPECT_EQ(vm->batchIncludedIDs(), IdSet{m_a.id()}) << "C has nothing that would move";
    EXPECT_EQ(vm->includedBatchItemCount(), 1);
    EXPECT_EQ(vm->includedBatchBytes(), 10);
}

TEST_F(Batch, ASupersededBatchStillFillsTheCacheAndIsNotListed)
{
    for (const InstalledApp& a : {m_a, m_b, m_c, m_d})
        m_leftovers[a.id()] = {leftover("/Library/" + a.name, MatchConfidence::high)};
    const InstalledApp e = app("/Applications/E.app", "E");
    auto vm = controllerListing({m_a, m_b, m_c, m_d, e});

    Task<void> first = vm->selectApps({m_a.id(), m_b.id(), m_c.id(), m_d.id()});
    ASSERT_TRUE(waitFor([&] { return m_gate.startCount() == 3; }));
    Task<void> second = vm->selectApps({m_d.id(), e.id()});
    ASSERT_TRUE(waitFor([&] { return m_gate.startCount() == 5; }));

    // The cancelled batch takes A, starts nothing more and writes what it collected.
    m_gate.open(m_a.id());
    ASSERT_TRUE(waitFor([&] { return first.isDone(); }));
    EXPECT_TRUE(vm->leftoverCache().contains(m_a.id()));
    EXPECT_TRUE(vm->isScanningBatch());
    EXPECT_TRUE(vm->batchResults().empty());

    m_gate.openAll();
    ASSERT_TRUE(waitFor([&] { return second.isDone(); }));
    ASSERT_TRUE(waitFor([&] { return m_gate.finished(m_b.id()) && m_gate.finished(m_c.id()); }));
    EXPECT_FALSE(m_gate.stopped(m_b.id()));
    EXPECT_FALSE(m_gate.stopped(m_c.id()));
    EXPECT_EQ(batchIds(*vm), (std::vector<std::string>{m_d.id(), e.id()}));
    EXPECT_EQ(vm->selectedAppIDs(), (IdSet{m_d.id(), e.id()}));
    EXPECT_FALSE(vm->isScanningBatch());
    // A was collected by the superseded batch; B and C finished after it had returned.
    for (const InstalledApp& a : {m_a, m_d, e})
        EXPECT_TRUE(vm->leftoverCache().contains(a.id())) << a.name;
    EXPECT_EQ(vm->leftoverCache().size(), 3u);
}

TEST_F(Batch, ABatchFinishingAfterTheCacheWasEmptiedWritesNothing)
{
    m_leftovers[m_a.id()] = {leftover("/Library/A", MatchConfidence::high)};
    m_leftovers[m_b.id()] = {leftover("/Library/B", MatchConfidence::high)};
    m_appLists = {{m_a, m_b}};
    auto vm = controllerListing({m_a, m_b});
    Task<void> select = vm->selectApps({m_a.id(), m_b.id()});
    ASSERT_TRUE(waitFor([&] { return m_gate.startCount() == 2; }));

    m_gate.open("apps 0");
    Task<void> rescan = vm->scanApps(); // empties the cache and raises its generation
    ASSERT_TRUE(waitFor([&] { return rescan.isDone(); }));
    m_gate.openAll();
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));
    EXPECT_TRUE(vm->leftoverCache().empty());
    EXPECT_TRUE(vm->batchResults().empty());
    EXPECT_FALSE(vm->isScanningBatch());
}

TEST_F(Batch, SelectionChangesDecideBetweenDetailBatchAndNeither)
{
    const InstalledApp trashed = app("/Users/u/.Trash/T.app", "T");
    m_gate.openAll();
    auto vm = controllerListing({m_a, m_b});

    struct Case
    {
        const char* what;
        IdSet selection;
        IdSet kept;
        std::optional<std::string> detail;
        std::vector<std::string> batch;
    };
    const Case cases[] = {
        {"a tool entry leaves a multiple selection",
         {"veldo://orphans", m_a.id(), m_b.id()},
         {m_a.id(), m_b.id()},
         std::nullopt,
         {m_a.id(), m_b.id()}},
        {"one app", {m_b.id()}, {m_b.id()}, m_b.id(), {}},
        {"a tool entry alone", {"veldo://developer"}, {"veldo://developer"}, std::nullopt, {}},
        {"an unknown id", {"/Applications/Gone.app"}, {}, std::nullopt, {}},
        {"two apps again",
         {m_a.id(), m_b.id()},
         {m_a.id(), m_b.id()},
         std::nullopt,
         {m_a.id(), m_b.id()}},
        {"nothing", {}, {}, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        Task<void> select = vm->selectApps(c.selection);
        ASSERT_TRUE(waitFor([&] { return select.isDone(); })) << c.what;
        EXPECT_EQ(vm->selectedAppIDs(), c.kept) << c.what;
        EXPECT_EQ(vm->selectedAppID(), c.detail) << c.what;
        EXPECT_EQ(batchIds(*vm), c.batch) << c.what;
        EXPECT_FALSE(vm->isScanningBatch()) << c.what;
        EXPECT_FALSE(vm->isScanningLeftovers()) << c.what;
    }

    // The app shown from the Trash is not listed, yet selecting it alone shows it again.
    Task<void> show = vm->showApp(trashed);
    ASSERT_TRUE(waitFor([&] { return show.isDone(); }));
    const std::size_t scans = m_gate.startCount();
    Task<void> again = vm->selectApps({trashed.id()});
    ASSERT_TRUE(waitFor([&] { return again.isDone(); }));
    EXPECT_EQ(vm->selectedAppID(), trashed.id());
    EXPECT_EQ(m_gate.startCount(), scans + 1);
    // Together with a listed app it does not count: the listed app is shown alone.
    Task<void> both = vm->selectApps({trashed.id(), m_a.id()});
    ASSERT_TRUE(waitFor([&] { return both.isDone(); }));
    EXPECT_EQ(vm->selectedAppIDs(), IdSet{m_a.id()});
    EXPECT_EQ(vm->selectedAppID(), m_a.id());
    EXPECT_TRUE(vm->batchResults().empty());
}

TEST_F(Batch, BatchResultsAlwaysNotifyWhenRebuiltOrPruned)
{
    m_gate.openAll();
    auto vm = controllerListing({m_a, m_b});
    Task<void> select = vm->selectApps({m_a.id(), m_b.id()});
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));
    int notified = 0;
    QObject::connect(vm.get(), &UninstallViewModel::batchResultsChanged, [&] { ++notified; });

    Task<void> rescan = vm->scanBatch(); // the same list again
    ASSERT_TRUE(waitFor([&] { return rescan.isDone(); }));
    EXPECT_EQ(notified, 1);
    vm->pruneSelections(); // nothing to prune
    EXPECT_EQ(notified, 2);
    vm->clearBatch();
    vm->clearBatch();
    EXPECT_EQ(notified, 4);
}

TEST_F(Batch, QuittingDuringABatchStopsItsScansAndListsNothing)
{
    std::vector<InstalledApp> apps;
    IdSet selection;
    for (int i = 0; i < 5; ++i) {
        apps.push_back(app("/Applications/App" + std::to_string(i) + ".app", "App"));
        selection.insert(apps.back().id());
    }
    m_gate.open(apps[0].id());
    auto vm = controllerListing(apps);
    vm->selectApps(selection).detach();
    ASSERT_TRUE(waitFor([&] { return m_gate.startCount() == 4; }));

    vm->shutdown();
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_TRUE(m_gate.stopped(apps[i].id())) << i;
    EXPECT_EQ(m_gate.startCount(), 4u);
    processEvents();
    EXPECT_TRUE(vm->batchResults().empty());
    EXPECT_TRUE(vm->isScanningBatch());
    vm.reset();
}

TEST_F(Batch, CaskTokensComeFromTheLatestIndexLoad)
{
    m_caskIndex = indexOf("a-cask", "A.app");
    m_holdCaskLoads = true;
    m_gate.open(m_a.id());
    m_gate.open(m_b.id());
    auto vm = controllerListing({m_a, m_b});
    int changes = 0;
    QObject::connect(vm.get(), &UninstallViewModel::caskIndexChanged, [&] { ++changes; });

    // Before the first load has finished there is no cask.
    vm->refreshCaskIndex(false);
    const TaskHandle firstLoad = vm->caskIndexTask();
    ASSERT_TRUE(waitFor([&] { return m_gate.started("casks"); }));
    EXPECT_FALSE(vm->caskToken(m_a.url));
    Task<void> select = vm->selectApps({m_a.id(), m_b.id()});
    ASSERT_TRUE(waitFor([&] { return select.isDone(); }));
    EXPECT_FALSE(vm->batchResults()[0].caskToken);

    // A newer load supersedes the first, whose answer is dropped.
    vm->refreshCaskIndex(true);
    ASSERT_TRUE(waitFor([&] { return m_gate.started("casks forced"); }));
    m_gate.open("casks");
    ASSERT_TRUE(waitFor([&] { return firstLoad->isDone(); }));
    EXPECT_TRUE(vm->caskIndex().empty());
    m_gate.open("casks forced");
    ASSERT_TRUE(waitFor([&] { return !vm->caskIndex().empty(); }));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(vm->caskToken(m_a.url)->token, "a-cask");
    EXPECT_FALSE(vm->caskToken(m_b.url));
    EXPECT_FALSE(vm->caskToken(platform::MacPath("/Users/u/Applications/A.app")));

    Task<void> rescan = vm->scanBatch();
    ASSERT_TRUE(waitFor([&] { return rescan.isDone(); }));
    EXPECT_EQ(vm->batchResults()[0].caskToken, "a-cask");
    EXPECT_FALSE(vm->batchResults()[1].caskToken);

    // The same index again changes nothing.
    const int loads = m_caskLoads;
    vm->refreshCaskIndex(false);
    ASSERT_TRUE(waitFor([&] { return vm->caskIndexTask()->isDone(); }));
    EXPECT_EQ(m_caskLoads, loads + 1);
    EXPECT_EQ(changes, 1);
}

TEST_F(Batch, AnAcceptedAppScanReloadsTheCaskIndexWithoutForcing)
{
    m_caskIndex = indexOf("b-cask", "B.app");
    m_appLists = {{m_a, m_b}};
    m_gate.openAll();
    auto vm = scriptedController();
    Task<void> scan = vm->scanApps();
    ASSERT_TRUE(waitFor([&] { return !vm->caskIndex().empty(); }));
    EXPECT_TRUE(scan.isDone());
    EXPECT_EQ(m_caskLoads, 1);
    EXPECT_EQ(vm->caskToken(m_b.url)->token, "b-cask");
}

} // namespace
} // namespace veldo::controller
