// The main executable a bundle's information dictionary names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/MacPath.h"

namespace veldo::platform {

// A name that can only mean one entry of a folder: not empty, ".", "..", nor holding "/" or NUL.
bool isPlainFileName(std::string_view name);

// The "CFBundleExecutable" of the bundle's "Contents/Info.plist" when it is a plain file name;
// none when the dictionary can't be read or names no such thing. Blocks on the file system.
std::optional<std::string> bundleExecutableName(const MacPath& bundle);

// "Contents/MacOS/" + `name` inside `bundle`.
MacPath bundleExecutablePath(const MacPath& bundle, std::string_view name);

} // namespace veldo::platform
