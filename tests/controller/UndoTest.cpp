// Undo of the last removal: the report, the points kept for another try, the statistics, the
// rescans, and a real round trip through the Trash and the stand-in osascript.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/SystemError.h"
#include "tests/controller/RemovalFixture.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInOsascript.h"

namespace veldo::controller {
namespace {

using core::InstalledApp;
using core::LeftoverCategory;
using core::LeftoverItem;
using platform::MacPath;
using removal::RestorePoint;
using removal::RestoreReport;
using removal::UninstallOutcome;
using testsupport::FakeFileManager;
using testsupport::ids;
using testsupport::RemovalFixture;
using testsupport::StandInOsascript;
using namespace veldo::testsupport::literals;

class Undo : public RemovalFixture
{
protected:
    // A controller whose Undo answers `report` for whatever it is given.
    std::unique_ptr<UninstallViewModel> scripted(RestoreReport report)
    {
        ControllerServices services;
        services.undo = [this, report](const auto&, const auto&, std::stop_token) {
            ++m_undos;
            return report;
        };
        services.toolchainScan = [this](const MacPath&, std::stop_token) {
            ++m_toolchainScans;
            return std::vector<core::ToolchainGroup>{};
        };
        return removalController(services);
    }

    // An outcome with one trashed item and one restore point per item.
    static UninstallOutcome outcomeOf(const std::vector<RestorePoint>& points)
    {
        UninstallOutcome outcome;
        for (const RestorePoint& point : points) {
            outcome.trashed.push_back(point.item);
            outcome.restorePoints.push_back(point);
        }
        return outcome;
    }

    RestorePoint point(const std::string& name, bool needsAdmin = false, bool movedByHelper = false)
    {
        return RestorePoint{.item = item(inHome("Library/Caches/" + name).path(), 10),
                            .trashURL = inHome(".Trash/" + name),
                            .needsAdmin = needsAdmin,
                            .movedByHelper = movedByHelper};
    }

