// ServiceRegistrationRecord: the file that stands in for the service manager's registration of a
// launchd daemon.
//
// One binary property list per daemon, named after the daemon's launchd property list, in the
// folder kServiceRegistrationFolder (root's, group "admin", 0775): "Label", "BundlePath" (the
// Mac path of the app bundle that registered the daemon), "PlistName" and "Approved" (Boolean).
// A record counts as approved only when it is also owned by root and writable by no one else;
// root's registration writes it approved, which stands in for the user's approval in Login Items.
// Pure coding; who reads or writes the file, and what they trust, is the caller's business.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::platform {

inline constexpr std::string_view kServiceRegistrationFolder =
    "/private/var/db/orbelkan.Veldo.ServiceManagement";

struct ServiceRegistrationRecord
{
    std::string label;      // the daemon's launchd label
    std::string bundlePath; // Mac path of the registering app bundle
    std::string plistName;  // the daemon's launchd property list name
    bool approved = false;

    // kServiceRegistrationFolder + "/" + plistName.
    static MacPath pathFor(std::string_view plistName);

    // The binary property list. Fails (invalidArgument) when a string holds NUL or is not UTF-8.
    Result<std::string> encodePropertyList() const;

    // Reads a property list (any format). None unless it is a dictionary with the strings
    // "Label", "BundlePath", "PlistName" and the Boolean "Approved"; other keys are ignored.
    static std::optional<ServiceRegistrationRecord> decodePropertyList(std::string_view bytes);

    friend bool operator==(const ServiceRegistrationRecord&,
                           const ServiceRegistrationRecord&) = default;
};

} // namespace veldo::platform
