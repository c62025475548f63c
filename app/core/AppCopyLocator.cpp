// Finding other copies of an app and judging whether one is usable.
#include "app/core/AppCopyLocator.h"

#include "app/core/TrashNoticeGate.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::core::AppCopyLocator {

using platform::MacPath;

std::vector<MacPath> spotlightCopies(const std::string& bundleID, std::chrono::milliseconds timeout,
                                     std::stop_token stop,
                                     const platform::ApplicationRegistry& registry)
{
    return registry.searchApplications(bundleID, std::chrono::steady_clock::now() + timeout,
                                       std::move(stop));
}

bool isUsableCopy(const MacPath& candidate, const std::vector<MacPath>& excluding,
                  const MacPath& home)
{
    const std::string c = platform::lowercased(candidate.standardized().path());
    for (const auto& e : excluding) {
        if (platform::lowercased(e.standardized().path()) == c)
            return false;
    }
    if (isInTrash(candidate, home))
        return false;
    if (c.find("/.trash/") != std::string::npos || c.find("/.trashes/") != std::string::npos)
        return false;
    return platform::exists(candidate);
}

} // namespace veldo::core::AppCopyLocator
