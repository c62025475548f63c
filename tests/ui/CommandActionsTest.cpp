// The menu commands: each main window's menu bar, the Undo item's title and states, the rescan
// item's six titles and what each awaits, Reload, bringing a main window back, focusing the
// search field, the one Help window through either shortcut, and the update check.
#include "app/ui/CommandActions.h"

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppShell.h"
#include "app/ui/HelpView.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ResultBanner.h"
#include "app/ui/SearchField.h"
#include "tests/platform/qt/LoopbackFeedServer.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ShownWindows.h"
#include "tests/ui/UpdaterFixture.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::mainWindowCount;
using testsupport::topLevelWindow;
namespace {

using controller::IdSet;
using namespace testsupport::literals;
using Kind = testsupport::RecordingUserDriver::Shown::Kind;

core::InstalledApp app(const std::string& name)
{
    core::InstalledApp a;
    a.url = platform::MacPath("/Applications/" + name + ".app");
    a.name = name;
    return a;
}

// Which scan services ran, in order. Thread-safe: the scans call it on the pool.
class CallLog
{
public:
    void add(std::string call)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

class CommandActionsTest : public testsupport::UpdaterFixture
{
protected:
    CommandActionsTest()
    {
        controller::ControllerServices services;
        services.appScan = [this](const std::vector<core::ScopedAccessRoot>&, bool,
                                  std::stop_token) -> Result<std::vector<core::InstalledApp>> {
            log.add("apps");
            return std::vector<core::InstalledApp>{app("Quill"), app("Inkwell")};
        };
        services.leftoverScan = [this](const core::InstalledApp& a,
                                       const std::vector<core::ScopedAccessRoot>&,
                                       std::stop_token) -> Result<std::vector<core::LeftoverItem>> {
            log.add("leftovers " + a.name);
            return std::vector<core::LeftoverItem>{};
        };
        services.orphanScan = [this](const std::optional<std::vector<core::InstalledApp>>&,
                                     std::stop_token) {
            log.add("orphans");
            return scanners::OrphanScanResult{};
        };
        services.toolchainScan = [this](const platform::MacPath&, std::stop_token) {
            log.add("developer");
            return std::vector<core::ToolchainGroup>{};
        };
        services.packageScan = [this](std::stop_token) {
            log.add("packages");
            return std::vector<core::PackageGroup>{};
        };
        services.loadCaskIndex = [](bool, std::stop_token) -> Result<leftovers::CaskIndex> {
            return leftovers::CaskIndex{};
        };
        model = std::make_unique<controller::UninstallViewModel>(nullptr, nullptr, appDefaults,
                                                                 std::move(services));
        model->setApps({app("Quill"), app("Inkwell")});

        WindowOperations operations;
        operations.undoLastRemoval = [this] { ++undos; };
        WindowContent content;
        content.sidebar = [](controller::UninstallViewModel&, QWidget* parent) -> QWidget* {
            auto* sidebar = new QWidget(parent);
            auto* column = new QVBoxLayout(sidebar);
            column->addWidget(new SearchField(QStringLiteral("Search apps"), sidebar));
            return sidebar;
        };
        content.commands = [](AppShell& s, MainWindow& window) {
            CommandActions::of(s).attach(window);
        };
        content.help = [](AppShell& s, QWidget* window) -> QWidget* {
            window->addActions(CommandActions::of(s).windowActions());
            return new HelpView(QStringLiteral("updates.example.net"), window);
        };
        AppShell::Options options;
        options.quit = [] {};
        shell =
            std::make_unique<AppShell>(*model, std::move(operations), std::move(content), options);
        updater = makeController(signs());
        actions = new CommandActions(*shell, *updater, shell.get());
    }

    ~CommandActionsTest() override
    {
        closeWindows();
        shell.reset();
        model.reset();
    }

    static void closeWindows()
    {
        std::vector<QPointer<QWidget>> windows;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<MainWindow*>(widget) || widget->objectName() == "help")
                windows.emplace_back(widget);
        for (const QPointer<QWidget>& window : windows)
            delete window.data();
    }

    MainWindow* open()
    {
        auto* window = static_cast<MainWindow*>(shell->openWindow(QStringLiteral("main")));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return window;
    }

    bool waitForCalls(std::size_t count)
    {
        return QTest::qWaitFor([&] { return log.calls().size() >= count; }, 5000);
    }

