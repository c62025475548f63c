// The sidebar: its rules, its rows and its binding to the controller's selection.
#include "app/ui/AppListView.h"

#include <map>
#include <set>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include "app/ui/AppListModel.h"
#include "app/ui/AppRow.h"
#include "app/ui/EmptyStateView.h"
#include "app/ui/SearchField.h"
#include "platform/qt/AppIconProvider.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/EmptyStateTexts.h"
#include "tests/ui/ModelTesters.h"
#include "tests/ui/SidebarFixture.h"

namespace veldo::ui {

using testsupport::child;
namespace {

using controller::IdSet;
using core::InstalledApp;
using std::chrono::seconds;
using testsupport::SidebarFixture;

const std::string kDeveloper(AppListModel::kDeveloperID);
const std::string kOrphans(AppListModel::kOrphansID);

void nextTurn()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// Counts the rows it paints; paints as the app row does.
class CountingRow final : public AppRow
{
public:
    using AppRow::AppRow;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        ++painted[index.row()];
        AppRow::paint(painter, option, index);
    }
    mutable std::map<int, int> painted;
};

// A sidebar over the fixture's controller, shown, with its calls to the controller counted.
struct Sidebar
{
    explicit Sidebar(SidebarFixture& f) : fixture(f)
    {
        AppListView::Options options;
        options.clock = &f.clock;
        options.actions.selectApps = [this](IdSet ids) {
            selectCalls.push_back(ids);
            fixture.model->selectApps(std::move(ids)).detach();
        };
        options.actions.scanApps = [this] { ++scanCalls; };
        options.actions.reveal = [this](const std::vector<platform::MacPath>& items) {
            reveals.push_back(items);
        };
        view = std::make_unique<AppListView>(f.model.get(), std::move(options));
        testsupport::testModelsOf(view.get());
        view->resize(300, 700);
        view->show();
        nextTurn();
    }
    QListView* list() const { return child<QListView>(view, "listView"); }
    QRect rectOf(int row) const
    {
        return list()->visualRect(child<AppListModel>(view, "listModel")->index(row));
    }
    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, modifiers, rectOf(row).center());
        nextTurn();
    }
    int rowOf(const std::string& name) const
    {
        return child<AppListModel>(view, "listModel")->rowOf("/Applications/" + name + ".app");
    }
    IdSet shownSelection() const
    {
        IdSet ids;
        for (const QModelIndex& index : list()->selectionModel()->selectedIndexes())
            ids.insert(child<AppListModel>(view, "listModel")->idAt(index.row()));
        return ids;
    }
    QVariant data(int row, int role) const
    {
        return child<AppListModel>(view, "listModel")
            ->data(child<AppListModel>(view, "listModel")->index(row), role);
    }
    // The empty state shown over the list, read from which of its views the user sees; none
    // while the overlay is hidden. Two seen at once fail the test.
    AppListView::EmptyState shownEmptyState() const
    {
        using State = AppListView::EmptyState;
        if (!child<QWidget>(view, "emptyStateOverlay")->isVisible())
            return State::none;
        std::vector<State> shown;
        if (child<QWidget>(view, "scanningEmptyView")->isVisible())
            shown.push_back(State::scanning);
        if (const auto* search = child<EmptyStateView>(view, "searchEmptyView");
            search && search->isVisible())
            shown.push_back(State::noSearchResults);
        if (child<EmptyStateView>(view, "unusedEmptyView")->isVisible())
            shown.push_back(State::noUnusedApps);
        EXPECT_EQ(shown.size(), 1u) << "the overlay shows one empty state";
        return shown.empty() ? State::none : shown.front();
    }
    bool hintShown() const { return child<QWidget>(view, "hintRow")->isVisible(); }

    SidebarFixture& fixture;
    std::unique_ptr<AppListView> view;
    std::vector<IdSet> selectCalls;
    int scanCalls = 0;
    std::vector<std::vector<platform::MacPath>> reveals;
};

std::string id(const std::string& name)
{
    return "/Applications/" + name + ".app";
}

