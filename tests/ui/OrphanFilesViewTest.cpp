// The Orphaned Files screen, its list and its review sheet over scripted orphan results and the
// real controller.
#include "app/ui/OrphanFilesView.h"

#include <latch>
#include <memory>

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"
#include "app/ui/CheckListView.h"
#include "app/ui/ConfidenceBadge.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/OrphanConfidenceBadge.h"
#include "app/ui/OrphanListModel.h"
#include "app/ui/OrphanReviewSheet.h"
#include "app/ui/OrphanRowDelegate.h"
#include "app/ui/PathList.h"
#include "app/ui/ToolScreenParts.h"
#include "platform/UrlOpener.h"
#include "platform/qt/FileManagerReveal.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/AccessibleRows.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/CountingDelegate.h"
#include "tests/ui/EmptyStateTexts.h"
#include "tests/ui/ModelTesters.h"
#include "tests/ui/ShownPaths.h"
#include "tests/ui/ShownWindows.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::shownDialog;
namespace {

using core::MatchConfidence;
using scanners::OrphanFinding;
using scanners::OrphanGroup;
using scanners::OrphanScanResult;
using Status = core::SystemSettings::FullDiskAccessStatus;

OrphanFinding finding(const std::string& path, std::int64_t bytes, MatchConfidence confidence,
                      bool admin = false, std::string reason = "No installed app uses it.")
{
    OrphanFinding f;
    f.item.url = platform::MacPath(path);
    f.item.sizeBytes = bytes;
    f.item.confidence = confidence;
    f.item.requiresAdmin = admin;
    f.item.category = core::LeftoverCategory::supportFiles;
    f.reason = std::move(reason);
    return f;
}

OrphanGroup group(std::string id, std::string name, std::vector<OrphanFinding> findings)
{
    return {std::move(id), std::move(name), std::move(findings)};
}

class OrphanFilesViewTest : public testing::Test
{
protected:
    OrphanFilesViewTest()
    {
        m_defaults = std::make_shared<platform::UserDefaults>(
            m_mac.home().appendingPathComponent("Library/Preferences/veldo-ui.plist"));
        m_settings = std::make_shared<core::CleanupSettings>(m_defaults);
        controller::ControllerServices services;
        services.removalRefusal = [this](const platform::MacPath& url,
                                         const common::RemovalSafety::PreparedContext&)
            -> std::optional<common::RemovalSafety::Refusal> {
            ++m_verdictCalls;
            if (m_refused.contains(url.path()))
                return common::RemovalSafety::Refusal::unidentifiable();
            return std::nullopt;
        };
        services.orphanScan = [this](const std::optional<std::vector<core::InstalledApp>>&,
                                     std::stop_token) { return m_nextScan; };
        m_model = std::make_unique<controller::UninstallViewModel>(
            m_settings, std::make_shared<core::CleanupStats>(m_defaults), m_defaults, services);
        m_pool.setMaxThreadCount(2);
    }

    ~OrphanFilesViewTest() override
    {
        m_view.reset();
        m_pool.waitForDone();
        m_model->shutdown();
    }

    std::string home(const std::string& rest) const { return m_mac.home().path() + "/" + rest; }

