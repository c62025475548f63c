// The helper daemon's registration status.
#include "app/removal/PrivilegedHelperStatus.h"

#include <string>

#include "common/HelperEndpoint.h"

namespace veldo::removal {

PrivilegedHelperStatus statusFromServiceManager(platform::ServiceStatusValue raw)
{
    switch (raw) {
    case platform::kServiceNotRegistered:
        return PrivilegedHelperStatus::notRegistered;
    case platform::kServiceEnabled:
        return PrivilegedHelperStatus::enabled;
    case platform::kServiceRequiresApproval:
        return PrivilegedHelperStatus::requiresApproval;
    default:
        return PrivilegedHelperStatus::notFound;
    }
}

std::shared_ptr<platform::ServiceManager> helperDaemonService()
{
    return platform::daemonService(std::string(common::kHelperPlistName));
}

PrivilegedHelperStatus helperService(platform::ServiceManager& services)
{
    return statusFromServiceManager(services.status());
}

} // namespace veldo::removal
