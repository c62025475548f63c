// FakeServiceManager: a scripted service manager for tests of the helper's registration state.
//
// status() answers `statusValue`; registering and unregistering fail with the scripted error
// when one is set, and either way then move the status to the scripted value, when one is set,
// as the system's service manager changes its status after a request. Every call is counted.
// Used on one thread.
#pragma once

#include <optional>

#include "platform/ServiceManager.h"
#include "platform/SystemError.h"

namespace veldo::testsupport {

class FakeServiceManager final : public platform::ServiceManager
{
public:
    platform::ServiceStatusValue statusValue = platform::kServiceNotRegistered;
    std::optional<platform::SystemError> registerError;
    std::optional<platform::SystemError> unregisterError;
    std::optional<platform::ServiceStatusValue> statusAfterRegister;
    std::optional<platform::ServiceStatusValue> statusAfterUnregister;

    int statusCalls = 0;
    int registerCalls = 0;
    int unregisterCalls = 0;
    int loginItemsOpened = 0;

    platform::ServiceStatusValue status() override
    {
        ++statusCalls;
        return statusValue;
    }

    platform::FileResult<void> registerService() override
    {
        ++registerCalls;
        return answer(registerError, statusAfterRegister);
    }

    platform::FileResult<void> unregisterService() override
    {
        ++unregisterCalls;
        return answer(unregisterError, statusAfterUnregister);
    }

    void openSystemSettingsLoginItems() override { ++loginItemsOpened; }

private:
    platform::FileResult<void> answer(const std::optional<platform::SystemError>& error,
                                      const std::optional<platform::ServiceStatusValue>& after)
    {
        if (after)
            statusValue = *after;
        if (error)
            return *error;
        return {};
    }
};

} // namespace veldo::testsupport
