// The Developer Footprint screen, its lists, result card and dialogs over scripted controller
// services.
#include "app/ui/DeveloperView.h"

#include <atomic>
#include <latch>
#include <memory>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"
#include "app/ui/CheckListView.h"
#include "app/ui/PackageListModel.h"
#include "app/ui/PackageResultView.h"
#include "app/ui/PackageRowDelegate.h"
#include "app/ui/SelectedMapKind.h"
#include "app/ui/ToolScreenParts.h"
#include "app/ui/ToolchainListModel.h"
#include "app/ui/ToolchainRowDelegate.h"
#include "platform/MacRoot.h"
#include "platform/qt/FileManagerReveal.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/AccessibleRows.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/CountingDelegate.h"
#include "tests/ui/ModelTesters.h"
#include "tests/ui/ShownWindows.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::shownDialog;
namespace {

using core::DeveloperTab;
using core::DevPackage;
using core::PackageManagerKind;
using core::ToolchainItem;
using core::ToolchainKind;

DevPackage package(std::string name, PackageManagerKind manager = PackageManagerKind::npm,
                   std::string version = "1.0", std::int64_t bytes = 1'000'000)
{
    return {manager, std::move(name), std::move(version), bytes};
}

// Whether both texts of a message box are shown as they are, never read as markup.
bool showsPlainText(const QMessageBox& box)
{
    for (const char* name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
        const auto* label = box.findChild<QLabel*>(QLatin1String(name));
        if (!label || label->textFormat() != Qt::PlainText)
            return false;
    }
    return true;
}

// The picker's segment for `tab`.
QPushButton* tabButton(const QWidget& view, DeveloperTab tab)
{
    switch (tab) {
    case DeveloperTab::footprint:
        return child<QPushButton>(view, "footprintTab");
    case DeveloperTab::map:
        return child<QPushButton>(view, "mapTab");
    case DeveloperTab::packages:
        break;
    }
    return child<QPushButton>(view, "packagesTab");
}

// The result card's failure lines, in order.
std::vector<QLabel*> failureLabels(const PackageResultView& card)
{
    std::vector<QLabel*> labels;
    for (;;) {
        const std::string name = "failureLabel" + std::to_string(labels.size());
        QLabel* label = child<QLabel>(card, name.c_str());
        if (!label)
            return labels;
        labels.push_back(label);
    }
}

ToolchainItem item(std::string title, std::int64_t bytes, bool cache, bool data = false,
                   bool admin = false)
{
    ToolchainItem i;
    i.kind = ToolchainKind::node;
    i.url = platform::MacPath("/Users/me/.cache/" + title);
    i.title = std::move(title);
    i.sizeBytes = bytes;
    i.isCache = cache;
    i.holdsUserData = data;
    i.requiresAdmin = admin;
    return i;
}

class DeveloperViewTest : public testing::Test
{
protected:
    DeveloperViewTest()
    {
        m_defaults = std::make_shared<platform::UserDefaults>(
            m_mac.home().appendingPathComponent("Library/Preferences/veldo-ui.plist"));
        controller::ControllerServices services;
        services.toolchainScan = [this](const platform::MacPath&, std::stop_token) {
            ++m_toolchainScans;
            return m_toolchains;
        };
        services.packageScan = [this](std::stop_token) {
            ++m_packageScans;
            if (m_holdPackageScan)
                m_packageGate.wait();
            return m_packages;
        };
        services.packageRemoval = [this](const std::vector<DevPackage>& packages, std::stop_token) {
            ++m_removals;
            scanners::PackageRemover::Result result;
            result.removed = packages;
            return result;
        };
        m_model = std::make_unique<controller::UninstallViewModel>(
            std::make_shared<core::CleanupSettings>(m_defaults),
            std::make_shared<core::CleanupStats>(m_defaults), m_defaults, services);
        m_toolchains = testsupport::toolchainSample(m_mac.home().path());
        m_packages = testsupport::packageSample();
    }

    ~DeveloperViewTest() override
    {
        if (m_holdPackageScan)
            m_packageGate.count_down();
        m_view.reset();
        m_model->shutdown();
    }

    DeveloperView& show()
    {
        m_view = std::make_unique<DeveloperView>(m_model.get());
        testsupport::testModelsOf(m_view.get());
        m_view->resize(960, 720);
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        EXPECT_TRUE(QTest::qWaitFor([this] { return !m_model->isScanningDeveloper(); }));
        return *m_view;
    }