TEST(AppListRules, UnusedOnlyAfterMoreThan182DaysAndSubtitles)
{
    const core::Date now{seconds(1'780'000'000)};
    InstalledApp app = SidebarFixture::app("Quill");
    EXPECT_FALSE(AppRow::isUnused(app, now)) << "no known last use is never unused";
    EXPECT_EQ(AppRow::subtitle(app, now), QStringLiteral("Ready to scan"));

    app.lastUsed = now - seconds(15'724'800);
    EXPECT_FALSE(AppRow::isUnused(app, now)) << "exactly 182 days";
    app.lastUsed = now - seconds(15'724'801);
    EXPECT_TRUE(AppRow::isUnused(app, now));
    EXPECT_EQ(AppListView::unusedApps({SidebarFixture::app("A"), app}, now), std::vector{app});
    app.lastUsed = now + seconds(3 * 86'400);
    EXPECT_FALSE(AppRow::isUnused(app, now)) << "a last use in the future";
    EXPECT_EQ(AppRow::subtitle(app, now), QStringLiteral("Used in 3 days"));

    app.lastUsed = now - seconds(300);
    EXPECT_EQ(AppRow::subtitle(app, now), QStringLiteral("Used 5 min. ago"));
    app.sizeBytes = 1;
    EXPECT_EQ(AppRow::subtitle(app, now), QStringLiteral("1 byte"));
    app.sizeBytes = 48'300'000;
    EXPECT_EQ(AppRow::subtitle(app, now), QStringLiteral("48.3 MB"));
}

TEST(AppListRules, SectionTitlesAndSelectedCounts)
{
    EXPECT_EQ(AppListView::selectedAppCount({kDeveloper, id("A"), id("B")}), 2);
    EXPECT_EQ(AppListView::selectedAppCount({kDeveloper, kOrphans}), 0);
    const struct
    {
        int listed;
        int selected;
        bool unused;
        const char* title;
    } cases[] = {
        {1, 0, false, "1 Application"},
        {12, 1, false, "12 Applications"},
        {0, 0, false, "0 Applications"},
        {3, 0, true, "3 Unused Applications"},
        {1, 1, true, "1 Unused Application"},
        {40, 3, false, "3 selected · ⌘-click for more"},
        {2, 2, true, "2 selected · ⌘-click for more"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppListView::appSectionTitle(c.listed, c.selected, c.unused),
                  QString::fromUtf8(c.title));
}

TEST(AppListRules, ToolRulesOfTheSelection)
{
    const struct
    {
        IdSet selection;
        IdSet current;
        IdSet bound;
    } cases[] = {
        // A tool clicked while apps are selected leaves only the tool.
        {{id("A"), id("B"), kDeveloper}, {id("A"), id("B")}, {kDeveloper}},
        // An app added while a tool is selected drops the tool.
        {{kOrphans, id("A")}, {kOrphans}, {id("A")}},
        {{kOrphans, id("A"), id("B")}, {kOrphans, id("A")}, {id("A"), id("B")}},
        // A lone tool, apps alone and nothing are kept as they are.
        {{kDeveloper}, {id("A")}, {kDeveloper}},
        {{id("A"), id("B")}, {}, {id("A"), id("B")}},
        {{}, {id("A")}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppListView::boundSelection(c.selection, c.current), c.bound);
}

TEST(AppListRules, EmptyStateFirstCaseWins)
{
    using S = AppListView::EmptyState;
    // isScanning, appsEmpty, listedEmpty, searchEmpty, onlyUnused
    EXPECT_EQ(AppListView::emptyState(true, true, true, false, true), S::scanning);
    EXPECT_EQ(AppListView::emptyState(true, false, false, true, false), S::none)
        << "a rescan with apps listed shows the list";
    EXPECT_EQ(AppListView::emptyState(true, false, true, false, false), S::noSearchResults);
    EXPECT_EQ(AppListView::emptyState(false, false, true, false, true), S::noSearchResults);
    EXPECT_EQ(AppListView::emptyState(false, false, true, true, true), S::noUnusedApps);
    EXPECT_EQ(AppListView::emptyState(false, true, true, true, true), S::none)
        << "nothing scanned shows nothing, not No Unused Apps";
    EXPECT_EQ(AppListView::emptyState(false, true, true, true, false), S::none);
}

TEST(AppListView, RowsToolsAndAppsWithTheirTextsAndMarks)
{
    SidebarFixture f;
    InstalledApp system = SidebarFixture::app("Safari", "com.apple.Safari");
    system.isSystemApp = true;
    InstalledApp old = SidebarFixture::app("Quill");
    old.lastUsed = f.clock.now() - seconds(200 * 86'400);
    InstalledApp longName = SidebarFixture::app(std::string(300, 'x'));
    InstalledApp broken = SidebarFixture::app("Bad");
    broken.name = "Bad\xff\xfe";
    InstalledApp unnamed = SidebarFixture::app("Nameless");
    unnamed.name = "";
    f.model->setApps({system, old, longName, broken, unnamed});
    Sidebar s(f);
    AppListModel* m = child<AppListModel>(s.view, "listModel");

    ASSERT_EQ(m->rowCount(), 4 + 5);
    EXPECT_EQ(s.data(AppListModel::kToolsHeaderRow, Qt::DisplayRole), QStringLiteral("Tools"));
    EXPECT_EQ(s.data(AppListModel::kDeveloperRow, Qt::DisplayRole),
              QStringLiteral("Developer Footprint"));
    EXPECT_EQ(s.data(AppListModel::kDeveloperRow, AppListModel::SubtitleRole),
              QStringLiteral("Caches, runtimes & build junk"));
    EXPECT_EQ(s.data(AppListModel::kOrphansRow, Qt::AccessibleTextRole),
              QStringLiteral("Orphaned Files, Leftovers of apps already gone"));
    EXPECT_EQ(s.data(AppListModel::kAppsHeaderRow, Qt::DisplayRole),
              QStringLiteral("5 Applications"));
    for (int header : {AppListModel::kToolsHeaderRow, AppListModel::kAppsHeaderRow})
        EXPECT_FALSE(m->flags(m->index(header)) & Qt::ItemIsSelectable);
    EXPECT_EQ(m->idAt(AppListModel::kDeveloperRow), kDeveloper);

    const int safari = s.rowOf("Safari");
    EXPECT_TRUE(s.data(safari, AppListModel::SystemAppRole).toBool());
    EXPECT_EQ(s.data(safari, Qt::AccessibleTextRole),
              QStringLiteral("Safari, Ready to scan, Comes with macOS"));
    const int quill = s.rowOf("Quill");
    EXPECT_TRUE(s.data(quill, AppListModel::UnusedRole).toBool());
    EXPECT_EQ(s.data(quill, AppListModel::SubtitleRole), QStringLiteral("Used 6 mo. ago"));
    EXPECT_EQ(s.data(s.rowOf(std::string(300, 'x')), Qt::ToolTipRole).toString().size(), 300)
        << "the full name in the tooltip";
    EXPECT_EQ(s.data(s.rowOf("Bad"), Qt::DisplayRole),
              QStringLiteral("Bad") + QChar(0xFFFD) + QChar(0xFFFD));
    EXPECT_EQ(s.data(s.rowOf("Nameless"), Qt::DisplayRole), QStringLiteral("Nameless"));
}

TEST(AppListView, IdenticalNamesKeepTheirOrderAndSearchesAreLiteral)
{
    SidebarFixture f;
    InstalledApp first = SidebarFixture::app("Twin");
    InstalledApp second = first;
    second.url = platform::MacPath("/Applications/Other/Twin.app");
    f.model->setApps({first, second, SidebarFixture::app("abc"), SidebarFixture::app("100% Pure")});
    Sidebar s(f);
    ASSERT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().size(), 4u);
    std::vector<std::string> twins;
    for (const auto& app : child<AppListModel>(s.view, "listModel")->listedApps())
        if (app.name == "Twin")
            twins.push_back(app.id());
    EXPECT_EQ(twins, (std::vector<std::string>{first.id(), second.id()}));

    QTest::keyClicks(child<SearchField>(s.view, "searchField"), QStringLiteral("a.c"));
    EXPECT_EQ(f.model->searchText(), "a.c") << "typing writes the controller's text";
    nextTurn();
    EXPECT_TRUE(child<AppListModel>(s.view, "listModel")->listedApps().empty())
        << "a dot is no wildcard";
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::noSearchResults);
    ASSERT_NE(child<EmptyStateView>(s.view, "searchEmptyView"), nullptr);
    EXPECT_EQ(testsupport::emptyStateTexts(child<EmptyStateView>(s.view, "searchEmptyView")),
              (QStringList{QStringLiteral("No Results for “a.c”"),
                           QStringLiteral("Check the spelling or try a new search.")}));

    f.model->setSearchText("0%");
    nextTurn();
    EXPECT_EQ(child<SearchField>(s.view, "searchField")->text(), QStringLiteral("0%"))
        << "the field follows";
    ASSERT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().size(), 1u);
    EXPECT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().front().name, "100% Pure");
}

TEST(AppListView, SpacesSearchListsEverythingYetCountsAsASearch)
{
    SidebarFixture f;
    InstalledApp recent = SidebarFixture::app("Quill");
    recent.lastUsed = f.clock.now() - seconds(60);
    f.model->setApps({recent, SidebarFixture::app("Inkwell")});
    Sidebar s(f);
    f.model->setSearchText("   ");
    nextTurn();
    EXPECT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().size(), 2u);
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::none);

    child<QAction>(s.view, "showOnlyUnusedAction")->trigger();
    EXPECT_TRUE(child<AppListModel>(s.view, "listModel")->showOnlyUnused());
    EXPECT_TRUE(child<AppListModel>(s.view, "listModel")->listedApps().empty());
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::noSearchResults)
        << "the raw text decides";
    EXPECT_EQ(s.data(AppListModel::kAppsHeaderRow, Qt::DisplayRole),
              QStringLiteral("0 Unused Applications"));
    f.model->setSearchText("");
    nextTurn();
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::noUnusedApps);
    EXPECT_EQ(testsupport::emptyStateTexts(child<EmptyStateView>(s.view, "unusedEmptyView")),
              (QStringList{QStringLiteral("No Unused Apps"),
                           QStringLiteral("Every app was opened in the last six months.")}));

    f.clock.advance(seconds(15'724'800 - 60));
    s.view->setShowOnlyUnused(false);
    s.view->setShowOnlyUnused(true);
    EXPECT_TRUE(child<AppListModel>(s.view, "listModel")->listedApps().empty())
        << "exactly 182 days";
    f.clock.advance(seconds(1));
    s.view->setShowOnlyUnused(false);
    s.view->setShowOnlyUnused(true);
    ASSERT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().size(), 1u)
        << "one second more";
    EXPECT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().front().name, "Quill");
}

