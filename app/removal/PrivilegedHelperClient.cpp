// The helper's registration state and the operations that change it.
#include "app/removal/PrivilegedHelperClient.h"

#include <utility>

#include "platform/OncePerRoot.h"

namespace veldo::removal {

std::shared_ptr<PrivilegedHelperClient> PrivilegedHelperClient::shared()
{
    static platform::OncePerRoot<std::shared_ptr<PrivilegedHelperClient>> instance(
        [] { return std::make_shared<PrivilegedHelperClient>(Services{helperDaemonService()}); });
    return instance.get();
}

PrivilegedHelperClient::PrivilegedHelperClient(Services services)
    : m_services(std::move(services)), m_status(helperService(*m_services.serviceManager))
{
}

PrivilegedHelperStatus PrivilegedHelperClient::status() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_status;
}

const std::optional<std::string>& PrivilegedHelperClient::helperBuild() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_helperBuild;
}

bool PrivilegedHelperClient::versionMismatch() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_versionMismatch;
}

bool PrivilegedHelperClient::isUnreachable() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_isUnreachable;
}

bool PrivilegedHelperClient::isWorking() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_isWorking;
}

const std::optional<std::string>& PrivilegedHelperClient::lastError() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_lastError;
}

template <typename T>
void PrivilegedHelperClient::assign(T& field, T value, Property property)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (field == value)
        return;
    field = std::move(value);
    m_observers.notify(property);
}

void PrivilegedHelperClient::setIsWorking(bool working)
{
    assign(m_isWorking, working, Property::isWorking);
}

void PrivilegedHelperClient::setLastError(std::optional<std::string> error)
{
    assign(m_lastError, std::move(error), Property::lastError);
}

PrivilegedHelperClient::ObserverId
PrivilegedHelperClient::addObserver(std::function<void(Property)> callback)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_observers.add(std::move(callback));
}

void PrivilegedHelperClient::removeObserver(ObserverId id)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    m_observers.remove(id);
}

PrivilegedHelperClient::Services PrivilegedHelperClient::services() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_services;
}

PrivilegedHelperClient::RefreshResult PrivilegedHelperClient::readRefresh(const Services& services,
                                                                          std::stop_token stop)
{
    RefreshResult result;
    result.status = helperService(*services.serviceManager);
    if (result.status == PrivilegedHelperStatus::enabled) {
        result.version = PrivilegedHelper::version(services.versionTimeout, std::move(stop));
        result.appBuild = PrivilegedHelper::appBuildNumber();
    }
    return result;
}

void PrivilegedHelperClient::applyRefresh(const RefreshResult& result)
{
    assign(m_status, result.status, Property::status);
    if (result.status != PrivilegedHelperStatus::enabled || !result.version) {
        assign(m_helperBuild, std::optional<std::string>(), Property::helperBuild);
        assign(m_versionMismatch, false, Property::versionMismatch);
        assign(m_isUnreachable, result.status == PrivilegedHelperStatus::enabled,
               Property::isUnreachable);
        return;
    }
    const auto& reply = *result.version;
    assign(m_helperBuild, std::optional<std::string>(reply.build), Property::helperBuild);
    assign(m_versionMismatch,
           reply.protocolVersion != PrivilegedHelper::kProtocolVersion ||
               reply.build != result.appBuild,
           Property::versionMismatch);
    assign(m_isUnreachable, false, Property::isUnreachable);
}

PrivilegedHelperClient::Services PrivilegedHelperClient::beginRegistration()
{
    setIsWorking(true);
    setLastError(std::nullopt);
    return m_services;
}

namespace {

// The sentence of a failed registration change, unless the status now shows `reached`.
std::optional<std::string> errorUnlessReached(const platform::FileResult<void>& outcome,
                                              platform::ServiceManager& services,
                                              PrivilegedHelperStatus reached)
{
    if (outcome || helperService(services) == reached)
        return std::nullopt;
    return outcome.error().localizedDescription();
}

} // namespace

PrivilegedHelperClient::RegistrationResult
PrivilegedHelperClient::performRegister(const Services& services, std::stop_token stop)
{
    RegistrationResult result;
    result.error =
        errorUnlessReached(services.serviceManager->registerService(), *services.serviceManager,
                           PrivilegedHelperStatus::requiresApproval);
    result.refreshed = readRefresh(services, std::move(stop));
    return result;
}

PrivilegedHelperClient::RegistrationResult
PrivilegedHelperClient::performUnregister(const Services& services, std::stop_token stop)
{
    RegistrationResult result;
    result.error =
        errorUnlessReached(services.serviceManager->unregisterService(), *services.serviceManager,
                           PrivilegedHelperStatus::notRegistered);
    result.refreshed = readRefresh(services, std::move(stop));
    return result;
}

void PrivilegedHelperClient::applyRegistration(const RegistrationResult& result)
{
    setLastError(result.error);
    applyRefresh(result.refreshed);
    setIsWorking(false);
}

PrivilegedHelperClient::Services
PrivilegedHelperClient::beginSetEnabled(bool on, std::shared_ptr<core::CleanupSettings> settings)
{
    if (!settings)
        settings = core::CleanupSettings::shared();
    settings->setUsePrivilegedHelper(on);
    return beginRegistration();
}

PrivilegedHelperClient::RegistrationResult
PrivilegedHelperClient::performSetEnabled(bool on, const Services& services, std::stop_token stop)
{
    return on ? performRegister(services, std::move(stop))
              : performUnregister(services, std::move(stop));
}

void PrivilegedHelperClient::applySetEnabled(bool on, const RegistrationResult& result)
{
    applyRegistration(result);
    if (on && status() == PrivilegedHelperStatus::requiresApproval)
        m_services.serviceManager->openSystemSettingsLoginItems();
}

} // namespace veldo::removal
