// The running program's own bundle path and identifier.
#include "platform/MainBundle.h"

#include <mutex>

#include "platform/PropertyList.h"

namespace veldo::platform {

namespace {

constexpr const char* kInstalledBundlePath = "/Applications/Veldo.app";
constexpr const char* kBundleIdentifier = "orbelkan.Veldo";

struct Placement
{
    std::mutex mutex;
    std::optional<MacPath> path;
};

Placement& placement()
{
    static Placement s;
    return s;
}

} // namespace

MacPath mainBundleURL()
{
    Placement& s = placement();
    std::lock_guard lock(s.mutex);
    return s.path.value_or(MacPath(kInstalledBundlePath));
}

std::string mainBundleIdentifier()
{
    return kBundleIdentifier;
}

std::optional<PlistValue> mainBundleInfoValue(std::string_view key)
{
    const auto info =
        readPropertyListFile(mainBundleURL().appendingPathComponent("Contents/Info.plist"));
    const PlistValue* value = info ? info->find(key) : nullptr;
    if (!value)
        return std::nullopt;
    return *value;
}

namespace testing {

void setMainBundleURL(std::optional<MacPath> path)
{
    Placement& s = placement();
    std::lock_guard lock(s.mutex);
    s.path = std::move(path);
}

} // namespace testing

} // namespace veldo::platform