    void loadPackages()
    {
        m_model->setPackageGroups(m_packages);
        m_model->setHasScannedPackages(true);
    }

    QString scanningMessage(QStackedWidget* stack) const
    {
        auto* label = stack->widget(0)->findChild<QLabel*>(QStringLiteral("scanningMessage"));
        return label ? label->text() : QString();
    }

    testsupport::FakeMac m_mac;
    std::shared_ptr<platform::UserDefaults> m_defaults;
    std::unique_ptr<controller::UninstallViewModel> m_model;
    std::vector<core::ToolchainGroup> m_toolchains;
    std::vector<core::PackageGroup> m_packages;
    std::atomic<int> m_toolchainScans{0};
    std::atomic<int> m_packageScans{0};
    std::atomic<int> m_removals{0};
    bool m_holdPackageScan = false;
    std::latch m_packageGate{1};
    std::unique_ptr<DeveloperView> m_view;
};

TEST_F(DeveloperViewTest, HeaderAndBarFollowTheTab)
{
    DeveloperView& view = show();
    EXPECT_EQ(m_toolchainScans, 1); // the appearance scan
    EXPECT_EQ(m_packageScans, 0);
    EXPECT_EQ(child<QWidget>(view, "tabPicker")->accessibleName(), "Developer view");
    const struct
    {
        DeveloperTab tab;
        bool total;
        bool exportButton;
        bool bar;
    } cases[] = {
        {DeveloperTab::footprint, true, false, true},
        {DeveloperTab::map, true, false, false},
        {DeveloperTab::packages, false, true, true},
    };
    m_holdPackageScan = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.tab));
        tabButton(view, c.tab)->click();
        EXPECT_EQ(m_model->developerTab(), c.tab);
        EXPECT_EQ(child<QWidget>(view, "totals")->isVisible(), c.total);
        EXPECT_EQ(child<QToolButton>(view, "exportButton")->isVisible(), c.exportButton);
        EXPECT_EQ(child<QWidget>(view, "actionBarBox")->isVisible(), c.bar);
        EXPECT_TRUE(child<QToolButton>(view, "rescanButton")->isVisible());
        EXPECT_EQ(child<QToolButton>(view, "rescanButton")->toolTip(), "Rescan (⌘R)");
    }
    EXPECT_EQ(child<QLabel>(view, "totalLabel")->text(), "55.89 GB");
}

TEST_F(DeveloperViewTest, MapKindIsKeptOnlyWhenSwitchingToTheMap)
{
    DeveloperView& view = show();
    loadPackages();
    child<SelectedMapKind>(view, "selectedMapKind")->setKind(ToolchainKind::node);
    tabButton(view, DeveloperTab::map)->click();
    EXPECT_EQ(child<SelectedMapKind>(view, "selectedMapKind")->kind(), ToolchainKind::node);
    tabButton(view, DeveloperTab::footprint)->click();
    EXPECT_EQ(child<SelectedMapKind>(view, "selectedMapKind")->kind(), std::nullopt);
    child<SelectedMapKind>(view, "selectedMapKind")->setKind(ToolchainKind::xcode);
    tabButton(view, DeveloperTab::packages)->click();
    EXPECT_EQ(child<SelectedMapKind>(view, "selectedMapKind")->kind(), std::nullopt);
}