    std::atomic<int> m_toolchainScans{0};
};

TEST_F(Undo, TwelvePointsOfWhichTenStayListEightAndRevealAll)
{
    std::vector<RestorePoint> points;
    for (int i = 0; i < 12; ++i)
        points.push_back(point("item" + std::to_string(i)));
    RestoreReport report;
    report.restored = {points[0].item, points[1].item};
    for (int i = 2; i < 12; ++i)
        report.failed.push_back({points[i], "It's no longer in the Trash.", false});
    auto controller = scripted(report);
    controller->setLastOutcome(outcomeOf(points));
    controller->setShowResultBanner(true);

    Task<void> undo = controller->undoLastRemoval();
    EXPECT_TRUE(controller->isUndoing());
    ASSERT_TRUE(finish(undo));

    EXPECT_FALSE(controller->isUndoing());
    EXPECT_FALSE(controller->lastOutcome());
    EXPECT_FALSE(controller->showResultBanner());
    ASSERT_TRUE(controller->activeAlert());
    EXPECT_EQ(controller->activeAlert()->title, "Partly Undone");
    std::string expected = "Restored 2 of 12 items. These are still in the Trash:";
    for (int i = 2; i < 10; ++i)
        expected +=
            "\n• ~/Library/Caches/item" + std::to_string(i) + " — It's no longer in the Trash.";
    expected += "\n… and 2 more.";
    EXPECT_EQ(controller->activeAlert()->message, expected);
    EXPECT_EQ(controller->activeAlert()->revealURLs.size(), 10u);
    EXPECT_EQ(controller->activeAlert()->revealURLs.back(), points[11].trashURL);
    ASSERT_EQ(controller->lastUndoFailures().size(), 10u);
    EXPECT_EQ(controller->lastUndoFailures()[0].item, points[2].item);
    EXPECT_FALSE(controller->dropNotice());
    // The counters never go below 0.
    EXPECT_EQ(m_stats->totalItemsRemoved(), 0);
    EXPECT_EQ(m_stats->totalBytesReclaimed(), 0);
}

TEST_F(Undo, OnePointTextsAreSingular)
{
    const RestorePoint failed = point("only");
    RestoreReport report;
    report.failed = {{failed, "Something new already exists at its original location.", false}};
    auto controller = scripted(report);
    controller->setLastOutcome(outcomeOf({failed}));
    Task<void> undo = controller->undoLastRemoval();
    ASSERT_TRUE(finish(undo));
    ASSERT_TRUE(controller->activeAlert());
    EXPECT_EQ(controller->activeAlert()->title, "Couldn’t Undo");
    EXPECT_EQ(controller->activeAlert()->message,
              "Restored 0 of 1 item. These are still in the Trash:\n• ~/Library/Caches/only — "
              "Something new already exists at its original location.");

    const RestorePoint admin = point("system", /*needsAdmin=*/true);
    RestoreReport cancelled;
    cancelled.failed = {{admin, "Administrator authorization was cancelled.", true}};
    cancelled.authorizationCancelled = true;
    auto second = scripted(cancelled);
    second->setLastOutcome(outcomeOf({admin}));
    Task<void> retry = second->undoLastRemoval();
    ASSERT_TRUE(finish(retry));
    EXPECT_EQ(second->dropNotice(), "Undo needs your administrator password to put 1 system item "
                                    "back. Press Undo to try again.");
    EXPECT_FALSE(second->activeAlert());
    ASSERT_TRUE(second->lastOutcome());
    EXPECT_EQ(ids(second->lastOutcome()->restorePoints), std::vector<std::string>{admin.item.id()});
}

TEST_F(Undo, RetryableMarksDecideWhatIsKeptNotTheSentences)
{
    const RestorePoint user = point("user");
    const RestorePoint helper = point("helper", true, true);
    const RestorePoint unmarked = point("unmarked");
    const RestorePoint refused = point("refused", true);
    const RestorePoint dialogA = point("dialogA", true);
    const RestorePoint dialogB = point("dialogB", true);
    RestoreReport report;
    report.restored = {user.item};
    report.failed = {
        {helper,
         "Veldo's helper couldn't put this back right now; it's still in the Trash. Try "
         "Undo again.",
         true},
        {unmarked, "It couldn't be put back. Try Undo again.", false},
        {refused, "It changed in the Trash since Veldo moved it, so Veldo won't put it back.",
         false},
        {dialogA, "Administrator authorization was cancelled.", true},
        {dialogB, "Administrator authorization was cancelled.", true},
    };
    report.authorizationCancelled = true;
    auto controller = scripted(report);
    UninstallOutcome outcome = outcomeOf({user, helper, unmarked, refused, dialogA, dialogB});
    outcome.trashed.push_back(item("/Library/Caches/without-point", 1));
    outcome.failed = {{item("/Library/Caches/failed"), "Requires administrator privileges."}};
    controller->setLastOutcome(outcome);
    controller->setShowResultBanner(true);

    Task<void> undo = controller->undoLastRemoval();
    ASSERT_TRUE(finish(undo));
    ASSERT_TRUE(controller->lastOutcome());
    const UninstallOutcome& kept = *controller->lastOutcome();
    EXPECT_EQ(ids(kept.restorePoints),
              (std::vector<std::string>{helper.item.id(), dialogA.item.id(), dialogB.item.id()}));
    EXPECT_EQ(ids(kept.trashed),
              (std::vector<std::string>{helper.item.id(), dialogA.item.id(), dialogB.item.id()}));
    EXPECT_EQ(kept.trashedWithoutRestorePointCount(), 0u);
    EXPECT_EQ(kept.failed, outcome.failed);
    EXPECT_TRUE(controller->showResultBanner());
    // The helper's point is reported with the others; the dialog's points only wait.
    std::vector<std::string> reported;
    for (const UndoFailure& failure : controller->lastUndoFailures())
        reported.push_back(failure.item.id());
    EXPECT_EQ(reported,
              (std::vector<std::string>{helper.item.id(), unmarked.item.id(), refused.item.id()}));
    ASSERT_TRUE(controller->activeAlert());
    EXPECT_EQ(controller->activeAlert()->title, "Partly Undone");
    EXPECT_TRUE(controller->activeAlert()->message.starts_with(
        "Restored 1 of 6 items. These are still in the Trash:\n• ~/Library/Caches/helper"));
    EXPECT_EQ(controller->activeAlert()->revealURLs.size(), 3u);
    EXPECT_FALSE(controller->dropNotice());
}

TEST_F(Undo, BusyFlagsAndEmptyOutcomesStartNothing)
{
    auto controller = scripted(RestoreReport{});
    Task<void> none = controller->undoLastRemoval();
    EXPECT_TRUE(none.isDone());
    controller->setLastOutcome(UninstallOutcome{});
    Task<void> empty = controller->undoLastRemoval();
    EXPECT_TRUE(empty.isDone());
    controller->setLastOutcome(outcomeOf({point("a")}));
    controller->setIsRemoving(true);
    Task<void> removing = controller->undoLastRemoval();
    EXPECT_TRUE(removing.isDone());
    controller->setIsRemoving(false);
    Task<void> first = controller->undoLastRemoval();
    Task<void> second = controller->undoLastRemoval();
    EXPECT_TRUE(second.isDone());
    ASSERT_TRUE(finish(first));
    EXPECT_EQ(m_undos, 1);
}

TEST_F(Undo, AToolchainUndoKeepsTheFootprintMarkAndRescansIt)
{
    const RestorePoint cache = point("npm");
    RestoreReport report;
    report.restored = {cache.item};
    auto controller = scripted(report);
    controller->setLastOutcome(outcomeOf({cache}));
    controller->setLastOutcomeSource(OutcomeSource::toolchain);
    controller->setHasScannedDeveloper(true);
    m_stats->record(100, 3, 1);
    const std::int64_t generation = controller->leftoverCacheGeneration();

    Task<void> undo = controller->undoLastRemoval();
    ASSERT_TRUE(finish(undo));
    EXPECT_EQ(m_toolchainScans, 1);
    EXPECT_TRUE(controller->hasScannedDeveloper());
    EXPECT_EQ(controller->leftoverCacheGeneration(), generation + 1);
    EXPECT_EQ(m_stats->totalItemsRemoved(), 2);
    EXPECT_EQ(m_stats->totalBytesReclaimed(), 90);
    EXPECT_EQ(m_stats->totalAppsCleaned(), 1);
    EXPECT_FALSE(controller->activeAlert());
    EXPECT_FALSE(controller->dropNotice());
}

// Every entry under `path` (the path itself too): relative name, kind, bytes, owner and mode.
std::map<std::string, std::string> manifest(const std::string& path)
{
    std::map<std::string, std::string> entries;
    const auto describe = [&](const std::filesystem::path& entry, const std::string& name) {
        struct stat st = {};
        if (::lstat(entry.c_str(), &st) != 0) {
            entries[name] = "<missing>";
            return;
        }
        std::string line = std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " +
                           std::to_string(st.st_mode);
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(entry, std::ios::binary);
            line += " " + std::string(std::istreambuf_iterator<char>(in), {});
        }
        entries[name] = line;
    };
    describe(path, ".");
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path)))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
            describe(entry.path(), std::filesystem::relative(entry.path(), path).string());
    return entries;
}

