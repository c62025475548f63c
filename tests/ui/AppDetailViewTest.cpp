// The app detail screen, its leftover list and its two sheets.
#include "app/ui/AppDetailView.h"

#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

#include "app/ui/AppListModel.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/HomebrewUninstallSheet.h"
#include "app/ui/LeftoverListModel.h"
#include "app/ui/LeftoverRow.h"
#include "app/ui/OrphanListModel.h"
#include "app/ui/PackageListModel.h"
#include "app/ui/RemovalReviewSheet.h"
#include "app/ui/StatusBanner.h"
#include "app/ui/TintedPill.h"
#include "app/ui/ToolchainListModel.h"
#include "app/ui/WindowServices.h"
#include "platform/Clock.h"
#include "platform/qt/FileManagerReveal.h"
#include "tests/ui/AccessibleRows.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ModelTesters.h"
#include "tests/ui/ReviewRows.h"
#include "tests/ui/ShownWindows.h"
#include "tests/ui/SidebarFixture.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::returnConfirms;
using testsupport::reviewRowTexts;
using testsupport::warningRowTexts;
namespace {

using core::LeftoverCategory;
using core::LeftoverItem;
using core::MatchConfidence;
using testsupport::SidebarFixture;

void nextTurn()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// The sheet shown over the screen, the review or the Homebrew one; null when none is.
QDialog* shownSheet(const QWidget* view)
{
    QDialog* review = testsupport::shownDialog<RemovalReviewSheet>(view, "reviewSheet");
    QDialog* brew = testsupport::shownDialog<HomebrewUninstallSheet>(view, "homebrewSheet");
    EXPECT_FALSE(review && brew) << "one sheet at a time";
    return review ? review : brew;
}

// The name of the page the content shows: "scanningPage", "listPage" or "emptyPage".
QString shownPage(const QWidget* view)
{
    const auto* pages = child<QStackedWidget>(view, "contentPages");
    return pages && pages->currentWidget() ? pages->currentWidget()->objectName() : QString();
}

// What the confidence pills say to assistive technology, in the row's order.
QStringList pillNames(const QWidget* view)
{
    QStringList names;
    if (const auto* pills = child<QHBoxLayout>(view, "confidencePills"))
        for (int i = 0; i < pills->count(); ++i)
            if (const QWidget* pill = pills->itemAt(i)->widget())
                names << pill->accessibleName();
    return names;
}

LeftoverItem item(const std::string& path, std::int64_t bytes,
                  MatchConfidence confidence = MatchConfidence::certain,
                  LeftoverCategory category = LeftoverCategory::supportFiles,
                  bool requiresAdmin = false)
{
    LeftoverItem i;
    i.url = platform::MacPath(path);
    i.sizeBytes = bytes;
    i.confidence = confidence;
    i.category = category;
    i.requiresAdmin = requiresAdmin;
    return i;
}

leftovers::CaskInfo quillCask(bool zap = false, bool package = false)
{
    leftovers::CaskInfo cask;
    cask.token = "quill";
    cask.version = "3.2.1";
    cask.hasZap = zap;
    cask.usesInstallerPackage = package;
    cask.appNames = {"Quill.app"};
    cask.appTargets = {"Quill.app"};
    return cask;
}

// A detail screen of Quill over the fixture's controller, its calls counted; toggling edits the
// controller's selection as the controller's own toggle does.
struct Detail
{
    explicit Detail(SidebarFixture& f,
                    core::InstalledApp shown = SidebarFixture::app("Quill",
                                                                   std::string("com.quill.app")))
        : fixture(f), app(std::move(shown))
    {
        f.model->setApps({app});
        f.model->setDetailApp(app);
        f.model->setSelectedAppID(app.id());
        AppDetailView::Options options;
        auto& a = options.actions;
        a.uninstallApp = [this] { ++uninstalls; };
        a.uninstallCask = [this](bool zap) { caskRuns.push_back(zap); };
        a.exportReport = [this] { ++exports; };
        a.scanLeftovers = [this] { ++rescans; };
        a.quitAndRescan = [this] { ++quits; };
        a.toggleLeftover = [this](const LeftoverItem& i) {
            ++toggles;
            controller::IdSet ids = fixture.model->selectedLeftoverIDs();
            if (!ids.erase(i.id()))
                ids.insert(i.id());
            fixture.model->setSelectedLeftoverIDs(std::move(ids));
        };
        a.reveal = [this](const std::vector<platform::MacPath>& items) {
            reveals.push_back(items);
        };
        a.detailCaskToken = [this] { return caskToken; };
        a.protection = [this](const core::InstalledApp&) {
            return core::AppProtectionVerdict{
                isProtected, isProtected ? std::optional<std::string>("Safari comes with macOS.")
                                         : std::nullopt};
        };
        view = std::make_unique<AppDetailView>(f.model.get(), app, std::move(options));
        testsupport::testModelsOf(view.get());
        view->resize(760, 640);
        view->show();
        nextTurn();
    }
    void setLeftovers(std::vector<LeftoverItem> items, bool selectAll = true)
    {
        controller::IdSet ids;
        for (const auto& i : items)
            ids.insert(i.id());
        fixture.model->setLeftovers(std::move(items));
        fixture.model->setSelectedLeftoverIDs(selectAll ? ids : controller::IdSet{});
        nextTurn();
    }
    int rowOf(const std::string& path) const
    {
        const auto* m = child<LeftoverListModel>(view, "leftoverModel");
        for (int r = 0; r < m->rowCount(); ++r)
            if (const LeftoverItem* i = m->itemAt(r); i && i->id() == path)
                return r;
        return -1;
    }
    QStyleOptionViewItem optionFor(int row) const
    {
        QStyleOptionViewItem option;
        option.initFrom(child<RowListView>(view, "leftoverList")->viewport());
        option.rect = child<RowListView>(view, "leftoverList")
                          ->visualRect(child<LeftoverListModel>(view, "leftoverModel")->index(row));
        option.font = child<RowListView>(view, "leftoverList")->font();
        return option;
    }
    void clickAt(QPointF point)
    {
        QTest::mouseClick(child<RowListView>(view, "leftoverList")->viewport(), Qt::LeftButton, {},
                          point.toPoint());
        nextTurn();
    }