    std::shared_ptr<platform::UserDefaults> appDefaults =
        std::make_shared<platform::UserDefaults>(platform::MacPath("/Users/Shared/app.plist"));
    CallLog log;
    int undos = 0;
    std::unique_ptr<controller::UninstallViewModel> model;
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<UpdaterController> updater;
    CommandActions* actions = nullptr;
};

QStringList titles(const QMenu* menu)
{
    QStringList list;
    for (const QAction* action : menu->actions())
        list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

TEST_F(CommandActionsTest, EveryMainWindowGetsTheMenusInOrder)
{
    MainWindow* first = open();
    MainWindow* second = open();
    for (MainWindow* window : {first, second}) {
        QMenuBar* bar = window->menuBar();
        QStringList menus;
        for (QAction* action : bar->actions())
            menus << action->text();
        EXPECT_EQ(menus, (QStringList{"Veldo", "File", "Edit", "View", "Window", "Help"}));
        const auto menu = [bar](int i) { return bar->actions()[i]->menu(); };
        EXPECT_EQ(titles(menu(0)),
                  (QStringList{QString::fromUtf8("Check for Updates\u2026"), "-",
                               QString::fromUtf8("Settings\u2026"), "-", "Quit Veldo"}));
        EXPECT_EQ(titles(menu(1)), QStringList{"Close"});
        EXPECT_EQ(titles(menu(2)), (QStringList{"-", "Undo Last Cleanup", "-", "Find Apps"}));
        EXPECT_EQ(titles(menu(3)),
                  (QStringList{"Rescan Applications", "Reload Applications", "-"}));
        EXPECT_EQ(titles(menu(4)).mid(0, 2), (QStringList{"Veldo", "-"}));
        EXPECT_EQ(titles(menu(5)), QStringList{"Veldo Help"});
    }
    // The Window menu lists the open windows when it opens.
    shell->openWindow(QStringLiteral("help"));
    QMenu* windows = first->menuBar()->actions()[4]->menu();
    emit windows->aboutToShow();
    const QStringList listed = titles(windows);
    EXPECT_EQ(listed.count("Veldo"), 3) << listed.join('|').toStdString();
    EXPECT_EQ(listed.count("Veldo Help"), 1) << listed.join('|').toStdString();

    const struct
    {
        QAction* action;
        QList<QKeySequence> keys;
    } keys[] = {
        {child<QAction>(actions, "settings"), {QKeySequence(Qt::CTRL | Qt::Key_Comma)}},
        {child<QAction>(actions, "quit"), {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
        {child<QAction>(actions, "close"), {QKeySequence(Qt::CTRL | Qt::Key_W)}},
        {child<QAction>(actions, "undo"), {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z)}},
        {child<QAction>(actions, "findApps"), {QKeySequence(Qt::CTRL | Qt::Key_F)}},
        {child<QAction>(actions, "showMainWindow"), {QKeySequence(Qt::CTRL | Qt::Key_0)}},
        {child<QAction>(actions, "rescan"), {QKeySequence(Qt::CTRL | Qt::Key_R)}},
        {child<QAction>(actions, "reload"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)}},
        {child<QAction>(actions, "help"),
         {QKeySequence(Qt::CTRL | Qt::Key_Question),
          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Question)}},
    };
    for (const auto& k : keys)
        EXPECT_EQ(k.action->shortcuts(), k.keys) << k.action->text().toStdString();
}

TEST_F(CommandActionsTest, UndoFollowsTheLastOutcomeAndTheBusyFlags)
{
    MainWindow* window = open();
    QAction* undo = child<QAction>(actions, "undo");
    // The result banner's Undo button is enabled exactly when the menu item is.
    auto* bannerUndo =
        child<QPushButton>(child<ResultBanner>(window, "resultBanner"), "undoButton");
    EXPECT_FALSE(undo->isEnabled()) << "before any removal";
    removal::UninstallOutcome outcome;
    outcome.restorePoints.resize(2);
    model->setLastOutcome(outcome);
    model->setShowResultBanner(true);
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_TRUE(bannerUndo->isEnabled());
    EXPECT_EQ(undo->text(), "Undo Last Cleanup");
    model->setIsRemoving(true);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(bannerUndo->isEnabled()) << "another removal runs";
    model->setIsRemoving(false);
    model->setIsUndoing(true);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(bannerUndo->isEnabled());
    model->setIsUndoing(false);
    EXPECT_TRUE(bannerUndo->isEnabled());
    outcome.restorePoints[1].needsAdmin = true;
    model->setLastOutcome(outcome);
    EXPECT_EQ(undo->text(), QString::fromUtf8("Undo Last Cleanup\u2026"));
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(undos, 1);
    // An outcome without restore points has nothing to undo.
    model->setLastOutcome(removal::UninstallOutcome{});
    EXPECT_FALSE(undo->isEnabled());
}

TEST_F(CommandActionsTest, TheRescanItemFollowsTheSelectionAndAwaitsItsOperation)
{
    MainWindow* window = open();
    const auto select = [this](IdSet ids, core::DeveloperTab tab,
                               std::optional<core::InstalledApp> detail) {
        model->setSelectedAppIDs(std::move(ids));
        model->setDeveloperTab(tab);
        model->setSelectedAppID(detail ? std::optional(detail->id()) : std::nullopt);
        model->setDetailApp(detail);
    };
    using T = core::DeveloperTab;
    const struct
    {
        IdSet selection;
        T tab;
        std::optional<core::InstalledApp> detail;
        const char* title;
        std::vector<std::string> calls;
    } cases[] = {
        {{"veldo://developer"}, T::footprint, {}, "Rescan Developer Footprint", {"developer"}},
        {{"veldo://developer"}, T::map, {}, "Rescan Developer Footprint", {"developer"}},
        {{"veldo://orphans"}, T::packages, {}, "Scan for Orphaned Files", {"orphans"}},
        {{"veldo://developer", "veldo://orphans"},
         T::packages,
         {},
         "Rescan Applications",
         {"apps"}},
        {{"/Applications/Quill.app", "/Applications/Inkwell.app"},
         T::footprint,
         {},
         "Rescan Selected Apps",
         {"apps", "leftovers Quill", "leftovers Inkwell"}},
        {{"/Applications/Quill.app"},
         T::footprint,
         app("Quill"),
         "Rescan Leftovers",
         {"leftovers Quill"}},
        {{}, T::footprint, {}, "Rescan Applications", {"apps"}},
    };
    for (const auto& c : cases) {
        select(c.selection, c.tab, c.detail);
        QCoreApplication::processEvents();
        EXPECT_EQ(child<QAction>(actions, "rescan")->text(), c.title);
        log.clear();
        QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
        ASSERT_TRUE(waitForCalls(c.calls.size())) << c.title;
        QTest::qWait(20);
        auto calls = log.calls();
        // The batch's scans run side by side: their order is free, the app list comes first.
        if (c.calls.size() > 2)
            std::sort(calls.begin() + 1, calls.end(), std::greater<>());
        EXPECT_EQ(calls, c.calls) << c.title;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isScanningApps(); }, 5000));
    }

    select({"veldo://developer"}, T::packages, {});
    EXPECT_EQ(child<QAction>(actions, "rescan")->text(), "Rescan Packages");
    log.clear();
    child<QAction>(actions, "rescan")->trigger();
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(log.calls(), std::vector<std::string>{"packages"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isScanningPackages(); }, 5000));

    // Enabled while the app list is scanned, not while a removal or an undo runs.
    model->setIsScanningApps(true);
    EXPECT_TRUE(child<QAction>(actions, "rescan")->isEnabled());
    model->setIsRemoving(true);
    EXPECT_FALSE(child<QAction>(actions, "rescan")->isEnabled());
    model->setIsRemoving(false);
    model->setIsUndoing(true);
    EXPECT_FALSE(child<QAction>(actions, "rescan")->isEnabled());
    model->setIsUndoing(false);
}

