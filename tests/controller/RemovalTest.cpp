// The removal engine and the single-app uninstall on a fake Mac: the real Trash run, the
// stand-in osascript as the administrator path (root only), the helper switched off.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include <unistd.h>

#include "app/core/CleanupStats.h"
#include "app/core/SystemSettings.h"
#include "app/removal/AdminMover.h"
#include "app/removal/TrashExecutor.h"
#include "platform/SystemError.h"
#include "platform/Unicode.h"
#include "platform/UserDefaults.h"
#include "tests/controller/RemovalFixture.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInLaunchctl.h"
#include "tests/support/StandInOsascript.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::LeftoverCategory;
using core::LeftoverItem;
using platform::MacPath;
using platform::SystemError;
using removal::UninstallOutcome;
using testsupport::FakeFileManager;
using testsupport::FixtureProcess;
using testsupport::ids;
using testsupport::keepAnswer;
using testsupport::RemovalFixture;
using testsupport::StandInLaunchctl;
using testsupport::StandInOsascript;
using namespace veldo::testsupport::literals;
using Call = FakeFileManager::Call;

constexpr const char* kCancelled = "Administrator authorization was cancelled.";
constexpr const char* kRequiresAdmin = "Requires administrator privileges.";

#define SKIP_UNLESS_ROOT()                                                                         \
    do {                                                                                           \
        if (::geteuid() != 0)                                                                      \
            GTEST_SKIP() << "the stand-in osascript runs scripts only as root";                    \
    } while (false)

SystemError appManagementRefusal()
{
    return SystemError(platform::ErrorDomain::cocoa, 513, "“Acme.app” couldn’t be moved.",
                       SystemError::posix(EPERM));
}

class Removal : public RemovalFixture
{
protected:
    // The outcome of the real Trash run over `items` with the controller's context.
    UninstallOutcome trashRun(const UninstallViewModel& controller,
                              const std::vector<LeftoverItem>& items)
    {
        return removal::TrashExecutor::runUninstall(items, controller.removalSafetyContext(), {});
    }

    // Starts the engine on `outcome`; its answer lands in `out`.
    void startEngine(UninstallViewModel& controller, UninstallOutcome outcome,
                     std::optional<UninstallOutcome>* out)
    {
        keepAnswer(controller.taskScope(), controller.performRemoval(std::move(outcome)), out)
            .detach();
    }

    std::string gui(std::string_view verb, const MacPath& path) const
    {
        return "[" + std::string(verb) + "][gui/" + std::to_string(::getuid()) + "][" +
               path.path() + "]";
    }

    // Shows `app` in the detail pane with `items` listed and ticked.
    void showWithItems(UninstallViewModel& controller, const InstalledApp& app,
                       const std::vector<LeftoverItem>& items)
    {
        std::vector<InstalledApp> apps = controller.apps();
        if (std::ranges::find(apps, app) == apps.end())
            apps.push_back(app);
        controller.setApps(std::move(apps));
        controller.setSelectedAppID(app.id());
        controller.setSelectedAppIDs({app.id()});
        controller.setDetailApp(app);
        controller.setLeftovers(items);
        IdSet ticked;
        for (const LeftoverItem& item : items)
            ticked.insert(item.id());
        controller.setSelectedLeftoverIDs(std::move(ticked));
    }
    // Acme's preference file in /Library that only an administrator may move: the item says so,
    // and its move to the Trash fails with EACCES.
    LeftoverItem adminOnlyPreference()
    {
        const MacPath path = m_mac.write("/Library/Preferences/com.acme.plist"_mac, "p");
        LeftoverItem admin = item(path.path(), 5, LeftoverCategory::preferences);
        admin.requiresAdmin = true;
        m_files.injectFailure(Call::trash, path, SystemError::posix(EACCES));
        return admin;
    }
};

