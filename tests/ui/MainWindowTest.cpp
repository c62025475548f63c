// The main window: routing of the detail pane, the banners and the notice timer, the prompt
// sheets and the alert over one or several windows, drops, the first appearance and the window
// lifetime.
#include "app/ui/MainWindow.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileOpenEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "app/controller/UninstallViewModel.h"
#include "app/core/SystemSettings.h"
#include "app/ui/AdminEscalationSheet.h"
#include "app/ui/AppManagementSheet.h"
#include "app/ui/AppShell.h"
#include "app/ui/CardFrame.h"
#include "app/ui/CaskFailureSheet.h"
#include "app/ui/ContentView.h"
#include "app/ui/DetailPane.h"
#include "app/ui/DetailRoute.h"
#include "app/ui/DropOverlay.h"
#include "app/ui/ElidedLabel.h"
#include "app/ui/NoticeBanner.h"
#include "app/ui/ResultBanner.h"
#include "app/ui/TrashedAppBanner.h"
#include "app/ui/VeldoAppDelegate.h"
#include "app/ui/WelcomeView.h"
#include "app/ui/WindowServices.h"
#include "platform/UrlOpener.h"
#include "platform/qt/FileManagerReveal.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ShownWindows.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::mainWindowCount;
using testsupport::shownDialog;
using testsupport::topLevelWindow;
namespace {

using controller::AppManagementChoice;
using controller::IdSet;
using controller::Task;
using controller::TaskScope;
using platform::MacPath;

core::InstalledApp app(const std::string& name)
{
    core::InstalledApp app;
    app.url = MacPath("/Applications/" + name + ".app");
    app.name = name;
    return app;
}

// A notice of `name` counting `count` items.
controller::TrashedAppNotice trashNotice(std::string id, const std::string& name, int count)
{
    controller::TrashedAppNotice notice;
    notice.id = std::move(id);
    notice.app = app(name);
    notice.itemCount = count;
    return notice;
}

template <typename T>
Task<> countAnswers(TaskScope&, Task<T> prompt, std::vector<T>* answers)
{
    answers->push_back(co_await prompt);
}

// A one-line label's whole text: its tooltip holds it when the label is cut.
QString fullText(const ElidedLabel& label)
{
    return label.toolTip().isEmpty() ? label.text() : label.toolTip();
}

bool waitFor(const std::function<bool()>& condition, int milliseconds = 3000)
{
    return QTest::qWaitFor(condition, milliseconds);
}

class MainWindowTest : public testing::Test
{
protected:
    MainWindowTest() { makeShell(std::chrono::milliseconds(5000)); }

    ~MainWindowTest() override
    {
        closeMainWindows();
        m_shell.reset();
    }

    void makeShell(std::chrono::milliseconds noticeDuration,
                   std::optional<WindowContent> content = std::nullopt)
    {
        WindowOperations operations;
        operations.startLibraryWatcher = [this] { ++m_watcherStarts; };
        operations.scanApps = [this] {
            ++m_scans;
            model().setIsScanningApps(true);
        };
        operations.openApps = [this](std::vector<MacPath> urls) {
            m_opened.push_back(std::move(urls));
        };
        operations.undoLastRemoval = [this] { ++m_undos; };
        operations.reviewTrashedApp = [this](const controller::TrashedAppNotice& notice) {
            m_reviewed.push_back(notice.id);
        };
        operations.revealAlertURLs = [this](std::vector<MacPath> urls) {
            m_revealedAlerts.push_back(std::move(urls));
        };
        closeMainWindows();
        AppShell::Options options;
        options.noticeDuration = noticeDuration;
        options.quit = [this] { ++m_quits; };
        m_shell = std::make_unique<AppShell>(model(), std::move(operations),
                                             content ? std::move(*content) : counting(), options);
    }

    // Deleting a window deletes its dialogs, which are top-level widgets too.
    static void closeMainWindows()
    {
        std::vector<QPointer<MainWindow>> windows;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<MainWindow*>(widget))
                windows.emplace_back(window);
        for (const QPointer<MainWindow>& window : windows)
            delete window.data();
    }

    WindowContent counting()
    {
        WindowContent content;
        auto screen = [this](const std::string& name) {
            return [this, name](controller::UninstallViewModel&, QWidget* parent) -> QWidget* {
                ++m_made[name];
                return new QLabel(QString::fromStdString(name), parent);
            };
        };
        content.developer = screen("developer");
        content.orphans = screen("orphans");
        content.batch = screen("batch");
        content.appDetail = [this](controller::UninstallViewModel&, const core::InstalledApp& app,
                                   QWidget* parent) -> QWidget* {
            ++m_made["detail " + app.name];
            return new QLabel(QString::fromStdString(app.name), parent);
        };
        content.sidebar = screen("sidebar");
        content.settings = [](AppShell&, QWidget* window) -> QWidget* {
            return new QLabel(QStringLiteral("Settings"), window);
        };
        content.help = [](AppShell&, QWidget* window) -> QWidget* {
            return new QLabel(QStringLiteral("Help"), window);
        };
        return content;
    }

    controller::UninstallViewModel& model() { return *m_controller.model; }

    MainWindow* open()
    {
        auto* window = static_cast<MainWindow*>(m_shell->openWindow(QStringLiteral("main")));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return window;
    }

    // One event-loop turn: the detail pane routes once per turn.
    static void settle() { QApplication::processEvents(); }

