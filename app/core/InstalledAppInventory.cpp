// The installed-app inventory: folder listing, link rule, information dictionary, ordering.
#include "app/core/InstalledAppInventory.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <unordered_set>

#include "platform/MacFileSystem.h"
#include "platform/NameCollator.h"
#include "platform/Package.h"
#include "platform/PropertyList.h"
#include "platform/Unicode.h"

namespace veldo::core::InstalledAppInventory {

namespace {

using platform::MacPath;
using platform::PlistValue;

constexpr std::size_t kMaxInfoBytes = std::size_t{4} << 20;

struct SearchFolder
{
    MacPath url;
    bool isSystem;
};

std::string comparisonPath(const MacPath& url)
{
    return platform::resolvingSymlinks(url).path();
}

bool hasAppExtension(const MacPath& path)
{
    return platform::isAppBundleName(path.lastPathComponent(), platform::ExtensionCase::exact);
}

// A link to an app inside one of the application folders stands for its target.
MacPath applyLinkRule(const MacPath& candidate, const std::vector<std::string>& appFolders)
{
    if (!platform::isSymbolicLink(candidate))
        return candidate;
    MacPath target = platform::resolvingSymlinks(candidate);
    if (!hasAppExtension(target) || !platform::exists(target))
        return candidate;
    const std::string& t = target.path();
    for (const auto& folder : appFolders) {
        if (t == folder || (t.size() > folder.size() && t.compare(0, folder.size(), folder) == 0 &&
                            (folder == "/" || t[folder.size()] == '/')))
            return target;
    }
    return candidate;
}

std::optional<PlistValue> readInfoDictionary(const MacPath& bundle)
{
    for (const char* relative : {"Contents/Info.plist", "WrappedBundle/Info.plist"}) {
        auto value =
            platform::readPropertyListFile(bundle.appendingPathComponent(relative), kMaxInfoBytes);
        if (value && value->asDictionary())
            return value;
    }
    // No Linux counterpart to asking the bundle services for a bundle's dictionary.
    return std::nullopt;
}

std::optional<std::string> textValue(const std::optional<PlistValue>& info, std::string_view key)
{
    if (!info)
        return std::nullopt;
    auto raw = info->stringFor(key);
    if (!raw)
        return std::nullopt;
    const std::string_view trimmed = platform::trimmedWhiteSpace(*raw);
    if (trimmed.empty())
        return std::nullopt;
    return std::string(trimmed);
}

// A version held as a number, in decimal.
std::optional<std::string> numberText(const std::optional<PlistValue>& info, std::string_view key)
{
    const PlistValue* value = info ? info->find(key) : nullptr;
    if (!value)
        return std::nullopt;
    if (auto i = value->asRawInteger()) {
        return i->isUnsigned ? std::to_string(i->bits)
                             : std::to_string(static_cast<std::int64_t>(i->bits));
    }
    if (auto r = value->asReal()) {
        char buf[64];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *r);
        if (ec == std::errc())
            return std::string(buf, end);
    }
    return std::nullopt;
}

using RunningPaths = std::unordered_set<std::string>;

RunningPaths runningAppPaths(const InventorySources& sources)
{
    RunningPaths paths;
    for (const auto& app : sources.running->runningApplications()) {
        if (app.bundleURL)
            paths.insert(comparisonPath(*app.bundleURL));
    }
    return paths;
}

InstalledApp makeApp(const MacPath& bundle, bool isSystem, const RunningPaths& running,
                     const InventorySources& sources)
{
    const auto info = readInfoDictionary(bundle);
    const std::string fileName = bundle.deletingPathExtension().lastPathComponent();
    const auto bundleName = textValue(info, "CFBundleName");
    const auto displayName = textValue(info, "CFBundleDisplayName");

    InstalledApp app;
    app.url = bundle;
    app.name = displayName ? *displayName : bundleName ? *bundleName : fileName;
    for (const auto* candidate :
         {&fileName, bundleName ? &*bundleName : nullptr, displayName ? &*displayName : nullptr}) {
        if (!candidate || *candidate == app.name ||
            std::find(app.alternateNames.begin(), app.alternateNames.end(), *candidate) !=
                app.alternateNames.end())
            continue;
        app.alternateNames.push_back(*candidate);
    }
    app.version = textValue(info, "CFBundleShortVersionString");
    if (!app.version)
        app.version = textValue(info, "CFBundleVersion");
    if (!app.version)
        app.version = numberText(info, "CFBundleVersion");
    app.bundleID = textValue(info, "CFBundleIdentifier");
    app.sizeBytes = 0;
    app.isSystemApp = isSystem;
    if (running.count(comparisonPath(bundle)))
        app.lastUsed = sources.clock->now();
    else
        app.lastUsed = sources.lastUsed->lastUsedDate(bundle);
    return app;
}

} // namespace

Result<std::vector<InstalledApp>> scan(const std::vector<ScopedAccessRoot>& roots,
                                       bool includeSystemApps, const InventorySources& sources,
                                       std::stop_token stop)
{
    const RunningPaths running = runningAppPaths(sources);

    std::vector<SearchFolder> folders;
    std::vector<std::string> appFolders;
    for (const auto& root : roots) {
        if (root.kind != AccessRootKind::applications &&
            root.kind != AccessRootKind::userApplications)
            continue;
        folders.push_back({root.url, false});
        appFolders.push_back(comparisonPath(root.url));
    }
    if (includeSystemApps) {
        folders.push_back({MacPath("/System/Applications"), true});
        folders.push_back({MacPath("/System/Applications/Utilities"), true});
    }

    std::unordered_set<std::string> seen;
    std::vector<InstalledApp> result;
    for (const auto& folder : folders) {
        if (stop.stop_requested())
            return Error::make(ErrorCode::cancelled);
        for (const auto& candidate : platform::appBundlesIn(folder.url)) {
            if (stop.stop_requested())
                return Error::make(ErrorCode::cancelled);
            const MacPath bundle = applyLinkRule(candidate, appFolders);
            if (!seen.insert(comparisonPath(bundle)).second)
                continue;
            result.push_back(makeApp(bundle, folder.isSystem, running, sources));
        }
    }
    sortByName(result);
    return result;
}

std::optional<InstalledApp> load(const MacPath& url, const InventorySources& sources)
{
    if (!hasAppExtension(url) || !platform::exists(url))
        return std::nullopt;
    const std::string standard = url.standardized().path();
    const bool isSystem = standard.rfind("/System/", 0) == 0;
    return makeApp(url, isSystem, runningAppPaths(sources), sources);
}

void sortByName(std::vector<InstalledApp>& apps)
{
    const platform::NameCollator collator;
    std::stable_sort(apps.begin(), apps.end(), [&](const InstalledApp& a, const InstalledApp& b) {
        return collator.compare(a.name, b.name) < 0;
    });
}

} // namespace veldo::core::InstalledAppInventory
