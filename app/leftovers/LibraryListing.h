// How the leftover rules reach the folders of a Library: constructed names looked up as a
// case-insensitive Mac volume answers them, and one-level listings.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/leftovers/AddCallback.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// `base` joined with the "/"-separated `relative` path, each component of `relative` taken with
// the letter case stored on disk when only a case variant exists. Components that can't be
// found are kept as written, so the result names the constructed path when nothing matches.
platform::MacPath locateEntry(const platform::MacPath& base, std::string_view relative);

// The entry `name` of the folder `locateEntry(base, folder)`, with its stored letter case when
// only a case variant exists and as written when none exists. None when `name` can't be one
// entry (empty, ".", "..", or holding "/" or NUL): a name taken from outside data never
// reaches beyond its folder.
std::optional<platform::MacPath> locateChild(const platform::MacPath& base, std::string_view folder,
                                             std::string_view name);

// The entries directly inside `locateEntry(base, relative)`, sorted by name, hidden ones
// (names starting with ".") skipped. A folder that is missing or unreadable gives nothing.
std::vector<platform::MacPath> listFolder(const platform::MacPath& base, std::string_view relative);

// One file or folder named after the bundle identifier: <folder>/<identifier><suffix>.
struct ExactPath
{
    const char* folder;
    const char* suffix; // appended to the identifier
    core::LeftoverCategory category;
};

// Proposes every exact path of `rows` that exists under `library` (names looked up as above) at
// certain confidence. An identifier that can't be one entry name proposes nothing.
void addExactPaths(const platform::MacPath& library, std::span<const ExactPath> rows,
                   const std::string& bundleID, bool requiresAdmin, const AddCallback& add);

} // namespace veldo::leftovers::LeftoverScanner
