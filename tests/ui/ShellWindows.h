// ShellWindows: main windows of an AppShell over a real controller in the current Mac root (the
// caller's FakeMac), with no library watcher unless asked for, as the key-flow tests drive them.
// GUI thread; needs a QApplication.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "app/ui/AppShell.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

class AppDetailView;

class ShellWindows
{
public:
    // Whether the first window starts the real app-library watcher.
    enum class Library
    {
        unwatched,
        watched,
    };
    explicit ShellWindows(Library library = Library::unwatched);
    // Deletes the windows still open.
    ~ShellWindows();
    ShellWindows(const ShellWindows&) = delete;
    ShellWindows& operator=(const ShellWindows&) = delete;

    controller::UninstallViewModel& model() { return *m_controller.model; }

    // A new main window; null when the shell opened none.
    QWidget* open();
    // Whether the library lists `count` apps within ten seconds.
    bool waitForApps(std::size_t count);
    // Clicks the app at `path` in the sidebar of `window`.
    static void clickApp(QWidget* window, const std::string& path);
    // Clicks the app at `path` in `window` and waits for its scanned leftovers and its detail
    // screen; null when they don't come within ten seconds.
    AppDetailView* showApp(QWidget* window, const std::string& path);

private:
    testsupport::UiController m_controller;
    AppShell m_shell;
    std::vector<QPointer<QWidget>> m_windows;
};

} // namespace veldo::ui