TEST_F(Undo, ACancelledPasswordKeepsOnlyTheAdministratorPointsAndARetryBringsThemBack)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the stand-in osascript runs scripts only as root";
    StandInOsascript osascript(m_mac);
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    std::vector<LeftoverItem> items{item(acme.id(), 100, LeftoverCategory::application)};
    for (int i = 0; i < 6; ++i)
        items.push_back(item(
            m_mac.write(inHome("Library/Caches/com.acme/file" + std::to_string(i)), "f").path(),
            1));
    const MacPath folder = inHome("Library/Application Support/Acme");
    m_mac.write(folder.appendingPathComponent("nested/data.db"), "data", 0600);
    items.push_back(item(folder.path(), 4));
    for (const std::string name : {"com.acme.one.plist", "com.acme.two.plist"}) {
        const MacPath path = m_mac.write(MacPath("/Library/Preferences/" + name), name, 0640);
        LeftoverItem admin = item(path.path(), 2, LeftoverCategory::preferences);
        admin.requiresAdmin = true;
        items.push_back(admin);
        m_files.injectFailure(FakeFileManager::Call::trash, path,
                              platform::SystemError::posix(EACCES));
    }
    ASSERT_EQ(items.size(), 10u);
    std::map<std::string, std::map<std::string, std::string>> before;
    for (const LeftoverItem& i : items)
        before[i.id()] = manifest(m_mac.host(i.url));

    auto controller = removalController();
    controller->setApps({acme});
    controller->setSelectedAppID(acme.id());
    controller->setSelectedAppIDs({acme.id()});
    controller->setLeftovers(items);
    controller->selectAllLeftovers();
    ASSERT_EQ(controller->selectedLeftoverIDs().size(), 10u);
    Task<void> removal = controller->uninstallApp();
    ASSERT_TRUE(waitLong([&] { return controller->pendingAdminEscalation(); }));
    controller->resolveAdminEscalation(true);
    ASSERT_TRUE(finish(removal));
    ASSERT_TRUE(controller->lastOutcome());
    ASSERT_EQ(controller->lastOutcome()->trashed.size(), 10u);
    ASSERT_TRUE(controller->lastOutcome()->failed.empty());
    EXPECT_EQ(m_stats->totalItemsRemoved(), 10);
    // The bundle went and nothing stayed listed: nothing is selected.
    EXPECT_FALSE(controller->selectedAppID());
    EXPECT_TRUE(controller->apps().empty());

    std::vector<std::optional<std::string>> notices;
    QObject::connect(controller.get(), &UninstallViewModel::dropNoticeChanged,
                     [&, c = controller.get()] { notices.push_back(c->dropNotice()); });
    osascript.setCancels();
    Task<void> undo = controller->undoLastRemoval();
    ASSERT_TRUE(finish(undo));
    ASSERT_TRUE(controller->lastOutcome());
    EXPECT_EQ(ids(controller->lastOutcome()->restorePoints),
              (std::vector<std::string>{items[8].id(), items[9].id()}));
    EXPECT_EQ(ids(controller->lastOutcome()->trashed),
              (std::vector<std::string>{items[8].id(), items[9].id()}));
    EXPECT_EQ(controller->lastOutcome()->trashedWithoutRestorePointCount(), 0u);
    EXPECT_TRUE(controller->showResultBanner());
    // The notice is shown, then the app that came back is shown, which clears it.
    EXPECT_EQ(notices, (std::vector<std::optional<std::string>>{
                           "Undo needs your administrator password to put 2 system items back. "
                           "Press Undo to try again.",
                           std::nullopt}));
    EXPECT_FALSE(controller->activeAlert());
    EXPECT_TRUE(controller->lastUndoFailures().empty());
    EXPECT_EQ(m_stats->totalItemsRemoved(), 2);
    EXPECT_EQ(m_stats->totalAppsCleaned(), 0);
    // The app came back: the list is scanned again and the app is shown.
    ASSERT_EQ(controller->apps().size(), 1u);
    EXPECT_EQ(controller->selectedAppID(), acme.id());
    EXPECT_EQ(controller->detailApp()->id(), acme.id());

    osascript.setRuns();
    Task<void> retry = controller->undoLastRemoval();
    ASSERT_TRUE(finish(retry));
    EXPECT_EQ(osascript.prompts().back(),
              "Veldo needs an administrator password to put 2 items back where they were.");
    EXPECT_FALSE(controller->lastOutcome());
    EXPECT_FALSE(controller->showResultBanner());
    EXPECT_EQ(m_stats->totalItemsRemoved(), 0);
    for (const LeftoverItem& i : items)
        EXPECT_EQ(manifest(m_mac.host(i.url)), before[i.id()]) << i.id();
}

