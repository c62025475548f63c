// The main executable a bundle's information dictionary names.
#include "platform/BundleExecutable.h"

#include "platform/PropertyList.h"

namespace veldo::platform {

namespace {

constexpr std::size_t kMaxInfoBytes = std::size_t{4} << 20;

} // namespace

bool isPlainFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::optional<std::string> bundleExecutableName(const MacPath& bundle)
{
    auto info =
        readPropertyListFile(bundle.appendingPathComponent("Contents/Info.plist"), kMaxInfoBytes);
    if (!info)
        return std::nullopt;
    auto name = info->stringFor("CFBundleExecutable");
    if (!name || !isPlainFileName(*name))
        return std::nullopt;
    return name;
}

MacPath bundleExecutablePath(const MacPath& bundle, std::string_view name)
{
    return bundle.appendingPathComponent("Contents/MacOS").appendingPathComponent(name);
}

} // namespace veldo::platform
