// PromptPresenter: shows the controller's pending items over one main window: the administrator
// confirmation, the App Management decision, a failed Homebrew uninstall (as window-modal sheets)
// and the active alert (a window-modal message box), each opened with open(), never exec().
//
// Each item's dialog follows the controller: it opens when the item is set (or, at start(), when
// the window comes on screen holding one already), and closes when the item clears or is
// replaced. An answer reaches the controller only while the controller still holds the item the
// dialog shows, so several windows can show one request and the first answer wins; a dialog
// closed by Escape or its close button answers false, `cancel` or clears the item. The alert's
// "Show in Finder" (only with reveal URLs) reveals them; every way of closing it clears the
// alert. GUI thread.
#pragma once

#include <functional>

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include "app/controller/CaskFailure.h"
#include "app/ui/AdminEscalationSheet.h"
#include "app/ui/AppManagementSheet.h"
#include "app/ui/CaskFailureSheet.h"

class QWidget;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

struct WindowOperations;

class PromptPresenter final : public QObject
{
    Q_OBJECT
public:
    // `window` owns the dialogs; `openSettings` opens the Settings window.
    PromptPresenter(controller::UninstallViewModel& model, const WindowOperations& operations,
                    std::function<void()> openSettings, QWidget* window);

    // Presents what the controller holds now, then follows its changes.
    void start();

private:
    void syncAdmin();
    void syncAppManagement();
    void syncCaskFailure();
    void syncAlert();

    controller::UninstallViewModel& m_model;
    const WindowOperations& m_operations;
    std::function<void()> m_openSettings;
    QWidget* m_window;
    bool m_started = false;
    QPointer<AdminEscalationSheet> m_admin;
    QPointer<AppManagementSheet> m_appManagement;
    QPointer<CaskFailureSheet> m_cask;
    QPointer<QMessageBox> m_alert;
    QUuid m_appManagementID;
    controller::CaskFailure m_caskShown;
    QUuid m_alertID;
};

} // namespace veldo::ui
