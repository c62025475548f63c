// Pre-scan of property-list bytes (see PlistGuard.h).
#include "platform/PlistGuard.h"

namespace veldo::platform::plistguard {

bool isSafeToParse(std::string_view bytes)
{
    // Only the format check for now: binary or XML.
    return bytes.substr(0, 8) == "bplist00" || bytes.find("<plist") != std::string_view::npos;
}

} // namespace veldo::platform::plistguard
