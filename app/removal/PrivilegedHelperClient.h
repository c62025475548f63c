// PrivilegedHelperClient: the helper's registration state that the Administrator settings show
// and drive: the status read from the service manager, the build the helper reported and
// whether it matches the app, whether the helper answered, whether a registration is running,
// and the last registration error.
//
// Confined to one thread (the GUI thread); debug builds abort when it is used from another.
// Every field notifies its observers only when its value really changes. Each operation has
// three parts: a begin part on the owner's thread (writes the fields the operation starts with
// and copies what the work needs), a blocking part that runs anywhere (on the controller's pool
// for long child processes), touches no field and returns a value, and an apply part on the
// owner's thread that writes that value into the fields. The removal and Undo paths never read
// this object; they test the helper afresh (PrivilegedHelper::isHelperUsable).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "app/core/CleanupSettings.h"
#include "app/removal/PrivilegedHelper.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "platform/ObserverList.h"
#include "platform/SequenceChecker.h"
#include "platform/ServiceManager.h"

namespace veldo::removal {

class PrivilegedHelperClient
{
public:
    enum class Property
    {
        status,
        helperBuild,
        versionMismatch,
        isUnreachable,
        isWorking,
        lastError
    };
    using ObserverId = platform::ObserverList<Property>::Id;

    // What the blocking parts work with; copied on the owner's thread.
    struct Services
    {
        std::shared_ptr<platform::ServiceManager> serviceManager;
        std::chrono::milliseconds versionTimeout = PrivilegedHelper::kVersionTimeout;
    };

    // What one refresh read: the status, and for an enabled helper its version answer.
    struct RefreshResult
    {
        PrivilegedHelperStatus status = PrivilegedHelperStatus::notFound;
        std::optional<PrivilegedHelper::VersionReply> version; // asked only when enabled
        std::string appBuild;                                  // the app's own build
    };

    // What one registration or unregistration did: the sentence to show, if any, and the
    // refresh read after it.
    struct RegistrationResult
    {
        std::optional<std::string> error;
        RefreshResult refreshed;
    };

    // The process's instance over the helper daemon's registration, made on first use (and
    // afresh after a change of Mac root). Thread-safe; the instance itself is not.
    static std::shared_ptr<PrivilegedHelperClient> shared();

    // Reads the status from the service manager now (blocks on it).
    explicit PrivilegedHelperClient(Services services);

    PrivilegedHelperClient(const PrivilegedHelperClient&) = delete;
    PrivilegedHelperClient& operator=(const PrivilegedHelperClient&) = delete;

    PrivilegedHelperStatus status() const;
    const std::optional<std::string>& helperBuild() const;
    bool versionMismatch() const;
    bool isUnreachable() const;
    bool isWorking() const;
    const std::optional<std::string>& lastError() const;

    // The settings screen writes these two itself.
    void setIsWorking(bool working);
    void setLastError(std::optional<std::string> error);

    ObserverId addObserver(std::function<void(Property)> callback);
    void removeObserver(ObserverId id);

    // refresh: the status, and when it is enabled the helper's version (one version call).
    Services services() const;
    static RefreshResult readRefresh(const Services& services, std::stop_token stop = {});
    void applyRefresh(const RefreshResult& result);

    // register and unregister: beginRegistration sets isWorking and clears lastError; the
    // blocking part asks the service manager, keeps its error's sentence unless the status
    // afterwards shows the wanted state reached or pending (requires approval after
    // registering, not registered after unregistering), and refreshes; applyRegistration writes
    // lastError and the refresh, then clears isWorking.
    Services beginRegistration();
    static RegistrationResult performRegister(const Services& services, std::stop_token stop = {});
    static RegistrationResult performUnregister(const Services& services,
                                                std::stop_token stop = {});
    void applyRegistration(const RegistrationResult& result);

    // setEnabled: beginSetEnabled writes `on` to "Veldo.UsePrivilegedHelper" of `settings` (the
    // shared settings when null) before anything is tried, then begins the registration; the
    // blocking part registers (on) or unregisters (off); applySetEnabled applies it and, when
    // turning on left the helper waiting for approval, opens the Login Items pane.
    Services beginSetEnabled(bool on, std::shared_ptr<core::CleanupSettings> settings = nullptr);
    static RegistrationResult performSetEnabled(bool on, const Services& services,
                                                std::stop_token stop = {});
    void applySetEnabled(bool on, const RegistrationResult& result);

private:
    template <typename T>
    void assign(T& field, T value, Property property);

    Services m_services;
    PrivilegedHelperStatus m_status;
    std::optional<std::string> m_helperBuild;
    bool m_versionMismatch = false;
    bool m_isUnreachable = false;
    bool m_isWorking = false;
    std::optional<std::string> m_lastError;
    platform::ObserverList<Property> m_observers;
    platform::SequenceChecker m_sequence{"PrivilegedHelperClient"};
};

} // namespace veldo::removal