TEST(AppListView, ScanningShowsOnlyWhileNothingIsListed)
{
    SidebarFixture f;
    Sidebar s(f);
    f.model->setIsScanningApps(true);
    nextTurn();
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::scanning);
    EXPECT_FALSE(child<QToolButton>(s.view, "reloadButton")->isEnabled());
    EXPECT_FALSE(s.hintShown()) << "no hint without apps";
    s.view->setShowOnlyUnused(true);
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::scanning);
    f.model->setIsScanningApps(false);
    nextTurn();
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::none);

    f.model->setApps({SidebarFixture::app("Quill")});
    s.view->setShowOnlyUnused(false);
    f.model->setIsScanningApps(true);
    nextTurn();
    EXPECT_EQ(s.shownEmptyState(), AppListView::EmptyState::none);
    EXPECT_TRUE(s.hintShown());
    EXPECT_EQ(child<QLabel>(s.view, "hintLabel")->text(),
              QStringLiteral("⌘-click apps to uninstall several at once"));
}

TEST(AppListView, CtrlClicksFollowTheToolRulesAndReachTheController)
{
    SidebarFixture f;
    f.model->setApps(
        {SidebarFixture::app("A"), SidebarFixture::app("B"), SidebarFixture::app("C")});
    Sidebar s(f);

    s.click(s.rowOf("A"));
    s.click(s.rowOf("B"), Qt::ControlModifier);
    EXPECT_EQ(f.model->selectedAppIDs(), (IdSet{id("A"), id("B")}));
    EXPECT_EQ(s.data(AppListModel::kAppsHeaderRow, Qt::DisplayRole),
              QStringLiteral("2 selected · ⌘-click for more"));
    EXPECT_FALSE(s.hintShown()) << "the hint goes with two apps selected";

    s.click(AppListModel::kDeveloperRow, Qt::ControlModifier);
    EXPECT_EQ(f.model->selectedAppIDs(), IdSet{kDeveloper});
    EXPECT_EQ(s.shownSelection(), IdSet{kDeveloper}) << "the list shows the bound selection";
    ASSERT_FALSE(s.selectCalls.empty());
    EXPECT_EQ(s.selectCalls.back(), IdSet{kDeveloper}) << "a lone tool is passed on";
    EXPECT_TRUE(s.hintShown());

    s.click(s.rowOf("C"), Qt::ControlModifier);
    EXPECT_EQ(f.model->selectedAppIDs(), IdSet{id("C")});
    EXPECT_EQ(s.shownSelection(), IdSet{id("C")});
    EXPECT_EQ(s.selectCalls.back(), IdSet{id("C")});

    s.click(s.rowOf("A"), Qt::ShiftModifier);
    EXPECT_EQ(f.model->selectedAppIDs(), (IdSet{id("A"), id("B"), id("C")}))
        << "shift-click extends";
    s.click(AppListModel::kAppsHeaderRow);
    EXPECT_EQ(f.model->selectedAppIDs().size(), 3u) << "a header takes no click";
}

