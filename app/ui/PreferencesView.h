// PreferencesView: the content of the Settings window: four tabs, "General", "Permissions",
// "Administrator" and "Updates" in this order, each with its symbol, in a fixed 560 × 560 frame.
//
// The current tab is bound both ways to the controller's settingsTab: choosing a tab writes it,
// and a write elsewhere switches the tab (a value set before the view exists is the tab it opens
// on). The window holding the view is titled with the current tab's label. The controller, the
// settings, the runner, the updater and the pool must outlive the view. GUI thread only.
#pragma once

#include <memory>

#include <QWidget>

#include "app/controller/SettingsTab.h"
#include "app/core/CleanupSettings.h"

class QTabWidget;
class QThreadPool;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class AdministratorSettingsTab;
class AppShell;
class GeneralSettingsTab;
class HelperClientRunner;
class PermissionsSettingsTab;
class UpdaterController;
class UpdatesSettingsTab;

class PreferencesView : public QWidget
{
    Q_OBJECT
public:
    // What the tabs use besides the settings and the controller: the helper client's runner,
    // the updater, and the pool the Full Disk Access probe runs on.
    struct Services
    {
        HelperClientRunner& helper;
        UpdaterController& updater;
        QThreadPool& workPool;
    };

    PreferencesView(std::shared_ptr<core::CleanupSettings> settings,
                    controller::UninstallViewModel& model, Services services,
                    QWidget* parent = nullptr);

    static QString label(controller::SettingsTab tab);
    static const char* symbol(controller::SettingsTab tab);

protected:
    void showEvent(QShowEvent* event) override;

private:
    controller::SettingsTab currentTab() const;
    void showTab(controller::SettingsTab tab);
    void retitleWindow();

    controller::UninstallViewModel& m_model;
    QTabWidget* m_tabs = nullptr;
    GeneralSettingsTab* m_general = nullptr;
    PermissionsSettingsTab* m_permissions = nullptr;
    AdministratorSettingsTab* m_administrator = nullptr;
    UpdatesSettingsTab* m_updates = nullptr;
};

// The Settings window's content for `shell`: the view over the shell's controller, its settings,
// the shared updater and the shell's work pool, with the helper client's runner the shell owns
// (made on first use, stopped and waited for when the shell goes or the controller shuts down).
QWidget* settingsWindowContent(AppShell& shell, QWidget* window);

} // namespace veldo::ui
