// StandardUpdaterController: makes the application's SoftwareUpdater and starts it at once.
//
// The updater shows its answers through `driver` (the application's windows). GUI-thread
// confined; the updater lives as long as this object.
#pragma once

#include <memory>

#include "platform/qt/SoftwareUpdater.h"

namespace veldo::platform {

class StandardUpdaterController
{
public:
    explicit StandardUpdaterController(std::shared_ptr<UpdaterUserDriver> driver,
                                       SoftwareUpdater::Options options = {});
    StandardUpdaterController(const StandardUpdaterController&) = delete;
    StandardUpdaterController& operator=(const StandardUpdaterController&) = delete;

    SoftwareUpdater* updater() const { return m_updater.get(); }

    // The "check for updates" action: a check the user asked for.
    void checkForUpdates() { m_updater->checkForUpdates(); }

private:
    std::unique_ptr<SoftwareUpdater> m_updater;
};

} // namespace veldo::platform
