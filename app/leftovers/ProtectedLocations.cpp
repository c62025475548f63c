// The protected-location tables and test of the leftover scan.
#include "app/leftovers/ProtectedLocations.h"

#include <optional>
#include <string_view>

#include "app/leftovers/ItemKey.h"

namespace veldo::leftovers::LeftoverScanner {

namespace {

bool beginsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

// The rest of `path` after `base` + "/", when it begins with that.
std::optional<std::string_view> restBelow(std::string_view path, const std::string& base)
{
    if (path.size() > base.size() && beginsWith(path, base) && path[base.size()] == '/')
        return path.substr(base.size() + 1);
    return std::nullopt;
}

} // namespace

const std::unordered_set<std::string>& systemPaths()
{
    static const std::unordered_set<std::string> paths{"/applications",
                                                       "/applications/utilities",
                                                       "/library",
                                                       "/users",
                                                       "/users/shared",
                                                       "/volumes",
                                                       "/network",
                                                       "/cores",
                                                       "/bin",
                                                       "/sbin",
                                                       "/opt",
                                                       "/opt/homebrew",
                                                       "/opt/local",
                                                       "/etc",
                                                       "/var",
                                                       "/tmp",
                                                       "/private",
                                                       "/private/etc",
                                                       "/private/var",
                                                       "/private/tmp",
                                                       "/private/etc/paths.d",
                                                       "/private/etc/manpaths.d",
                                                       "/etc/paths.d",
                                                       "/etc/manpaths.d",
                                                       "/private/var/db",
                                                       "/private/var/folders",
                                                       "/var/db",
                                                       "/var/folders",
                                                       "/usr/local",
                                                       "/usr/local/bin",
                                                       "/usr/local/sbin",
                                                       "/usr/local/lib",
                                                       "/usr/local/libexec",
                                                       "/usr/local/include",
                                                       "/usr/local/share",
                                                       "/usr/local/share/man",
                                                       "/usr/local/share/doc",
                                                       "/usr/local/etc",
                                                       "/usr/local/opt",
                                                       "/usr/local/var",
                                                       "/usr/local/cellar",
                                                       "/usr/local/caskroom",
                                                       "/usr/local/homebrew",
                                                       "/usr/local/frameworks"};
    return paths;
}

const std::unordered_set<std::string>& homeFolderNames()
{
    static const std::unordered_set<std::string> names{
        "applications", "desktop", "documents",  "downloads",    "library",
        "movies",       "music",   "pictures",   "public",       ".trash",
        ".config",      ".local",  ".local/bin", ".local/share", ".cache"};
    return names;
}

const std::unordered_set<std::string>& libraryFolderNames()
{
    static const std::unordered_set<std::string> names{"application support",
                                                       "application scripts",
                                                       "caches",
                                                       "containers",
                                                       "group containers",
                                                       "preferences",
                                                       "preferences/byhost",
                                                       "launchagents",
                                                       "launchdaemons",
                                                       "logs",
                                                       "logs/diagnosticreports",
                                                       "saved application state",
                                                       "httpstorages",
                                                       "webkit",
                                                       "cookies",
                                                       "privilegedhelpertools",
                                                       "frameworks",
                                                       "extensions",
                                                       "systemextensions",
                                                       "audio",
                                                       "audio/plug-ins",
                                                       "audio/plug-ins/components",
                                                       "audio/plug-ins/vst",
                                                       "audio/plug-ins/vst3",
                                                       "audio/plug-ins/hal",
                                                       "internet plug-ins",
                                                       "preferencepanes",
                                                       "receipts",
                                                       "fonts",
                                                       "services",
                                                       "spotlight",
                                                       "quicklook",
                                                       "input methods",
                                                       "keyboard layouts",
                                                       "keychains",
                                                       "developer",
                                                       "screen savers",
                                                       "colorsync",
                                                       "printers",
                                                       "security",
                                                       "staged extensions",
                                                       "mail",
                                                       "messages",
                                                       "safari",
                                                       "mobile documents",
                                                       "cloudstorage",
                                                       "accounts"};
    return names;
}

bool isProtectedLocation(const platform::MacPath& candidate,
                         const std::vector<platform::MacPath>& roots, const platform::MacPath& home)
{
    const std::string p = itemKey(candidate);
    if (p.empty() || p == "/")
        return true;
    if (p == "/system" || beginsWith(p, "/system/"))
        return true;
    if ((p == "/usr" || beginsWith(p, "/usr/")) && !beginsWith(p, "/usr/local/"))
        return true;

    const std::string h = itemKey(home);
    const std::string ancestorPrefix = p + "/";
    auto isAncestorOrSame = [&](const std::string& q) {
        return q == p || beginsWith(q, ancestorPrefix);
    };
    if (isAncestorOrSame(h))
        return true;
    std::vector<std::string> rootKeys;
    rootKeys.reserve(roots.size());
    for (const auto& root : roots) {
        rootKeys.push_back(itemKey(root));
        if (isAncestorOrSame(rootKeys.back()))
            return true;
    }

    if (systemPaths().contains(p))
        return true;
    if (auto rest = restBelow(p, h)) {
        if (homeFolderNames().contains(std::string(*rest)))
            return true;
    }

    auto protectedBelow = [&](const std::string& base) {
        auto rest = restBelow(p, base);
        return rest && libraryFolderNames().contains(std::string(*rest));
    };
    if (protectedBelow("/library") || protectedBelow(h + "/library"))
        return true;
    for (const auto& base : rootKeys) {
        if (protectedBelow(base))
            return true;
    }
    return false;
}

} // namespace veldo::leftovers::LeftoverScanner