    testsupport::FakeMac m_mac;
    testsupport::UiController m_controller;
    std::unique_ptr<AppShell> m_shell;
    std::map<std::string, int> m_made;
    int m_watcherStarts = 0;
    int m_scans = 0;
    int m_undos = 0;
    int m_quits = 0;
    std::vector<std::vector<MacPath>> m_opened;
    std::vector<std::string> m_reviewed;
    std::vector<std::vector<MacPath>> m_revealedAlerts;
};

TEST_F(MainWindowTest, RoutesBySetEqualityThenListedAppsThenTheSelectedApp)
{
    const core::InstalledApp a = app("A");
    const core::InstalledApp b = app("B");
    const core::InstalledApp shownLast = app("Gone");
    const struct
    {
        IdSet selection;
        std::optional<std::string> selectedAppID;
        DetailRoute route;
    } cases[] = {
        {{"veldo://developer"}, std::nullopt, DetailRoute::developer},
        {{"veldo://orphans"}, std::nullopt, DetailRoute::orphans},
        {{"veldo://developer", a.id()}, a.id(), DetailRoute::appDetail},
        {{"veldo://developer", "veldo://orphans"}, std::nullopt, DetailRoute::welcome},
        {{a.id(), b.id()}, a.id(), DetailRoute::batch},
        {{a.id(), "/Applications/Unlisted.app"}, a.id(), DetailRoute::appDetail},
        {{}, std::nullopt, DetailRoute::welcome},
        {{}, std::string("/Applications/Unlisted.app"), DetailRoute::welcome},
        {{shownLast.id()}, shownLast.id(), DetailRoute::appDetail},
    };
    model().setApps({a, b});
    model().setDetailApp(shownLast);
    for (const auto& c : cases) {
        model().setSelectedAppIDs(c.selection);
        model().setSelectedAppID(c.selectedAppID);
        EXPECT_EQ(detailRouteKey(model()).route, c.route)
            << c.selection.size() << " ids, selected " << c.selectedAppID.value_or("none");
    }
}

TEST_F(MainWindowTest, ScreensAreMadeAfreshOnlyWhenTheRouteKeyChanges)
{
    const core::InstalledApp a = app("A");
    const core::InstalledApp b = app("B");
    const core::InstalledApp c = app("C");
    model().setApps({a, b, c});
    MainWindow* window = open();
    DetailPane* pane = child<DetailPane>(child<ContentView>(window, "contentView"), "detailPane");
    EXPECT_TRUE(child<WelcomeView>(pane, "screen"));

    model().setSelectedAppIDs({a.id()});
    model().setSelectedAppID(a.id());
    settle();
    EXPECT_EQ(m_made["detail A"], 1);
    model().setApps({a, b, c, app("D")}); // the list changes, the detail app does not
    model().setLeftovers({testsupport::uiItem("/Library/Caches/a")});
    settle();
    EXPECT_EQ(m_made["detail A"], 1);
    model().setSelectedAppIDs({b.id()});
    model().setSelectedAppID(b.id());
    settle();
    EXPECT_EQ(m_made["detail B"], 1);

    model().setSelectedAppIDs({a.id(), b.id()});
    settle();
    EXPECT_EQ(m_made["batch"], 1);
    model().setSelectedAppID(a.id()); // the batch route does not follow the single selection
    model().setApps({a, b, c});
    settle();
    EXPECT_EQ(m_made["batch"], 1);
    model().setSelectedAppIDs({a.id(), b.id(), c.id()});
    settle();
    EXPECT_EQ(m_made["batch"], 2);

    model().setSelectedAppIDs({"veldo://orphans"});
    settle();
    model().setSelectedAppIDs({"veldo://developer"});
    settle();
    EXPECT_EQ(m_made["orphans"], 1);
    EXPECT_EQ(m_made["developer"], 1);
    EXPECT_EQ(m_made["sidebar"], 1);
}

TEST_F(MainWindowTest, RoutesWithoutTheirScreenShowTheWelcomeScreenAndNoSidebar)
{
    makeShell(std::chrono::milliseconds(5000), WindowContent{});
    model().setApps({app("A"), app("B")});
    MainWindow* window = open();
    for (const IdSet& selection : {IdSet{"veldo://developer"}, IdSet{"veldo://orphans"},
                                   IdSet{"/Applications/A.app", "/Applications/B.app"}}) {
        model().setSelectedAppIDs(selection);
        settle();
        EXPECT_TRUE(child<WelcomeView>(
            child<DetailPane>(child<ContentView>(window, "contentView"), "detailPane"), "screen"));
    }
    EXPECT_EQ(child<QWidget>(child<ContentView>(window, "contentView"), "sidebar"), nullptr);
    EXPECT_EQ(child<QSplitter>(child<ContentView>(window, "contentView"), "splitter")->count(), 1);
}

