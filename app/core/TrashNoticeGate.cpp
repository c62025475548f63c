// The decision whether to offer cleanup for an app found in the Trash.
#include "app/core/TrashNoticeGate.h"

#include "app/core/InstalledAppInventory.h"
#include "platform/Unicode.h"

namespace veldo::core {

using platform::MacPath;

namespace {

std::string lowerStandardPath(const MacPath& p)
{
    return platform::lowercased(p.standardized().path());
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

} // namespace

void TrashNoticeGate::expect(const std::vector<MacPath>& urls,
                             const std::vector<std::string>& bundleIDs, Date now)
{
    for (const auto& url : urls)
        expectedPaths.insert_or_assign(lowerStandardPath(url), now);
    for (const auto& id : bundleIDs) {
        if (!id.empty())
            expectedBundleIDs.insert_or_assign(platform::lowercased(id), now);
    }
    lastRemovalActivity = now;
}

void TrashNoticeGate::prune(Date now)
{
    auto pruneMap = [&](std::map<std::string, Date>& m, std::chrono::seconds lifetime) {
        for (auto it = m.begin(); it != m.end();) {
            if (now - it->second < lifetime)
                ++it;
            else
                it = m.erase(it);
        }
    };
    pruneMap(expectedPaths, expectationLifetime);
    pruneMap(expectedBundleIDs, expectationLifetime);
    pruneMap(offered, repeatInterval);
    if (lastRemovalActivity && now - *lastRemovalActivity >= expectationLifetime)
        lastRemovalActivity.reset();
}

bool TrashNoticeGate::decide(const WatchedAppBundle& bundle, bool removalInProgress,
                             const MacPath& trashFolder, Date now)
{
    prune(now);
    if (!bundle.bundleID)
        return false;
    const std::string id = platform::lowercased(*bundle.bundleID);
    if (id.empty())
        return false;
    if (ownBundleID) {
        const std::string own = platform::lowercased(*ownBundleID);
        if (id == own || startsWith(id, own + "."))
            return false;
    }
    if (expectedBundleIDs.count(id))
        return false;
    for (const auto* url : {&bundle.originalURL, &bundle.trashURL}) {
        if (!url->has_value())
            continue;
        const std::string p = lowerStandardPath(**url);
        for (const auto& [expected, when] : expectedPaths) {
            if (p == expected || startsWith(p, expected + "/"))
                return false;
        }
    }
    if (bundle.trashURL && isNestedInTrash(*bundle.trashURL, trashFolder)) {
        if (removalInProgress)
            return false;
        if (lastRemovalActivity && now - *lastRemovalActivity < expectationLifetime)
            return false;
    }
    const std::string key = offerKey(bundle);
    if (offered.count(key))
        return false;
    offered[key] = now;
    return true;
}

std::string TrashNoticeGate::offerKey(const WatchedAppBundle& bundle)
{
    if (bundle.bundleID) {
        std::string id = platform::lowercased(*bundle.bundleID);
        if (!id.empty())
            return "id:" + id;
    }
    return "name:" + platform::lowercased(bundle.name);
}

bool TrashNoticeGate::isNestedInTrash(const MacPath& item, const MacPath& trashFolder)
{
    const std::string p = item.standardized().path();
    const std::string t = trashFolder.standardized().path();
    const std::string pl = platform::lowercased(p);
    const std::string tl = platform::lowercased(t);
    if (startsWith(pl, tl + "/")) {
        // Lower-casing can change byte lengths; cut the original at the Trash's own length.
        std::string_view rest = std::string_view(p).substr(std::min(p.size(), t.size() + 1));
        return rest.find('/') != std::string_view::npos;
    }
    const auto components = item.standardized().pathComponents();
    for (size_t i = 0; i < components.size(); ++i) {
        if (components[i] == ".Trashes") {
            if (components.front() == "/")
                return i + 3 < components.size();
            return false;
        }
    }
    return false;
}

InstalledApp TrashNoticeGate::installedApp(const WatchedAppBundle& bundle)
{
    if (bundle.trashURL) {
        if (auto loaded = InstalledAppInventory::load(*bundle.trashURL))
            return *loaded;
    }
    InstalledApp app;
    app.url = bundle.originalURL ? *bundle.originalURL
              : bundle.trashURL  ? *bundle.trashURL
                                 : MacPath("/Applications/" + bundle.name + ".app");
    app.name = bundle.name;
    app.bundleID = bundle.bundleID;
    app.version = bundle.version;
    return app;
}

bool isInTrash(const MacPath& item, const MacPath& home)
{
    const std::string p = item.standardized().path();
    const std::string trash = home.appendingPathComponent(".Trash").standardized().path();
    if (startsWith(p, trash + "/"))
        return true;
    if (startsWith(p, "/Volumes/"))
        return p.find("/.Trashes/") != std::string::npos;
    return false;
}

} // namespace veldo::core