TEST(AppListView, ControllerChangesSelectRowsWithoutEchoAndHomeGoesThroughTheController)
{
    SidebarFixture f;
    f.model->setApps(
        {SidebarFixture::app("A"), SidebarFixture::app("B"), SidebarFixture::app("C")});
    Sidebar s(f);
    auto* counting = new CountingRow(nullptr, s.view.get());
    s.list()->setItemDelegate(counting);
    EXPECT_FALSE(child<QToolButton>(s.view, "homeButton")->isEnabled());

    // As a drop or a second window would: the controller's selection changes.
    counting->painted.clear();
    f.model->setSelectedAppIDs({id("A"), id("C")});
    nextTurn();
    EXPECT_EQ(s.shownSelection(), (IdSet{id("A"), id("C")}));
    EXPECT_GT(counting->painted[s.rowOf("A")], 0) << "the new rows are repainted";
    EXPECT_GT(counting->painted[s.rowOf("C")], 0);
    EXPECT_TRUE(s.selectCalls.empty()) << "nothing echoed back";
    EXPECT_TRUE(child<QToolButton>(s.view, "homeButton")->isEnabled());
    EXPECT_EQ(s.data(AppListModel::kAppsHeaderRow, Qt::DisplayRole),
              QStringLiteral("2 selected · ⌘-click for more"));

    child<QToolButton>(s.view, "homeButton")->click();
    nextTurn();
    ASSERT_EQ(s.selectCalls.size(), 1u);
    EXPECT_TRUE(s.selectCalls.front().empty());
    EXPECT_TRUE(f.model->selectedAppIDs().empty()) << "cleared by the controller";
    EXPECT_TRUE(s.shownSelection().empty());
    EXPECT_FALSE(child<QToolButton>(s.view, "homeButton")->isEnabled());
    EXPECT_EQ(s.selectCalls.size(), 1u);
}