    SidebarFixture& fixture;
    core::InstalledApp app;
    std::unique_ptr<AppDetailView> view;
    int uninstalls = 0;
    std::vector<bool> caskRuns;
    int exports = 0;
    int rescans = 0;
    int quits = 0;
    int toggles = 0;
    std::vector<std::vector<platform::MacPath>> reveals;
    std::optional<std::string> caskToken;
    bool isProtected = false;
};

TEST(AppDetailRules, VersionBannersIdsAndCounts)
{
    core::InstalledApp app = SidebarFixture::app("Quill");
    EXPECT_EQ(AppDetailView::versionText(app), QStringLiteral("Version —"));
    app.version = "";
    EXPECT_EQ(AppDetailView::versionText(app), QStringLiteral("Version —"));
    app.version = "3.2";
    EXPECT_EQ(AppDetailView::versionText(app), QStringLiteral("Version 3.2"));

    using L = controller::DetailAppLocation;
    EXPECT_FALSE(AppDetailView::locationBanner(static_cast<int>(L::installed), "Quill"));
    const auto trash = AppDetailView::locationBanner(static_cast<int>(L::inTrash), "Quill");
    ASSERT_TRUE(trash);
    EXPECT_EQ(trash->title, QStringLiteral("Already in the Trash"));
    EXPECT_EQ(trash->message, QStringLiteral("“Quill” is in your Trash. Veldo lists only the files "
                                             "it left behind; the app stays in the Trash until "
                                             "you empty it."));
    EXPECT_FALSE(trash->orange);
    EXPECT_EQ(AppDetailView::locationBanner(static_cast<int>(L::removed), "Quill")->title,
              QStringLiteral("App Removed"));
    const auto lost = AppDetailView::locationBanner(static_cast<int>(L::notFound), "Quill");
    EXPECT_EQ(lost->title, QStringLiteral("App Not Found"));
    EXPECT_TRUE(lost->orange);
    EXPECT_EQ(lost->symbol, "questionmark.circle.fill");

    const auto counts = RemovalReviewSheet::countsOf(
        {item("/a", 1, MatchConfidence::medium, LeftoverCategory::caches, true),
         item("/b", 1, MatchConfidence::low), item("/c", 1, MatchConfidence::high),
         item("/Applications/Quill.app", 1, MatchConfidence::certain,
              LeftoverCategory::application)});
    EXPECT_EQ(counts.adminItemCount, 1);
    EXPECT_EQ(counts.uncertainItemCount, 2);
    EXPECT_TRUE(counts.includesAppBundle);
}

TEST(LeftoverList, SectionsInCategoryOrderDividersAndAccessibleNames)
{
    const std::vector<LeftoverItem> items{
        item("/L/Logs/q.log", 5, MatchConfidence::certain, LeftoverCategory::logs),
        item("/Applications/Quill.app", 9, MatchConfidence::certain, LeftoverCategory::application),
        item("/L/Caches/a", 0, MatchConfidence::high, LeftoverCategory::caches),
        item("/L/Caches/b", 0, MatchConfidence::high, LeftoverCategory::caches)};
    const auto rows = LeftoverListModel::rowsFor(items);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_TRUE(rows[0].isSection);
    EXPECT_EQ(rows[0].category, LeftoverCategory::application);
    EXPECT_FALSE(rows[1].divider) << "a section of one item has no divider";
    EXPECT_EQ(rows[2].category, LeftoverCategory::caches);
    EXPECT_EQ(rows[2].sectionBytes, 0);
    EXPECT_TRUE(rows[3].divider);
    EXPECT_FALSE(rows[4].divider);
    EXPECT_TRUE(rows[4].last);
    EXPECT_EQ(rows[5].category, LeftoverCategory::logs);
    EXPECT_EQ(items[rows[6].item].id(), "/L/Logs/q.log");

    EXPECT_EQ(LeftoverListModel::accessibleName(item("/L/Prefs/com.quill.plist", 2'000,
                                                     MatchConfidence::medium,
                                                     LeftoverCategory::preferences, true)),
              QStringLiteral("com.quill.plist, 2 KB, Medium confidence, needs administrator "
                             "password"));
    EXPECT_EQ(LeftoverListModel::accessibleName(item("/L/x", 0, MatchConfidence::low)),
              QStringLiteral("x, Zero KB, Low confidence"));
}

#ifndef NDEBUG
// The list models belong to the GUI thread: a call from a pool thread aborts a debug build
// instead of racing with the views. One model a case: each death test starts the tests again.
struct OffThreadCall
{
    const char* owner;
    // Makes the model on this thread, calls it here (fine), then calls it through `offThread`.
    std::function<void(controller::UninstallViewModel*,
                       const std::function<void(std::function<void()>)>& offThread)>
        run;
};

class ListModelThreads : public testing::TestWithParam<OffThreadCall>
{
};

TEST_P(ListModelThreads, ACallFromAPoolThreadAbortsDebugBuilds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testsupport::FakeMac mac;
    testsupport::UiController c;
    QThreadPool pool;
    const auto offThread = [&pool](std::function<void()> call) {
        QtConcurrent::run(&pool, std::move(call)).waitForFinished();
    };
    EXPECT_DEATH(GetParam().run(c.model.get(), offThread),
                 std::string(GetParam().owner) + " used off the thread");
}

template <typename Model>
OffThreadCall offThreadCall(const char* owner, std::function<void(Model&)> call)
{
    return {owner, [call](controller::UninstallViewModel* controller, const auto& offThread) {
                Model model(controller);
                call(model);
                offThread([&] { call(model); });
            }};
}

INSTANTIATE_TEST_SUITE_P(
    ListModels, ListModelThreads,
    testing::Values(
        OffThreadCall{"AppListModel",
                      [](controller::UninstallViewModel* controller, const auto& offThread) {
                          AppListModel apps(controller, platform::SystemClock::shared());
                          (void)apps.idAt(0);
                          offThread([&] { (void)apps.idAt(0); });
                      }},
        offThreadCall<LeftoverListModel>("LeftoverListModel", [](auto& m) { (void)m.rowCount(); }),
        offThreadCall<OrphanListModel>("OrphanListModel", [](auto& m) { m.toggle(0); }),
        offThreadCall<PackageListModel>("PackageListModel", [](auto& m) { m.reveal(0); }),
        offThreadCall<ToolchainListModel>("ToolchainListModel", [](auto& m) { m.reveal(0); })),
    [](const testing::TestParamInfo<OffThreadCall>& param) {
        return std::string(param.param.owner);
    });
#endif

TEST(AppDetailView, EmptyListShowsNothingLeftBehindAndADisabledReviewButton)
{
    SidebarFixture f;
    core::InstalledApp bare = SidebarFixture::app("Bare");
    Detail d(f, bare);
    EXPECT_EQ(shownPage(d.view.get()), QStringLiteral("emptyPage"));
    EXPECT_TRUE(child<QPushButton>(d.view, "selectAllButton")->isHidden());
    EXPECT_TRUE(child<QLabel>(d.view, "summaryLabel")->isHidden());
    EXPECT_EQ(child<QPushButton>(d.view, "primaryButton")->accessibleName(),
              QStringLiteral("Review & Move to Trash"));
    EXPECT_FALSE(child<QPushButton>(d.view, "primaryButton")->isEnabled());
    EXPECT_EQ(child<QLabel>(d.view, "versionLabel")->text(), QStringLiteral("Version —"));
    EXPECT_TRUE(child<QLabel>(d.view, "bundleIDLabel")->isHidden());
    EXPECT_EQ(child<QLabel>(d.view, "totalLabel")->text(), QStringLiteral("Zero KB"));
    EXPECT_EQ(child<QLabel>(d.view, "itemsFoundLabel")->text(), QStringLiteral("0 items found"));

    QMenu* menu = child<QToolButton>(d.view, "moreActionsButton")->menu();
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction* a : menu->actions())
        titles << (a->isSeparator() ? QStringLiteral("—") : a->text());
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Reveal in Finder"), QStringLiteral("Rescan"),
                                   QStringLiteral("Copy Path")}));
    menu->actions()[1]->trigger();
    EXPECT_EQ(d.rescans, 1);

    f.model->setIsScanningLeftovers(true);
    nextTurn();
    EXPECT_EQ(shownPage(d.view.get()), QStringLiteral("scanningPage"));
}

