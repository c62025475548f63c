// The batch removal on a fake Mac: apps that don't quit keep their files, protected apps never
// take part, one press starts one removal, and removed bundles leave the app list.
#include <filesystem>

#include <QSignalSpy>

#include "tests/controller/RemovalFixture.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::LeftoverCategory;
using core::LeftoverItem;
using platform::MacPath;
using testsupport::FixtureProcess;
using testsupport::ids;
using testsupport::RemovalFixture;
using Quit = FixtureProcess::OnTerminate;

class BatchRemoval : public RemovalFixture
{
protected:
    // An app with an executable, its bundle and one cache as the items the batch removes.
    BatchAppResult batchApp(const std::string& name)
    {
        const InstalledApp app = makeApp(MacPath("/Applications/" + name + ".app"), name,
                                         "com.acme." + name, /*withExecutable=*/true);
        testsupport::installFixtureExecutable(m_mac, executableOf(app));
        const MacPath cache = m_mac.write(inHome("Library/Caches/com.acme." + name), name);
        BatchAppResult result;
        result.app = app;
        result.defaultSelected = {item(app.id(), 100, LeftoverCategory::application),
                                  item(cache.path(), 10, LeftoverCategory::caches)};
        result.leftovers = result.defaultSelected;
        return result;
    }

    // Lists the results' apps, shows them as the batch and includes them all.
    void showBatch(UninstallViewModel& controller, const std::vector<BatchAppResult>& results)
    {
        std::vector<InstalledApp> apps;
        IdSet included;
        for (const BatchAppResult& result : results) {
            apps.push_back(result.app);
            included.insert(result.app.id());
        }
        controller.setApps(apps);
        controller.setSelectedAppIDs(included);
        controller.setBatchResults(results);
        controller.setBatchIncludedIDs(included);
    }

    bool filesThere(const BatchAppResult& result) const
    {
        return std::ranges::all_of(result.defaultSelected,
                                   [&](const LeftoverItem& item) { return exists(item.url); });
    }
    bool filesGone(const BatchAppResult& result) const
    {
        return std::ranges::none_of(result.defaultSelected,
                                    [&](const LeftoverItem& item) { return exists(item.url); });
    }
};

TEST_F(BatchRemoval, AnAppThatDoesNotQuitKeepsItsFilesAndTheOthersGo)
{
    const BatchAppResult stubborn = batchApp("Stubborn");
    const BatchAppResult willing = batchApp("Willing");
    FixtureProcess first(m_mac, executableOf(stubborn.app), Quit::ignores);
    FixtureProcess second(m_mac, executableOf(willing.app));
    auto controller = removalController();
    showBatch(*controller, {stubborn, willing});
    controller->setHasScannedDeveloper(true);

    Task<void> run = controller->removeBatch();
    ASSERT_TRUE(finish(run));
    EXPECT_EQ(controller->dropNotice(), "“Stubborn” didn’t quit, so its files were left in place.");
    EXPECT_EQ(m_quitRequests, 2);
    EXPECT_TRUE(filesThere(stubborn));
    EXPECT_TRUE(filesGone(willing));
    EXPECT_EQ(ids(controller->apps()), std::vector<std::string>{stubborn.app.id()});
    ASSERT_TRUE(controller->lastOutcome());
    EXPECT_EQ(controller->lastOutcome()->trashed.size(), 2u);
    EXPECT_EQ(controller->lastOutcomeSource(), OutcomeSource::batch);
    EXPECT_FALSE(controller->lastRemovedApp());
    EXPECT_TRUE(controller->showResultBanner());
    EXPECT_EQ(m_stats->totalItemsRemoved(), 2);
    EXPECT_EQ(m_stats->totalAppsCleaned(), 1);
    EXPECT_EQ(m_stats->totalBytesReclaimed(), 110);
    EXPECT_FALSE(controller->hasScannedDeveloper());
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Glass"});
    // The selection did not change meanwhile: the batch and the detail are cleared.
    EXPECT_TRUE(controller->batchResults().empty());
    EXPECT_TRUE(controller->batchIncludedIDs().empty());
    EXPECT_TRUE(controller->selectedAppIDs().empty());
    EXPECT_FALSE(controller->isRemoving());
}