TEST_F(MainWindowTest, TheWindowItsSplitterAndItsFirstAppearance)
{
    MainWindow* first = open();
    EXPECT_EQ(first->objectName(), QStringLiteral("main-1"));
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Veldo"));
    EXPECT_EQ(first->size(), QSize(960, 640));
    EXPECT_EQ(child<ContentView>(first, "contentView")->minimumSize(), QSize(820, 540));
    EXPECT_TRUE(first->testAttribute(Qt::WA_DeleteOnClose));
    // The toolbar shows while it holds a visible item.
    QToolBar* toolbar = child<QToolBar>(first, "toolbar");
    EXPECT_FALSE(toolbar->isVisible());
    QAction* item = toolbar->addAction(QStringLiteral("Item"));
    ASSERT_TRUE(waitFor([&] { return toolbar->isVisible(); }));
    item->setVisible(false);
    ASSERT_TRUE(waitFor([&] { return !toolbar->isVisible(); }));
    item->setVisible(true);
    ASSERT_TRUE(waitFor([&] { return toolbar->isVisible(); }));
    toolbar->removeAction(item);
    ASSERT_TRUE(waitFor([&] { return !toolbar->isVisible(); }));
    QWidget* sidebar = child<QWidget>(child<ContentView>(first, "contentView"), "sidebar");
    ASSERT_NE(sidebar, nullptr);
    EXPECT_EQ(sidebar->minimumWidth(), 240);
    EXPECT_EQ(sidebar->maximumWidth(), 360);
    EXPECT_EQ(sidebar->width(), 280);

    // The empty list is scanned once; a second window while the scan runs scans nothing.
    EXPECT_EQ(m_watcherStarts, 1);
    EXPECT_EQ(m_scans, 1);
    MainWindow* second = open();
    EXPECT_EQ(second->objectName(), QStringLiteral("main-2"));
    EXPECT_EQ(m_scans, 1);
    model().setIsScanningApps(false);
    model().setApps({app("A")});
    open();
    EXPECT_EQ(m_scans, 1);
    EXPECT_EQ(m_watcherStarts, 3); // each window asks; the controller starts one watcher
}

TEST_F(MainWindowTest, TheNoticeGoesAfterItsDurationCountedFromItsOwnText)
{
    EXPECT_EQ(AppShell::kNoticeDuration, std::chrono::milliseconds(6000));
    {
        AppShell::Options options;
        options.quit = [] {};
        AppShell standard(model(), {}, {}, options);
        auto* window = static_cast<MainWindow*>(standard.openWindow(QStringLiteral("main")));
        EXPECT_EQ(
            child<QTimer>(child<ContentView>(window, "contentView"), "noticeTimer")->interval(),
            6000);
        delete window;
    }
    ContentView* view = child<ContentView>(open(), "contentView");
    QTimer* timer = child<QTimer>(view, "noticeTimer");
    model().setDropNotice(std::string("First"));
    EXPECT_FALSE(child<NoticeBanner>(view, "noticeBanner")->isHidden());
    EXPECT_EQ(child<QLabel>(child<NoticeBanner>(view, "noticeBanner"), "messageLabel")->text(),
              QStringLiteral("First"));
    EXPECT_TRUE(timer->isActive());

    // The same text again does not restart the wait; another text does.
    QTest::qWait(200);
    model().setDropNotice(std::string("First"));
    EXPECT_LE(timer->remainingTime(), 4850);
    model().setDropNotice(std::string("Second"));
    EXPECT_GT(timer->remainingTime(), 4850);
    EXPECT_EQ(child<QLabel>(child<NoticeBanner>(view, "noticeBanner"), "messageLabel")->text(),
              QStringLiteral("Second"));

    // Closing it ends its wait.
    child<QToolButton>(child<NoticeBanner>(view, "noticeBanner"), "dismissButton")->click();
    EXPECT_FALSE(model().dropNotice());
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(child<NoticeBanner>(view, "noticeBanner")->isHidden());

    // Its time up, it goes.
    makeShell(std::chrono::milliseconds(100));
    view = child<ContentView>(open(), "contentView");
    model().setDropNotice(std::string("Third"));
    ASSERT_TRUE(waitFor([&] { return !model().dropNotice(); }));
    EXPECT_TRUE(child<NoticeBanner>(view, "noticeBanner")->isHidden());
}

TEST_F(MainWindowTest, ALongNoticeWrapsWholeAndItsCardGrowsToFit)
{
    MainWindow* window = open();
    window->resize(1100, 700);
    QCoreApplication::processEvents();
    ContentView* view = child<ContentView>(window, "contentView");
    NoticeBanner* banner = child<NoticeBanner>(view, "noticeBanner");
    model().setDropNotice(std::string("Short."));
    const int shortHeight = banner->height();

    const std::string message =
        "Homebrew uninstalled “Orbit Browser”. Veldo found 7 leftover items — review them below "
        "and move them to the Trash. Helpers of “Orbit Browser” are still running and may "
        "recreate some files. Quit them from the menu bar or Activity Monitor.";
    model().setDropNotice(message);
    const QLabel* label = child<QLabel>(banner, "messageLabel");
    const QRect card = banner->geometry() - banner->shadowMargins();
    EXPECT_EQ(label->text().toStdString(), message);
    EXPECT_EQ(card.width(), NoticeBanner::kMaxCardWidth);
    const int oneLine = label->fontMetrics().lineSpacing();
    ASSERT_GT(label->fontMetrics().horizontalAdvance(label->text()), 2 * label->width());
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "every line shows";
    EXPECT_GE(label->height(), 3 * oneLine);
    EXPECT_TRUE(banner->rect().marginsRemoved(banner->shadowMargins()).contains(label->geometry()))
        << "inside the card";
    EXPECT_GE(card.height(), label->height() + 2 * 10) << "and its insets of 10 points";
    EXPECT_GT(card.height(),
              shortHeight - banner->shadowMargins().top() - banner->shadowMargins().bottom());

    // Placement as before: at the top, the Trash banner below the grown card.
    model().setTrashNotices({trashNotice("n", "Orbit Browser", 7)});
    const QRect trash = child<TrashedAppBanner>(view, "trashedAppBanner")->geometry() -
                        child<TrashedAppBanner>(view, "trashedAppBanner")->shadowMargins();
    EXPECT_EQ(card.top(), ContentView::kTopInset);
    EXPECT_EQ(trash.top(), card.bottom() + 1 + ContentView::kRowSpacing);

    model().setDropNotice(std::string("Short."));
    EXPECT_EQ(banner->height(), shortHeight) << "and a short notice shrinks it back";
}