TEST_F(DeveloperViewTest, TheFirstSwitchToPackagesScansOnceAndRescanFollowsTheTab)
{
    m_holdPackageScan = true;
    DeveloperView& view = show();
    m_model->setLastPackageResult(testsupport::packageResultSample(false));
    tabButton(view, DeveloperTab::packages)->click();
    QTRY_COMPARE(m_packageScans.load(), 1);
    EXPECT_EQ(child<QStackedWidget>(view, "packageContent")->currentIndex(), 0);
    EXPECT_EQ(scanningMessage(child<QStackedWidget>(view, "packageContent")),
              "Reading installed packages…");
    EXPECT_TRUE(child<PackageResultView>(view, "packageResult") &&
                child<PackageResultView>(view, "packageResult")->isVisible()); // stays above
    EXPECT_FALSE(child<QToolButton>(view, "rescanButton")->isEnabled());
    m_holdPackageScan = false;
    m_packageGate.count_down();
    QTRY_VERIFY(!m_model->isScanningPackages());
    EXPECT_EQ(child<QStackedWidget>(view, "packageContent")->currentIndex(), 1);
    EXPECT_TRUE(child<QToolButton>(view, "rescanButton")->isEnabled());

    tabButton(view, DeveloperTab::footprint)->click();
    tabButton(view, DeveloperTab::packages)->click();
    QTest::qWait(20);
    EXPECT_EQ(m_packageScans, 1); // the scan has run

    const int toolchainScans = m_toolchainScans;
    child<QToolButton>(view, "rescanButton")->click();
    QTRY_COMPARE(m_packageScans.load(), 2);
    QTRY_VERIFY(!m_model->isScanningPackages());
    EXPECT_EQ(m_toolchainScans, toolchainScans);
    tabButton(view, DeveloperTab::map)->click();
    child<QToolButton>(view, "rescanButton")->click();
    QTRY_COMPARE(m_toolchainScans.load(), toolchainScans + 1);
    QTRY_VERIFY(!m_model->isScanningDeveloper());
    EXPECT_EQ(m_packageScans, 2);
}

TEST_F(DeveloperViewTest, EmptyTabsShowTheirEmptyStateAndAZeroCount)
{
    m_toolchains.clear();
    DeveloperView& view = show();
    m_model->setHasScannedPackages(true);
    EXPECT_EQ(child<QStackedWidget>(view, "footprintContent")->currentIndex(), 2);
    EXPECT_EQ(child<QStackedWidget>(view, "mapContent")->currentIndex(), 2);
    EXPECT_FALSE(child<QPushButton>(view, "toolchainSelectAll")->isVisible());
    EXPECT_EQ(child<QLabel>(view, "toolchainSelection")->text(), "0 selected · Zero KB");
    EXPECT_FALSE(child<DestructiveButton>(view, "moveButton")->isEnabled());
    EXPECT_EQ(child<QLabel>(view, "totalLabel")->text(), "Zero KB");

    m_model->setDeveloperTab(DeveloperTab::packages);
    QTRY_VERIFY(!m_model->isScanningPackages());
    m_model->setPackageGroups({});
    EXPECT_EQ(child<QStackedWidget>(view, "packageContent")->currentIndex(), 2);
    EXPECT_FALSE(child<QPushButton>(view, "packageSelectAll")->isVisible());
    EXPECT_EQ(child<QLabel>(view, "packageSelection")->text(), "0 selected");
    EXPECT_FALSE(child<DestructiveButton>(view, "uninstallButton")->isEnabled());
    EXPECT_EQ(child<DestructiveButton>(view, "uninstallButton")->accessibleName(),
              "Uninstall 0 Packages…");
}

TEST_F(DeveloperViewTest, SelectAllTurnsIntoDeselectAllOnlyForAFullSelection)
{
    EXPECT_FALSE(DeveloperView::isEverythingSelected(0, 0));
    EXPECT_FALSE(DeveloperView::isEverythingSelected(3, 2));
    EXPECT_TRUE(DeveloperView::isEverythingSelected(3, 3));

    DeveloperView& view = show();
    EXPECT_EQ(child<QPushButton>(view, "toolchainSelectAll")->text(), "Select All");
    child<QPushButton>(view, "toolchainSelectAll")->click();
    EXPECT_EQ(m_model->selectedToolchainIDs().size(), 6u);
    EXPECT_EQ(child<QPushButton>(view, "toolchainSelectAll")->text(), "Deselect All");
    EXPECT_EQ(child<QLabel>(view, "toolchainSelection")->text(), "6 selected · 55.89 GB");
    m_model->toggleToolchainItem(m_toolchains[1].items[0]);
    EXPECT_EQ(child<QPushButton>(view, "toolchainSelectAll")->text(), "Select All");
    m_model->toggleToolchainItem(m_toolchains[1].items[0]);
    child<QPushButton>(view, "toolchainSelectAll")->click();
    EXPECT_TRUE(m_model->selectedToolchainIDs().empty());

    m_model->setIsRemoving(true);
    child<QPushButton>(view, "toolchainSelectAll")->click();
    EXPECT_EQ(child<DestructiveButton>(view, "moveButton")->accessibleName(), "Working…");
    EXPECT_FALSE(child<DestructiveButton>(view, "moveButton")->isEnabled());
}