TEST(AppDetailView, SelectAllLeavesRefusedItemsAndTotalsCountOnlyRemovable)
{
    SidebarFixture f;
    Detail d(f);
    d.setLeftovers({item("/L/a", 1'000, MatchConfidence::certain),
                    item("/L/Refused/b", 5'000'000, MatchConfidence::medium),
                    item("/L/c", 0, MatchConfidence::certain)},
                   false);
    EXPECT_EQ(shownPage(d.view.get()), QStringLiteral("listPage"));
    EXPECT_EQ(child<QLabel>(d.view, "totalLabel")->text(), QStringLiteral("1 KB"))
        << "removable items only";
    EXPECT_EQ(child<QLabel>(d.view, "itemsFoundLabel")->text(), QStringLiteral("3 items found"));
    EXPECT_EQ(pillNames(d.view.get()), (QStringList{QStringLiteral("2 Certain confidence"),
                                                    QStringLiteral("1 Medium confidence")}));
    EXPECT_EQ(child<QPushButton>(d.view, "selectAllButton")->text(), QStringLiteral("Select All"));
    EXPECT_EQ(child<QLabel>(d.view, "summaryLabel")->text(),
              QStringLiteral("0 selected · Zero KB"));
    EXPECT_FALSE(child<QPushButton>(d.view, "primaryButton")->isEnabled());

    child<QPushButton>(d.view, "selectAllButton")->click();
    nextTurn();
    EXPECT_EQ(f.model->selectedLeftoverIDs(), (controller::IdSet{"/L/a", "/L/c"}));
    EXPECT_EQ(child<QPushButton>(d.view, "selectAllButton")->text(), QStringLiteral("Select All"))
        << "a refused item keeps Select All";
    EXPECT_EQ(child<QLabel>(d.view, "summaryLabel")->text(), QStringLiteral("2 selected · 1 KB"));
    EXPECT_TRUE(child<QPushButton>(d.view, "primaryButton")->isEnabled());

    // Ticked by hand, a refused item is neither counted nor sized: what a removal would move.
    f.model->setSelectedLeftoverIDs({"/L/a", "/L/Refused/b", "/L/c"});
    nextTurn();
    EXPECT_EQ(child<QPushButton>(d.view, "selectAllButton")->text(),
              QStringLiteral("Deselect All"));
    EXPECT_EQ(child<QLabel>(d.view, "summaryLabel")->text(), QStringLiteral("2 selected · 1 KB"));
    child<QPushButton>(d.view, "primaryButton")->click();
    auto* sheet = qobject_cast<RemovalReviewSheet*>(shownSheet(d.view.get()));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(reviewRowTexts(sheet).mid(0, 2),
              (QStringList{QStringLiteral("2 items selected"), QStringLiteral("1 KB")}));
    f.model->setSelectedLeftoverIDs({"/L/Refused/b"});
    EXPECT_EQ(reviewRowTexts(sheet).mid(0, 2),
              (QStringList{QStringLiteral("0 items selected"), QStringLiteral("Zero KB")}));
    EXPECT_FALSE(child<QPushButton>(sheet, "confirmButton")->isEnabled());
    QTest::keyClick(sheet, Qt::Key_Escape);
    nextTurn();
    nextTurn();
    EXPECT_EQ(child<QLabel>(d.view, "summaryLabel")->text(),
              QStringLiteral("0 selected · Zero KB"));
    EXPECT_FALSE(child<QPushButton>(d.view, "primaryButton")->isEnabled())
        << "nothing the removal would move";
    f.model->setSelectedLeftoverIDs({"/L/a", "/L/Refused/b", "/L/c"});
    nextTurn();
    child<QPushButton>(d.view, "selectAllButton")->click();
    EXPECT_TRUE(f.model->selectedLeftoverIDs().empty());

    d.setLeftovers({item("/L/Refused/x", 7'000'000)});
    EXPECT_EQ(child<QLabel>(d.view, "totalLabel")->text(), QStringLiteral("Zero KB"));
    EXPECT_EQ(child<QLabel>(d.view, "itemsFoundLabel")->text(), QStringLiteral("1 item found"));
}

TEST(AppDetailView, ARefusedRowSaysWhyAndTheReviewWarnsOnlyAboutWhatMoves)
{
    SidebarFixture f;
    Detail d(f);
    d.setLeftovers(
        {item("/L/a", 1'000, MatchConfidence::certain),
         item("/L/Refused/b", 5'000, MatchConfidence::medium, LeftoverCategory::caches, true),
         item("/Applications/Refused.app", 819'000, MatchConfidence::certain,
              LeftoverCategory::application)});
    const auto* model = child<LeftoverListModel>(d.view, "leftoverModel");
    const auto help = [&](const std::string& path) {
        return model->data(model->index(d.rowOf(path)), Qt::ToolTipRole).toString();
    };
    EXPECT_EQ(help("/L/a"), QStringLiteral("/L/a"));
    EXPECT_EQ(help("/L/Refused/b"),
              QStringLiteral("“/L/Refused/b” is a protected system or user "
                             "folder. Veldo never removes it.\n/L/Refused/b"));
    EXPECT_TRUE(help("/Applications/Refused.app")
                    .startsWith(QStringLiteral("“/Applications/Refused.app” is a protected")));
    // Assistive technology reads it as the row's help.
    QAccessibleInterface* list =
        QAccessible::queryAccessibleInterface(child<RowListView>(d.view, "leftoverList"));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->child(d.rowOf("/L/Refused/b")), nullptr);
    EXPECT_EQ(list->child(d.rowOf("/L/Refused/b"))->text(QAccessible::Help), help("/L/Refused/b"));
    // All three ticked by hand: only /L/a would move, and the review counts and warns about it
    // alone.
    EXPECT_EQ(child<QLabel>(d.view, "summaryLabel")->text(), QStringLiteral("1 selected · 1 KB"));
    child<QPushButton>(d.view, "primaryButton")->click();
    auto* sheet = qobject_cast<RemovalReviewSheet*>(shownSheet(d.view.get()));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(reviewRowTexts(sheet),
              (QStringList{QStringLiteral("1 item selected"), QStringLiteral("1 KB")}));
    EXPECT_TRUE(returnConfirms(sheet));

    // A removable item of the same kinds brings its warnings back.
    f.model->setLeftovers(
        {item("/L/a", 1'000),
         item("/L/b", 5'000, MatchConfidence::medium, LeftoverCategory::caches, true),
         item("/Applications/Quill.app", 819'000, MatchConfidence::certain,
              LeftoverCategory::application)});
    f.model->setSelectedLeftoverIDs({"/L/a", "/L/b", "/Applications/Quill.app"});
    EXPECT_EQ(reviewRowTexts(sheet),
              (QStringList{QStringLiteral("3 items selected"), QStringLiteral("825 KB"),
                           QStringLiteral("1 item will need your administrator password"),
                           QStringLiteral("1 medium- or low-confidence item selected — check "
                                          "these belong to Quill"),
                           QStringLiteral("macOS may ask for your password to move this app to "
                                          "the Trash")}));
    EXPECT_FALSE(returnConfirms(sheet));
}

TEST(AppDetailView, KeyboardSelectsAllAndOpensTheReview)
{
    SidebarFixture f;
    Detail d(f);
    d.setLeftovers({item("/L/a", 1'000), item("/L/b", 2'000)}, false);
    d.view->activateWindow();
    d.view->setFocus();
    QTest::keyClick(d.view.get(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    nextTurn();
    EXPECT_EQ(f.model->selectedLeftoverIDs().size(), 2u);
    EXPECT_EQ(child<QPushButton>(d.view, "selectAllButton")->text(),
              QStringLiteral("Deselect All"));
    QTest::keyClick(d.view.get(), Qt::Key_Backspace, Qt::ControlModifier);
    nextTurn();
    QDialog* review = shownSheet(d.view.get());
    EXPECT_NE(qobject_cast<RemovalReviewSheet*>(review), nullptr);
    child<QPushButton>(d.view, "primaryButton")->click();
    EXPECT_EQ(shownSheet(d.view.get()), review) << "the same sheet stays, not a second one";
}

TEST(AppDetailView, BannersFollowLocationProtectionAndRunning)
{
    SidebarFixture f;
    Detail d(f);
    EXPECT_EQ(child<StatusBanner>(d.view, "locationBannerView"), nullptr);
    f.model->setDetailAppLocation(controller::DetailAppLocation::notFound);
    nextTurn();
    ASSERT_NE(child<StatusBanner>(d.view, "locationBannerView"), nullptr);
    EXPECT_EQ(
        child<QLabel>(child<StatusBanner>(d.view, "locationBannerView"), "titleLabel")->text(),
        QStringLiteral("App Not Found"));
    f.model->setDetailAppLocation(controller::DetailAppLocation::inTrash);
    nextTurn();
    EXPECT_EQ(
        child<QLabel>(child<StatusBanner>(d.view, "locationBannerView"), "titleLabel")->text(),
        QStringLiteral("Already in the Trash"));

    EXPECT_TRUE(child<QWidget>(d.view, "runningPanel")->isHidden());
    core::RunningAppStatus helpers;
    helpers.helperNames = {"Quill Helper", "Quill Agent"};
    f.model->setRunningStatus(helpers);
    nextTurn();
    EXPECT_FALSE(child<QWidget>(d.view, "runningPanel")->isHidden());
    EXPECT_EQ(child<QLabel>(d.view, "runningTitle")->text(),
              QStringLiteral("App Helpers Are Running"));
    EXPECT_EQ(child<QLabel>(d.view, "runningHelpers")->text(),
              QStringLiteral("Also running from inside the app: Quill Helper, Quill Agent"));
    helpers.isRunning = true;
    f.model->setRunningStatus(helpers);
    nextTurn();
    EXPECT_EQ(child<QLabel>(d.view, "runningTitle")->text(), QStringLiteral("App Is Running"));
    child<QPushButton>(d.view, "quitAndRescanButton")->click();
    EXPECT_EQ(d.quits, 1);
}

TEST(AppDetailView, ProtectedAppKeepsBothPrimaryButtonsDisabled)
{
    SidebarFixture f;
    auto app = SidebarFixture::app("Safari", std::string("com.apple.Safari"));
    f.model->setApps({app});
    f.model->setSelectedAppID(app.id());
    Detail d(f, app);
    d.isProtected = true;
    d.setLeftovers({item("/L/a", 1'000)});
    f.model->setSelectedAppID(std::nullopt);
    f.model->setSelectedAppID(app.id()); // the verdict is taken per selected app
    nextTurn();
    ASSERT_NE(child<StatusBanner>(d.view, "protectionBanner"), nullptr);
    EXPECT_EQ(child<QLabel>(child<StatusBanner>(d.view, "protectionBanner"), "titleLabel")->text(),
              QStringLiteral("Protected App"));
    EXPECT_EQ(
        child<QLabel>(child<StatusBanner>(d.view, "protectionBanner"), "messageLabel")->text(),
        QStringLiteral("Safari comes with macOS."));
    EXPECT_FALSE(child<QPushButton>(d.view, "primaryButton")->isEnabled());
}

TEST(AppDetailView, ClicksOnCheckboxAndTextToggleOnceRevealNeverToggles)
{
    SidebarFixture f;
    Detail d(f);
    d.setLeftovers({item(f.mac.home().path() + "/Library/Prefs/com.quill.plist", 2'000,
                         MatchConfidence::medium, LeftoverCategory::preferences, true),
                    item("/L/b", 0, MatchConfidence::certain, LeftoverCategory::preferences)},
                   false);
    const std::string first = f.mac.home().path() + "/Library/Prefs/com.quill.plist";
    const int row = d.rowOf(first);
    ASSERT_GT(row, 0);
    EXPECT_EQ(child<LeftoverListModel>(d.view, "leftoverModel")
                  ->data(child<LeftoverListModel>(d.view, "leftoverModel")->index(row),
                         LeftoverListModel::PathTextRole),
              QStringLiteral("~/Library/Prefs/com.quill.plist"));
    EXPECT_EQ(child<LeftoverListModel>(d.view, "leftoverModel")
                  ->data(child<LeftoverListModel>(d.view, "leftoverModel")->index(row),
                         LeftoverListModel::SizeTextRole),
              QStringLiteral("2 KB"));
    const LeftoverRow::Layout l = LeftoverRow::layout(
        d.optionFor(row), child<LeftoverListModel>(d.view, "leftoverModel")->index(row));
    ASSERT_FALSE(l.lock.isEmpty()) << "the orange lock of an administrator item";

    d.clickAt(l.checkbox.center());
    EXPECT_EQ(d.toggles, 1);
    EXPECT_TRUE(f.model->selectedLeftoverIDs().contains(first));
    EXPECT_EQ(child<LeftoverListModel>(d.view, "leftoverModel")
                  ->data(child<LeftoverListModel>(d.view, "leftoverModel")->index(row),
                         Qt::CheckStateRole),
              Qt::Checked)
        << "the checkbox shows the controller's set";
    d.clickAt(l.name.center());
    EXPECT_EQ(d.toggles, 2);
    d.clickAt(l.path.center());
    EXPECT_EQ(d.toggles, 3);
    d.clickAt(l.reveal.center());
    EXPECT_EQ(d.toggles, 3) << "reveal never toggles";
    ASSERT_EQ(d.reveals.size(), 1u);
    EXPECT_EQ(d.reveals.front().front().path(), first);
    f.counts->missing.insert(first);
    d.clickAt(l.reveal.center());
    EXPECT_EQ(d.reveals.size(), 1u) << "a path that no longer exists is not revealed";
    EXPECT_EQ(d.toggles, 3);
    d.clickAt(QPointF((l.path.right() + l.size.left()) / 2, l.path.center().y()));
    EXPECT_EQ(d.toggles, 3) << "the empty gap does nothing";

    child<RowListView>(d.view, "leftoverList")->setFocus();
    child<RowListView>(d.view, "leftoverList")
        ->setCurrentIndex(child<LeftoverListModel>(d.view, "leftoverModel")->index(row));
    QTest::keyClick(child<RowListView>(d.view, "leftoverList"), Qt::Key_Space);
    EXPECT_EQ(d.toggles, 4) << "Space toggles the current row";
    child<RowListView>(d.view, "leftoverList")
        ->setCurrentIndex(child<LeftoverListModel>(d.view, "leftoverModel")->index(0));
    QTest::keyClick(child<RowListView>(d.view, "leftoverList"), Qt::Key_Space);
    EXPECT_EQ(d.toggles, 4) << "a section's Space does nothing";

    const QRect other =
        child<RowListView>(d.view, "leftoverList")
            ->visualRect(child<LeftoverListModel>(d.view, "leftoverModel")->index(d.rowOf("/L/b")));
    QTest::mouseClick(child<RowListView>(d.view, "leftoverList")->viewport(), Qt::RightButton, {},
                      other.center());
    QTest::mouseDClick(child<RowListView>(d.view, "leftoverList")->viewport(), Qt::RightButton, {},
                       other.center());
    nextTurn();
    EXPECT_EQ(d.toggles, 4) << "a right-click ticks nothing";
    EXPECT_EQ(child<RowListView>(d.view, "leftoverList")->currentIndex().row(), 0)
        << "nor moves the current row";
}

TEST(AppDetailView, RowsShowTheirLockAndRevealButtonToAssistiveTechnology)
{
    using testsupport::accessibleRow;
    using testsupport::doAccessibleAction;
    SidebarFixture f;
    Detail d(f);
    const std::string admin = f.mac.home().path() + "/Library/Prefs/com.quill.plist";
    d.setLeftovers(
        {item(admin, 2'000, MatchConfidence::medium, LeftoverCategory::preferences, true),
         item("/L/b", 0, MatchConfidence::certain, LeftoverCategory::preferences)},
        false);
    QListView* list = child<RowListView>(d.view, "leftoverList");
    const int row = d.rowOf(admin);
    const std::string name = "com.quill.plist, 2 KB, Medium confidence, needs administrator "
                             "password";
    EXPECT_EQ(accessibleRow(list, row),
              (std::vector<std::string>{"row " + name, "checkbox " + name,
                                        "lock Needs administrator password",
                                        "button Reveal com.quill.plist in Finder"}));
    EXPECT_EQ(accessibleRow(list, d.rowOf("/L/b")),
              (std::vector<std::string>{"row b, Zero KB, Certain confidence",
                                        "checkbox b, Zero KB, Certain confidence",
                                        "button Reveal b in Finder"}));
    EXPECT_EQ(accessibleRow(list, 0), std::vector<std::string>{"row Preferences, 2 KB"})
        << "a section header has no parts";

    ASSERT_TRUE(doAccessibleAction(list, row, QAccessible::CheckBox,
                                   QAccessibleActionInterface::toggleAction()));
    EXPECT_EQ(d.toggles, 1);
    EXPECT_EQ(accessibleRow(list, row).at(1), "checkbox " + name + " (checked)");
    ASSERT_TRUE(doAccessibleAction(list, row, QAccessible::Button,
                                   QAccessibleActionInterface::pressAction()));
    ASSERT_EQ(d.reveals.size(), 1u);
    EXPECT_EQ(d.reveals.back(), std::vector<platform::MacPath>{platform::MacPath(admin)});
    EXPECT_EQ(d.toggles, 1) << "revealing never toggles";

    // From the keyboard: Return reveals the current row, Space still toggles it.
    list->setFocus();
    list->setCurrentIndex(child<LeftoverListModel>(d.view, "leftoverModel")->index(row));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(d.reveals.size(), 2u);
    EXPECT_EQ(d.toggles, 1);
}

TEST(AppDetailView, HomebrewButtonOpensTheHomebrewSheetAndTrashInsteadReplacesIt)
{
    SidebarFixture f;
    f.model->setCaskIndex({{"Quill.app", quillCask(true, true)}});
    Detail d(f);
    ASSERT_NE(child<TintedPill>(d.view, "caskBadge"), nullptr)
        << "the badge goes by the cask lookup alone";
    EXPECT_EQ(child<TintedPill>(d.view, "caskBadge")->toolTip(),
              QStringLiteral("Homebrew manages this app. Uninstalling it with Homebrew keeps "
                             "Homebrew’s records correct."));
    EXPECT_EQ(child<QPushButton>(d.view, "primaryButton")->accessibleName(),
              QStringLiteral("Review & Move to Trash"))
        << "no cask state: the review button";

    d.caskToken = "quill";
    f.model->setSelectedLeftoverIDs({});
    d.setLeftovers({item("/L/a", 1)}, false);
    EXPECT_EQ(child<QPushButton>(d.view, "primaryButton")->accessibleName(),
              QStringLiteral("Uninstall with Homebrew…"));
    EXPECT_TRUE(child<QPushButton>(d.view, "primaryButton")->isEnabled())
        << "nothing selected is no reason here";

    child<QPushButton>(d.view, "primaryButton")->click();
    auto* brew = qobject_cast<HomebrewUninstallSheet*>(shownSheet(d.view.get()));
    ASSERT_NE(brew, nullptr);
    EXPECT_EQ(child<QLabel>(brew, "subtitleLabel")->text(),
              QStringLiteral("Quill · cask quill 3.2.1"));
    EXPECT_EQ(warningRowTexts(brew).size(), 2) << "the installer package's warning";
    for (QPushButton* b : brew->findChildren<QPushButton*>())
        EXPECT_FALSE(b->isDefault() || b->autoDefault()) << "Return confirms nothing";
    EXPECT_EQ(child<QPushButton>(brew, "moveToTrashButton")->toolTip(),
              QStringLiteral("Trash the app and its files the usual way. Homebrew will still think "
                             "the cask is installed."));

    child<QPushButton>(brew, "moveToTrashButton")->click();
    nextTurn();
    QPointer<RemovalReviewSheet> review =
        qobject_cast<RemovalReviewSheet*>(shownSheet(d.view.get()));
    ASSERT_NE(review, nullptr);
    child<QPushButton>(review, "cancelButton")->click();
    nextTurn();
    EXPECT_EQ(shownSheet(d.view.get()), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(review) << "a dismissed sheet goes";
    EXPECT_TRUE(d.caskRuns.empty());
    EXPECT_EQ(d.uninstalls, 0);
}

TEST(HomebrewUninstallSheet, ZapChoiceRemovingStateAndOneUninstallPerDoubleClick)
{
    SidebarFixture f;
    Detail d(f);
    d.caskToken = "quill";
    f.model->setCaskIndex({{"Quill.app", quillCask(false, false)}});
    nextTurn();
    child<QPushButton>(d.view, "primaryButton")->click();
    auto* plain = qobject_cast<HomebrewUninstallSheet*>(shownSheet(d.view.get()));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(child<QCheckBox>(plain, "zapToggle"), nullptr);
    EXPECT_EQ(warningRowTexts(plain),
              QStringList{QStringLiteral("Homebrew deletes the app. It doesn’t go to the Trash, "
                                         "and Undo can’t bring it back.")});
    f.model->setIsRemoving(true);
    EXPECT_EQ(child<QPushButton>(plain, "confirmButton")->text(), QStringLiteral("Uninstalling…"));
    EXPECT_FALSE(child<QPushButton>(plain, "confirmButton")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(plain, "moveToTrashButton")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(plain, "cancelButton")->isEnabled());
    f.model->setIsRemoving(false);
    QTest::keyClick(plain, Qt::Key_Return);
    EXPECT_TRUE(d.caskRuns.empty()) << "Return does not confirm";
    QTest::mouseDClick(child<QPushButton>(plain, "confirmButton"), Qt::LeftButton);
    child<QPushButton>(plain, "confirmButton")->click();
    nextTurn();
    EXPECT_EQ(d.caskRuns, std::vector<bool>{false}) << "one uninstall, zap off";
    EXPECT_EQ(shownSheet(d.view.get()), nullptr);

    f.model->setCaskIndex({{"Quill.app", quillCask(true, false)}});
    nextTurn();
    for (const bool on : {true, false}) {
        child<QPushButton>(d.view, "primaryButton")->click();
        auto* sheet = qobject_cast<HomebrewUninstallSheet*>(shownSheet(d.view.get()));
        ASSERT_NE(sheet, nullptr);
        ASSERT_NE(child<QCheckBox>(sheet, "zapToggle"), nullptr);
        child<QCheckBox>(sheet, "zapToggle")->setChecked(true);
        if (!on)
            child<QCheckBox>(sheet, "zapToggle")->setChecked(false);
        child<QPushButton>(sheet, "confirmButton")->click();
        nextTurn();
        EXPECT_EQ(d.caskRuns.back(), on);
    }
}

TEST(RemovalReviewSheet, WarningsFollowTheControllerAndReturnOnlyWithoutThem)
{
    SidebarFixture f;
    f.model->setCaskIndex({{"Quill.app", quillCask()}});
    Detail d(f);
    const LeftoverItem admin = item("/Library/LaunchDaemons/com.quill.plist", 3'000,
                                    MatchConfidence::certain, LeftoverCategory::launchAgents, true);
    const LeftoverItem bundle = item("/Applications/Quill.app", 100'000'000,
                                     MatchConfidence::certain, LeftoverCategory::application);
    d.setLeftovers({bundle, admin, item("/L/c", 2'000, MatchConfidence::high)});
    child<QPushButton>(d.view, "primaryButton")->click();
    auto* sheet = qobject_cast<RemovalReviewSheet*>(shownSheet(d.view.get()));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(
        reviewRowTexts(sheet),
        (QStringList{QStringLiteral("3 items selected"), QStringLiteral("100 MB"),
                     QStringLiteral("1 item will need your administrator password"),
                     QStringLiteral("macOS may ask for your password to move this app to "
                                    "the Trash"),
                     QStringLiteral("Homebrew will still think “quill” is installed. Run brew "
                                    "uninstall --cask quill later to clear its records.")}));
    EXPECT_FALSE(returnConfirms(sheet));

    // Unticked behind the sheet, as a second window would.
    f.model->setSelectedLeftoverIDs({bundle.id(), "/L/c"});
    EXPECT_EQ(reviewRowTexts(sheet).size(), 4);
    EXPECT_EQ(reviewRowTexts(sheet)[0], QStringLiteral("2 items selected"));
    EXPECT_TRUE(returnConfirms(sheet)) << "Return is back";

    core::RunningAppStatus running;
    running.isRunning = true;
    running.helperNames = {"Helper"};
    f.model->setRunningStatus(running);
    EXPECT_EQ(reviewRowTexts(sheet)[2], QStringLiteral("App is still running"));
    EXPECT_FALSE(
        reviewRowTexts(sheet).contains(QStringLiteral("Helpers of this app are still running")));
    f.model->setRunningStatus({});

    f.model->setSelectedLeftoverIDs({"/L/c"});
    EXPECT_EQ(reviewRowTexts(sheet).size(), 2) << "no bundle: no Homebrew row";
    f.model->setSelectedLeftoverIDs({});
    EXPECT_EQ(reviewRowTexts(sheet),
              (QStringList{QStringLiteral("0 items selected"), QStringLiteral("Zero KB")}));
    EXPECT_FALSE(child<QPushButton>(sheet, "confirmButton")->isEnabled());

    f.model->setSelectedLeftoverIDs({"/L/c"});
    f.model->setIsRemoving(true);
    EXPECT_EQ(child<QPushButton>(sheet, "confirmButton")->text(),
              QStringLiteral("Moving to Trash…"));
    EXPECT_FALSE(child<QPushButton>(sheet, "confirmButton")->isEnabled());
    f.model->setIsRemoving(false);
    EXPECT_TRUE(child<QPushButton>(sheet, "confirmButton")->isEnabled());

    child<QPushButton>(sheet, "exportButton")->click();
    EXPECT_EQ(d.exports, 1);
    EXPECT_TRUE(sheet->isVisible()) << "the sheet stays open after an export";

    QTest::mouseDClick(child<QPushButton>(sheet, "confirmButton"), Qt::LeftButton);
    child<QPushButton>(sheet, "confirmButton")->click();
    EXPECT_EQ(child<QPushButton>(sheet, "confirmButton")->text(),
              QStringLiteral("Moving to Trash…"))
        << "submitting";
    QTest::keyClick(sheet, Qt::Key_Escape);
    nextTurn();
    EXPECT_EQ(d.uninstalls, 1) << "one removal for a double click";
    EXPECT_EQ(shownSheet(d.view.get()), nullptr);
}

TEST(RemovalReviewSheet, UncertainItemsWarnAndAProtectedAppCannotConfirm)
{
    SidebarFixture f;
    Detail d(f);
    d.setLeftovers(
        {item("/L/a", 1, MatchConfidence::medium), item("/L/b", 1, MatchConfidence::low)});
    child<QPushButton>(d.view, "primaryButton")->click();
    auto* sheet = qobject_cast<RemovalReviewSheet*>(shownSheet(d.view.get()));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(reviewRowTexts(sheet).back(),
              QStringLiteral("2 medium- or low-confidence items selected — check these belong to "
                             "Quill"));
    EXPECT_FALSE(returnConfirms(sheet));
    EXPECT_TRUE(child<QPushButton>(sheet, "confirmButton")->isEnabled()) << "a click still works";

    d.isProtected = true;
    f.model->setSelectedAppID(std::nullopt);
    f.model->setSelectedAppID(d.app.id()); // the verdict is taken per selected app
    f.model->setSelectedLeftoverIDs({"/L/a"});
    EXPECT_FALSE(child<QPushButton>(sheet, "confirmButton")->isEnabled());
}

TEST(AppDetailView, ASheetGoesWithTheScreenAndRemovesNothing)
{
    SidebarFixture f;
    auto d = std::make_unique<Detail>(f);
    d->setLeftovers({item("/L/a", 1)});
    child<QPushButton>(d->view, "primaryButton")->click();
    QPointer<QDialog> sheet = shownSheet(d->view.get());
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    const int uninstalls = d->uninstalls;
    // Another app takes the pane: the main window builds a new screen for it.
    d->view.reset();
    nextTurn();
    EXPECT_FALSE(sheet);
    EXPECT_EQ(uninstalls, 0);
}

} // namespace
} // namespace veldo::ui

namespace veldo::ui {

using testsupport::child;
namespace {

// Waits for `done` while the event loop runs, up to five seconds.
bool waitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 500 && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return done();
}

struct ExportSetup
{
    explicit ExportSetup(SidebarFixture& f) : app(SidebarFixture::app("Quill", "com.quill.app"))
    {
        f.model->setApps({app});
        f.model->setDetailApp(app);
        f.model->setSelectedAppID(app.id());
        f.model->setLeftovers({item(f.mac.home().path() + "/Library/Caches/Quill", 2'000)});
        view = std::make_unique<AppDetailView>(f.model.get(), app);
        testsupport::testModelsOf(view.get());
        view->show();
        nextTurn();
    }
    core::InstalledApp app;
    std::unique_ptr<AppDetailView> view;
};

TEST(AppDetailExport, AScriptedChooserGetsTheReportWrittenAndRevealed)
{
    SidebarFixture f;
    std::vector<std::vector<platform::MacPath>> reveals;
    std::vector<controller::SavePanelRequest> requests;
    const platform::MacPath chosen = f.mac.home().appendingPathComponent("Desktop/report.json");
    f.mac.mkdir(f.mac.home().appendingPathComponent("Desktop"));
    f.model->installUiServices(
        [&](const std::vector<platform::MacPath>& items) { reveals.push_back(items); },
        [&](const controller::SavePanelRequest& request, controller::SavePanelAnswer answer) {
            requests.push_back(request);
            answer(chosen);
        },
        [](const std::string&) {});
    ExportSetup s(f);
    child<QPushButton>(s.view, "exportButton")->click();
    ASSERT_TRUE(waitFor([&] { return !reveals.empty(); }));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests.front().title, "Export Cleanup Report");
    EXPECT_EQ(requests.front().proposedFileName, "Veldo Report - Quill.json");
    EXPECT_EQ(reveals.front(), std::vector{chosen});
    EXPECT_NE(f.mac.contents(chosen).find("\"appName\""), std::string::npos);
}

TEST(AppDetailExport, TheRealSavePanelTypedAndAcceptedWritesWhereChosen)
{
    SidebarFixture f;
    platform::qt::FileManagerReveal reveal;
    platform::qt::FileManagerReveal::Recorder recorder;
    installWindowServices(*f.model, reveal);
    ExportSetup s(f);
    child<QPushButton>(s.view, "exportButton")->click();
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible())
                panel = dialog;
        return panel != nullptr;
    }));
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("Veldo Report - Quill.json"));
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("quill-report"));
    QTest::keyClick(name, Qt::Key_Return);
    const platform::MacPath written = f.mac.home().appendingPathComponent("quill-report.json");
    ASSERT_TRUE(waitFor([&] { return !recorder.reveals().empty(); }));
    EXPECT_NE(f.mac.contents(written).find("\"selectedItemCount\""), std::string::npos);
    EXPECT_EQ(recorder.reveals().front(), QStringList{QString::fromStdString(f.mac.host(written))});
}

} // namespace
} // namespace veldo::ui