TEST_F(MainWindowTest, TheTrashBannerShowsTheFirstNoticeAndCountsTheOthers)
{
    ContentView* view = child<ContentView>(open(), "contentView");
    std::vector<controller::TrashedAppNotice> notices(3);
    for (int i = 0; i < 3; ++i) {
        notices[static_cast<std::size_t>(i)].id = "notice-" + std::to_string(i);
        notices[static_cast<std::size_t>(i)].app = app("App" + std::to_string(i));
        notices[static_cast<std::size_t>(i)].itemCount = 2;
    }
    model().setTrashNotices(notices);
    TrashedAppBanner* banner = child<TrashedAppBanner>(view, "trashedAppBanner");
    EXPECT_FALSE(banner->isHidden());
    EXPECT_EQ(banner->notice().id, "notice-0");
    EXPECT_EQ(fullText(*child<ElidedLabel>(banner, "detailLabel")),
              TrashedAppBanner::detailLine(notices[0], 2));
    child<QPushButton>(banner, "reviewButton")->click();
    EXPECT_EQ(m_reviewed, std::vector<std::string>{"notice-0"});

    // Under the drop notice, 8 points below its card.
    model().setDropNotice(std::string("Notice"));
    const QRect notice = child<NoticeBanner>(view, "noticeBanner")->geometry() -
                         child<NoticeBanner>(view, "noticeBanner")->shadowMargins();
    const QRect trash = banner->geometry() - banner->shadowMargins();
    EXPECT_EQ(notice.top(), ContentView::kTopInset);
    EXPECT_EQ(trash.top(), notice.bottom() + 1 + ContentView::kRowSpacing);

    model().setTrashNotices({notices[2]});
    EXPECT_EQ(banner->notice().id, "notice-2");
    EXPECT_EQ(fullText(*child<ElidedLabel>(banner, "detailLabel")),
              TrashedAppBanner::detailLine(notices[2], 0));
    model().setTrashNotices({});
    EXPECT_TRUE(banner->isHidden());
}

TEST_F(MainWindowTest, EachBannerIsAsTallAsItsContentFromItsFirstAppearance)
{
    // Each card's first appearance, in a window that has shown none: the Trash banner alone,
    // then the drop notice above it.
    ContentView* view = child<ContentView>(open(), "contentView");
    const auto cardHeight = [](const CardFrame* card) {
        return (card->geometry() - card->shadowMargins()).height();
    };
    const auto contentHeight = [](const CardFrame* card) {
        const QMargins shadow = card->shadowMargins();
        return card->heightForWidth(card->width()) - shadow.top() - shadow.bottom();
    };

    auto* trash = child<TrashedAppBanner>(view, "trashedAppBanner");
    model().setTrashNotices({trashNotice("n", "Kestrel Video", 3)});
    ASSERT_TRUE(trash->isVisible());
    EXPECT_GT(contentHeight(trash), trash->fontMetrics().height());
    EXPECT_EQ(cardHeight(trash), contentHeight(trash)) << "the notice shows as soon as it comes";

    auto* notice = child<NoticeBanner>(view, "noticeBanner");
    model().setDropNotice(std::string("Homebrew uninstalled “Kestrel Video”."));
    ASSERT_TRUE(notice->isVisible());
    EXPECT_GT(contentHeight(notice), notice->fontMetrics().height());
    EXPECT_EQ(cardHeight(notice), contentHeight(notice));
    EXPECT_EQ((trash->geometry() - trash->shadowMargins()).top(),
              (notice->geometry() - notice->shadowMargins()).bottom() + 1 +
                  ContentView::kRowSpacing);

    // A later notice whose prompt wraps: the shown card grows with it at once.
    const int oneLine = cardHeight(trash);
    model().setTrashNotices({trashNotice(
        "m", "Kestrel Video Professional Studio Edition for Teams and Classrooms", 3)});
    EXPECT_GT(contentHeight(trash), oneLine);
    EXPECT_EQ(cardHeight(trash), contentHeight(trash));
}

