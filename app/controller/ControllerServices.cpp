// ControllerServices: the real services behind the controller's seam.
#include "app/controller/ControllerServices.h"

#include "platform/MacFileSystem.h"

namespace veldo::controller {

ControllerServices ControllerServices::withDefaults() const
{
    ControllerServices services = *this;
    if (!services.runningStatus)
        services.runningStatus = [](const core::InstalledApp& app) {
            return core::runningStatus(app);
        };
    if (!services.fileExists)
        services.fileExists = [](const platform::MacPath& path) { return platform::exists(path); };
    if (!services.removalRefusal)
        services.removalRefusal = [](const platform::MacPath& url,
                                     const common::RemovalSafety::PreparedContext& context) {
            return common::removalRefusal(url, context);
        };
    return services;
}

} // namespace veldo::controller
