// AppCopyLocator: finds other installed copies of an app (a bounded metadata search) and tells
// whether a found copy is usable.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/ApplicationRegistry.h"
#include "platform/MacPath.h"

namespace veldo::core::AppCopyLocator {

// Bundles with this identifier found by the platform's application search within `timeout`,
// in the search's order: empty when nothing is found; when the time-out (or `stop`) comes
// first, the bundles found by then. Blocks the calling thread; never fails.
std::vector<platform::MacPath> spotlightCopies(
    const std::string& bundleID, std::chrono::milliseconds timeout, std::stop_token stop = {},
    const platform::ApplicationRegistry& registry = platform::systemApplicationRegistry());

// Not one of `excluding` (ignoring case), not in a Trash, and still on disk.
bool isUsableCopy(const platform::MacPath& candidate,
                  const std::vector<platform::MacPath>& excluding, const platform::MacPath& home);

} // namespace veldo::core::AppCopyLocator