TEST_F(DeveloperViewTest, DialogMessages)
{
    std::vector<DevPackage> six;
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        six.push_back(package(name));
    EXPECT_EQ(DeveloperView::packageUninstallMessage(six),
              "a, b, c, d, e and 1 more\n\nVeldo runs each manager’s own uninstaller (brew, npm, "
              "pip, gem). Nothing goes to the Trash, and this can’t be undone.");
    EXPECT_EQ(DeveloperView::packageUninstallTitle(1), "Uninstall 1 package?");
    EXPECT_EQ(DeveloperView::packageUninstallTitle(6), "Uninstall 6 packages?");
    const QString cask = DeveloperView::packageUninstallMessage(
        {package("quill", PackageManagerKind::brewCask), package("git")});
    EXPECT_TRUE(cask.startsWith("quill, git\n\n"));
    EXPECT_TRUE(cask.endsWith("\n\nUninstalling a Homebrew cask also deletes its app."));

    const QString undo = "You can undo this with Edit ▸ Undo Last Cleanup. Space is freed once you "
                         "empty the Trash.";
    EXPECT_EQ(DeveloperView::toolchainTrashMessage({item("npm", 10, true), item("pip", 0, true)}),
              undo);
    EXPECT_EQ(DeveloperView::toolchainTrashMessage({item("npm", 10, true, false, true)}),
              "1 item needs your administrator password.\n\n" + undo);
    EXPECT_EQ(DeveloperView::toolchainTrashMessage({item("vm", 2'000'000, false, true, true),
                                                    item("sdk", 3'000'000, false),
                                                    item("sdk2", 1'000'000, false, false, true)}),
              "Includes 1 item holding your data (2 MB) — VM disks, containers or archives that "
              "can’t be downloaded again.\n\nIncludes 2 reinstallable items (4 MB) — SDKs, "
              "runtimes or toolchains you’d need to download again.\n\n2 items need your "
              "administrator password.\n\n" +
                  undo);
    EXPECT_EQ(DeveloperView::toolchainTrashTitle({item("a", 0, true)}),
              "Move 1 item (Zero KB) to the Trash?");
}

