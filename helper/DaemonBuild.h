// The helper daemon's build: the "CFBundleVersion" of the information property list compiled into
// it ("0" when that key is missing or not a string), read once.
#pragma once

#include <string>
#include <string_view>

namespace veldo::helper {

// The daemon's build number.
const std::string& daemonBuild();

// The build that the property list text `infoPlist` names ("0" when it names none). Pure.
std::string buildOfInfoPlist(std::string_view infoPlist);

} // namespace veldo::helper