TEST_F(Undo, ATrashItemThatVanishedIsReportedAndNotOfferedAgain)
{
    const InstalledApp acme = makeApp("/Applications/Acme.app"_mac, "Acme", "com.acme.app");
    const LeftoverItem cache = item(m_mac.write(inHome("Library/Caches/com.acme"), "c").path(), 7,
                                    LeftoverCategory::caches);
    auto controller = removalController();
    controller->setApps({acme});
    controller->setSelectedAppID(acme.id());
    controller->setSelectedAppIDs({acme.id()});
    controller->setLeftovers({cache});
    controller->setSelectedLeftoverIDs({cache.id()});
    Task<void> removal = controller->uninstallApp();
    ASSERT_TRUE(finish(removal));
    ASSERT_EQ(controller->lastOutcome()->restorePoints.size(), 1u);
    const MacPath trashURL = controller->lastOutcome()->restorePoints[0].trashURL;
    ASSERT_TRUE(std::filesystem::remove(m_mac.host(trashURL)));

    Task<void> undo = controller->undoLastRemoval();
    ASSERT_TRUE(finish(undo));
    ASSERT_TRUE(controller->activeAlert());
    EXPECT_EQ(controller->activeAlert()->title, "Couldn’t Undo");
    EXPECT_EQ(controller->activeAlert()->message,
              "Restored 0 of 1 item. These are still in the Trash:\n• ~/Library/Caches/com.acme — "
              "It's no longer in the Trash.");
    EXPECT_EQ(controller->activeAlert()->revealURLs, std::vector<MacPath>{trashURL});
    EXPECT_FALSE(controller->lastOutcome());
    EXPECT_EQ(m_stats->totalItemsRemoved(), 1);
    Task<void> again = controller->undoLastRemoval();
    EXPECT_TRUE(again.isDone());
    EXPECT_EQ(m_undos, 1);
}

} // namespace
} // namespace veldo::controller
