// GeneralSettingsTab: the "General" tab of the Settings window.
//
// A grouped form of four sections: "Default Selection" (three switches), "Removal" (two), "Finder"
// (the offer to clean up after an app trashed in Finder) and "Lifetime Statistics" (space, items
// and apps, and "Reset Statistics"). Each switch is a two-way binding: it shows the stored value,
// follows changes made elsewhere (the settings' observers, the controller's signal) and writes
// through the owner's setter at once. The statistics follow CleanupStats's observers. "Reset
// Statistics" (disabled while no item was removed) opens a window-modal confirmation whose
// "Reset" resets the counters and whose "Cancel" changes nothing. The settings, statistics and
// controller must outlive the tab. GUI thread only.
#pragma once

#include <memory>

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class GeneralSettingsTab : public QWidget
{
    Q_OBJECT
public:
    GeneralSettingsTab(std::shared_ptr<core::CleanupSettings> settings,
                       controller::UninstallViewModel& model,
                       std::shared_ptr<core::CleanupStats> stats, QWidget* parent = nullptr);
    ~GeneralSettingsTab() override;

    // "Zero KB" below 1 byte, else the byte-count text.
    static QString spaceCleanedText(std::int64_t bytes);
    // A counter as a plain integer without digit grouping.
    static QString counterText(std::int64_t count);

private:
    void refreshSwitches();
    void refreshStatistics();
    void askToReset();

    std::shared_ptr<core::CleanupSettings> m_settings;
    controller::UninstallViewModel& m_model;
    std::shared_ptr<core::CleanupStats> m_stats;

    core::CleanupSettings::ObserverId m_settingsObserver{};
    core::CleanupStats::ObserverId m_statsObserver{};
    bool m_switchesQueued = false;
    bool m_statisticsQueued = false;
    bool m_refreshing = false;

    struct Switch
    {
        QCheckBox* box;
        core::CleanupSettings::Property property;
    };
    std::vector<Switch> m_switches;
    QCheckBox* m_offerCleanup = nullptr;
    QLabel* m_space = nullptr;
    QLabel* m_items = nullptr;
    QLabel* m_apps = nullptr;
    QPushButton* m_reset = nullptr;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace veldo::ui
