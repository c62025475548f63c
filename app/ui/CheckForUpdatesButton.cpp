// The "Check for Updates…" action.
#include "app/ui/CheckForUpdatesButton.h"

namespace veldo::ui {

CheckForUpdatesButton::CheckForUpdatesButton(UpdaterController& updater, QObject* parent)
    : QAction(QStringLiteral("Check for Updates\u2026"), parent), m_updater(updater)
{
    setEnabled(updater.canCheckForUpdates());
    connect(&updater, &UpdaterController::canCheckForUpdatesChanged, this,
            [this] { setEnabled(m_updater.canCheckForUpdates()); });
    connect(this, &QAction::triggered, &updater, [this] { m_updater.checkForUpdates(); });
}

} // namespace veldo::ui