TEST_F(BatchRemoval, FilesAnAppThatDoesNotQuitSharesWithAnotherStayToo)
{
    BatchAppResult stubborn = batchApp("Stubborn");
    BatchAppResult willing = batchApp("Willing");
    // Both list the vendor's shared container; the quitting app also lists the vendor folder
    // that holds the running app's data, and its own logs inside the vendor's log folder that
    // the running app lists (found, not ticked).
    const MacPath shared = m_mac.write(inHome("Library/Group Containers/ACME.shared/data"), "s");
    const MacPath vendor = inHome("Library/Application Support/Acme");
    const MacPath data = m_mac.write(vendor.appendingPathComponent("Stubborn"), "d");
    const MacPath logs = inHome("Library/Logs/Acme");
    const MacPath willingLogs = m_mac.write(logs.appendingPathComponent("Willing/today.log"), "l")
                                    .deletingLastPathComponent();
    const LeftoverItem container = item(shared.deletingLastPathComponent().path(), 1);
    stubborn.defaultSelected.push_back(container);
    stubborn.defaultSelected.push_back(item(data.path(), 1));
    stubborn.leftovers = stubborn.defaultSelected;
    stubborn.leftovers.push_back(item(logs.path(), 1));
    willing.defaultSelected.push_back(container);
    willing.defaultSelected.push_back(item(vendor.path(), 1));
    willing.defaultSelected.push_back(item(willingLogs.path(), 1));
    FixtureProcess first(m_mac, executableOf(stubborn.app), Quit::ignores);
    FixtureProcess second(m_mac, executableOf(willing.app));
    auto controller = removalController();
    showBatch(*controller, {stubborn, willing});

    Task<void> run = controller->removeBatch();
    ASSERT_TRUE(finish(run));
    EXPECT_EQ(controller->dropNotice(), "“Stubborn” didn’t quit, so its files were left in place.");
    EXPECT_TRUE(filesThere(stubborn));
    EXPECT_FALSE(exists(willing.app.url));
    EXPECT_TRUE(exists(willingLogs)) << "inside a folder the running app lists";
    ASSERT_TRUE(controller->lastOutcome());
    EXPECT_EQ(ids(controller->lastOutcome()->trashed),
              ids(std::vector<LeftoverItem>(willing.defaultSelected.begin(),
                                            willing.defaultSelected.begin() + 2)));
}

TEST_F(BatchRemoval, WhenNoAppQuitsNothingRunsAndOnlyTheNoticeIsShown)
{
    const BatchAppResult first = batchApp("First");
    const BatchAppResult second = batchApp("Second");
    FixtureProcess one(m_mac, executableOf(first.app), Quit::ignores);
    FixtureProcess two(m_mac, executableOf(second.app), Quit::ignores);
    auto controller = removalController();
    showBatch(*controller, {first, second});

    Task<void> run = controller->removeBatch();
    ASSERT_TRUE(finish(run));
    EXPECT_EQ(controller->dropNotice(),
              "“First”, “Second” didn’t quit, so their files were left in place.");
    EXPECT_EQ(m_trashRuns, 0);
    EXPECT_FALSE(controller->lastOutcome());
    EXPECT_FALSE(controller->showResultBanner());
    EXPECT_FALSE(controller->isRemoving());
    EXPECT_EQ(controller->batchResults().size(), 2u);
    EXPECT_TRUE(filesThere(first) && filesThere(second));
    EXPECT_TRUE(m_sounds.names().empty());
}

TEST_F(BatchRemoval, ProtectedAppsNeverTakePartAndASecondPressDoesNothing)
{
    BatchAppResult guarded = batchApp("Guarded");
    guarded.isProtected = true;
    const BatchAppResult running = batchApp("Running");
    BatchAppResult vanished = batchApp("Vanished");
    // Its bundle is gone before the run: it leaves the list all the same.
    ASSERT_GT(std::filesystem::remove_all(m_mac.host(vanished.app.url)), 0u);
    FixtureProcess process(m_mac, executableOf(running.app));
    m_settings->setQuitBeforeRemoving(false);
    auto controller = removalController();
    showBatch(*controller, {guarded, running, vanished});

    QSignalSpy included(controller.get(), &UninstallViewModel::batchIncludedIDsChanged);
    controller->toggleBatchIncluded(vanished.app.id());
    controller->toggleBatchIncluded(vanished.app.id());
    EXPECT_EQ(included.count(), 2);
    EXPECT_TRUE(controller->batchIncludedIDs().contains(vanished.app.id()));

    Task<void> run = controller->removeBatch();
    Task<void> again = controller->removeBatch();
    EXPECT_TRUE(again.isDone());
    // The user changes the selection while the removal runs.
    controller->setSelectedAppIDs({guarded.app.id(), running.app.id()});
    ASSERT_TRUE(finish(run));

    EXPECT_EQ(m_trashRuns, 1);
    EXPECT_EQ(m_quitRequests, 0);
    EXPECT_FALSE(controller->dropNotice());
    EXPECT_TRUE(filesThere(guarded));
    EXPECT_TRUE(filesGone(running));
    EXPECT_EQ(ids(controller->apps()), std::vector<std::string>{guarded.app.id()});
    ASSERT_TRUE(controller->lastOutcome());
    EXPECT_EQ(controller->lastOutcome()->alreadyMissing.size(), 1u);
    EXPECT_EQ(m_stats->totalItemsRemoved(), 3);
    // The selection changed: what left the list leaves it, and the one app left is shown.
    EXPECT_EQ(controller->selectedAppIDs(), IdSet{guarded.app.id()});
    EXPECT_EQ(controller->selectedAppID(), guarded.app.id());
    EXPECT_TRUE(controller->batchResults().empty());
}

TEST_F(BatchRemoval, NothingToRemoveReturnsAtOnce)
{
    BatchAppResult empty = batchApp("Empty");
    empty.defaultSelected.clear();
    auto controller = removalController();
    showBatch(*controller, {empty});
    Task<void> run = controller->removeBatch();
    EXPECT_TRUE(run.isDone());
    EXPECT_FALSE(controller->isRemoving());
    EXPECT_EQ(m_trashRuns, 0);
}

} // namespace
} // namespace veldo::controller
