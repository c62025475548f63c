// MainWindow: one main window: title "Veldo", 960 × 640 at first, its ContentView (at least
// 820 × 540) in the middle, a toolbar that shows only while it holds a visible item, and its own
// menu bar for the menu commands. Deleted when closed.
//
// The first time it is shown it presents whatever the controller already holds (a pending
// prompt, a failed cask uninstall, an alert), then follows the controller (PromptPresenter).
// GUI thread.
#pragma once

#include <QMainWindow>

class QToolBar;

namespace veldo::ui {

class AppShell;
class ContentView;
class PromptPresenter;

class MainWindow final : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 960;
    static constexpr int kDefaultHeight = 640;

    // Named "main-<number>".
    MainWindow(AppShell& shell, int number);

    // The shell the window belongs to (its work pool runs the screens' probes).
    AppShell& shell() const { return m_shell; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AppShell& m_shell;
    ContentView* m_content;
    QToolBar* m_toolbar;
    PromptPresenter* m_prompts;
};

} // namespace veldo::ui
