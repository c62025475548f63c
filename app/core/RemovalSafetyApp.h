// The parts of the removal-safety policy that only the app uses: the nesting filter of item
// lists and the permission-error test. The shared part is common/RemovalSafety.h.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "platform/MacPath.h"
#include "platform/SystemError.h"

namespace veldo::core::RemovalSafety {

// Whether a strict ancestor of `path` (by deleting last path components while the parent is at
// least two characters long, then "/" when `path` is not "/") is in `paths`. Exact comparison.
bool isCoveredByAncestor(const std::string& path, const std::unordered_set<std::string>& paths);

// Whether a failed move failed for lack of permission, so that it can be retried with
// administrator rights: a Cocoa 513 or 257, a POSIX EPERM or EACCES, or an error whose
// underlying error (looked up recursively) is one.
bool isPermissionError(const platform::SystemError& error);

namespace detail {
// For each path, whether another path of the list covers it (an ancestor is in the list, or an
// earlier entry has the same key). Keys are normalisedPath when `resolvesLinks`, else the
// standardised path.
std::vector<bool> coveredEntries(const std::vector<platform::MacPath>& urls, bool resolvesLinks);
} // namespace detail

template <typename Item>
struct FilteredItems
{
    std::vector<Item> removable; // the items to act on, in input order
    std::vector<Item> covered;   // items inside another listed item, and repeats, in input order
};

// Splits `items` (any record with a MacPath `url`, such as LeftoverItem) into the items to
// act on and those already covered by another item of the list, so that a folder and a file in
// it are neither moved nor counted twice. Asks no refusal of the safety check. With
// `resolvesLinks` the items are compared by their normalised paths (the Trash executor), else by
// their standardised paths (everyone else); either way without folding. Reads the disk only
// with `resolvesLinks`.
template <typename Item>
FilteredItems<Item> filterRemovable(const std::vector<Item>& items, bool resolvesLinks)
{
    std::vector<platform::MacPath> urls;
    urls.reserve(items.size());
    for (const Item& item : items)
        urls.push_back(item.url);
    const std::vector<bool> covered = detail::coveredEntries(urls, resolvesLinks);
    FilteredItems<Item> result;
    for (size_t i = 0; i < items.size(); ++i)
        (covered[i] ? result.covered : result.removable).push_back(items[i]);
    return result;
}

} // namespace veldo::core::RemovalSafety
