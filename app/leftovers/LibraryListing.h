// How the leftover rules reach the folders of a Library: constructed names looked up as a
// case-insensitive Mac volume answers them, and one-level listings, both through the scan's
// FolderListingCache (see there for how current its answers are).
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/leftovers/AddCallback.h"
#include "app/leftovers/FolderListingCache.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// `base` joined with the "/"-separated `relative` path, each component of `relative` taken with
// the letter case stored on disk when only a case variant exists. Components that can't be
// found are kept as written, so the result names the constructed path when nothing matches.
platform::MacPath locateEntry(FolderListingCache& listings, const platform::MacPath& base,
                              std::string_view relative);

// The entry `name` of the folder `locateEntry(base, folder)` as stored on disk (its letter case
// may differ from `name`'s); none when the folder holds no such entry, or when `name` can't be
// one entry (empty, ".", "..", or holding "/" or NUL): a name taken from outside data never
// reaches beyond its folder.
std::optional<platform::MacPath> existingChild(FolderListingCache& listings,
                                               const platform::MacPath& base,
                                               std::string_view folder, std::string_view name);

// The reading of `locateEntry(base, relative)`: its visibleNames() are the entries directly
// inside, sorted by name, hidden ones (names starting with ".") skipped. A folder that is
// missing or unreadable gives an empty reading.
std::shared_ptr<const FolderListing>
listFolder(FolderListingCache& listings, const platform::MacPath& base, std::string_view relative);

// One file or folder named after the bundle identifier: <folder>/<identifier><suffix>.
struct ExactPath
{
    const char* folder;
    const char* suffix; // appended to the identifier
    core::LeftoverCategory category;
};

// Proposes every exact path of `rows` that exists under `library` (names looked up as above) at
// certain confidence; paths that don't exist are not proposed. An identifier that can't be one
// entry name proposes nothing.
void addExactPaths(FolderListingCache& listings, const platform::MacPath& library,
                   std::span<const ExactPath> rows, const std::string& bundleID, bool requiresAdmin,
                   const AddCallback& add);

} // namespace veldo::leftovers::LeftoverScanner
