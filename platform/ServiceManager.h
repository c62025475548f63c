// ServiceManager: the system's service manager as the app sees one launchd daemon of its own
// bundle: its registration status, registering and unregistering it, and the Login Items pane
// where the user approves it.
//
// Linux: the registration is a ServiceRegistrationRecord file (see ServiceRegistrationRecord.h).
// The status of the daemon whose launchd property list is `plistName`, for the app bundle at
// mainBundleURL():
//   - kServiceNotFound when the bundle has no regular file "Contents/Library/LaunchDaemons/
//     <plistName>", or the record exists but can't be read (a link, not a record, …);
//   - kServiceNotRegistered when there is no record;
//   - kServiceEnabled for an approved record owned by root and writable by no one else;
//   - kServiceRequiresApproval for any other record.
// Registering writes the record atomically (0644) and approves it only for a root caller; an
// administrator's record waits for approval (the same registration run as root). Unregistering
// removes the record; a missing record is an error (ENOENT), as the Mac reports a job it can't
// find. Failures are SystemErrors carrying the system's sentence. All calls block on the file
// system and are thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileResult.h"

namespace veldo::platform {

// The service manager's raw status values; other values may come and mean "not found".
using ServiceStatusValue = std::int64_t;
inline constexpr ServiceStatusValue kServiceNotRegistered = 0;
inline constexpr ServiceStatusValue kServiceEnabled = 1;
inline constexpr ServiceStatusValue kServiceRequiresApproval = 2;
inline constexpr ServiceStatusValue kServiceNotFound = 3;

// The Login Items pane of System Settings.
inline constexpr std::string_view kLoginItemsSettingsURL =
    "x-apple.systempreferences:com.apple.LoginItems-Settings.extension";

class ServiceManager
{
public:
    virtual ~ServiceManager() = default;

    virtual ServiceStatusValue status() = 0;
    virtual FileResult<void> registerService() = 0;
    virtual FileResult<void> unregisterService() = 0;
    // Opens the Login Items pane (openUrl of kLoginItemsSettingsURL on Linux).
    virtual void openSystemSettingsLoginItems() = 0;
};

// The daemon of the running app's bundle whose launchd property list is `plistName`.
std::shared_ptr<ServiceManager> daemonService(std::string plistName);

} // namespace veldo::platform
