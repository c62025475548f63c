// The running program's own bundle: where the installed Veldo lives on the Mac and its identifier.
//
// On a Mac these come from the main bundle; here the program is taken to be installed at the
// fixed Mac path "/Applications/Veldo.app" (a test may place it elsewhere). Always a Mac path,
// never the host path of the running executable. Thread-safe.
#pragma once

#include <optional>
#include <string>

#include "platform/MacPath.h"

namespace veldo::platform {

// "/Applications/Veldo.app" unless a test set another path.
MacPath mainBundleURL();

// "orbelkan.Veldo".
std::string mainBundleIdentifier();

namespace testing {
// Places the running program's bundle at `path`; none restores "/Applications/Veldo.app".
void setMainBundleURL(std::optional<MacPath> path);
} // namespace testing

} // namespace veldo::platform
