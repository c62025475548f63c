// WindowContent: the screens and window contents that other parts of the application put into
// the shell's windows.
//
// Each member makes a fresh widget with the given parent, acting on the controller it is given;
// the shell calls it whenever a window or the detail pane needs that screen anew. A member left
// empty means the screen is not part of this build: the detail pane then shows the welcome
// screen for that route, a main window has no sidebar, and the Help or Settings window does not
// open. GUI thread.
#pragma once

#include <functional>

#include "app/core/InstalledApp.h"

class QWidget;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class AppShell;
class MainWindow;

struct WindowContent
{
    using MakeScreen =
        std::function<QWidget*(controller::UninstallViewModel& model, QWidget* parent)>;
    using MakeAppScreen = std::function<QWidget*(controller::UninstallViewModel& model,
                                                 const core::InstalledApp& app, QWidget* parent)>;
    using MakeWindow = std::function<QWidget*(AppShell& shell, QWidget* window)>;

    // The main window's sidebar (the app list).
    MakeScreen sidebar;
    // The detail pane's routed screens.
    MakeScreen developer;
    MakeScreen orphans;
    MakeScreen batch;
    MakeAppScreen appDetail;
    // Attaches the menu commands to a new main window (its menu bar and toolbar).
    std::function<void(AppShell& shell, MainWindow& window)> commands;
    // The contents of the Help and the Settings window.
    MakeWindow help;
    MakeWindow settings;

    // What this build of the application puts into its windows.
    static WindowContent standard();
};

} // namespace veldo::ui
