// ApplicationRegistry: the workspace's answer to "which applications have this bundle
// identifier".
//
// The system registry of a Mac answers from Launch Services. On Linux it answers from the
// application bundles of the Mac root's application folders ("/Applications", the home
// folder's "Applications", "/System/Applications") and of every "/Volumes/<volume>/Applications",
// each searched one level deep and inside plain subfolders (so ".../Utilities" too),
// reading each bundle's Contents/Info.plist. Like Launch Services it answers from an index by
// identifier, built on the first question and kept while nothing it read has changed: each
// question compares the identity and times of the folders it listed (and, for a bundle whose
// identifier could not be read, of the bundle, its Contents and its Info.plist); the index is
// built again after any change, after a change of Mac root or home folder, and whenever a folder
// it read had changed just before. An identifier edited in place inside a bundle's Info.plist,
// with no folder changed, is not seen until something else changes. Calls block on the file
// system and are thread-safe (concurrent questions wait while one builds the index); unreadable
// folders and bundles are left out, nothing fails.
#pragma once

#include <chrono>
#include <stop_token>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::platform {

class ApplicationRegistry
{
public:
    virtual ~ApplicationRegistry() = default;

    // The bundle URLs of the applications whose identifier equals `bundleIdentifier` (letter
    // case ignored), in the registry's order; empty when none does.
    virtual std::vector<MacPath> applicationURLs(std::string_view bundleIdentifier) const = 0;

    // The metadata-search stand-in: the same answer, but the search ends at `deadline` or when
    // `stop` is requested, answering the bundles found by then. Registries that answer at once
    // need not override it.
    virtual std::vector<MacPath> searchApplications(std::string_view bundleIdentifier,
                                                    std::chrono::steady_clock::time_point deadline,
                                                    std::stop_token stop) const
    {
        (void)deadline;
        (void)stop;
        return applicationURLs(bundleIdentifier);
    }
};

// The registry of this machine (of the current Mac root). Lives as long as the process.
const ApplicationRegistry& systemApplicationRegistry();

} // namespace veldo::platform
