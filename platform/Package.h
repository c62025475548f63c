// Whether a folder is a package (a bundle the file manager shows as one item).
#pragma once

#include <array>
#include <string_view>

#include "platform/MacPath.h"

namespace veldo::platform {

// Path extensions of bundle folders, lower-case.
inline constexpr std::array<std::string_view, 8> kBundleExtensions = {
    "app", "framework", "bundle", "xpc", "appex", "plugin", "systemextension", "kext"};

// True when `extension`, compared without regard to case, is a bundle extension.
bool isBundleExtension(std::string_view extension);

// A directory (links not followed) whose extension is a bundle extension.
bool isPackage(const MacPath& path);

// A directory that is neither a package nor a symbolic link; false when it can't be examined.
bool isPlainFolder(const MacPath& path);

} // namespace veldo::platform
