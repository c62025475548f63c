// AdministratorSettingsTab: the "Administrator" tab of the Settings window.
//
// A grouped form: a section explaining administrator passwords and the background helper, then
// "Administrator Access" with the toggle "Use background helper so removals don’t ask for your
// password" (the setting; disabled while the client works), the status row (a spinner while the
// client works, else the status symbol in its colour; then the status label), the explanation,
// "Open Login Items Settings" (only while approval is pending), "Re-register Helper" (only on a
// version mismatch; disabled while working) and the last error in red. Every text follows the
// client's and the settings' observers (once per event-loop turn). The toggle, the re-register
// button, showing the tab and each activation of the application while it is shown start the
// client's operations through the runner. The settings and the runner must outlive the tab's
// use (the tab keeps the client itself).
// GUI thread only.
#pragma once

#include <memory>

#include <QWidget>

#include "app/core/CleanupSettings.h"
#include "app/removal/PrivilegedHelperClient.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace veldo::ui {

class BusyIndicator;
class HelperClientRunner;

class AdministratorSettingsTab : public QWidget
{
    Q_OBJECT
public:
    AdministratorSettingsTab(std::shared_ptr<core::CleanupSettings> settings,
                             HelperClientRunner& runner, QWidget* parent = nullptr);
    ~AdministratorSettingsTab() override;

public slots:
    // Refreshes the client when the application became active while the tab is shown.
    void applicationStateChanged(Qt::ApplicationState state);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void scheduleUpdate();
    void refreshView();

    std::shared_ptr<core::CleanupSettings> m_settings;
    HelperClientRunner& m_runner;
    // The tab's observer is removed from the client even after the runner is gone.
    std::shared_ptr<removal::PrivilegedHelperClient> m_client;
    removal::PrivilegedHelperClient::ObserverId m_clientObserver{};
    core::CleanupSettings::ObserverId m_settingsObserver{};
    bool m_updateQueued = false;
    bool m_updating = false;
    std::string m_shownSymbol;

    QCheckBox* m_toggle = nullptr;
    BusyIndicator* m_spinner = nullptr;
    QLabel* m_symbol = nullptr;
    QLabel* m_label = nullptr;
    QLabel* m_explanation = nullptr;
    QPushButton* m_loginItems = nullptr;
    QPushButton* m_reregister = nullptr;
    QWidget* m_errorRow = nullptr;
    QLabel* m_error = nullptr;
};

} // namespace veldo::ui