TEST_F(MainWindowTest, TheResultBannerNeedsTheFlagAndAnOutcome)
{
    std::vector<std::vector<MacPath>> revealed;
    model().installUiServices(
        [&revealed](const std::vector<MacPath>& urls) { revealed.push_back(urls); }, {}, {});
    ContentView* view = child<ContentView>(open(), "contentView");
    ResultBanner* banner = child<ResultBanner>(view, "resultBanner");
    model().setShowResultBanner(true);
    EXPECT_TRUE(banner->isHidden());

    // One item failed for want of rights, one the policy refused, one was busy.
    removal::UninstallOutcome outcome =
        testsupport::movedOutcome({testsupport::uiItem("/Library/Caches/a")}, 1);
    outcome.failed.push_back(
        testsupport::failure(testsupport::uiItem("/Library/Caches/b", 0, /*requiresAdmin=*/true)));
    outcome.escalatableIDs.insert("/Library/Caches/b");
    outcome.failed.push_back(
        testsupport::failure(testsupport::uiItem("/Library/Caches/c", 0, /*requiresAdmin=*/true)));
    outcome.refusedIDs.insert("/Library/Caches/c");
    outcome.failed.push_back(testsupport::failure(testsupport::uiItem("/Library/Caches/d")));
    model().setLastOutcome(outcome);
    EXPECT_FALSE(banner->isHidden());
    const QRect card = banner->geometry() - banner->shadowMargins();
    EXPECT_EQ(card.bottom() + 1, view->height() - ContentView::kBottomInset);

    child<QPushButton>(banner, "revealButton")->click();
    ASSERT_EQ(revealed.size(), 1U);
    EXPECT_EQ(revealed[0],
              (std::vector<MacPath>{MacPath("/Library/Caches/b"), MacPath("/Library/Caches/d")}))
        << "every failed item but the refused one, which is never offered for removal by hand";
    child<QPushButton>(banner, "undoButton")->click();
    EXPECT_EQ(m_undos, 1);
    child<QPushButton>(banner, "doneButton")->click();
    EXPECT_FALSE(model().showResultBanner());
    EXPECT_TRUE(banner->isHidden());

    // App Management refused an app: "Open Settings" opens its list in System Settings.
    for (const auto& named : testsupport::bannerGallery())
        if (named.name == "permission-needed")
            model().setLastOutcome(named.outcome);
    model().setShowResultBanner(true);
    ASSERT_FALSE(child<QPushButton>(banner, "openSettingsButton")->isHidden());
    platform::testing::UrlRecorder opened;
    child<QPushButton>(banner, "openSettingsButton")->click();
    EXPECT_EQ(opened.urls(),
              std::vector<std::string>{std::string(core::SystemSettings::kAppManagementURL)});
}

// A summary that wraps makes the card taller, so every line stays inside the card, whose bottom
// stays where it belongs: in the narrowest window, a common one and a wide one.
TEST_F(MainWindowTest, TheResultBannerHoldsItsWrappedSummary)
{
    MainWindow* window = open();
    ContentView* view = child<ContentView>(window, "contentView");
    ResultBanner* banner = child<ResultBanner>(view, "resultBanner");
    // In the application the hidden card's layout has run before the first outcome, with no texts.
    banner->layout()->activate();
    for (const int width : {ContentView::kMinimumWidth, 960, 1400}) {
        window->resize(width, 640);
        ASSERT_TRUE(waitFor([&] { return view->width() == width; }));
        for (const auto& named : testsupport::bannerGallery()) {
            SCOPED_TRACE(named.name + " at " + std::to_string(width));
            // Each outcome arrives while the banner is hidden, as after a dismissed one.
            model().setShowResultBanner(false);
            settle();
            model().setLastOutcome(named.outcome);
            model().setShowResultBanner(true);
            settle();
            const QLabel* summary = child<QLabel>(banner, "summaryLabel");
            const QRect needed(summary->mapTo(banner, QPoint(0, 0)),
                               QSize(summary->width(), summary->heightForWidth(summary->width())));
            EXPECT_TRUE(banner->cardRect().toRect().contains(needed))
                << "card " << banner->height() << " high, summary needs " << needed.height();
            const QRect card = banner->geometry() - banner->shadowMargins();
            EXPECT_EQ(card.bottom() + 1, view->height() - ContentView::kBottomInset);
        }
    }
}

TEST_F(MainWindowTest, RevealSavePanelAndErrorAlertServices)
{
    platform::qt::FileManagerReveal::Recorder revealed;
    platform::qt::FileManagerReveal reveal;
    installWindowServices(model(), reveal);
    MainWindow* first = open();
    model().services().reveal({MacPath("/Users/me/Report.json")});
    ASSERT_EQ(revealed.reveals().size(), 1U);
    EXPECT_EQ(revealed.reveals()[0],
              QStringList{QString::fromStdString(m_mac.host(MacPath("/Users/me/Report.json")))});

    model().services().showErrorAlert("The file “Report.json” couldn’t be saved.");
    ASSERT_TRUE(model().activeAlert());
    MainWindow* second = open();
    for (MainWindow* window : {first, second}) {
        QMessageBox* box = shownDialog<QMessageBox>(window, "alertBox");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("The file “Report.json” couldn’t be saved."));
        EXPECT_EQ(box->buttons().size(), 1);
    }
    shownDialog<QMessageBox>(second, "alertBox")->buttons()[0]->click();
    EXPECT_FALSE(model().activeAlert());
    EXPECT_EQ(shownDialog<QMessageBox>(first, "alertBox"), nullptr);

    // The save panel opens over a main window and answers later; cancelled, it answers none.
    std::vector<std::optional<MacPath>> answers;
    model().services().chooseSaveLocation(
        {"Export Cleanup Report", "Veldo Report - Quill.json", {"json"}, true},
        [&answers](std::optional<MacPath> path) { answers.push_back(std::move(path)); });
    QFileDialog* panel = AppShell::findMainWindow()->findChild<QFileDialog*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(answers.empty());
    panel->reject();
    ASSERT_TRUE(waitFor([&] { return !answers.empty(); }));
    EXPECT_EQ(answers, std::vector<std::optional<MacPath>>{std::nullopt});
}

