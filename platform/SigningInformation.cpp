// Signing information read from the Mach-O signature of a bundle's main executable.
#include "platform/SigningInformation.h"

#include "platform/BundleExecutable.h"
#include "platform/FileBytes.h"
#include "platform/MacFileSystem.h"
#include "platform/MachOSignature.h"
#include "platform/PropertyList.h"

namespace veldo::platform {

std::optional<SigningInformation> signingInformation(const MacPath& bundle)
{
    auto name = bundleExecutableName(bundle);
    if (!name)
        return std::nullopt;
    const MacPath executable = bundleExecutablePath(bundle, *name);
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
