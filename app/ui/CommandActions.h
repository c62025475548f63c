// CommandActions: the application's menu commands, one set of actions shared by every main
// window, each of which gets a menu bar built from them.
//
// Menus: "Veldo" (Check for Updates…, Settings… Ctrl+,, Quit Veldo Ctrl+Q), File (Close
// Ctrl+W), Edit (Undo Last Cleanup Ctrl+Alt+Z, then Find Apps Ctrl+F), View (the rescan item
// Ctrl+R, Reload Applications Ctrl+Shift+R), Window ("Veldo" Ctrl+0, then the open windows) and
// Help (Veldo Help, Ctrl+? and Ctrl+Shift+?). Titles and enabled states follow the controller's
// signals. Actions start the controller's operations and return at once; the rescan reads the
// selection when its task runs. "Find Apps" brings a main window forward, then on the next
// event-loop turn focuses the first visible search field of the main window found then (none:
// nothing). The shell and the updater must outlive the actions. GUI thread.
#pragma once

#include <QObject>
#include <QString>

#include "app/controller/Task.h"

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QWidget;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class AppShell;
class UpdaterController;

class CommandActions : public QObject
{
    Q_OBJECT
public:
    // What the rescan item does, by the selection.
    enum class Rescan
    {
        packages,
        developer,
        orphans,
        selectedApps,
        leftovers,
        applications
    };

    CommandActions(AppShell& shell, UpdaterController& updater, QObject* parent = nullptr);

    // The actions of the shell, made the first time (children of the shell, using the shared
    // updater).
    static CommandActions& of(AppShell& shell);
    // Gives `window` a menu bar of the actions.
    QMenuBar* attach(QMainWindow& window);
    // The actions with a key, for windows without a menu bar (Help, Settings), so that their
    // keys work there too.
    QList<QAction*> windowActions() const;

    static Rescan rescanKind(const controller::UninstallViewModel& model);
    static QString rescanTitle(Rescan rescan);
    static bool reloadDisabled(const controller::UninstallViewModel& model);

    // The first search field, depth-first in pre-order from `root` itself, whose own hidden flag
    // is clear (fields below a hidden one are still searched); none without one.
    static QWidget* firstSearchField(QWidget* root);
    // Focuses the first search field of the main window on screen; nothing without one.
    static void focusSearchField();

    // The operation the rescan item awaits, chosen by the state when it runs.
    static controller::Task<void> rescanSelection(controller::TaskScope& scope,
                                                  controller::UninstallViewModel* model);

private:
    void refresh();
    void fillWindowMenu(QMenu* menu);

    AppShell& m_shell;
    controller::UninstallViewModel& m_model;
    QAction* m_checkForUpdates = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_close = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_findApps = nullptr;
    QAction* m_showMainWindow = nullptr;
    QAction* m_help = nullptr;
    QAction* m_rescan = nullptr;
    QAction* m_reload = nullptr;
};

} // namespace veldo::ui