TEST(AppListView, ToolbarMenuSortsAndReloadsOnlyWhenAsked)
{
    SidebarFixture f;
    InstalledApp a = SidebarFixture::app("Alpha");
    a.lastUsed = f.clock.now() - seconds(3600);
    InstalledApp b = SidebarFixture::app("Beta");
    b.lastUsed = f.clock.now() - seconds(60);
    f.model->setApps({a, b});
    Sidebar s(f);
    EXPECT_EQ(child<QToolButton>(s.view, "homeButton")->toolTip(),
              QStringLiteral("Back to the overview"));
    EXPECT_EQ(child<QToolButton>(s.view, "reloadButton")->toolTip(),
              QStringLiteral("Reload Applications (⇧⌘R)"));
    EXPECT_TRUE(child<QAction>(s.view, "sortByNameAction")->isChecked());
    EXPECT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().front().name, "Alpha");

    child<QAction>(s.view, "sortByLastUsedAction")->trigger();
    EXPECT_EQ(f.model->sortOrder(), controller::SortOrder::lastUsed);
    EXPECT_EQ(child<AppListModel>(s.view, "listModel")->listedApps().front().name, "Beta");
    EXPECT_EQ(s.scanCalls, 0) << "changing the order only re-sorts";

    QAction* apple = child<QAction>(s.view, "showAppleAppsAction");
    EXPECT_EQ(apple->toolTip(), QStringLiteral("List the apps that come with macOS. Veldo shows "
                                               "their files but won’t remove them."));
    apple->trigger();
    EXPECT_TRUE(f.model->includeSystemApps());
    EXPECT_EQ(s.scanCalls, 1);
    apple->trigger();
    EXPECT_FALSE(f.model->includeSystemApps());
    EXPECT_EQ(s.scanCalls, 2);
    child<QToolButton>(s.view, "reloadButton")->click();
    EXPECT_EQ(s.scanCalls, 3);
}

