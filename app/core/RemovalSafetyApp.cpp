// The app-only parts of the removal-safety policy.
#include "app/core/RemovalSafetyApp.h"

#include <cerrno>

#include "common/RemovalSafety.h"

namespace veldo::core::RemovalSafety {

bool isCoveredByAncestor(const std::string& path, const std::unordered_set<std::string>& paths)
{
    platform::MacPath parent = platform::MacPath(path).deletingLastPathComponent();
    while (parent.path().size() >= 2) {
        if (paths.contains(parent.path()))
            return true;
        parent = parent.deletingLastPathComponent();
    }
    return path != "/" && paths.contains("/");
}

bool isPermissionError(const platform::SystemError& error)
{
    for (const platform::SystemError* e = &error; e; e = e->underlyingError()) {
        switch (e->domain()) {
        case platform::ErrorDomain::cocoa:
            if (e->code() == platform::kCocoaFileWriteNoPermissionError ||
                e->code() == platform::kCocoaFileReadNoPermissionError)
                return true;
            break;
        case platform::ErrorDomain::posix:
            if (e->code() == EPERM || e->code() == EACCES)
                return true;
            break;
        case platform::ErrorDomain::other:
            break;
        }
    }
    return false;
}

namespace detail {

std::vector<bool> coveredEntries(const std::vector<platform::MacPath>& urls, bool resolvesLinks)
{
    std::vector<std::string> keys;
    keys.reserve(urls.size());
    for (const platform::MacPath& url : urls)
        keys.push_back(resolvesLinks ? common::RemovalSafety::normalizedPath(url)
                                     : url.standardized().path());
    const std::unordered_set<std::string> all(keys.begin(), keys.end());
    std::unordered_set<std::string> seen;
    std::vector<bool> covered(urls.size(), false);
    for (size_t i = 0; i < keys.size(); ++i) {
        covered[i] = isCoveredByAncestor(keys[i], all) || !seen.insert(keys[i]).second;
    }
    return covered;
}

} // namespace detail

} // namespace veldo::core::RemovalSafety