TEST_F(MainWindowTest, EscapeOnEachSheetRefuses)
{
    MainWindow* window = open();
    std::vector<bool> admin;
    std::vector<AppManagementChoice> appManagement;
    countAnswers(model().taskScope(),
                 model().requestAdminConfirmation({testsupport::uiItem("/Library/A")}, false),
                 &admin)
        .detach();
    AdminEscalationSheet* adminSheet = shownDialog<AdminEscalationSheet>(window, "adminSheet");
    ASSERT_NE(adminSheet, nullptr);
    EXPECT_TRUE(adminSheet->isVisible());
    EXPECT_EQ(adminSheet->windowModality(), Qt::WindowModal);
    QTest::keyClick(adminSheet, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return !admin.empty(); }));
    EXPECT_EQ(admin, std::vector<bool>{false});
    EXPECT_EQ(shownDialog<AdminEscalationSheet>(window, "adminSheet"), nullptr);

    countAnswers(
        model().taskScope(),
        model().requestAppManagementDecision({testsupport::uiItem("/Applications/A.app")}, false),
        &appManagement)
        .detach();
    ASSERT_NE(shownDialog<AppManagementSheet>(window, "appManagementSheet"), nullptr);
    QTest::keyClick(shownDialog<AppManagementSheet>(window, "appManagementSheet"), Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return !appManagement.empty(); }));
    EXPECT_EQ(appManagement, std::vector<AppManagementChoice>{AppManagementChoice::cancel});

    controller::CaskFailure failure;
    failure.id = QUuid::createUuid();
    failure.appName = "Quill";
    model().setCaskFailure(failure);
    ASSERT_NE(shownDialog<CaskFailureSheet>(window, "caskFailureSheet"), nullptr);
    QTest::keyClick(shownDialog<CaskFailureSheet>(window, "caskFailureSheet"), Qt::Key_Escape);
    EXPECT_FALSE(model().caskFailure());
    EXPECT_EQ(shownDialog<CaskFailureSheet>(window, "caskFailureSheet"), nullptr);
}

TEST_F(MainWindowTest, ASheetAnswersOnlyTheRequestItShows)
{
    MainWindow* first = open();
    MainWindow* second = open();
    std::vector<bool> answersA;
    std::vector<bool> answersB;
    countAnswers(model().taskScope(),
                 model().requestAdminConfirmation({testsupport::uiItem("/Library/A")}, false),
                 &answersA)
        .detach();
    QPointer<AdminEscalationSheet> sheetA = shownDialog<AdminEscalationSheet>(first, "adminSheet");
    ASSERT_TRUE(sheetA);
    countAnswers(model().taskScope(),
                 model().requestAdminConfirmation({testsupport::uiItem("/Library/B")}, false),
                 &answersB)
        .detach();
    // The sheet of A, closed after B was asked, answers nothing.
    ASSERT_TRUE(sheetA);
    child<QPushButton>(sheetA, "continueButton")->click();
    sheetA->reject();
    ASSERT_TRUE(waitFor([&] { return !answersA.empty(); }));
    ASSERT_TRUE(model().pendingAdminEscalation());
    EXPECT_EQ(model().pendingAdminEscalation()->items[0].id(), "/Library/B");

    // Both windows show B; the first answer wins, the other sheet closes and answers nothing.
    AdminEscalationSheet* firstB = shownDialog<AdminEscalationSheet>(first, "adminSheet");
    QPointer<AdminEscalationSheet> secondB =
        shownDialog<AdminEscalationSheet>(second, "adminSheet");
    ASSERT_TRUE(firstB && secondB);
    EXPECT_NE(firstB, secondB);
    child<QPushButton>(secondB, "continueButton")->click();
    EXPECT_EQ(shownDialog<AdminEscalationSheet>(second, "adminSheet"), nullptr);
    EXPECT_EQ(shownDialog<AdminEscalationSheet>(first, "adminSheet"), nullptr);
    if (secondB)
        secondB->reject();
    QTest::qWait(20);
    EXPECT_EQ(answersA, std::vector<bool>{false});
    EXPECT_EQ(answersB, std::vector<bool>{true});
}

TEST_F(MainWindowTest, AWindowShownLaterPresentsWhatTheControllerHolds)
{
    std::vector<bool> answers;
    countAnswers(model().taskScope(),
                 model().requestAdminConfirmation({testsupport::uiItem("/Library/A")}, true),
                 &answers)
        .detach();
    controller::CaskFailure failure;
    failure.id = QUuid::createUuid();
    failure.appName = "Quill";
    model().setCaskFailure(failure);
    model().setActiveAlert(controller::NoticeAlert{QUuid::createUuid(), "Title", "Message", {}});

    MainWindow* window = open();
    ASSERT_NE(shownDialog<AdminEscalationSheet>(window, "adminSheet"), nullptr);
    EXPECT_NE(shownDialog<CaskFailureSheet>(window, "caskFailureSheet"), nullptr);
    EXPECT_NE(shownDialog<QMessageBox>(window, "alertBox"), nullptr);
    child<QPushButton>(shownDialog<AdminEscalationSheet>(window, "adminSheet"), "continueButton")
        ->click();
    ASSERT_TRUE(waitFor([&] { return !answers.empty(); }));
    QTest::qWait(20);
    EXPECT_EQ(answers, std::vector<bool>{true});
}