// "Review" on a Trash notice shows an app the list no longer holds: the item follows the detail
// app, which the controller sets after the selection.
TEST_F(CommandActionsTest, TheRescanItemFollowsTheDetailAppOfAReviewedTrashNotice)
{
    open();
    controller::TrashedAppNotice notice;
    notice.id = "kestrel";
    notice.app = app("Kestrel");
    notice.bundle.trashURL = "/Users/Shared/.Trash/Kestrel.app"_mac;
    model->setTrashNotices({notice});
    EXPECT_EQ(child<QAction>(actions, "rescan")->text().toStdString(), "Rescan Applications");
    model->reviewTrashedApp(notice).detach();
    EXPECT_EQ(child<QAction>(actions, "rescan")->text().toStdString(), "Rescan Leftovers");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->isScanningLeftovers(); }, 5000));
    EXPECT_EQ(log.calls(), std::vector<std::string>{"leftovers Kestrel"});
}

TEST_F(CommandActionsTest, ReloadNeedsAnApplicationsFolderAndNoScanRunning)
{
    open();
    QAction* reload = child<QAction>(actions, "reload");
    EXPECT_TRUE(reload->isEnabled());
    model->setIsScanningApps(true);
    EXPECT_FALSE(reload->isEnabled());
    model->setIsScanningApps(false);
    const auto roots = model->grantedAccess();
    std::vector<core::ScopedAccessRoot> libraryOnly;
    for (const auto& root : roots)
        if (root.kind != core::AccessRootKind::applications &&
            root.kind != core::AccessRootKind::userApplications)
            libraryOnly.push_back(root);
    model->setGrantedAccess(libraryOnly);
    EXPECT_FALSE(reload->isEnabled());
    model->setGrantedAccess(roots);
    EXPECT_TRUE(reload->isEnabled());
    reload->trigger();
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(log.calls(), std::vector<std::string>{"apps"});
}

