// Main windows over a real controller for the key-flow tests.
#include "tests/ui/ShellWindows.h"

#include <gtest/gtest.h>

#include <QListView>
#include <QTest>

#include "app/ui/AppDetailView.h"
#include "app/ui/AppListModel.h"
#include "app/ui/AppListView.h"
#include "app/ui/WindowContent.h"
#include "app/ui/WindowOperations.h"
#include "tests/ui/ChildLookup.h"

namespace veldo::ui {

using testsupport::child;

namespace {

WindowOperations operationsOf(controller::UninstallViewModel& model, ShellWindows::Library library)
{
    WindowOperations operations = WindowOperations::of(model);
    if (library == ShellWindows::Library::unwatched)
        operations.startLibraryWatcher = {};
    return operations;
}

AppShell::Options quietOptions()
{
    AppShell::Options options;
    options.quit = [] {};
    return options;
}

} // namespace

ShellWindows::ShellWindows(Library library)
    : m_shell(*m_controller.model, operationsOf(*m_controller.model, library),
              WindowContent::standard(), quietOptions())
{
}

ShellWindows::~ShellWindows()
{
    for (const QPointer<QWidget>& window : m_windows)
        delete window.data();
}

QWidget* ShellWindows::open()
{
    QWidget* window = m_shell.openWindow(QStringLiteral("main"));
    if (window)
        m_windows.emplace_back(window);
    return window;
}

bool ShellWindows::waitForApps(std::size_t count)
{
    return QTest::qWaitFor([&] { return model().apps().size() == count; }, 10'000);
}

void ShellWindows::clickApp(QWidget* window, const std::string& path)
{
    auto* sidebar = window->findChild<AppListView*>();
    if (!sidebar) {
        ADD_FAILURE() << "no sidebar";
        return;
    }
    const int row = child<AppListModel>(sidebar, "listModel")->rowOf(path);
    EXPECT_GE(row, AppListModel::kFirstAppRow) << path << " is not listed";
    QTest::mouseClick(child<QListView>(sidebar, "listView")->viewport(), Qt::LeftButton, {},
                      child<QListView>(sidebar, "listView")
                          ->visualRect(child<AppListModel>(sidebar, "listModel")->index(row))
                          .center());
}

AppDetailView* ShellWindows::showApp(QWidget* window, const std::string& path)
{
    clickApp(window, path);
    if (!QTest::qWaitFor(
            [&] { return !model().isScanningLeftovers() && !model().leftovers().empty(); }, 10'000))
        return nullptr;
    AppDetailView* detail = nullptr;
    (void)QTest::qWaitFor([&] {
        detail = window->findChild<AppDetailView*>();
        return detail && detail->app().url.path() == path;
    });
    return detail;
}

} // namespace veldo::ui
