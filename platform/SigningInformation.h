// The signing information of a bundle: its code-signing team and its entitlements.
//
// On a Mac the code-signing services answer for a bundle. Here the answer is read from the
// code signature embedded in the bundle's main executable ("Contents/Info.plist" →
// "CFBundleExecutable" → "Contents/MacOS/<name>", through the Mac root, links resolved inside
// it), with MachOSignature's reader; the entitlements go through the guarded property-list
// reader. Blocks on the file system; thread-safe; never fails loudly.
#pragma once

#include <optional>
#include <string>

#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::platform {

struct SigningInformation
{
    std::optional<std::string> teamIdentifier;
    // The entitlements when the signature carries some that read as a property list.
    std::optional<PlistValue> entitlements;
};

// The signing information of the bundle at `bundle`; none when the bundle has no readable main
// executable, the executable is unsigned, or its signature can't be read.
std::optional<SigningInformation> signingInformation(const MacPath& bundle);

} // namespace veldo::platform