TEST_F(Removal, NothingEscalatableComesBackUnchangedWithoutProbeOrPrompt)
{
    auto controller = removalController();
    // The home folder itself is refused by the removal-safety policy: failed, not escalatable.
    const LeftoverItem refused = item(m_mac.home().path());
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/acme"), "c").path());
    const UninstallOutcome input = trashRun(*controller, {refused, cache});
    ASSERT_EQ(input.failed.size(), 1u);
    ASSERT_TRUE(input.escalatableIDs.empty());

    std::optional<UninstallOutcome> output;
    startEngine(*controller, input, &output);
    ASSERT_TRUE(output);
    EXPECT_EQ(*output, input);
    EXPECT_EQ(m_helperProbes, 0);
    EXPECT_FALSE(controller->pendingAdminEscalation());
    EXPECT_FALSE(controller->pendingAppManagementPrompt());
}

TEST_F(Removal, ThePromptAskedAndADeclinedAnswerLeaveTheOutcomeAsItWas)
{
    const MacPath appPath = "/Applications/Acme.app"_mac;
    const InstalledApp acme = makeApp(appPath, "Acme", "com.acme.app");
    const LeftoverItem adminItem = adminOnlyPreference();
    const MacPath& adminPath = adminItem.url;
    const LeftoverItem deniedApp = item(appPath.path(), 10, LeftoverCategory::application);
    LeftoverItem adminApp = deniedApp;
    adminApp.requiresAdmin = true;
    m_files.injectFailure(Call::trash, appPath, appManagementRefusal());

    struct Case
    {
        const char* name;
        std::vector<LeftoverItem> items;
        bool appManagement;             // which prompt is asked
        std::vector<std::string> asked; // with these items
        AppManagementChoice choice;     // the answer (false for the administrator prompt)
        std::vector<std::string> urls;  // opened
    };
    const std::vector<Case> cases{
        {"denied app, cancel",
         {deniedApp},
         true,
         {appPath.path()},
         AppManagementChoice::cancel,
         {}},
        {"denied app, settings",
         {deniedApp},
         true,
         {appPath.path()},
         AppManagementChoice::openSettings,
         {std::string(core::SystemSettings::kAppManagementURL)}},
        {"denied app and an admin item",
         {deniedApp, adminItem},
         false,
         {appPath.path(), adminPath.path()},
         AppManagementChoice::cancel,
         {}},
        {"an app that needs admin rights",
         {adminApp},
         false,
         {appPath.path()},
         AppManagementChoice::cancel,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::UrlRecorder urls;
        auto controller = removalController();
        controller->setApps({acme});
        const UninstallOutcome input = trashRun(*controller, c.items);
        std::optional<UninstallOutcome> output;
        startEngine(*controller, input, &output);
        if (c.appManagement) {
            ASSERT_TRUE(waitLong([&] { return controller->pendingAppManagementPrompt(); }));
            EXPECT_EQ(ids(controller->pendingAppManagementPrompt()->items), c.asked);
            EXPECT_FALSE(controller->pendingAppManagementPrompt()->usesHelper);
            EXPECT_FALSE(controller->pendingAdminEscalation());
            controller->resolveAppManagementPrompt(c.choice);
        } else {
            ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation(); }));
            EXPECT_EQ(ids(controller->pendingAdminEscalation()->items), c.asked);
            EXPECT_FALSE(controller->pendingAppManagementPrompt());
            controller->resolveAdminEscalation(false);
        }
        ASSERT_TRUE(waitLong([&] { return output.has_value(); }));
        EXPECT_EQ(*output, input);
        EXPECT_TRUE(output->appBlockedByAppManagement());
        EXPECT_EQ(urls.urls(), c.urls);
        EXPECT_EQ(m_adminMoves, 0);
        EXPECT_TRUE(exists(appPath));
    }
}