TEST_F(MainWindowTest, AvoidingThePromptOpensTheAdministratorSettings)
{
    MainWindow* window = open();
    std::vector<bool> answers;
    countAnswers(model().taskScope(),
                 model().requestAdminConfirmation({testsupport::uiItem("/Library/A")}, false),
                 &answers)
        .detach();
    child<QPushButton>(shownDialog<AdminEscalationSheet>(window, "adminSheet"), "avoidButton")
        ->click();
    EXPECT_EQ(model().settingsTab(), controller::SettingsTab::administrator);
    QWidget* settings = topLevelWindow("settings");
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_TRUE(model().pendingAdminEscalation()); // no answer
    // One Settings window, raised again.
    EXPECT_EQ(m_shell->openSettings(), settings);
    EXPECT_EQ(topLevelWindow("settings"), settings);
}

TEST_F(MainWindowTest, TheAlertOffersShowInFinderOnlyWithItemsAndAnyCloseClearsIt)
{
    MainWindow* window = open();
    model().setActiveAlert(controller::NoticeAlert{
        QUuid::createUuid(), "Couldn’t Export", "The folder <b>is</b> read-only.", {}});
    QMessageBox* box = shownDialog<QMessageBox>(window, "alertBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), QStringLiteral("Couldn’t Export"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("The folder <b>is</b> read-only."));
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons()[0]->text(), QStringLiteral("OK"));
    EXPECT_EQ(box->buttonRole(box->buttons()[0]), QMessageBox::RejectRole);
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(model().activeAlert());

    const std::vector<MacPath> urls{MacPath("/Library/Caches/a"), MacPath("/Library/Caches/b")};
    model().setActiveAlert(controller::NoticeAlert{QUuid::createUuid(), "Some Items Remain",
                                                   "Two items stayed.", urls});
    box = shownDialog<QMessageBox>(window, "alertBox");
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->buttons().size(), 2);
    QAbstractButton* show = nullptr;
    for (QAbstractButton* button : box->buttons())
        if (button->text() == QStringLiteral("Show in Finder"))
            show = button;
    ASSERT_NE(show, nullptr);
    show->click();
    EXPECT_EQ(m_revealedAlerts, std::vector<std::vector<MacPath>>{urls});
    EXPECT_FALSE(model().activeAlert());
}

TEST_F(MainWindowTest, DropsHandEveryFileOfThisMacToOpenApps)
{
    ContentView* view = child<ContentView>(open(), "contentView");
    const std::string root = m_mac.root();
    const QString outside = QStringLiteral("/tmp/veldo-not-in-the-mac/Outside.app");
    const struct
    {
        const char* name;
        QStringList hostFiles;
        bool accepted;
        std::vector<MacPath> opened;
    } cases[] = {
        {"text file and folder",
         {QString::fromStdString(root + "/Users/me/notes.txt"),
          QString::fromStdString(root + "/Users/me/Documents")},
         false,
         {MacPath("/Users/me/notes.txt"), MacPath("/Users/me/Documents")}},
        {"capital extension",
         {QString::fromStdString(root + "/Applications/Foo.APP")},
         false,
         {MacPath("/Applications/Foo.APP")}},
        {"two apps, one outside the Mac",
         {QString::fromStdString(root + "/Applications/B.app"), outside,
          QString::fromStdString(root + "/Applications/A.app")},
         true,
         {MacPath("/Applications/B.app"), MacPath("/Applications/A.app")}},
    };
    // A drag of `files` enters the view and drops there; answers whether the drop was accepted.
    auto drop = [view](const QStringList& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls.push_back(QUrl::fromLocalFile(file));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_FALSE(child<DropOverlay>(view, "dropOverlay")->isHidden());
        QDropEvent event(QPointF(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
        EXPECT_TRUE(child<DropOverlay>(view, "dropOverlay")->isHidden());
        return event.isAccepted();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_opened.clear();
        EXPECT_EQ(drop(c.hostFiles), c.accepted);
        EXPECT_EQ(m_opened, std::vector<std::vector<MacPath>>{c.opened});
    }

    // Nothing of this Mac: the notice, and nothing to open.
    m_opened.clear();
    EXPECT_FALSE(drop({outside}));
    EXPECT_TRUE(m_opened.empty());
    EXPECT_EQ(model().dropNotice(),
              std::optional<std::string>("That item isn't a macOS application."));

    // A drag of web links is no drag of files.
    QMimeData links;
    links.setUrls({QUrl(QStringLiteral("https://example.com/Quill.app"))});
    QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &links, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_TRUE(child<DropOverlay>(view, "dropOverlay")->isHidden());

    // Thousands of files go in one call, in order.
    QStringList many;
    for (int i = 0; i < 5000; ++i)
        many.push_back(
            QString::fromStdString(root + "/Applications/App" + std::to_string(i) + ".app"));
    EXPECT_TRUE(drop(many));
    ASSERT_EQ(m_opened.size(), 1U);
    ASSERT_EQ(m_opened[0].size(), 5000U);
    EXPECT_EQ(m_opened[0][4999], MacPath("/Applications/App4999.app"));
}

TEST_F(MainWindowTest, ClosingTheLastMainWindowQuitsAndClosesSettings)
{
    MainWindow* first = open();
    MainWindow* second = open();
    QPointer<QWidget> settings = m_shell->openSettings();
    ASSERT_TRUE(settings);
    // One Help window, brought forward when opened again.
    QPointer<QWidget> help = m_shell->openWindow(QStringLiteral("help"));
    ASSERT_TRUE(help);
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Veldo Help"));
    EXPECT_EQ(m_shell->openWindow(QStringLiteral("help")), help.data());
    first->close();
    ASSERT_TRUE(waitFor([&] { return mainWindowCount() == 1; }));
    EXPECT_EQ(m_quits, 0);
    EXPECT_TRUE(settings->isVisible());
    second->close();
    ASSERT_TRUE(waitFor([&] { return m_quits == 1; }));
    EXPECT_TRUE(!settings || !settings->isVisible());
    EXPECT_TRUE(!help || !help->isVisible());
}

TEST_F(MainWindowTest, ShowMainWindowRestoresAMinimisedWindowAndPassesOverAHiddenOne)
{
    MainWindow* window = open();
    window->showMinimized();
    ASSERT_TRUE(waitFor([&] { return window->isMinimized(); }));
    EXPECT_EQ(AppShell::findMainWindow(), window);
    VeldoAppDelegate delegate(*m_shell);
    delegate.openItems({}); // a second start without paths
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(mainWindowCount(), 1);
    EXPECT_TRUE(m_opened.empty());

    window->hide();
    EXPECT_EQ(AppShell::findMainWindow(), nullptr);
    m_shell->showMainWindow();
    EXPECT_EQ(mainWindowCount(), 2);
    EXPECT_NE(AppShell::findMainWindow(), window);
}

TEST_F(MainWindowTest, OpenedItemsGoToOpenAppsThroughTheWindowOnScreen)
{
    open();
    VeldoAppDelegate delegate(*m_shell);
    delegate.openItems({MacPath("/Applications/A.app"), std::nullopt, MacPath("/Users/me/x.txt")});
    EXPECT_EQ(mainWindowCount(), 1);
    EXPECT_EQ(m_opened, (std::vector<std::vector<MacPath>>{
                            {MacPath("/Applications/A.app"), MacPath("/Users/me/x.txt")}}));
    delegate.openItems({std::nullopt});
    EXPECT_EQ(m_opened.size(), 1U);

    // A file-open event of the platform takes the same road.
    QApplication::instance()->installEventFilter(&delegate);
    QFileOpenEvent event(QString::fromStdString(m_mac.host(MacPath("/Applications/B.app"))));
    QApplication::sendEvent(QApplication::instance(), &event);
    ASSERT_EQ(m_opened.size(), 2U);
    EXPECT_EQ(m_opened[1], std::vector<MacPath>{MacPath("/Applications/B.app")});
    EXPECT_EQ(model().dropNotice(),
              std::optional<std::string>("That item isn't a macOS application."));
}

} // namespace
} // namespace veldo::ui

