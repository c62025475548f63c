// Snapshots of the application folders and the Trash, and their comparison.
#include <algorithm>
#include <set>

#include "app/core/AppLibraryWatcher.h"
#include "platform/MacFileSystem.h"
#include "platform/Package.h"
#include "platform/PropertyList.h"
#include "platform/Unicode.h"

namespace veldo::core {

using platform::MacPath;

namespace {

std::string lower(const std::string& s)
{
    return platform::lowercased(s);
}

bool isAppName(const std::string& name)
{
    return lower(MacPath(name).pathExtension()) == "app";
}

// Visible entries of a folder in listed order; nothing when it can't be listed.
std::vector<std::string> visibleEntries(const MacPath& folder)
{
    auto names = platform::listDirectory(folder);
    if (!names)
        return {};
    std::vector<std::string> visible;
    for (auto& n : *names) {
        if (!n.empty() && n.front() != '.')
            visible.push_back(std::move(n));
    }
    return visible;
}

bool isWhitespace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string trimmed(std::string_view s)
{
    // Unicode white space beyond ASCII is trimmed too: the next line, every space separator
    // (Zs) and the line and paragraph separators.
    auto isSpaceAt = [&](size_t i, bool fromEnd) -> size_t {
        static constexpr std::string_view kMultiByte[] = {
            "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
            "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
            "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
            "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
        if (isWhitespace(static_cast<unsigned char>(fromEnd ? s[i - 1] : s[i])))
            return 1;
        for (auto m : kMultiByte) {
            if (!fromEnd && s.substr(i, m.size()) == m)
                return m.size();
            if (fromEnd && i >= m.size() && s.substr(i - m.size(), m.size()) == m)
                return m.size();
        }
        return 0;
    };
    size_t start = 0;
    size_t end = s.size();
    while (start < end) {
        size_t n = isSpaceAt(start, false);
        if (n == 0)
            break;
        start += n;
    }
    while (end > start) {
        size_t n = isSpaceAt(end, true);
        if (n == 0)
            break;
        end -= n;
    }
    return std::string(s.substr(start, end - start));
}

} // namespace

std::vector<MacPath> AppLibraryWatcher::appBundles(const MacPath& folder)
{
    std::vector<MacPath> bundles;
    for (const auto& name : visibleEntries(folder)) {
        const MacPath entry = folder.appendingPathComponent(name);
        if (isAppName(name)) {
            bundles.push_back(entry);
            continue;
        }
        if (!isPlainFolder(entry))
            continue;
        for (const auto& inner : visibleEntries(entry)) {
            if (isAppName(inner))
                bundles.push_back(entry.appendingPathComponent(inner));
        }
    }
    return bundles;
}

bool AppLibraryWatcher::isPlainFolder(const MacPath& path)
{
    return platform::isPlainFolder(path);
}

std::optional<std::string> AppLibraryWatcher::infoString(const platform::PlistValue* info,
                                                         std::string_view key)
{
    if (!info)
        return std::nullopt;
    auto value = info->stringFor(key);
    if (!value)
        return std::nullopt;
    std::string t = trimmed(*value);
    if (t.empty())
        return std::nullopt;
    return t;
}

AppLibraryWatcher::Entry AppLibraryWatcher::summarize(const MacPath& bundle)
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

AppLibraryWatcher::Snapshot AppLibraryWatcher::snapshotApps(const std::vector<MacPath>& folders)
{
    Snapshot snapshot;
    for (const auto& folder : folders) {
        for (const auto& bundle : appBundles(folder))
            snapshot.insert_or_assign(bundle.standardized().path(), summarize(bundle));
    }
    return snapshot;
}

std::pair<AppLibraryWatcher::Snapshot, bool>
AppLibraryWatcher::snapshotTrash(const MacPath& trashFolder)
{
    if (!platform::fileStatus(trashFolder, platform::FollowLinks::yes))
        return {Snapshot{}, true};
    if (!platform::listDirectory(trashFolder))
        return {Snapshot{}, false};
    return {snapshotApps({trashFolder}), true};
}

std::vector<AppLibraryWatcher::Event> AppLibraryWatcher::diff(const Snapshot& oldApps,
                                                              const Snapshot& newApps,
                                                              const Snapshot& oldTrash,
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

} // namespace veldo::core