TEST_F(Removal, UseAdministratorSendsEveryEscalatableItemToTheAdministratorMove)
{
    SKIP_UNLESS_ROOT();
    StandInOsascript osascript(m_mac);
    const MacPath appPath = "/Applications/Acme.app"_mac;
    const InstalledApp acme = makeApp(appPath, "Acme", "com.acme.app");
    m_files.injectFailure(Call::trash, appPath, appManagementRefusal());
    auto controller = removalController();
    controller->setApps({acme});
    const LeftoverItem app = item(appPath.path(), 10, LeftoverCategory::application);
    const UninstallOutcome input = trashRun(*controller, {app});

    std::optional<UninstallOutcome> output;
    startEngine(*controller, input, &output);
    ASSERT_TRUE(waitLong([&] { return controller->pendingAppManagementPrompt(); }));
    controller->resolveAppManagementPrompt(AppManagementChoice::useAdministrator);
    ASSERT_TRUE(waitLong([&] { return output.has_value(); }));

    EXPECT_EQ(m_adminMoves, 1);
    EXPECT_EQ(ids(output->trashed), std::vector<std::string>{appPath.path()});
    EXPECT_TRUE(output->failed.empty());
    EXPECT_FALSE(output->appBlockedByAppManagement());
    ASSERT_EQ(output->restorePoints.size(), 1u);
    const removal::RestorePoint& point = output->restorePoints[0];
    EXPECT_TRUE(point.needsAdmin);
    EXPECT_FALSE(point.movedByHelper);
    EXPECT_TRUE(point.itemInode && point.parentInode && point.ownerID);
    EXPECT_EQ(point.trashURL, m_mac.home().appendingPathComponent(".Trash/Acme.app"));
    EXPECT_FALSE(exists(appPath));
    EXPECT_TRUE(exists(point.trashURL.appendingPathComponent("Contents/Info.plist")));
    // What the engine moves is expected by the Trash-notice gate, the app's identifier too.
    EXPECT_TRUE(controller->trashNoticeGate().expectedBundleIDs.contains("com.acme.app"));
}

TEST_F(Removal, UserAgentsThatStayAreBootstrappedAgainAndDaemonsAreLeftToTheScript)
{
    SKIP_UNLESS_ROOT();
    StandInOsascript osascript(m_mac);
    osascript.setCancels();
    const MacPath stays = m_mac.write(inHome("Library/LaunchAgents/com.acme.stays.plist"), "a");
    const MacPath goes = m_mac.write(inHome("Library/LaunchAgents/com.acme.goes.plist"), "b");
    // A folder that loops: the agent can't be read there, yet it is not gone.
    std::filesystem::remove_all(m_mac.host("/Library/LaunchAgents"_mac));
    m_mac.symlink("/Library/LaunchAgents"_mac, "/Library/LaunchAgents");
    const MacPath looped = "/Library/LaunchAgents/com.acme.looped.plist"_mac;
    const MacPath daemon = m_mac.write("/Library/LaunchDaemons/com.acme.daemon.plist"_mac, "d");
    std::vector<LeftoverItem> items;
    for (const MacPath& path : {stays, goes, looped, daemon}) {
        LeftoverItem agent = item(path.path(), 1, LeftoverCategory::launchAgents);
        agent.requiresAdmin = true;
        items.push_back(agent);
        m_files.injectFailure(Call::trash, path, SystemError::posix(EACCES));
    }

    ControllerServices services;
    const ControllerServices real = ControllerServices{}.withDefaults();
    const auto realMove = real.adminMove;
    std::vector<std::vector<MacPath>> bootedOut;
    std::vector<std::vector<MacPath>> bootstrapped;
    services.bootOutAgents = [&, run = real.bootOutAgents](const std::vector<MacPath>& urls,
                                                           std::stop_token stop) {
        bootedOut.push_back(urls);
        run(urls, std::move(stop));
    };
    services.bootstrapAgents = [&, run = real.bootstrapAgents](const std::vector<MacPath>& urls,
                                                               std::stop_token stop) {
        bootstrapped.push_back(urls);
        run(urls, std::move(stop));
    };
    // One agent disappears while the administrator move runs.
    services.adminMove = [&, realMove](const auto& urls, const auto& context,
                                       std::stop_token stop) {
        EXPECT_EQ(::unlink(m_mac.host(goes).c_str()), 0);
        return realMove(urls, context, std::move(stop));
    };
    auto controller = removalController(services);
    const StandInLaunchctl& launchctl = osascript.launchctl();
    const UninstallOutcome input = trashRun(*controller, items);
    ASSERT_EQ(input.escalatableIDs.size(), 4u);
    std::optional<UninstallOutcome> output;
    startEngine(*controller, input, &output);
    ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation(); }));
    controller->resolveAdminEscalation(true);
    ASSERT_TRUE(waitLong([&] { return output.has_value(); }));

    // The daemon is not booted out here; the agent that can't be read is not taken for gone.
    EXPECT_EQ(bootedOut, (std::vector<std::vector<MacPath>>{{stays, goes, looped}}));
    EXPECT_EQ(bootstrapped, (std::vector<std::vector<MacPath>>{{stays, looped}}));
    // launchctl gets no path it can't resolve: the looping one is left out.
    EXPECT_EQ(launchctl.calls(),
              (std::vector<std::string>{gui("bootout", stays), gui("bootout", goes),
                                        gui("bootstrap", stays)}));
    EXPECT_TRUE(output->trashed.empty());
    ASSERT_EQ(output->failed.size(), 3u);
    EXPECT_EQ(output->failed[0].message, kCancelled);
    EXPECT_EQ(ids(output->alreadyMissing), std::vector<std::string>{goes.path()});
}