namespace veldo::ui {

using testsupport::child;
using testsupport::mainWindowCount;
using testsupport::shownDialog;
using testsupport::topLevelWindow;
namespace {

// The window over the real controller operations (the library watcher aside), on a fake Mac with
// two apps.
TEST(MainWindowWithController, DropsOpenAndSelectAppsAndASecondWindowDoesNotRescan)
{
    testsupport::FakeMac mac;
    for (const char* name : {"Quill", "Inkwell"})
        mac.makeApp(MacPath(std::string("/Applications/") + name + ".app"),
                    platform::PlistValue::Dictionary{
                        {"CFBundleIdentifier", std::string("com.example.") + name},
                        {"CFBundleName", std::string(name)}});
    mac.write(MacPath("/Users/me/notes.txt"), "notes");
    testsupport::UiController controller;
    controller::UninstallViewModel& model = *controller.model;
    int batches = 0;
    WindowContent content;
    content.batch = [&batches](controller::UninstallViewModel&, QWidget* parent) -> QWidget* {
        ++batches;
        return new QLabel(QStringLiteral("batch"), parent);
    };
    AppShell::Options options;
    options.quit = [] {};
    // The library watcher polls running apps each second; its own tests cover it.
    WindowOperations operations = WindowOperations::of(model);
    operations.startLibraryWatcher = {};
    AppShell shell(model, operations, content, options);
    QPointer<QWidget> first = shell.openWindow(QStringLiteral("main"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.apps().size() == 2; }, 10'000));
    const QUuid scan = model.appsScanToken();
    QPointer<QWidget> second = shell.openWindow(QStringLiteral("main"));
    QTest::qWait(50);
    EXPECT_EQ(model.appsScanToken(), scan);

    auto drop = [&](const std::vector<MacPath>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const MacPath& path : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(mac.host(path))));
        data.setUrls(urls);
        auto* view = child<ContentView>(static_cast<MainWindow*>(first.data()), "contentView");
        QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        QDropEvent event(QPointF(400, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    drop({MacPath("/Users/me/notes.txt")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.dropNotice().has_value(); }));
    EXPECT_EQ(*model.dropNotice(), "That item isn't a macOS application.");

    drop({MacPath("/Applications/Quill.app"), MacPath("/Applications/Inkwell.app")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.selectedAppIDs().size() == 2; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return batches == 2; })); // one screen per window
    drop({MacPath("/Applications/Quill.app")});
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return model.selectedApp() && model.selectedApp()->id() == "/Applications/Quill.app";
    }));
    delete first.data();
    delete second.data();
}

} // namespace
} // namespace veldo::ui
