// CheckForUpdatesButton: the menu's "Check for Updates…" action.
//
// Triggering it runs the updater controller's user-initiated check; it is enabled exactly while
// the controller's canCheckForUpdates is true. The controller must outlive the action.
#pragma once

#include <QAction>

#include "app/ui/UpdaterController.h"

namespace veldo::ui {

class CheckForUpdatesButton : public QAction
{
    Q_OBJECT
public:
    explicit CheckForUpdatesButton(UpdaterController& updater, QObject* parent = nullptr);

    UpdaterController& updater() const { return m_updater; }

private:
    UpdaterController& m_updater;
};

} // namespace veldo::ui