// The menu a right-click on `row` opens, or null when none opens.
QMenu* rightClickMenu(Sidebar& s, int row)
{
    QTest::mousePress(s.view->windowHandle(), Qt::RightButton, {},
                      s.list()->viewport()->mapTo(s.view.get(), s.rectOf(row).center()));
    QTest::mouseRelease(s.list()->viewport(), Qt::RightButton, {}, s.rectOf(row).center());
    QCoreApplication::processEvents();
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

TEST(AppListView, ContextMenuEntriesAndClipboard)
{
    SidebarFixture f;
    f.model->setApps({SidebarFixture::app("Quill", "com.quill.app"), SidebarFixture::app("Plain")});
    Sidebar s(f);
    EXPECT_EQ(rightClickMenu(s, AppListModel::kDeveloperRow), nullptr);

    QPointer<QMenu> menu = rightClickMenu(s, s.rowOf("Quill"));
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction* action : menu->actions())
        titles << action->text();
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("Reveal in Finder"),
                           QStringLiteral("Copy Bundle Identifier"), QStringLiteral("Copy Path")}));
    menu->actions()[1]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("com.quill.app"));
    menu->actions()[2]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("/Applications/Quill.app"));
    menu->actions()[0]->trigger();
    ASSERT_EQ(s.reveals.size(), 1u);
    EXPECT_EQ(s.reveals.front(), std::vector{platform::MacPath("/Applications/Quill.app")});
    menu->close();
    QCoreApplication::processEvents();

    QPointer<QMenu> plain = rightClickMenu(s, s.rowOf("Plain"));
    ASSERT_NE(plain, nullptr);
    ASSERT_EQ(plain->actions().size(), 2);
    EXPECT_EQ(plain->actions()[1]->text(), QStringLiteral("Copy Path"));
    plain->close();
    QCoreApplication::processEvents();
}

// The open menu's "Copy Path", which names the app the menu is for; closes the menu.
QString copiedPathOfOpenMenu()
{
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || menu->actions().isEmpty())
        return {};
    menu->actions().back()->trigger();
    menu->close();
    nextTurn();
    return QGuiApplication::clipboard()->text();
}

TEST(AppListView, ARightClickOrTheMenuKeyShowsTheRowsMenuAndKeepsTheSelection)
{
    SidebarFixture f;
    f.model->setApps({SidebarFixture::app("Kestrel"), SidebarFixture::app("Nettle"),
                      SidebarFixture::app("Opal")});
    Sidebar s(f);
    s.click(s.rowOf("Opal"));
    s.click(s.rowOf("Nettle"), Qt::ControlModifier);
    const IdSet chosen{id("Opal"), id("Nettle")};
    ASSERT_EQ(f.model->selectedAppIDs(), chosen);
    const std::size_t calls = s.selectCalls.size();
    const QModelIndex current = s.list()->currentIndex();

    // As the window system delivers it: the press, then the context-menu event it triggers.
    QWindow* window = s.view->windowHandle();
    const QPoint kestrel =
        s.list()->viewport()->mapTo(s.view.get(), s.rectOf(s.rowOf("Kestrel")).center());
    QTest::mousePress(window, Qt::RightButton, {}, kestrel);
    nextTurn();
    EXPECT_EQ(copiedPathOfOpenMenu().toStdString(), "/Applications/Kestrel.app");
    QTest::mouseRelease(s.list()->viewport(), Qt::RightButton, {}, s.rectOf(0).center());
    QTest::mouseDClick(s.list()->viewport(), Qt::RightButton, {},
                       s.rectOf(s.rowOf("Kestrel")).center());
    nextTurn();
    EXPECT_EQ(f.model->selectedAppIDs(), chosen);
    EXPECT_EQ(s.shownSelection(), chosen);
    EXPECT_EQ(s.list()->currentIndex(), current);
    EXPECT_EQ(s.selectCalls.size(), calls) << "the detail pane is not asked to change";

    // The menu key opens the menu of the current row.
    s.list()->setFocus();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0),
                          s.list()->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(s.list(), &key);
    nextTurn();
    EXPECT_EQ(copiedPathOfOpenMenu().toStdString(), "/Applications/Nettle.app");
    EXPECT_EQ(f.model->selectedAppIDs(), chosen);

    // A tool row has no menu, and a right-click there selects nothing either.
    QTest::mousePress(
        window, Qt::RightButton, {},
        s.list()->viewport()->mapTo(s.view.get(), s.rectOf(AppListModel::kDeveloperRow).center()));
    nextTurn();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(f.model->selectedAppIDs(), chosen);
}

