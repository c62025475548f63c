// PermissionsSettingsTab: the "Permissions" tab of the Settings window.
//
// A grouped form: section "Privacy & Security" with the Full Disk Access row (status "On",
// "Off" or "Unknown") and the App Management row (no status), each with its "Open Settings…"
// button, and the footer; then, only while the controller cannot read the Trash, a section with
// the "trash.slash" warning.
//
// The Full Disk Access status starts as unknown and is probed each time the tab is shown and
// each time the application becomes active while it is shown. The probe runs on the given pool
// and reports back through a watcher the tab owns. Probes are numbered: an answer is shown only
// when no later probe has been started, so an older probe that finishes late never overwrites a
// newer answer. Closing the tab while a probe runs drops its answer. The controller and the pool
// must outlive the tab. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>

#include <QWidget>

#include "app/core/SystemSettings.h"

class QThreadPool;

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

class FormSection;
class PermissionRow;

class PermissionsSettingsTab : public QWidget
{
    Q_OBJECT
public:
    using FullDiskAccessStatus = core::SystemSettings::FullDiskAccessStatus;
    // The blocking probe; runs on the pool.
    using Probe = std::function<FullDiskAccessStatus()>;

    // The probe defaults to SystemSettings::fullDiskAccessStatus of the user's home folder.
    PermissionsSettingsTab(controller::UninstallViewModel& model, QThreadPool& workPool,
                           Probe probe = {}, QWidget* parent = nullptr);

    // "On", "Off" or "Unknown".
    static QString statusText(FullDiskAccessStatus status);

public slots:
    // Probes again when the application became active while the tab is shown.
    void applicationStateChanged(Qt::ApplicationState state);
    // Starts a probe now.
    void refreshFullDiskAccess();

signals:
    // A probe's answer was shown.
    void fullDiskAccessChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    controller::UninstallViewModel& m_model;
    QThreadPool& m_pool;
    Probe m_probe;
    FullDiskAccessStatus m_fullDiskAccess = FullDiskAccessStatus::unknown;
    std::uint64_t m_probesStarted = 0;
    PermissionRow* m_fullDiskAccessRow = nullptr;
    PermissionRow* m_appManagementRow = nullptr;
    FormSection* m_trash = nullptr;
};

} // namespace veldo::ui
