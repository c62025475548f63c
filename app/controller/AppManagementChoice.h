// AppManagementChoice: the user's answer to the App Management decision.
#pragma once

namespace veldo::controller {

enum class AppManagementChoice
{
    openSettings,
    useAdministrator,
    cancel
};

} // namespace veldo::controller