TEST_F(DeveloperViewTest, PackageSummaries)
{
    scanners::PackageRemover::Result result;
    result.failed.push_back({package("x"), "Nope"});
    EXPECT_EQ(packageUninstallSummary(result), "Uninstalled 0 packages · 1 failed");
    result.failed.clear();
    for (const char* name : {"a", "b", "c", "d", "e"})
        result.removed.push_back(package(name, PackageManagerKind::npm, "", 0));
    EXPECT_EQ(packageUninstallSummary(result), "Uninstalled 5 packages — a, b, c, d, e");
    result.removed.push_back(package("f", PackageManagerKind::npm, "", 1'200'000'000));
    EXPECT_EQ(packageUninstallSummary(result),
              "Uninstalled 6 packages · 1.2 GB freed — a, b, c, d, e and 1 more");
}

TEST_F(DeveloperViewTest, ResultCardColoursAndButtons)
{
    for (const bool failures : {false, true}) {
        SCOPED_TRACE(failures);
        int dismissed = 0;
        PackageResultView card(testsupport::packageResultSample(failures), [&] { ++dismissed; });
        card.show();
        EXPECT_EQ(child<QLabel>(card, "titleLabel")->text(),
                  failures ? "Some Packages Weren’t Uninstalled" : "Packages Uninstalled");
        EXPECT_EQ(card.fillColor().rgb(),
                  SystemColors::color(failures ? SystemColor::orange : SystemColor::green,
                                      SystemColors::colorScheme(card.palette()))
                      .rgb());
        EXPECT_EQ(child<QPushButton>(card, "copyDetailsButton") != nullptr, failures);
        EXPECT_EQ(failureLabels(card).size(), failures ? 2u : 0u);
        if (failures) {
            child<QPushButton>(card, "copyDetailsButton")->click();
            EXPECT_EQ(QApplication::clipboard()->text(),
                      "typescript: npm ERR! code EACCES npm ERR! syscall rename npm ERR! path "
                      "/usr/local/lib/node_modules/typescript\nnumpy: Required by pandas");
            EXPECT_TRUE(failureLabels(card)[0]->textInteractionFlags() & Qt::TextSelectableByMouse);
        }
        child<QPushButton>(card, "dismissButton")->click();
        EXPECT_EQ(dismissed, 1);
    }
    DeveloperView& view = show();
    m_model->setLastPackageResult(testsupport::packageResultSample(false));
    ASSERT_NE(child<PackageResultView>(view, "packageResult"), nullptr);
    child<QPushButton>(child<PackageResultView>(view, "packageResult"), "dismissButton")->click();
    EXPECT_FALSE(m_model->lastPackageResult().has_value());
}

TEST_F(DeveloperViewTest, ToolchainRowsBadgesAndToggles)
{
    const struct
    {
        bool cache;
        bool data;
        QString badge;
        SystemColor tint;
    } badges[] = {
        {true, true, "Cache", SystemColor::green},
        {true, false, "Cache", SystemColor::green},
        {false, false, "Reinstallable", SystemColor::orange},
        {false, true, "Data", SystemColor::red},
    };
    for (const auto& b : badges) {
        const auto badge = ToolchainListModel::kindBadge(item("x", 1, b.cache, b.data));
        EXPECT_EQ(badge.text, b.badge);
        EXPECT_EQ(badge.tint, b.tint);
    }
    EXPECT_EQ(ToolchainListModel::accessibleText(item("Derived", 0, true)),
              "Derived, Zero KB, cache");
    EXPECT_EQ(
        ToolchainListModel::accessibleText(item("Runtime", 7'100'000'000, false, false, true)),
        "Runtime, 7.1 GB, reinstallable, needs administrator password");
    EXPECT_EQ(ToolchainListModel::groupBytes({ToolchainKind::go, {item("a", 0, true)}}), 0);

    DeveloperView& view = show();
    m_model->setSelectedToolchainIDs({}); // the scan ticked the caches
    CheckListView* list = child<CheckListView>(view, "toolchainList");
    auto* model = static_cast<ToolchainListModel*>(list->model());
    // Rows: Xcode header, 3 items, Node header, 2 items, Cloud header, 1 item.
    ASSERT_EQ(model->rowCount(), 9);
    EXPECT_FALSE(model->hasCheckbox(0));
    EXPECT_TRUE(model->isLastInGroup(8)); // a single-row group: no divider
    EXPECT_FALSE(model->isLastInGroup(1));
    const QModelIndex admin = model->index(2);
    const QRect rect = list->visualRect(admin);
    const auto geometry =
        child<ToolchainRowDelegate>(view, "toolchainDelegate")->geometry(rect, admin);
    EXPECT_FALSE(geometry.lock.isEmpty());
    EXPECT_EQ(child<ToolchainRowDelegate>(view, "toolchainDelegate")
                  ->toolTipAt(rect, admin, geometry.lock.center()),
              "Outside your home folder — needs your administrator password.");
    EXPECT_TRUE(child<ToolchainRowDelegate>(view, "toolchainDelegate")
                    ->geometry(rect, model->index(1))
                    .lock.isEmpty());

    const std::string path = model->item(5).url.path();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      child<ToolchainRowDelegate>(view, "toolchainDelegate")
                          ->geometry(list->visualRect(model->index(5)), model->index(5))
                          .detail.center());
    EXPECT_EQ(m_model->selectedToolchainIDs(), (controller::IdSet{path}));
    list->setFocus();
    list->setCurrentIndex(model->index(5));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(m_model->selectedToolchainIDs().empty());
    list->setCurrentIndex(model->index(0)); // a header: nothing
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(m_model->selectedToolchainIDs().empty());
}

TEST_F(DeveloperViewTest, ToolchainRowsShowTheirLockAndRevealButtonToAssistiveTechnology)
{
    using testsupport::accessibleRow;
    using testsupport::doAccessibleAction;
    DeveloperView& view = show();
    m_model->setSelectedToolchainIDs({}); // the scan ticked the caches
    CheckListView* list = child<CheckListView>(view, "toolchainList");
    // Row 2: the simulator runtime outside the home folder.
    const std::string name =
        "iOS 17.2 Simulator Runtime, 7.1 GB, reinstallable, needs administrator password";
    EXPECT_EQ(accessibleRow(list, 2),
              (std::vector<std::string>{"row " + name, "checkbox " + name,
                                        "lock Needs administrator password",
                                        "button Reveal iOS 17.2 Simulator Runtime in Finder"}));
    EXPECT_EQ(accessibleRow(list, 0), std::vector<std::string>{"row Xcode & Apple"});

    platform::qt::FileManagerReveal::Recorder reveals;
    ASSERT_TRUE(doAccessibleAction(list, 2, QAccessible::CheckBox,
                                   QAccessibleActionInterface::toggleAction()));
    EXPECT_EQ(m_model->selectedToolchainIDs(),
              (controller::IdSet{"/Library/Developer/CoreSimulator/Volumes/iOS_21C62"}));
    ASSERT_TRUE(doAccessibleAction(list, 2, QAccessible::Button,
                                   QAccessibleActionInterface::pressAction()));
    EXPECT_EQ(reveals.reveals().size(), 1u);
    list->setFocus();
    list->setCurrentIndex(list->model()->index(2, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(reveals.reveals().size(), 2u);
    EXPECT_EQ(m_model->selectedToolchainIDs().size(), 1u) << "revealing never toggles";
}

TEST_F(DeveloperViewTest, PackageRowsWithoutVersionOrSize)
{
    EXPECT_EQ(
        PackageListModel::accessibleText(package("@angular/cli", PackageManagerKind::npm, "", 0)),
        "@angular/cli");
    EXPECT_EQ(PackageListModel::accessibleText(
                  package("git", PackageManagerKind::brewFormula, "2.43.0", 0)),
              "git, 2.43.0");
    EXPECT_EQ(PackageListModel::accessibleText(
                  package("a & b %s ‏עברית", PackageManagerKind::pip, "1", 1'000)),
              "a & b %s ‏עברית, 1, 1 KB");
    EXPECT_EQ(PackageListModel::header(PackageManagerKind::brewCask).title, "Homebrew Casks");

    DeveloperView& view = show();
    loadPackages();
    m_model->setDeveloperTab(DeveloperTab::packages);
    CheckListView* list = child<CheckListView>(view, "packageList");
    auto* model = static_cast<PackageListModel*>(list->model());
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->isHeader(row))
            continue;
        const auto g = child<PackageRowDelegate>(view, "packageDelegate")
                           ->geometry(list->visualRect(model->index(row)), model->index(row));
        EXPECT_EQ(g.size.isEmpty(), model->package(row).sizeBytes <= 0) << row;
        EXPECT_EQ(g.detail.isEmpty(), model->package(row).version.empty()) << row;
    }
}

TEST_F(DeveloperViewTest, APackageDialogClosesWhenItsSelectionOrListChanges)
{
    DeveloperView& view = show();
    loadPackages();
    m_model->setDeveloperTab(DeveloperTab::packages);
    const auto& packages = m_model->packageGroups();
    m_model->setSelectedPackageIDs({packages[0].packages[0].id()});

    child<DestructiveButton>(view, "uninstallButton")->click();
    QMessageBox* dialog = shownDialog<QMessageBox>(&view, "packageDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->text(), "Uninstall 1 package?");
    EXPECT_TRUE(showsPlainText(*dialog)) << "names are never read as markup";
    m_model->togglePackage(packages[2].packages[0]); // another window ticks one more
    EXPECT_EQ(shownDialog<QMessageBox>(&view, "packageDialog"), nullptr);

    child<DestructiveButton>(view, "uninstallButton")->click();
    ASSERT_NE(shownDialog<QMessageBox>(&view, "packageDialog"), nullptr);
    m_model->scanPackages().detach(); // a scan replaces the list
    EXPECT_EQ(shownDialog<QMessageBox>(&view, "packageDialog"), nullptr);
    QTRY_VERIFY(!m_model->isScanningPackages());
    EXPECT_EQ(m_removals, 0);

    // A notification that leaves the selection as it was keeps the dialog open.
    m_model->setSelectedPackageIDs({m_model->packageGroups()[0].packages[0].id()});
    child<DestructiveButton>(view, "uninstallButton")->click();
    ASSERT_NE(shownDialog<QMessageBox>(&view, "packageDialog"), nullptr);
    emit m_model->selectedPackageIDsChanged();
    dialog = shownDialog<QMessageBox>(&view, "packageDialog");
    ASSERT_NE(dialog, nullptr);
    QPushButton* uninstall = nullptr;
    for (QAbstractButton* b : dialog->buttons())
        if (b->text() == "Uninstall Permanently")
            uninstall = static_cast<QPushButton*>(b);
    ASSERT_NE(uninstall, nullptr);
    uninstall->click();
    QTRY_COMPARE(m_removals.load(), 1);
}

TEST_F(DeveloperViewTest, TheToolchainDialogClosesWhenItsSelectionChanges)
{
    DeveloperView& view = show();
    m_model->setSelectedToolchainIDs({m_toolchains[0].items[1].url.path()});
    child<DestructiveButton>(view, "moveButton")->click();
    QMessageBox* dialog = shownDialog<QMessageBox>(&view, "toolchainDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->text(), "Move 1 item (7.1 GB) to the Trash?");
    EXPECT_TRUE(showsPlainText(*dialog)) << "titles are never read as markup";
    EXPECT_EQ(dialog->informativeText(),
              "Includes 1 reinstallable item (7.1 GB) — SDKs, runtimes or toolchains you’d need "
              "to download again.\n\n1 item needs your administrator password.\n\nYou can undo "
              "this with Edit ▸ Undo Last Cleanup. Space is freed once you empty the Trash.");
    m_model->toggleToolchainItem(m_toolchains[1].items[0]);
    EXPECT_EQ(shownDialog<QMessageBox>(&view, "toolchainDialog"), nullptr);
    QTest::qWait(20);
    EXPECT_FALSE(m_model->isRemoving());
    EXPECT_EQ(m_model->selectedToolchainIDs().size(), 2u); // nothing was moved
}

TEST_F(DeveloperViewTest, ExportWritesIntoTheChosenFolderAndShowsItsSentence)
{
    DeveloperView& view = show();
    loadPackages();
    m_model->setDeveloperTab(DeveloperTab::packages);
    const auto pick = [&](const std::optional<std::string>& macFolder) {
        child<QToolButton>(view, "exportButton")->click();
        QFileDialog* panel = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            panel = view.findChild<QFileDialog*>();
            return panel && panel->isVisible();
        }));
        if (!panel)
            return;
        EXPECT_EQ(panel->windowTitle(), "Choose a folder to save your developer setup snapshot.");
        EXPECT_EQ(panel->labelText(QFileDialog::Accept), "Export Here");
        if (!macFolder) {
            panel->reject();
            return;
        }
        panel->setDirectory(
            QString::fromStdString(platform::hostPath(platform::MacPath(*macFolder))));
        panel->selectFile(
            QString::fromStdString(platform::hostPath(platform::MacPath(*macFolder))));
        static_cast<QDialog*>(panel)->accept();
    };
    pick(std::nullopt);
    QTest::qWait(20);
    EXPECT_FALSE(m_model->dropNotice().has_value());

    pick(m_mac.home().path());
    QTRY_VERIFY_WITH_TIMEOUT(m_model->dropNotice().has_value(), 10'000);
    EXPECT_FALSE(m_model->dropNotice()->empty());
}

TEST_F(DeveloperViewTest, FiveThousandPackagesScrollWithoutAWidgetPerRow)
{
    core::PackageGroup big{PackageManagerKind::pip, {}};
    for (int i = 0; i < 5'000; ++i)
        big.packages.push_back(
            package("pkg-" + std::to_string(i), PackageManagerKind::pip, std::string(200, 'v'), i));
    m_packages = {big};
    DeveloperView& view = show();
    testsupport::CountingDelegate rows(*child<CheckListView>(view, "packageList"));
    loadPackages();
    m_model->setPackageGroups(m_packages);
    m_model->setDeveloperTab(DeveloperTab::packages);
    QTRY_VERIFY(!m_model->isScanningPackages());
    const int widgets = static_cast<int>(view.findChildren<QWidget*>().size());
    EXPECT_LT(widgets, 400);
    // The top rows are painted once shown, then the bottom ones scrolled to, and no others.
    QTRY_VERIFY(rows.rowsPainted() > 0);
    const int top = rows.rowsPainted();
    child<CheckListView>(view, "packageList")->scrollToBottom();
    view.repaint();
    QTRY_VERIFY(rows.rowsPainted() > top);
    EXPECT_LT(rows.rowsPainted(), 200);
}

} // namespace
} // namespace veldo::ui
