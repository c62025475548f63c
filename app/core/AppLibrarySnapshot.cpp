// Snapshots of the application folders and the Trash, and their comparison.
#include "app/core/AppLibrarySnapshot.h"

#include <algorithm>
#include <set>

#include "platform/MacFileSystem.h"
#include "platform/Package.h"
#include "platform/PropertyList.h"
#include "platform/Unicode.h"

namespace veldo::core::AppLibrarySnapshot {

using Entry = AppLibraryWatcher::Entry;
using Snapshot = AppLibraryWatcher::Snapshot;
using Event = AppLibraryWatcher::Event;
using AppsChanged = AppLibraryWatcher::AppsChanged;
using AppMovedToTrash = AppLibraryWatcher::AppMovedToTrash;
using AppRemoved = AppLibraryWatcher::AppRemoved;

using platform::MacPath;

namespace {

std::string lower(const std::string& s)
{
    return platform::lowercased(s);
}

} // namespace

std::vector<MacPath> appBundles(const MacPath& folder)
{
    return platform::appBundlesIn(folder, {.extensionCase = platform::ExtensionCase::ignored});
}

std::optional<std::string> infoString(const platform::PlistValue* info, std::string_view key)
{
    if (!info)
        return std::nullopt;
    auto value = info->stringFor(key);
    if (!value)
        return std::nullopt;
    std::string t(platform::trimmedWhiteSpace(*value));
    if (t.empty())
        return std::nullopt;
    return t;
}

Entry summarize(const MacPath& bundle)
{
    std::optional<platform::PlistValue> info;
    for (const char* candidate : {"Contents/Info.plist", "WrappedBundle/Info.plist"}) {
        auto value = platform::readPropertyListFile(bundle.appendingPathComponent(candidate));
        if (value && value->asDictionary()) {
            info = std::move(value);
            break;
        }
    }
    const platform::PlistValue* dict = info ? &*info : nullptr;
    Entry entry;
    entry.bundleID = infoString(dict, "CFBundleIdentifier");
    if (auto n = infoString(dict, "CFBundleDisplayName"))
        entry.name = *n;
    else if (auto n2 = infoString(dict, "CFBundleName"))
        entry.name = *n2;
    else
        entry.name = bundle.deletingPathExtension().lastPathComponent();
    entry.version = infoString(dict, "CFBundleShortVersionString");
    if (!entry.version)
        entry.version = infoString(dict, "CFBundleVersion");
    return entry;
}

Snapshot snapshotApps(const std::vector<MacPath>& folders)
{
    Snapshot snapshot;
    for (const auto& folder : folders) {
        for (const auto& bundle : appBundles(folder))
            snapshot.insert_or_assign(bundle.standardized().path(), summarize(bundle));
    }
    return snapshot;
}

std::pair<Snapshot, bool> snapshotTrash(const MacPath& trashFolder)
{
    if (!platform::fileStatus(trashFolder, platform::FollowLinks::yes))
        return {Snapshot{}, true};
    if (!platform::listDirectory(trashFolder))
        return {Snapshot{}, false};
    return {snapshotApps({trashFolder}), true};
}

std::vector<Event> diff(const Snapshot& oldApps, const Snapshot& newApps, const Snapshot& oldTrash,
                        const Snapshot& newTrash)
{
    std::vector<Event> events;
    if (oldApps != newApps)
        events.emplace_back(AppsChanged{});

    // Both lists come out of ordered maps, so they are already in ascending path order.
    std::vector<std::pair<std::string, Entry>> removed;
    for (const auto& [path, entry] : oldApps) {
        if (!newApps.count(path))
            removed.emplace_back(path, entry);
    }
    std::vector<std::pair<std::string, Entry>> arrived;
    for (const auto& [path, entry] : newTrash) {
        if (!oldTrash.count(path))
            arrived.emplace_back(path, entry);
    }
    std::set<std::string> installedIDs;
    for (const auto& [path, entry] : newApps) {
        if (entry.bundleID)
            installedIDs.insert(lower(*entry.bundleID));
    }
    auto stillInstalled = [&](const Entry& e) {
        return e.bundleID && installedIDs.count(lower(*e.bundleID)) > 0;
    };
    auto matches = [](const Entry& a, const Entry& b) {
        if (a.bundleID && b.bundleID)
            return lower(*a.bundleID) == lower(*b.bundleID);
        return a.name == b.name;
    };

    for (const auto& [trashPath, arrival] : arrived) {
        std::optional<std::string> originalPath;
        for (auto it = removed.begin(); it != removed.end(); ++it) {
            if (matches(arrival, it->second)) {
                originalPath = it->first;
                removed.erase(it);
                break;
            }
        }
        if (stillInstalled(arrival))
            continue;
        WatchedAppBundle bundle{MacPath(trashPath),
                                originalPath ? std::optional<MacPath>(*originalPath) : std::nullopt,
                                arrival.bundleID, arrival.name, arrival.version};
        events.emplace_back(AppMovedToTrash{std::move(bundle)});
    }
    for (const auto& [path, entry] : removed) {
        if (stillInstalled(entry))
            continue;
        events.emplace_back(AppRemoved{WatchedAppBundle{std::nullopt, MacPath(path), entry.bundleID,
                                                        entry.name, entry.version}});
    }
    return events;
}

} // namespace veldo::core::AppLibrarySnapshot