TEST_F(Removal, TheMergeFollowsTheMoveResultItemByItem)
{
    const LeftoverItem moved = item("/Library/Caches/moved", 3);
    const LeftoverItem twice = item("/Library/Caches/twice/", 4);
    const LeftoverItem missing = item("/Library/Caches/missing", 5);
    const LeftoverItem sentenced = item("/Library/Caches/sentenced", 6);
    const LeftoverItem silent = item("/Library/Caches/silent", 7);
    const LeftoverItem refused = item("/System/Library/x", 8);
    UninstallOutcome input;
    input.trashed = {item("/Library/Caches/earlier", 1)};
    input.restorePoints = {{.item = input.trashed[0], .trashURL = MacPath("/T/earlier")}};
    input.nested = {item("/Library/Caches/earlier/inner")};
    input.failed = {{moved, "m"},   {twice, "t"},     {refused, "refused"},
                    {missing, "x"}, {sentenced, "s"}, {silent, kRequiresAdmin},
                    {twice, "t"}};
    for (const LeftoverItem& i : {moved, twice, missing, sentenced, silent})
        input.escalatableIDs.insert(i.id());
    input.appManagementDenialIDs = {"/Applications/Other.app"};
    input.refusedIDs = {refused.id()};

    ControllerServices services;
    std::vector<MacPath> asked;
    services.adminMove = [&](const std::vector<MacPath>& urls, const auto&, std::stop_token) {
        asked = urls;
        removal::AdminRemover::MoveResult result;
        result.moved = {
            {.source = MacPath("/Library/Caches/moved"), .destination = MacPath("/T/a")},
            {.source = MacPath("/Library/Caches/twice"), .destination = MacPath("/T/b")},
            {.source = MacPath("/Library/Caches/moved"),
             .destination = MacPath("/T/c"),
             .ownerID = 0,
             .groupID = 80,
             .device = 1,
             .inode = 2,
             .parentDevice = 1,
             .parentInode = 3,
             .parentOwnerID = 0,
             .movedByHelper = true}};
        result.missing = {"/Library/Caches/missing"};
        result.failures = {{"/Library/Caches/sentenced", "The helper said no."}};
        result.wasCancelled = true;
        return result;
    };
    auto controller = removalController(services);
    std::optional<UninstallOutcome> output;
    startEngine(*controller, input, &output);
    ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation(); }));
    controller->resolveAdminEscalation(true);
    ASSERT_TRUE(waitLong([&] { return output.has_value(); }));

    EXPECT_EQ(asked.size(), 6u);
    EXPECT_EQ(ids(output->trashed),
              (std::vector<std::string>{"/Library/Caches/earlier", moved.id(), twice.id()}));
    ASSERT_EQ(output->restorePoints.size(), 3u);
    EXPECT_EQ(output->restorePoints[1], (removal::RestorePoint{.item = moved,
                                                               .trashURL = MacPath("/T/c"),
                                                               .needsAdmin = true,
                                                               .ownerID = 0,
                                                               .groupID = 80,
                                                               .itemDevice = 1,
                                                               .itemInode = 2,
                                                               .parentDevice = 1,
                                                               .parentInode = 3,
                                                               .parentOwnerID = 0,
                                                               .movedByHelper = true}));
    EXPECT_EQ(
        output->restorePoints[2],
        (removal::RestorePoint{.item = twice, .trashURL = MacPath("/T/b"), .needsAdmin = true}));
    EXPECT_EQ(ids(output->alreadyMissing), std::vector<std::string>{missing.id()});
    EXPECT_EQ(output->failed,
              (std::vector<UninstallOutcome::Failure>{{refused, "refused"},
                                                      {sentenced, "The helper said no."},
                                                      {silent, kRequiresAdmin}}));
    EXPECT_EQ(output->nested, input.nested);
    EXPECT_EQ(output->escalatableIDs, input.escalatableIDs);
    EXPECT_EQ(output->appManagementDenialIDs, input.appManagementDenialIDs);
    EXPECT_EQ(output->refusedIDs, input.refusedIDs);
    EXPECT_EQ(output->trashedWithoutRestorePointCount(), 0u);
}

