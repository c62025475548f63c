// UpdaterUserDriver: what the updater shows the user, implemented by the application's windows.
//
// The updater calls these on its own thread (the GUI thread) after a check has ended and its
// state (canCheckForUpdates, lastUpdateCheckDate) is already updated. An implementation shows
// the answer without waiting for the user (a window-modal box opened with open()) and returns.
#pragma once

#include <QString>

#include "platform/qt/AppcastItem.h"

namespace veldo::platform {

class UpdaterUserDriver
{
public:
    virtual ~UpdaterUserDriver() = default;

    // A check the user started found no newer build. `installedVersion` is Veldo's version as
    // shown to users (its short version string, else its build number).
    virtual void showUpToDate(const QString& installedVersion) = 0;
    // A check found a newer build; `update.link` (when not empty) is the page to offer.
    virtual void showUpdateFound(const AppcastItem& update, const QString& installedVersion) = 0;
    // A check the user started failed; `sentence` says why.
    virtual void showUpdaterError(const QString& sentence) = 0;
};

} // namespace veldo::platform
