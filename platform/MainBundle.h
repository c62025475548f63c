// The running program's own bundle: where the installed Veldo lives on the Mac and its identifier.
//
// On a Mac these come from the main bundle; here the program is taken to be installed at the
// fixed Mac path "/Applications/Veldo.app" (a test may place it elsewhere). Always a Mac path,
// never the host path of the running executable. Thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::platform {

// "/Applications/Veldo.app" unless a test set another path.
MacPath mainBundleURL();

// "orbelkan.Veldo".
std::string mainBundleIdentifier();

// The value of `key` in the bundle's Info dictionary ("Contents/Info.plist" of mainBundleURL(),
// read afresh through the Mac root); none when the file can't be read as a dictionary or has no
// such key. Blocks on the file read.
std::optional<PlistValue> mainBundleInfoValue(std::string_view key);

namespace testing {
// Places the running program's bundle at `path`; none restores "/Applications/Veldo.app".
void setMainBundleURL(std::optional<MacPath> path);
} // namespace testing

} // namespace veldo::platform
