// Signing information read from the Mach-O signature of a bundle's main executable.
#include "platform/SigningInformation.h"

#include "platform/ByteSource.h"
#include "platform/MacFileSystem.h"
#include "platform/MachOSignature.h"
#include "platform/PropertyList.h"

namespace veldo::platform {

namespace {

constexpr std::size_t kMaxInfoBytes = std::size_t{4} << 20;

bool isPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

std::optional<SigningInformation> signingInformation(const MacPath& bundle)
{
    const MacPath contents = bundle.appendingPathComponent("Contents");
    auto info = readPropertyListFile(contents.appendingPathComponent("Info.plist"), kMaxInfoBytes);
    if (!info)
        return std::nullopt;
    auto name = info->stringFor("CFBundleExecutable");
    if (!name || !isPlainFileName(*name))
        return std::nullopt;
    const MacPath executable =
        contents.appendingPathComponent("MacOS").appendingPathComponent(*name);
    auto file = FileBytes::open(resolvedHostPath(executable, FollowLinks::yes));
    if (!file)
        return std::nullopt;
    auto signature = readCodeSignature(*file);
    if (!signature)
        return std::nullopt;

    SigningInformation result;
    result.teamIdentifier = signature->teamIdentifier;
    if (signature->entitlements)
        result.entitlements = parsePropertyList(*signature->entitlements);
    return result;
}

} // namespace veldo::platform
