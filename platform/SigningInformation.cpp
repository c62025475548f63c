// Signing information read from the Mach-O signature of a bundle's main executable.
#include "platform/SigningInformation.h"

#include <fcntl.h>

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
    // Non-blocking, so that a FIFO in place of the executable can't hold the scan.
    auto fd = openInRoot(executable, O_RDONLY | O_NONBLOCK | O_NOCTTY, FollowLinks::yes);
    if (!fd)
        return std::nullopt;
    auto file = FileBytes::fromDescriptor(std::move(*fd));
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
