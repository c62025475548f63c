// The installed-app protection policy: whether an app may be offered for uninstalling at all.
//
// A protected app is shown with its reason and can't be removed. The verdict depends on the
// app's path with every symbolic link resolved (through the Mac root), its bundle identifier and
// names, and the running program's own bundle. Reads the disk only to resolve links.
// Thread-safe, never throws; the fixed tables are built once, on first use.
#pragma once

#include <optional>
#include <string>

#include "app/core/InstalledApp.h"
#include "platform/MacPath.h"

namespace veldo::core {

struct AppProtectionVerdict
{
    bool isProtected = false;
    std::optional<std::string> reason; // the sentence shown to the user when protected

    friend bool operator==(const AppProtectionVerdict&, const AppProtectionVerdict&) = default;
};

// The verdict for `app`, given the running program's own bundle and identifier (either may be
// missing). In order: inside /System, embedded in another bundle, a protected Apple identifier,
// the running program itself (same identifier, same resolved path, or the program lies inside
// the app), a protected name.
AppProtectionVerdict appProtectionReason(const InstalledApp& app,
                                         const std::optional<platform::MacPath>& ownBundleURL,
                                         const std::optional<std::string>& ownBundleID);

// The same verdict with the running program's own bundle and identifier filled in
// (platform/MainBundle.h).
AppProtectionVerdict appProtectionReason(const InstalledApp& app);

// The same verdict for the app bundle at `url`, read through the installed-app inventory; a
// bundle that can't be loaded is judged by its path.
AppProtectionVerdict appProtectionReason(const platform::MacPath& url);

// The name (extension included, "Xcode.app") of the nearest bundle folder that holds `path`:
// the last component of the parent's path whose extension is a bundle extension. None when
// there is none.
std::optional<std::string> containingBundleName(const std::string& path);

} // namespace veldo::core
