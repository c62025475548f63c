// Whether a folder is a package (a bundle the file manager shows as one item), and the listing
// of the app bundles of an application folder.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::platform {

// Path extensions of package folders, lower-case.
inline constexpr std::array<std::string_view, 10> kBundleExtensions = {
    "app",    "framework",       "bundle", "xpc", "appex",
    "plugin", "systemextension", "kext",   "pkg", "component"};

// True when `extension`, compared without regard to case, is a bundle extension.
bool isBundleExtension(std::string_view extension);

// A directory (links not followed) whose extension is a bundle extension.
bool isPackage(const MacPath& path);

// A directory that is neither a package nor a symbolic link; false when it can't be examined.
bool isPlainFolder(const MacPath& path);

// The names in `folder` that don't start with ".", in byte order; nothing when it can't be listed.
std::vector<std::string> sortedVisibleNames(const MacPath& folder);

// How the extension "app" of a bundle name is compared.
enum class ExtensionCase
{
    exact,   // "Foo.app" only
    ignored, // "Foo.APP" too (lower-cased without a locale)
};

// True when the path extension of the file name `name` is "app" ("" for ".app" and "Foo.").
bool isAppBundleName(std::string_view name, ExtensionCase extensionCase);

// How appBundlesIn reads a folder.
struct AppBundleListing
{
    ExtensionCase extensionCase = ExtensionCase::exact;
    // Names in byte order instead of the order the folder lists them.
    bool sorted = false;
    // Called with each plain subfolder before it is listed.
    std::function<void(const MacPath&)> onSubfolder = {};
};

// The app bundles of `folder`: its visible entries (not starting with ".") named as bundles, and
// those of each visible plain subfolder (isPlainFolder), one level deep, in listing order. A
// folder that can't be listed yields nothing. Blocks on the file system.
std::vector<MacPath> appBundlesIn(const MacPath& folder, const AppBundleListing& how = {});

} // namespace veldo::platform
