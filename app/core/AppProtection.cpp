// Which installed apps Veldo refuses to uninstall, and why.
#include "app/core/AppProtection.h"

#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/core/InstalledAppInventory.h"
#include "platform/MacFileSystem.h"
#include "platform/MainBundle.h"
#include "platform/Package.h"
#include "platform/Unicode.h"

namespace veldo::core {

namespace {

using platform::MacPath;
using NameSet = std::unordered_set<std::string_view>;

const NameSet& protectedSystemBundleIDs()
{
    // clang-format off
    static const NameSet ids{
        "com.apple.finder", "com.apple.dock", "com.apple.systempreferences",
        "com.apple.systemsettings", "com.apple.safari", "com.apple.mail", "com.apple.terminal",
        "com.apple.activitymonitor", "com.apple.loginwindow"};
    // clang-format on
    return ids;
}

const NameSet& protectedAppNames()
{
    // clang-format off
    static const NameSet names{
        "finder", "dock", "system settings", "system preferences", "veldo"};
    // clang-format on
    return names;
}

AppProtectionVerdict protectedBecause(std::string reason)
{
    return AppProtectionVerdict{true, std::move(reason)};
}

bool isRunningProgram(const InstalledApp& app, const std::string& resolvedPath,
                      const std::optional<MacPath>& ownBundleURL,
                      const std::optional<std::string>& ownBundleID)
{
    if (app.bundleID && ownBundleID &&
        platform::lowercased(*app.bundleID) == platform::lowercased(*ownBundleID))
        return true;
    if (!ownBundleURL)
        return false;
    const std::string ownPath = platform::resolvingSymlinks(*ownBundleURL).path();
    return ownPath == resolvedPath || ownPath.starts_with(resolvedPath + "/");
}

} // namespace

std::optional<std::string> containingBundleName(const std::string& path)
{
    const std::vector<std::string> components =
        MacPath(path).deletingLastPathComponent().pathComponents();
    for (auto it = components.rbegin(); it != components.rend(); ++it) {
        if (platform::isBundleExtension(MacPath(*it).pathExtension()))
            return *it;
    }
    return std::nullopt;
}

AppProtectionVerdict appProtectionReason(const InstalledApp& app,
                                         const std::optional<MacPath>& ownBundleURL,
                                         const std::optional<std::string>& ownBundleID)
{
    const std::string path = platform::resolvingSymlinks(app.url).path();

    if (path == "/System" || path.starts_with("/System/"))
        return protectedBecause("Apps inside /System are part of macOS and can't be removed.");

    if (const auto host = containingBundleName(path)) {
        return protectedBecause("This app is part of \u201C" + *host +
                                "\u201D. Removing it would break that app, so remove \u201C" +
                                *host + "\u201D instead.");
    }

    if (app.bundleID && protectedSystemBundleIDs().contains(platform::lowercased(*app.bundleID)))
        return protectedBecause("This is a protected Apple/system app.");

    if (isRunningProgram(app, path, ownBundleURL, ownBundleID))
        return protectedBecause("Veldo cannot uninstall itself while running.");

    if (protectedAppNames().contains(platform::lowercased(app.name)))
        return protectedBecause("Veldo will not remove this protected app.");
    for (const std::string& name : app.alternateNames) {
        if (protectedAppNames().contains(platform::lowercased(name)))
            return protectedBecause("Veldo will not remove this protected app.");
    }

    return AppProtectionVerdict{};
}

AppProtectionVerdict appProtectionReason(const InstalledApp& app)
{
    return appProtectionReason(app, platform::mainBundleURL(), platform::mainBundleIdentifier());
}

AppProtectionVerdict appProtectionReason(const MacPath& url)
{
    if (auto app = InstalledAppInventory::load(url))
        return appProtectionReason(*app);
    // Not a loadable app bundle: judge it by its path alone.
    InstalledApp bare;
    bare.url = url;
    bare.name = url.deletingPathExtension().lastPathComponent();
    return appProtectionReason(bare);
}

} // namespace veldo::core