TEST(AppListView, ThreeHundredAppsTouchNoDiskInDataAndPaintOnlyVisibleRows)
{
    SidebarFixture f;
    // Generated bundles, each with its own small icon.
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QByteArray icns;
    QBuffer buffer(&icns);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "ICNS"));
    std::vector<InstalledApp> apps;
    for (int i = 0; i < 300; ++i) {
        InstalledApp app = SidebarFixture::app("App " + std::to_string(1000 + i));
        app.lastUsed = f.clock.now() - seconds(i * 86'400);
        f.mac.makeApp(
            app.url, platform::PlistValue::Dictionary{
                         {"CFBundleName", app.name}, {"CFBundleIconFile", std::string("AppIcon")}});
        f.mac.write(app.url.appendingPathComponent("Contents/Resources/AppIcon.icns"),
                    icns.toStdString());
        apps.push_back(app);
    }
    f.model->setApps(apps);
    platform::qt::AppIconProvider icons;
    std::atomic<int> guiThreadReads{0};
    icons.setThreadProbe([&](platform::qt::AppIconProvider::Stage stage, bool onGui) {
        if (onGui && stage != platform::qt::AppIconProvider::Stage::pixmap)
            ++guiThreadReads;
    });
    AppListView::Options options;
    options.clock = &f.clock;
    options.icons = &icons;
    options.actions.selectApps = [](IdSet) {};
    AppListView view(f.model.get(), std::move(options));
    testsupport::testModelsOf(&view);
    auto* counting = new CountingRow(&icons, &view);
    child<QListView>(view, "listView")->setItemDelegate(counting);
    view.resize(300, 600);
    view.show();
    nextTurn();

    const int before = f.counts->onGuiThread;
    AppListModel* m = child<AppListModel>(view, "listModel");
    ASSERT_EQ(m->rowCount(), 304);
    for (int row = 0; row < m->rowCount(); ++row)
        for (int role = 0; role <= AppListModel::UnusedRole; ++role)
            (void)m->data(m->index(row), role);
    EXPECT_EQ(f.counts->onGuiThread, before) << "no service from data()";
    EXPECT_EQ(guiThreadReads, 0) << "icons are read on the provider's threads";

    counting->painted.clear();
    QScrollBar* bar = child<QListView>(view, "listView")->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    child<QListView>(view, "listView")->viewport()->repaint();
    const int visible = child<QListView>(view, "listView")->viewport()->height() /
                            child<QListView>(view, "listView")->visualRect(m->index(10)).height() +
                        2;
    EXPECT_GT(counting->painted.size(), 0u);
    EXPECT_LE(static_cast<int>(counting->painted.size()), visible);
    EXPECT_EQ(counting->painted.count(AppListModel::kFirstAppRow), 0u) << "the top is not painted";
    EXPECT_EQ(f.counts->scans, 0) << "the sidebar never scans";

    // The visible rows' icons arrive from the provider's threads and repaint their rows.
    std::set<int> changedRows;
    QObject::connect(
        m, &QAbstractItemModel::dataChanged,
        [&](const QModelIndex& from, const QModelIndex&) { changedRows.insert(from.row()); });
    counting->painted.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !changedRows.empty(); }, 10'000));
    nextTurn();
    EXPECT_EQ(guiThreadReads, 0);
    for (int row : changedRows)
        EXPECT_GE(row, AppListModel::kFirstAppRow);
    EXPECT_GT(counting->painted.size(), 0u) << "rows whose icon arrived are repainted";
}

} // namespace
} // namespace veldo::ui