TEST_F(Removal, ExpectRemovalNamesOnlyAppsWhoseBundleIsAmongTheItems)
{
    auto controller = removalController();
    const InstalledApp taken = app("/Applications/Taken.app", "Taken", "com.acme.Taken");
    const InstalledApp kept = app("/Applications/Kept.app", "Kept", "com.acme.kept");
    const InstalledApp nameless = app("/Applications/Nameless.app", "Nameless");
    controller->expectRemoval({}, {taken});
    EXPECT_TRUE(controller->trashNoticeGate().expectedPaths.empty());
    EXPECT_TRUE(controller->trashNoticeGate().expectedBundleIDs.empty());

    controller->expectRemoval({item("/Applications/Taken.app/", 1, LeftoverCategory::application),
                               item("/Applications/Nameless.app", 1, LeftoverCategory::application),
                               item("/Library/Caches/com.acme.kept")},
                              {taken, kept, nameless});
    std::set<std::string> bundleIDs;
    for (const auto& [id, date] : controller->trashNoticeGate().expectedBundleIDs)
        bundleIDs.insert(id);
    EXPECT_EQ(bundleIDs, std::set<std::string>{"com.acme.taken"});
    EXPECT_EQ(controller->trashNoticeGate().expectedPaths.size(), 3u);
}

