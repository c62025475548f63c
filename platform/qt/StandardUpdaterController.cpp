// The updater's standard controller.
#include "platform/qt/StandardUpdaterController.h"

namespace veldo::platform {

StandardUpdaterController::StandardUpdaterController(std::shared_ptr<UpdaterUserDriver> driver,
                                                     SoftwareUpdater::Options options)
    : m_updater(std::make_unique<SoftwareUpdater>(std::move(driver), std::move(options)))
{
    m_updater->start();
}

} // namespace veldo::platform