TEST_F(CommandActionsTest, ControlZeroBringsAMainWindowBackOrOpensOne)
{
    // None open: the Help window's Ctrl+0 opens one.
    QWidget* help = shell->openWindow(QStringLiteral("help"));
    ASSERT_NE(help, nullptr);
    help->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    QTest::keyClick(help, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(mainWindowCount(), 1);

    // Minimised: restored, no new window.
    MainWindow* window = AppShell::findMainWindow();
    ASSERT_NE(window, nullptr);
    window->setWindowState(Qt::WindowMinimized);
    child<QAction>(actions, "showMainWindow")->trigger();
    EXPECT_EQ(mainWindowCount(), 1);
    EXPECT_FALSE(window->isMinimized());

    // Hidden, not minimised: passed over, another one opens.
    window->hide();
    child<QAction>(actions, "showMainWindow")->trigger();
    EXPECT_EQ(mainWindowCount(), 2);
}

TEST_F(CommandActionsTest, FindAppsFocusesTheSearchFieldOnTheNextTurn)
{
    MainWindow* window = open();
    auto* field = window->findChild<SearchField*>();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->placeholderText(), "Search apps");
    field->clearFocus();
    QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
    EXPECT_NE(QApplication::focusWidget(), field) << "focused on a later turn, not at once";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == field; }, 2000));

    // No window visible by the time the focusing runs: it finds none and shows nothing.
    delete window;
    child<QAction>(actions, "findApps")->trigger();
    MainWindow* opened = AppShell::findMainWindow();
    ASSERT_NE(opened, nullptr);
    opened->hide();
    QTest::qWait(20);
    EXPECT_EQ(AppShell::findMainWindow(), nullptr);
    EXPECT_TRUE(opened->isHidden());
}

TEST_F(CommandActionsTest, TheFirstVisibleSearchFieldInPreOrder)
{
    // root
    //   a (hidden field)
    //     b (field inside the hidden one)
    //   c (field)
    QWidget root;
    auto* a = new SearchField(QString(), &root);
    auto* b = new SearchField(QString(), a);
    auto* c = new SearchField(QString(), &root);
    a->setHidden(true);
    EXPECT_EQ(CommandActions::firstSearchField(&root), b) << "only a field's own flag counts";
    b->setHidden(true);
    EXPECT_EQ(CommandActions::firstSearchField(&root), c);
    c->setHidden(true);
    EXPECT_EQ(CommandActions::firstSearchField(&root), nullptr);
    a->setHidden(false);
    EXPECT_EQ(CommandActions::firstSearchField(&root), a);
    EXPECT_EQ(CommandActions::firstSearchField(a), a) << "the walk starts at the root itself";
}

TEST_F(CommandActionsTest, VeldoHelpOpensOneWindowThroughEitherShortcut)
{
    MainWindow* window = open();
    QTest::keyClick(window, Qt::Key_Question, Qt::ControlModifier);
    QWidget* help = topLevelWindow("help");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Veldo Help");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Question, Qt::ControlModifier | Qt::ShiftModifier);
    int helpWindows = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        helpWindows += widget->objectName() == "help" ? 1 : 0;
    ASSERT_EQ(helpWindows, 1);
    EXPECT_EQ(topLevelWindow("help"), help);
}

TEST_F(CommandActionsTest, TitlesFollowTheControllerWhileAMenuIsOpen)
{
    MainWindow* window = open();
    QMenu* view = window->menuBar()->actions()[3]->menu();
    view->popup(window->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    model->setSelectedAppIDs({"veldo://orphans"});
    EXPECT_EQ(titles(view).front(), "Scan for Orphaned Files");
    model->setSelectedAppIDs({});
    EXPECT_EQ(titles(view).front(), "Rescan Applications");
    view->close();
}

TEST_F(CommandActionsTest, CheckForUpdatesAsksTheFeedOverLoopback)
{
    testsupport::LoopbackFeedServer server;
    testsupport::LoopbackFeedServer::Response response;
    response.body = testsupport::appcastXml({{"28", "1.5", "https://example.com/1.5"}});
    server.setResponse(response);
    mac.makeApp("/Applications/Veldo.app"_mac,
                platform::PlistValue::Dictionary{{"CFBundleVersion", "27"},
                                                 {"CFBundleShortVersionString", "1.4"},
                                                 {"SUFeedURL", server.url().toStdString()}});
    auto loopbackUpdater = makeController(signs());
    CommandActions menu(*shell, *loopbackUpdater);
    QAction* check = child<QAction>(menu, "checkForUpdates");
    EXPECT_EQ(check->text(), QString::fromUtf8("Check for Updates\u2026"));
    ASSERT_TRUE(check->isEnabled());
    check->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !driver->shown.empty(); }, 5'000));
    EXPECT_EQ(driver->shown[0].kind, Kind::update);
    EXPECT_EQ(server.connections(), 1);
}

} // namespace
} // namespace veldo::ui