TEST_F(Removal, TheBundleMovedTakesTheAppOffTheListAndCountsOneApp)
{
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const LeftoverItem bundle = item(acme.id(), 100, LeftoverCategory::application);
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 20,
                                    LeftoverCategory::caches);
    const LeftoverItem gone = item(inHome("Library/Logs/com.acme").path(), 30);
    const LeftoverItem unticked =
        item(m_mac.write(inHome("Library/Preferences/com.acme.plist"), "p").path(), 1);
    auto controller = removalController();
    showWithItems(*controller, acme, {bundle, cache, gone, unticked});
    controller->toggleLeftover(unticked);
    controller->setHasScannedDeveloper(true);
    const std::int64_t generation = controller->leftoverCacheGeneration();

    Task<void> run = controller->uninstallApp();
    EXPECT_TRUE(controller->isRemoving());
    ASSERT_TRUE(finish(run));

    EXPECT_FALSE(controller->isRemoving());
    EXPECT_TRUE(controller->apps().empty());
    EXPECT_EQ(controller->detailAppLocation(), DetailAppLocation::removed);
    // A listed leftover keeps the detail pane on the app.
    EXPECT_EQ(controller->selectedAppID(), acme.id());
    EXPECT_EQ(ids(controller->leftovers()), std::vector<std::string>{unticked.id()});
    EXPECT_TRUE(controller->selectedLeftoverIDs().empty());
    ASSERT_TRUE(controller->lastOutcome());
    EXPECT_EQ(ids(controller->lastOutcome()->trashed),
              (std::vector<std::string>{bundle.id(), cache.id()}));
    EXPECT_EQ(ids(controller->lastOutcome()->alreadyMissing), std::vector<std::string>{gone.id()});
    EXPECT_TRUE(controller->showResultBanner());
    EXPECT_EQ(controller->lastOutcomeSource(), OutcomeSource::app);
    EXPECT_EQ(controller->lastRemovedApp(), acme);
    EXPECT_TRUE(controller->lastRemovedAppBundle());
    EXPECT_EQ(m_stats->totalBytesReclaimed(), 120);
    EXPECT_EQ(m_stats->totalItemsRemoved(), 2);
    EXPECT_EQ(m_stats->totalAppsCleaned(), 1);
    controller->shutdown();
    EXPECT_EQ(m_stats->totalItemsRemoved(), 2) << "a finished removal counts once";
    EXPECT_FALSE(controller->hasScannedDeveloper());
    EXPECT_EQ(controller->leftoverCacheGeneration(), generation + 1);
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Glass"});
    EXPECT_FALSE(controller->dropNotice());
    EXPECT_EQ(m_quitRequests, 0);
    EXPECT_FALSE(exists(acme.url));
    // The Trash locations are expected by the gate.
    EXPECT_TRUE(controller->trashNoticeGate().expectedPaths.contains(platform::lowercased(
        controller->lastOutcome()->restorePoints[0].trashURL.standardized().path())));
}

TEST_F(Removal, LeftoversOnlyKeepTheAppListedAndCountNoApp)
{
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 20);
    auto controller = removalController();
    showWithItems(*controller, acme, {cache});
    m_settings->setPlayCompletionSound(false);

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(finish(run));
    EXPECT_EQ(controller->apps(), std::vector<InstalledApp>{acme});
    EXPECT_EQ(controller->detailAppLocation(), DetailAppLocation::installed);
    EXPECT_EQ(controller->selectedAppID(), acme.id());
    EXPECT_TRUE(controller->leftovers().empty());
    EXPECT_FALSE(controller->lastRemovedAppBundle());
    EXPECT_EQ(m_stats->totalItemsRemoved(), 1);
    EXPECT_EQ(m_stats->totalAppsCleaned(), 0);
    EXPECT_TRUE(m_sounds.names().empty());
}

TEST_F(Removal, AnAppThatIgnoresTheQuitRequestKeepsEverything)
{
    const InstalledApp acme =
        makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app", /*withExecutable=*/true);
    testsupport::installFixtureExecutable(m_mac, executableOf(acme));
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 20);
    FixtureProcess process(m_mac, executableOf(acme), FixtureProcess::OnTerminate::ignores);
    ASSERT_GT(process.pid(), 0);
    auto controller = removalController();
    showWithItems(*controller, acme, {item(acme.id(), 1, LeftoverCategory::application), cache});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(finish(run));
    EXPECT_EQ(controller->dropNotice(),
              "“Acme” didn’t quit, so nothing was removed. Quit it and try again.");
    EXPECT_FALSE(controller->isRemoving());
    EXPECT_EQ(m_quitRequests, 1);
    EXPECT_EQ(m_trashRuns, 0);
    EXPECT_TRUE(controller->runningStatus().isRunning);
    EXPECT_FALSE(controller->lastOutcome());
    EXPECT_FALSE(controller->showResultBanner());
    EXPECT_TRUE(exists(acme.url) && exists(cache.url));
    EXPECT_TRUE(m_sounds.names().empty());
}

