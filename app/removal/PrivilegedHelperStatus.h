// PrivilegedHelperStatus: the helper daemon's registration as the app shows it, read from the
// service manager.
#pragma once

#include <array>
#include <memory>
#include <string_view>
#include <utility>

#include "base/RawValue.h"
#include "platform/ServiceManager.h"

namespace veldo::removal {

enum class PrivilegedHelperStatus
{
    notRegistered,    // the daemon is not registered
    requiresApproval, // registered, waiting for the user's approval in Login Items
    enabled,          // registered and allowed to run
    notFound,         // the service manager can't find the daemon, or answered something unknown
    unavailable       // never read from the service manager
};

// The service manager's raw status mapped: 0 not registered, 1 enabled, 2 requires approval,
// 3 and every other value not found. Pure.
PrivilegedHelperStatus statusFromServiceManager(platform::ServiceStatusValue raw);

// The helper daemon's registration in the running app's bundle ("orbelkan.Veldo.Helper.plist").
std::shared_ptr<platform::ServiceManager> helperDaemonService();

// The status `services` reports now, mapped. Blocks on the service manager.
PrivilegedHelperStatus helperService(platform::ServiceManager& services);

} // namespace veldo::removal

template <>
struct veldo::base::EnumTraits<veldo::removal::PrivilegedHelperStatus>
{
    using Status = veldo::removal::PrivilegedHelperStatus;

    static constexpr std::array<std::pair<Status, std::string_view>, 5> kCases{{
        {Status::notRegistered, "notRegistered"},
        {Status::requiresApproval, "requiresApproval"},
        {Status::enabled, "enabled"},
        {Status::notFound, "notFound"},
        {Status::unavailable, "unavailable"},
    }};
};
