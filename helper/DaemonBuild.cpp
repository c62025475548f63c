#include "helper/DaemonBuild.h"

#include "platform/PropertyList.h"

namespace veldo::helper {

extern const std::string_view kEmbeddedInfoPlist; // generated from helper/Info.plist

std::string buildOfInfoPlist(std::string_view infoPlist)
{
    const auto plist = platform::parsePropertyList(infoPlist);
    const auto* dictionary = plist ? plist->asDictionary() : nullptr;
    if (!dictionary)
        return "0";
    const auto found = dictionary->find("CFBundleVersion");
    if (found == dictionary->end() || !found->second.asString())
        return "0";
    return *found->second.asString();
}

const std::string& daemonBuild()
{
    static const std::string build = buildOfInfoPlist(kEmbeddedInfoPlist);
    return build;
}

} // namespace veldo::helper