TEST_F(Removal, AHelperThatKeepsRunningIsNamedAfterTheRemoval)
{
    const InstalledApp acme =
        makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app", /*withExecutable=*/true);
    testsupport::installFixtureExecutable(m_mac, executableOf(acme));
    const MacPath helper = acme.url.appendingPathComponent(
        "Contents/Library/LoginItems/Agent.app/Contents/MacOS/Agent");
    testsupport::installFixtureExecutable(m_mac, helper);
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 20);
    FixtureProcess main(m_mac, executableOf(acme));
    FixtureProcess agent(m_mac, helper, FixtureProcess::OnTerminate::ignores);
    ASSERT_GT(main.pid(), 0);
    ASSERT_GT(agent.pid(), 0);
    auto controller = removalController();
    showWithItems(*controller, acme, {cache});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(finish(run));
    EXPECT_EQ(controller->dropNotice(),
              "Helpers of “Acme” are still running and may recreate some files. Quit them from the "
              "menu bar or Activity Monitor.");
    EXPECT_TRUE(main.waitForExit(std::chrono::seconds(5)));
    EXPECT_EQ(m_trashRuns, 1);
    EXPECT_FALSE(exists(cache.url));
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Glass"});
}

TEST_F(Removal, QuitBeforeRemovingOffRemovesARunningAppWithoutAsking)
{
    const InstalledApp acme =
        makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app", /*withExecutable=*/true);
    testsupport::installFixtureExecutable(m_mac, executableOf(acme));
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 20);
    FixtureProcess process(m_mac, executableOf(acme));
    m_settings->setQuitBeforeRemoving(false);
    auto controller = removalController();
    showWithItems(*controller, acme, {cache});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(finish(run));
    EXPECT_EQ(m_quitRequests, 0);
    EXPECT_FALSE(process.waitForExit(std::chrono::milliseconds(0)));
    EXPECT_FALSE(exists(cache.url));
    EXPECT_FALSE(controller->dropNotice());
}

TEST_F(Removal, ADeclinedEscalationLeavesTheItemsFailedAndPlaysFunk)
{
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const LeftoverItem admin = adminOnlyPreference();
    const MacPath& adminPath = admin.url;
    auto controller = removalController();
    showWithItems(*controller, acme, {admin});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation(); }));
    // Every second press while the prompt waits does nothing.
    Task<void> again = controller->uninstallApp();
    EXPECT_TRUE(again.isDone());
    Task<void> undo = controller->undoLastRemoval();
    EXPECT_TRUE(undo.isDone());
    controller->resolveAdminEscalation(false);
    ASSERT_TRUE(finish(run));

    EXPECT_EQ(m_trashRuns, 1);
    ASSERT_EQ(controller->lastOutcome()->failed.size(), 1u);
    EXPECT_EQ(controller->lastOutcome()->failed[0].message, kRequiresAdmin);
    EXPECT_EQ(ids(controller->leftovers()), std::vector<std::string>{admin.id()});
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Funk"});
    EXPECT_EQ(m_stats->totalItemsRemoved(), 0);
    EXPECT_TRUE(exists(adminPath));
}

TEST_F(Removal, AnotherAppSelectedDuringTheRunKeepsItsListButTheBundleLeaves)
{
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const InstalledApp other = makeApp("/Applications/Other.app"_mac, "Other", "com.other");
    const LeftoverItem admin = adminOnlyPreference();
    const LeftoverItem bundle = item(acme.id(), 1, LeftoverCategory::application);
    auto controller = removalController();
    controller->setApps({other});
    showWithItems(*controller, acme, {bundle, admin});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation(); }));
    // The same items listed for the other app stay listed there.
    showWithItems(*controller, other, {bundle, admin});
    controller->resolveAdminEscalation(false);
    ASSERT_TRUE(finish(run));

    EXPECT_EQ(controller->apps().size(), 1u);
    EXPECT_EQ(controller->apps()[0].id(), other.id());
    EXPECT_EQ(controller->selectedAppID(), other.id());
    EXPECT_EQ(ids(controller->leftovers()), (std::vector<std::string>{bundle.id(), admin.id()}));
    EXPECT_EQ(controller->selectedLeftoverIDs().size(), 2u);
    EXPECT_EQ(controller->lastRemovedApp(), acme);
}