    // Two groups: Quill (medium, medium needing admin, low) and Inkwell (high, medium).
    OrphanScanResult twoGroups() const
    {
        OrphanScanResult result;
        result.groups = {
            group("com.quill.app", "Quill",
                  {finding(home("Library/Application Support/Quill"), 4'000'000,
                           MatchConfidence::medium),
                   finding("/Library/Application Support/Quill", 2'000'000, MatchConfidence::medium,
                           true),
                   finding(home("Library/Caches/com.quill.app"), 0, MatchConfidence::low)}),
            group("com.inkwell", "Inkwell",
                  {finding(home("Library/Preferences/com.inkwell.plist"), 1'000,
                           MatchConfidence::high),
                   finding(home("Library/Logs/Inkwell"), 10'000, MatchConfidence::medium)}),
        };
        return result;
    }

    OrphanFilesView& show(Status probeAnswer = Status::denied)
    {
        m_view = std::make_unique<OrphanFilesView>(m_model.get(), &m_pool,
                                                   [probeAnswer] { return probeAnswer; });
        testsupport::testModelsOf(m_view.get());
        m_view->resize(900, 640);
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        return *m_view;
    }

    void applyResult(OrphanScanResult result)
    {
        m_model->setOrphanResult(std::move(result));
        m_model->setHasScannedOrphans(true);
    }

    controller::IdSet selection() const { return m_model->selectedOrphanIDs(); }

    // The list's parts.
    OrphanListModel* listModel() const { return child<OrphanListModel>(m_view, "listModel"); }
    CheckListView* listView() const { return child<CheckListView>(m_view, "list"); }
    OrphanRowDelegate* delegate() const { return child<OrphanRowDelegate>(m_view, "delegate"); }

    // The row of the item at `path`, or of the header of group `name`.
    int rowOf(const std::string& path) const
    {
        const OrphanListModel& model = *listModel();
        for (int row = 0; row < model.rowCount(); ++row)
            if ((model.isHeader(row) && model.group(row).displayName == path) ||
                (!model.isHeader(row) && model.finding(row).item.url.path() == path))
                return row;
        ADD_FAILURE() << path;
        return -1;
    }

    QPoint pointIn(int row, QRect(OrphanRowDelegate::Geometry::*part)) const
    {
        CheckListView* list = listView();
        const QModelIndex index = listModel()->index(row);
        list->scrollTo(index);
        const QRect rect = list->visualRect(index);
        return (delegate()->geometry(rect, index).*part).center();
    }

    testsupport::FakeMac m_mac;
    std::shared_ptr<platform::UserDefaults> m_defaults;
    std::shared_ptr<core::CleanupSettings> m_settings;
    std::unique_ptr<controller::UninstallViewModel> m_model;
    std::unordered_set<std::string> m_refused;
    int m_verdictCalls = 0;
    OrphanScanResult m_nextScan;
    QThreadPool m_pool;
    std::unique_ptr<OrphanFilesView> m_view;
};

TEST_F(OrphanFilesViewTest, HeaderAndContentBeforeAndAfterAnEmptyScan)
{
    OrphanFilesView& view = show();
    EXPECT_EQ(child<QStackedWidget>(view, "contentPages")->currentWidget()->objectName(),
              "notScannedPage");
    EXPECT_FALSE(child<QLabel>(view, "totalLabel")->isVisible());
    EXPECT_FALSE(child<QToolButton>(view, "rescanButton")->isVisible());
    EXPECT_FALSE(child<QWidget>(view, "footer")->isVisible());
    EXPECT_TRUE(child<QPushButton>(view, "scanButton")->isVisible());

    for (const bool unreadable : {false, true}) {
        SCOPED_TRACE(unreadable);
        OrphanScanResult empty;
        if (unreadable)
            empty.unreadableLocations = {platform::MacPath("/Library/Caches")};
        applyResult(empty);
        EXPECT_EQ(child<QStackedWidget>(view, "contentPages")->currentWidget()->objectName(),
                  "nothingFoundView");
        EXPECT_TRUE(child<QLabel>(view, "totalLabel")->isVisible());
        EXPECT_EQ(child<QLabel>(view, "totalLabel")->text(), "Zero KB");
        EXPECT_EQ(child<QLabel>(view, "countLabel")->text(), "0 items found");
        EXPECT_TRUE(child<QToolButton>(view, "rescanButton")->isVisible());
        EXPECT_EQ(child<QToolButton>(view, "rescanButton")->toolTip(), "Rescan (⌘R)");
        EXPECT_FALSE(child<QWidget>(view, "footer")->isVisible());
        EXPECT_EQ(testsupport::emptyStateTexts(child<EmptyStateView>(view, "nothingFoundView")),
                  (QStringList{"No Orphaned Files",
                               unreadable ? "Nothing found in the folders Veldo could read. Some "
                                            "locations need Full Disk Access."
                                          : "Every support file Veldo checked belongs to an "
                                            "installed app."}));
        EXPECT_TRUE(child<EmptyStateView>(view, "nothingFoundView")->isVisible());
    }
}

TEST_F(OrphanFilesViewTest, CountsAndUnreadableLocationsAreInflected)
{
    EXPECT_EQ(OrphanFilesView::foundText(1), "1 item found");
    EXPECT_EQ(OrphanFilesView::foundText(12), "12 items found");
    EXPECT_EQ(OrphanFilesView::selectionSummary(3, 1'200'000), "3 selected · 1.2 MB");
    EXPECT_EQ(OrphanFilesView::selectionSummary(0, 0), "0 selected · Zero KB");

    OrphanFilesView& view = show();
    OrphanScanResult result = twoGroups();
    applyResult(result);
    EXPECT_FALSE(child<QLabel>(view, "unreadableLabel")->isVisible());

    result.unreadableLocations = {platform::MacPath(home("Library/Containers"))};
    applyResult(result);
    EXPECT_TRUE(child<QLabel>(view, "unreadableLabel")->isVisible());
    EXPECT_EQ(child<QLabel>(view, "unreadableLabel")->text(),
              "1 location couldn’t be read, so the list may be incomplete.");
    EXPECT_EQ(child<QLabel>(view, "unreadableLabel")->toolTip(), "~/Library/Containers");

    result.unreadableLocations.push_back(platform::MacPath("/Library/Application Support"));
    applyResult(result);
    EXPECT_EQ(child<QLabel>(view, "unreadableLabel")->text(),
              "2 locations couldn’t be read, so the list may be incomplete.");
    EXPECT_EQ(child<QLabel>(view, "unreadableLabel")->toolTip(),
              "~/Library/Containers\n/Library/Application Support");
}

TEST_F(OrphanFilesViewTest, SelectSuggestedFollowsTheSettingAndReplacesTheSelection)
{
    OrphanFilesView& view = show();
    applyResult(twoGroups());
    const std::string userMedium = home("Library/Application Support/Quill");
    const std::string adminMedium = "/Library/Application Support/Quill";
    const std::string low = home("Library/Caches/com.quill.app");
    const std::string inkMedium = home("Library/Logs/Inkwell");

    m_settings->setIncludeAdminRequiredByDefault(false);
    child<QPushButton>(view, "selectSuggestedButton")->click();
    EXPECT_EQ(selection(), (controller::IdSet{userMedium, inkMedium}));

    m_settings->setIncludeAdminRequiredByDefault(true);
    child<QPushButton>(view, "selectSuggestedButton")->click();
    EXPECT_EQ(selection(), (controller::IdSet{userMedium, adminMedium, inkMedium}));

    // Manual changes: a low item ticked, a suggested one unticked; pressing again restores.
    listModel()->toggle(rowOf(low));
    listModel()->toggle(rowOf(inkMedium));
    EXPECT_EQ(selection(), (controller::IdSet{userMedium, adminMedium, low}));
    child<QPushButton>(view, "selectSuggestedButton")->click();
    EXPECT_EQ(selection(), (controller::IdSet{userMedium, adminMedium, inkMedium}));
}

TEST_F(OrphanFilesViewTest, FooterButtonsFollowSelectionRemovalAndScan)
{
    OrphanFilesView& view = show();
    applyResult(twoGroups());
    EXPECT_TRUE(child<QWidget>(view, "footer")->isVisible());
    EXPECT_FALSE(child<QPushButton>(view, "deselectAllButton")->isEnabled());
    EXPECT_FALSE(child<DestructiveButton>(view, "reviewButton")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(view, "selectSuggestedButton")->isEnabled());
    EXPECT_EQ(child<QLabel>(view, "summaryLabel")->text(), "0 selected · Zero KB");

    child<QPushButton>(view, "selectSuggestedButton")->click();
    EXPECT_TRUE(child<QPushButton>(view, "deselectAllButton")->isEnabled());
    EXPECT_TRUE(child<DestructiveButton>(view, "reviewButton")->isEnabled());
    EXPECT_EQ(child<QLabel>(view, "summaryLabel")->text(), "2 selected · 4 MB");
    EXPECT_EQ(child<DestructiveButton>(view, "reviewButton")->accessibleName(),
              "Review & Move to Trash");

    m_model->setIsRemoving(true);
    EXPECT_FALSE(child<DestructiveButton>(view, "reviewButton")->isEnabled());
    EXPECT_EQ(child<DestructiveButton>(view, "reviewButton")->accessibleName(), "Removing…");
    EXPECT_FALSE(child<QToolButton>(view, "rescanButton")->isEnabled());
    m_model->setIsRemoving(false);
    EXPECT_TRUE(child<DestructiveButton>(view, "reviewButton")->isEnabled());

    // Ctrl+Backspace opens the review.
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier);
    // A shortcut clicks the button after its pressed look.
    QTRY_VERIFY(shownDialog<OrphanReviewSheet>(&view, "reviewSheet"));
    QTest::keyClick(shownDialog<OrphanReviewSheet>(&view, "reviewSheet"), Qt::Key_Escape);
    EXPECT_FALSE(shownDialog<OrphanReviewSheet>(&view, "reviewSheet"));

    child<QPushButton>(view, "deselectAllButton")->click();
    EXPECT_TRUE(selection().empty());
    EXPECT_FALSE(child<QPushButton>(view, "deselectAllButton")->isEnabled());
}

TEST_F(OrphanFilesViewTest, LongReasonsGrowTheirRowAndOddNamesAreShown)
{
    show();
    OrphanScanResult result;
    const std::string oneLine = "No installed app uses it.";
    std::string paragraphs;
    for (int i = 0; i < 4; ++i)
        paragraphs += "A paragraph of reasons that goes on for a while, longer than one line of "
                      "the list at this width so that it has to wrap.\n\n";
    result.groups = {
        group("", "Nameless",
              {finding(home("Library/Caches/short"), 1, MatchConfidence::low, false, oneLine),
               finding(home("Library/Caches/long"), 1, MatchConfidence::low, false, paragraphs),
               finding(home("Library/Caches/bad-\xff\xfe-name"), 1, MatchConfidence::medium)})};
    applyResult(result);
    CheckListView* list = listView();
    OrphanListModel& model = *listModel();
    const int shortHeight = list->visualRect(model.index(1)).height();
    const int longHeight = list->visualRect(model.index(2)).height();
    EXPECT_GT(longHeight, shortHeight + 4 * QFontMetrics(list->font()).height());
    // Narrower, the reason wraps onto more lines and the row grows again.
    m_view->resize(600, 640);
    QTRY_VERIFY(list->visualRect(model.index(2)).height() > longHeight);
    // A group without a bundle identifier and a name that is not UTF-8 still show.
    EXPECT_EQ(OrphanListModel::groupDetail(result.groups[0], QLocale()), "");
    EXPECT_TRUE(model.data(model.index(3), Qt::DisplayRole).toString().startsWith("bad-"));
    m_view->repaint();
}

TEST_F(OrphanFilesViewTest, ARescanKeepsHeaderAndFooterWithAnEmptySelection)
{
    OrphanFilesView& view = show();
    applyResult(twoGroups());
    child<QPushButton>(view, "selectSuggestedButton")->click();
    const QString total = child<QLabel>(view, "totalLabel")->text();

    m_nextScan = OrphanScanResult{};
    child<QToolButton>(view, "rescanButton")->click();
    EXPECT_EQ(child<QStackedWidget>(view, "contentPages")->currentWidget()->objectName(),
              "scanningPage");
    EXPECT_TRUE(child<QLabel>(view, "totalLabel")->isVisible());
    EXPECT_EQ(child<QLabel>(view, "totalLabel")->text(), total);
    EXPECT_TRUE(child<QWidget>(view, "footer")->isVisible());
    EXPECT_EQ(child<QLabel>(view, "summaryLabel")->text(), "0 selected · Zero KB");
    EXPECT_FALSE(child<DestructiveButton>(view, "reviewButton")->isEnabled());
    EXPECT_FALSE(child<QToolButton>(view, "rescanButton")->isEnabled());

    QTRY_VERIFY(!m_model->isScanningOrphans());
    EXPECT_EQ(child<QStackedWidget>(view, "contentPages")->currentWidget()->objectName(),
              "nothingFoundView");
    EXPECT_EQ(child<QLabel>(view, "totalLabel")->text(), "Zero KB");
    EXPECT_FALSE(child<QWidget>(view, "footer")->isVisible());
}

TEST_F(OrphanFilesViewTest, TheFullDiskAccessCardHidesOnlyOnceTheProbeAnswersGranted)
{
    for (const Status answer : {Status::granted, Status::denied, Status::unknown}) {
        SCOPED_TRACE(static_cast<int>(answer));
        std::latch gate(1);
        m_view = std::make_unique<OrphanFilesView>(m_model.get(), &m_pool, [&gate, answer] {
            gate.wait();
            return answer;
        });
        m_view->show();
        EXPECT_TRUE(
            child<QWidget>(m_view, "fullDiskAccessCard")->isVisible()); // unknown before the answer
        gate.count_down();
        m_pool.waitForDone();
        // The answer reaches the view through its event loop.
        QTRY_COMPARE(child<QWidget>(m_view, "fullDiskAccessCard")->isVisible(),
                     answer != Status::granted);
        QTest::qWait(20);
        EXPECT_EQ(child<QWidget>(m_view, "fullDiskAccessCard")->isVisible(),
                  answer != Status::granted);
        m_view.reset();
        m_pool.waitForDone(); // every probe of this round is over before its latch goes
    }
    platform::testing::UrlRecorder urls;
    child<QPushButton>(show(), "fullDiskAccessLink")->click();
    ASSERT_EQ(urls.urls().size(), 1u);
    EXPECT_EQ(urls.urls()[0], core::SystemSettings::kFullDiskAccessURL);
}

TEST_F(OrphanFilesViewTest, AScreenDestroyedWhileItsProbeRunsDropsTheAnswer)
{
    std::latch started(1);
    std::latch gate(1);
    m_view = std::make_unique<OrphanFilesView>(m_model.get(), &m_pool, [&] {
        started.count_down();
        gate.wait();
        return Status::granted;
    });
    m_view->show();
    started.wait();
    m_view.reset(); // the route changed
    gate.count_down();
    m_pool.waitForDone();
    QCoreApplication::processEvents(); // a late answer would arrive here
    SUCCEED();
}

TEST_F(OrphanFilesViewTest, GroupCheckboxesSelectTheirOwnGroupOnly)
{
    show();
    OrphanScanResult result = twoGroups();
    result.groups.push_back(group("com.empty", "Empty", {}));
    applyResult(result);
    OrphanListModel& model = *listModel();
    const int quill = rowOf("Quill");
    const int inkwell = rowOf("Inkwell");
    EXPECT_TRUE(model.isChecked(rowOf("Empty"))); // no items: all selected
    EXPECT_FALSE(model.isChecked(quill));

    listModel()->toggle(rowOf(home("Library/Logs/Inkwell")));
    model.toggle(quill);
    EXPECT_TRUE(model.isChecked(quill));
    EXPECT_EQ(selection().size(), 4u); // Quill's three and Inkwell's one
    EXPECT_FALSE(model.isChecked(inkwell));

    model.toggle(rowOf("/Library/Application Support/Quill"));
    EXPECT_FALSE(model.isChecked(quill));
    model.toggle(quill);
    EXPECT_TRUE(model.isChecked(quill));
    model.toggle(quill);
    EXPECT_EQ(selection(), (controller::IdSet{home("Library/Logs/Inkwell")}));
    EXPECT_EQ(model.data(model.index(quill), Qt::AccessibleTextRole).toString(),
              "Select every item from Quill");
}

TEST_F(OrphanFilesViewTest, RowTextsLockDatesAndDividers)
{
    show();
    OrphanScanResult result = twoGroups();
    result.groups[1].findings[0].lastModified =
        core::Date(std::chrono::seconds(1'773'000'000)); // March 2026
    applyResult(result);
    OrphanListModel& model = *listModel();
    const QLocale english(QLocale::English, QLocale::UnitedStates);

    EXPECT_EQ(OrphanListModel::groupDetail(result.groups[0], english), "com.quill.app");
    EXPECT_EQ(OrphanListModel::groupDetail(result.groups[1], english),
              "com.inkwell · last changed Mar 8, 2026");

    const int admin = rowOf("/Library/Application Support/Quill");
    const int zero = rowOf(home("Library/Caches/com.quill.app"));
    EXPECT_EQ(model.data(model.index(admin), Qt::AccessibleTextRole).toString(),
              "Quill, 2 MB, Medium confidence, needs administrator rights");
    EXPECT_EQ(model.data(model.index(zero), Qt::AccessibleTextRole).toString(),
              "com.quill.app, Zero KB, Low confidence");
    EXPECT_EQ(model.data(model.index(zero), Qt::ToolTipRole).toString(),
              "No installed app uses it.");

    const QModelIndex adminIndex = model.index(admin);
    const QRect rect = listView()->visualRect(adminIndex);
    const auto geometry = delegate()->geometry(rect, adminIndex);
    EXPECT_FALSE(geometry.lock.isEmpty());
    EXPECT_EQ(delegate()->toolTipAt(rect, adminIndex, geometry.lock.center()),
              "System file — moving it needs administrator rights.");
    EXPECT_EQ(delegate()->toolTipAt(rect, adminIndex, geometry.symbol.center()),
              "Application Support");
    EXPECT_EQ(delegate()->toolTipAt(rect, adminIndex, geometry.reveal.center()),
              "Reveal in Finder");
    EXPECT_TRUE(delegate()->geometry(rect, model.index(zero)).lock.isEmpty());

    // The last row of each group carries no divider: one group of three has two that do.
    EXPECT_FALSE(model.isLastInGroup(rowOf(home("Library/Application Support/Quill"))));
    EXPECT_FALSE(model.isLastInGroup(admin));
    EXPECT_TRUE(model.isLastInGroup(zero));
}

TEST_F(OrphanFilesViewTest, ARefusedFindingIsLeftOutOfTheSizes)
{
    OrphanFilesView& view = show();
    m_refused = {"/Library/Application Support/Quill"};
    applyResult(twoGroups());
    EXPECT_EQ(child<QLabel>(view, "totalLabel")->text(), "4 MB"); // 4,000,000 + 0 + 1,000 + 10,000
    EXPECT_EQ(child<QLabel>(view, "countLabel")->text(), "5 items found");
    EXPECT_EQ(child<OrphanListModel>(view, "listModel")->groupBytes(rowOf("Quill")), 4'000'000);
    EXPECT_EQ(child<OrphanListModel>(view, "listModel")->groupBytes(rowOf("Inkwell")), 11'000);
}

TEST_F(OrphanFilesViewTest, ClicksAndSpaceToggleRevealDoesNot)
{
    show();
    applyResult(twoGroups());
    const std::string path = home("Library/Logs/Inkwell");
    const int row = rowOf(path);
    QWidget* viewport = listView()->viewport();
    platform::qt::FileManagerReveal::Recorder reveals;

    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      pointIn(row, &OrphanRowDelegate::Geometry::reveal));
    EXPECT_TRUE(selection().empty());
    ASSERT_EQ(reveals.reveals().size(), 1u);

    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      pointIn(row, &OrphanRowDelegate::Geometry::detail));
    EXPECT_EQ(selection(), (controller::IdSet{path}));
    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      pointIn(row, &OrphanRowDelegate::Geometry::checkbox));
    EXPECT_TRUE(selection().empty());

    // Space on the current row, then on a group header.
    listView()->setFocus();
    listView()->setCurrentIndex(listModel()->index(row));
    QTest::keyClick(listView(), Qt::Key_Space);
    EXPECT_EQ(selection(), (controller::IdSet{path}));
    listView()->setCurrentIndex(listModel()->index(rowOf("Quill")));
    QTest::keyClick(listView(), Qt::Key_Space);
    EXPECT_EQ(selection().size(), 4u);
    // A click on a header outside its checkbox changes nothing.
    QTest::mouseClick(viewport, Qt::LeftButton, {},
                      pointIn(rowOf("Quill"), &OrphanRowDelegate::Geometry::detail));
    EXPECT_EQ(selection().size(), 4u);
}

TEST_F(OrphanFilesViewTest, RowsShowTheirLockAndRevealButtonToAssistiveTechnology)
{
    using testsupport::accessibleRow;
    using testsupport::doAccessibleAction;
    show();
    applyResult(twoGroups());
    CheckListView* list = listView();
    const std::string path = "/Library/Application Support/Quill";
    const int row = rowOf(path);
    const std::string name = "Quill, 2 MB, Medium confidence, needs administrator rights";
    EXPECT_EQ(accessibleRow(list, row),
              (std::vector<std::string>{"row " + name, "checkbox " + name,
                                        "lock Needs administrator rights",
                                        "button Reveal Quill in Finder"}));
    EXPECT_EQ(accessibleRow(list, rowOf("Quill")),
              (std::vector<std::string>{"row Select every item from Quill",
                                        "checkbox Select every item from Quill"}));
    EXPECT_EQ(accessibleRow(list, rowOf(home("Library/Logs/Inkwell"))).size(), 3u)
        << "no lock without the need for rights";

    platform::qt::FileManagerReveal::Recorder reveals;
    ASSERT_TRUE(doAccessibleAction(list, row, QAccessible::CheckBox,
                                   QAccessibleActionInterface::toggleAction()));
    EXPECT_EQ(selection(), (controller::IdSet{path}));
    EXPECT_EQ(accessibleRow(list, row).at(1), "checkbox " + name + " (checked)");
    ASSERT_TRUE(doAccessibleAction(list, row, QAccessible::Button,
                                   QAccessibleActionInterface::pressAction()));
    ASSERT_EQ(reveals.reveals().size(), 1u);
    EXPECT_EQ(selection(), (controller::IdSet{path})) << "revealing never toggles";

    // From the keyboard: Return reveals the current row; a header has nothing to reveal.
    list->setFocus();
    list->setCurrentIndex(listModel()->index(row));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(reveals.reveals().size(), 2u);
    list->setCurrentIndex(listModel()->index(rowOf("Quill")));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(reveals.reveals().size(), 2u);
    EXPECT_EQ(selection(), (controller::IdSet{path}));
}

TEST_F(OrphanFilesViewTest, BadgesAndTheirHelpTexts)
{
    const QString sure = "Uncertain: recently used, shared by a vendor, or holding documents. "
                         "Check it before removing.";
    const struct
    {
        MatchConfidence confidence;
        QString title;
        SystemColor tint;
        QString help;
    } cases[] = {
        {MatchConfidence::certain, "Certain", SystemColor::green, sure},
        {MatchConfidence::high, "High", SystemColor::blue, sure},
        {MatchConfidence::medium, "Medium", SystemColor::orange,
         "Probably left by an app that is gone. Still review it."},
        {MatchConfidence::low, "Low", SystemColor::red, sure},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConfidenceBadge::title(c.confidence), c.title);
        EXPECT_EQ(ConfidenceBadge::tint(c.confidence), c.tint);
        EXPECT_EQ(OrphanConfidenceBadge::helpText(c.confidence), c.help);
    }
}

TEST_F(OrphanFilesViewTest, ReviewSheetTextsFollowTheSelection)
{
    EXPECT_EQ(OrphanReviewSheet::countText(1), "1 item selected");
    EXPECT_EQ(OrphanReviewSheet::countText(3), "3 items selected");
    EXPECT_EQ(OrphanReviewSheet::lowConfidenceText(1),
              "1 low-confidence item selected — check each one");
    EXPECT_EQ(OrphanReviewSheet::lowConfidenceText(2),
              "2 low-confidence items selected — check each one");
    EXPECT_EQ(OrphanReviewSheet::administratorText(1),
              "1 system item need administrator rights; you’ll confirm them separately");
    EXPECT_EQ(OrphanReviewSheet::administratorText(2),
              "2 system items need administrator rights; you’ll confirm them separately");

    show();
    applyResult(twoGroups());
    m_model->setSelectedOrphanIDs({home("Library/Logs/Inkwell")});
    int dismissed = 0;
    int removed = 0;
    OrphanReviewSheet sheet(
        m_model.get(), [&] { ++dismissed; }, [&] { ++removed; });
    sheet.show();
    EXPECT_EQ(child<QLabel>(sheet, "countLabel")->text(), "1 item selected");
    EXPECT_EQ(child<QLabel>(sheet, "sizeLabel")->text(), "10 KB");
    EXPECT_TRUE(child<QLabel>(sheet, "generalWarningLabel")->isVisible());
    EXPECT_FALSE(child<QWidget>(sheet, "lowConfidenceWarning")->isVisible());
    EXPECT_FALSE(child<QWidget>(sheet, "administratorWarning")->isVisible());
    EXPECT_EQ(testsupport::shownPaths(*child<PathList>(sheet, "pathList")),
              QStringList{"~/Library/Logs/Inkwell"});

    // A selection changed behind the sheet shows at once.
    m_model->setSelectedOrphanIDs(
        {home("Library/Caches/com.quill.app"), "/Library/Application Support/Quill"});
    EXPECT_EQ(child<QLabel>(sheet, "countLabel")->text(), "2 items selected");
    EXPECT_EQ(child<QLabel>(sheet, "sizeLabel")->text(), "2 MB");
    EXPECT_TRUE(child<QWidget>(sheet, "lowConfidenceWarning")->isVisible());
    EXPECT_EQ(child<QLabel>(sheet, "lowConfidenceLabel")->text(),
              "1 low-confidence item selected — check each one");
    EXPECT_TRUE(child<QWidget>(sheet, "administratorWarning")->isVisible());
    EXPECT_EQ(
        testsupport::shownPaths(*child<PathList>(sheet, "pathList")),
        (QStringList{"/Library/Application Support/Quill", "~/Library/Caches/com.quill.app"}));

    m_model->setIsRemoving(true);
    EXPECT_EQ(child<QPushButton>(sheet, "confirmButton")->text(), "Moving to Trash…");
    EXPECT_FALSE(child<QPushButton>(sheet, "confirmButton")->isEnabled());
    m_model->setIsRemoving(false);
    m_model->setSelectedOrphanIDs({});
    EXPECT_EQ(child<QLabel>(sheet, "sizeLabel")->text(), "Zero KB");
    EXPECT_FALSE(child<QPushButton>(sheet, "confirmButton")->isEnabled());
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(dismissed, 0);
}

TEST_F(OrphanFilesViewTest, EscapeCancelsAndADoubleConfirmRemovesOnce)
{
    OrphanFilesView& view = show();
    applyResult(twoGroups());
    child<QPushButton>(view, "selectSuggestedButton")->click();
    child<DestructiveButton>(view, "reviewButton")->click();
    ASSERT_TRUE(shownDialog<OrphanReviewSheet>(&view, "reviewSheet"));
    QTest::keyClick(shownDialog<OrphanReviewSheet>(&view, "reviewSheet"), Qt::Key_Escape);
    EXPECT_FALSE(shownDialog<OrphanReviewSheet>(&view, "reviewSheet"));

    int dismissed = 0;
    int removed = 0;
    OrphanReviewSheet sheet(
        m_model.get(), [&] { ++dismissed; }, [&] { ++removed; });
    sheet.show();
    QTest::mouseDClick(child<QPushButton>(sheet, "confirmButton"), Qt::LeftButton);
    child<QPushButton>(sheet, "confirmButton")->click();
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(dismissed, 1);
    EXPECT_FALSE(child<QPushButton>(sheet, "confirmButton")->isEnabled());
    EXPECT_EQ(child<QPushButton>(sheet, "confirmButton")->text(), "Moving to Trash…");
    sheet.reject(); // no dismissal while submitting
    EXPECT_EQ(dismissed, 1);
}

TEST_F(OrphanFilesViewTest, ThousandsOfFindingsAreSizedOnceAndPaintedLazily)
{
    OrphanScanResult result;
    for (int g = 0; g < 100; ++g) {
        OrphanGroup each =
            group("com.vendor.app" + std::to_string(g), "App " + std::to_string(g), {});
        for (int f = 0; f < 30; ++f)
            each.findings.push_back(
                finding(home("Library/Caches/app" + std::to_string(g) + "/" + std::to_string(f)),
                        1'000 + f, MatchConfidence::medium, false, std::string(40 + f * 7, 'x')));
        result.groups.push_back(std::move(each));
    }
    OrphanFilesView& view = show();
    testsupport::CountingDelegate rows(*child<CheckListView>(view, "list"));
    const int before = child<OrphanListModel>(view, "listModel")->sizeComputations();
    applyResult(result);
    // The first layout asks a batch of rows for their height, not all 3,100.
    child<CheckListView>(view, "list")->doItemsLayout();
    EXPECT_LT(rows.sizesAsked(), 500);
    child<QPushButton>(view, "selectSuggestedButton")->click();
    // Each place scrolled to has its rows painted (the list lays out and paints on the event loop).
    for (int i = 0; i < 5; ++i) {
        const int painted = rows.rowsPainted();
        child<CheckListView>(view, "list")->verticalScrollBar()->setValue(i * 400);
        view.repaint();
        QTRY_VERIFY(rows.rowsPainted() > painted);
    }
    const int listed = child<OrphanListModel>(view, "listModel")->rowCount();
    EXPECT_EQ(listed, 3'100);
    EXPECT_EQ(child<OrphanListModel>(view, "listModel")->sizeComputations(), before + 1);
    EXPECT_LT(rows.rowsPainted(), listed / 4);
    EXPECT_LE(m_verdictCalls, 3'000); // one verdict per path, whatever was painted
}

} // namespace
} // namespace veldo::ui
