// Signing information read from the Mach-O signature of a bundle's main executable.
#include "platform/SigningInformation.h"

#include <cerrno>

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
    // Non-blocking, so that a FIFO in place of the executable can't hold the scan. Without
    // touching the access time where the kernel lets us (the file's owner, or root): it is when
    // the app was last used, and reading its signature is not a use. Anyone else gets EPERM and
    // reads it as a start would.
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;
    auto fd = openInRoot(executable, kFlags | O_NOATIME, FollowLinks::yes);
    if (!fd && fd.error().systemErrno == EPERM)
        fd = openInRoot(executable, kFlags, FollowLinks::yes);
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
