// AppShell: the application's windows and what they share. It declares the three kinds of
// window: main windows ("main-1", "main-2"…, as many as the user opens), the one Help window
// ("help") and the one Settings window, all acting on one controller.
//
// openWindow("main") opens a new main window; openWindow("help") opens the Help window, or
// raises it when it is open. openSettings() does the same for the Settings window. A window
// whose content this build lacks (WindowContent) does not open. findMainWindow() and
// showMainWindow() find a main window on screen (visible or minimised) and bring it forward, or
// open a new one. Main windows are deleted when closed; when the last one goes, the Help and
// Settings windows close and the application quits (through the controller's shutdown, which
// runs on aboutToQuit).
//
// The shell also owns the views' work pool (two threads), waited for when the application quits
// and when the shell goes. GUI thread.
#pragma once

#include <chrono>
#include <functional>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QWidget>

#include "app/ui/WindowContent.h"
#include "app/ui/WindowOperations.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class MainWindow;

class AppShell final : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kNoticeDuration{6000};
    static constexpr int kWorkThreads = 2;

    struct Options
    {
        // How long a drop notice stays.
        std::chrono::milliseconds noticeDuration = kNoticeDuration;
        // Ends the application; QCoreApplication::quit() when empty.
        std::function<void()> quit;
    };

    AppShell(controller::UninstallViewModel& model, WindowOperations operations,
             WindowContent content, Options options, QObject* parent = nullptr);
    AppShell(controller::UninstallViewModel& model, WindowOperations operations,
             WindowContent content);
    ~AppShell() override;

    AppShell(const AppShell&) = delete;
    AppShell& operator=(const AppShell&) = delete;

    controller::UninstallViewModel& model() const { return m_model; }
    const WindowOperations& operations() const { return m_operations; }
    const WindowContent& content() const { return m_content; }
    std::chrono::milliseconds noticeDuration() const { return m_options.noticeDuration; }
    QThreadPool& workPool() { return m_workPool; }

    // The window-opening action: "main" or "help". Answers the window, or none when the id is
    // unknown or the window has no content in this build.
    QWidget* openWindow(const QString& id);
    // The settings-opening action.
    QWidget* openSettings();

    // The first top-level window whose object name begins "main-" and that is visible or
    // minimised; none otherwise.
    static MainWindow* findMainWindow();
    // Restores, raises and activates the main window findMainWindow() finds, else opens one.
    void showMainWindow();

private:
    MainWindow* openMainWindow();
    QWidget* openSingleWindow(QPointer<QWidget>& slot, const WindowContent::MakeWindow& make,
                              const QString& id, const QString& title, QSize size);
    void mainWindowGone();

    controller::UninstallViewModel& m_model;
    WindowOperations m_operations;
    WindowContent m_content;
    Options m_options;
    QThreadPool m_workPool;
    int m_nextMainWindow = 1;
    int m_mainWindows = 0;
    QPointer<QWidget> m_help;
    QPointer<QWidget> m_settings;
};

// Opens the App Management list of System Settings.
void openAppManagementSettings();

} // namespace veldo::ui