TEST_F(Removal, NothingStartsWithoutItemsOrForAProtectedApp)
{
    auto controller = removalController();
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    showWithItems(*controller, acme, {});
    Task<void> empty = controller->uninstallApp();
    EXPECT_TRUE(empty.isDone());

    const InstalledApp system = app("/System/Applications/Mail.app", "Mail", "com.apple.mail");
    showWithItems(*controller, system, {item(system.id(), 1, LeftoverCategory::application)});
    Task<void> refused = controller->uninstallApp();
    EXPECT_TRUE(refused.isDone());
    EXPECT_FALSE(controller->isRemoving());
    EXPECT_EQ(m_trashRuns, 0);
}

TEST_F(Removal, AfterShutdownAWaitingRemovalMovesNothingMore)
{
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const LeftoverItem admin = adminOnlyPreference();
    const MacPath& adminPath = admin.url;
    auto controller = removalController();
    showWithItems(*controller, acme, {admin});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation(); }));
    controller->shutdown();
    controller->resolveAdminEscalation(true);
    processEvents();
    EXPECT_EQ(m_adminMoves, 0);
    EXPECT_FALSE(controller->lastOutcome());
    EXPECT_TRUE(exists(adminPath));
    EXPECT_TRUE(m_sounds.names().empty());
}

// Quitting ends a removal's task without resuming it, but what its work moved stays in the Trash:
// the statistics count it, read again after the next start. The work here waits for the quit,
// then moves everything, as a Trash run or administrator move that was under way does.
TEST_F(Removal, AQuitWhileTheTrashRunsStillCountsWhatItMoved)
{
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const LeftoverItem bundle = item(acme.id(), 100, LeftoverCategory::application);
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 20,
                                    LeftoverCategory::caches);
    std::atomic<bool> running{false};
    ControllerServices services;
    services.trashRun = [&running](const auto& items, const auto& context, const auto& roots,
                                   std::stop_token stop) {
        running = true;
        while (!stop.stop_requested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return removal::TrashExecutor::runUninstall(items, context, roots);
    };
    auto controller = removalController(std::move(services));
    showWithItems(*controller, acme, {bundle, cache});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(waitLong([&] { return running.load(); }));
    controller->shutdown();
    EXPECT_FALSE(controller->lastOutcome()) << "the task never resumed";
    EXPECT_FALSE(exists(acme.url));
    EXPECT_FALSE(exists(cache.url));
    const core::CleanupStats restarted(
        std::make_shared<platform::UserDefaults>(m_defaults->file()));
    EXPECT_EQ(restarted.totalBytesReclaimed(), 120);
    EXPECT_EQ(restarted.totalItemsRemoved(), 2);
    EXPECT_EQ(restarted.totalAppsCleaned(), 1);
}

TEST_F(Removal, AQuitDuringTheAdministratorMoveCountsBothSteps)
{
    SKIP_UNLESS_ROOT();
    StandInOsascript osascript(m_mac);
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 20,
                                    LeftoverCategory::caches);
    const LeftoverItem admin = adminOnlyPreference();
    std::atomic<bool> running{false};
    ControllerServices services;
    services.adminMove = [&running](const auto& urls, const auto& context, std::stop_token stop) {
        running = true;
        while (!stop.stop_requested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return removal::AdminRemover::moveToTrash(urls, context);
    };
    auto controller = removalController(std::move(services));
    showWithItems(*controller, acme, {cache, admin});

    Task<void> run = controller->uninstallApp();
    ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation().has_value(); }));
    controller->resolveAdminEscalation(true);
    ASSERT_TRUE(waitLong([&] { return running.load(); }));
    controller->shutdown();
    EXPECT_FALSE(controller->lastOutcome()) << "the task never resumed";
    EXPECT_FALSE(exists(cache.url));
    EXPECT_FALSE(exists(admin.url));
    const core::CleanupStats restarted(
        std::make_shared<platform::UserDefaults>(m_defaults->file()));
    EXPECT_EQ(restarted.totalBytesReclaimed(), 25);
    EXPECT_EQ(restarted.totalItemsRemoved(), 2);
    EXPECT_EQ(restarted.totalAppsCleaned(), 0);
}

} // namespace
} // namespace veldo::controller
