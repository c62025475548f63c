// AppLibrarySnapshot: the snapshots of the application folders and the Trash that
// AppLibraryWatcher compares, and their comparison. Synchronous, no side effects on disk, never
// failing; blocks on the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/core/AppLibraryWatcher.h"
#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::core::AppLibrarySnapshot {

// App bundles in a folder: entries whose lower-cased extension is "app", and those of its
// plain subfolders one level deep, at the subfolder's place. Hidden entries are skipped; a
// folder that can't be listed gives nothing.
std::vector<platform::MacPath> appBundles(const platform::MacPath& folder);

// The string at `key`, trimmed of white space; none when empty, missing, of another type,
// or when there is no dictionary.
std::optional<std::string> infoString(const platform::PlistValue* info, std::string_view key);

// The summary of one bundle (Contents/Info.plist, else WrappedBundle/Info.plist).
AppLibraryWatcher::Entry summarize(const platform::MacPath& bundle);

// The bundles of every folder, in order; a key met twice keeps the later value.
AppLibraryWatcher::Snapshot snapshotApps(const std::vector<platform::MacPath>& folders);

// The Trash's bundles and whether it could be listed (a missing Trash: empty, readable).
std::pair<AppLibraryWatcher::Snapshot, bool> snapshotTrash(const platform::MacPath& trashFolder);

// The events between two pairs of snapshots, in order: appsChanged first, then arrivals in
// the Trash by ascending path, then removals by ascending path.
std::vector<AppLibraryWatcher::Event> diff(const AppLibraryWatcher::Snapshot& oldApps,
                                           const AppLibraryWatcher::Snapshot& newApps,
                                           const AppLibraryWatcher::Snapshot& oldTrash,
                                           const AppLibraryWatcher::Snapshot& newTrash);

} // namespace veldo::core::AppLibrarySnapshot
