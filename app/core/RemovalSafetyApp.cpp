// The app-only parts of the removal-safety policy.
#include "app/core/RemovalSafetyApp.h"

#include <cerrno>
#include <string_view>
#include <unordered_map>

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

namespace {

// The normalised path of each url, with the links of each folder resolved once for the list.
// normalizedPath resolves only an item's folder (never the item) and adds "/private" only to a
// path that begins with "/var", "/etc" or "/tmp": so the normalised path of an item in a folder
// is the folder's normalised part, "/", and its name, except for a folder that resolves to "/",
// where "/private" may come in front. The folder part is therefore taken from an item only when
// its name is not one of those three and something stands before "/" and its name.
std::vector<std::string> normalizedKeys(const std::vector<platform::MacPath>& urls)
{
    std::unordered_map<std::string, std::string> folders;
    std::vector<std::string> keys;
    keys.reserve(urls.size());
    for (const platform::MacPath& url : urls) {
        const platform::MacPath standardized = url.standardized();
        if (!standardized.isAbsolute() || standardized.path() == "/") {
            keys.push_back(common::RemovalSafety::normalizedPath(url));
            continue;
        }
        std::string folder = standardized.deletingLastPathComponent().path();
        const std::string name = standardized.lastPathComponent();
        if (auto known = folders.find(folder); known != folders.end()) {
            keys.push_back(known->second + "/" + name);
            continue;
        }
        std::string key = common::RemovalSafety::normalizedPath(standardized);
        const bool privateAlias = name == "var" || name == "etc" || name == "tmp";
        if (!privateAlias && key.size() > name.size() + 1 &&
            key.compare(key.size() - name.size() - 1, std::string::npos, "/" + name) == 0)
            folders.emplace(std::move(folder), key.substr(0, key.size() - name.size() - 1));
        keys.push_back(std::move(key));
    }
    return keys;
}

// isCoveredByAncestor for a standardised path (no empty component, no trailing slash), whose
// parents are the prefixes before each "/", over a set of views.
bool hasAncestorIn(std::string_view path, const std::unordered_set<std::string_view>& paths)
{
    for (size_t slash = path.rfind('/'); slash != std::string_view::npos && slash >= 2;
         slash = path.rfind('/', slash - 1)) {
        if (paths.contains(path.substr(0, slash)))
            return true;
    }
    return path != "/" && paths.contains("/");
}

} // namespace

namespace detail {

std::vector<bool> coveredEntries(const std::vector<platform::MacPath>& urls, bool resolvesLinks)
{
    std::vector<std::string> keys;
    if (resolvesLinks) {
        keys = normalizedKeys(urls);
    } else {
        keys.reserve(urls.size());
        for (const platform::MacPath& url : urls)
            keys.push_back(url.standardized().path());
    }
    const std::unordered_set<std::string_view> all(keys.begin(), keys.end());
    std::unordered_set<std::string_view> seen;
    seen.reserve(keys.size());
    std::vector<bool> covered(urls.size(), false);
    for (size_t i = 0; i < keys.size(); ++i)
        covered[i] = hasAncestorIn(keys[i], all) || !seen.insert(keys[i]).second;
    return covered;
}

} // namespace detail

} // namespace veldo::core::RemovalSafety
