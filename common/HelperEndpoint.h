// Where the app reaches the helper daemon: its service name, the socket that stands in for the
// Mach service, and the launchd property list that names it.
//
// The socket lives at kHelperSocketPath (a Mac path). Both sides name it through the descriptor
// of its opened folder ("/proc/self/fd/N/<name>"), so the folder whose ownership was checked is
// the folder the socket is bound or connected in, whatever happens to the path meanwhile.
#pragma once

#include <string_view>

#include <sys/un.h>

#include "base/Result.h"

namespace veldo::common {

// The helper's Mach service name and signing identifier.
inline constexpr std::string_view kHelperServiceName = "orbelkan.Veldo.Helper";
// The launchd property list inside the app bundle that registers the helper.
inline constexpr std::string_view kHelperPlistName = "orbelkan.Veldo.Helper.plist";
inline constexpr std::string_view kHelperLaunchDaemonPlist =
    "Contents/Library/LaunchDaemons/orbelkan.Veldo.Helper.plist";

// The socket: a Unix-domain stream socket in a folder only root may write.
inline constexpr std::string_view kHelperSocketFolder = "/private/var/run";
inline constexpr std::string_view kHelperSocketName = "orbelkan.Veldo.Helper.socket";
inline constexpr std::string_view kHelperSocketPath =
    "/private/var/run/orbelkan.Veldo.Helper.socket";

// The address of the entry `name` in the open folder `folderFd`, as "/proc/self/fd/N/<name>".
// Fails with EINVAL when `name` is not one path component, ENAMETOOLONG when the address does
// not fit sun_path (with its NUL). Pure.
Result<sockaddr_un> socketAddressIn(int folderFd, std::string_view name);

} // namespace veldo::common
