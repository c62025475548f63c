// ToolchainScanner: measures the disk space that developer tools occupy in well-known places.
//
// A built-in table of 78 candidate locations (package-manager caches, SDKs, runtime versions,
// build caches, container and virtual-machine data) is measured under a home folder. Every
// location that exists and occupies more than 1,000,000 bytes becomes a ToolchainItem; the rows
// marked expandChildren are folders of versions or environments whose visible children become
// items of their own instead. The items are gathered into one group per ToolchainKind, largest
// group first.
//
// All paths are Mac paths. scan blocks for as long as measuring takes (run it in background
// work), keeps no state, and reports nothing: a location that is missing, can't be listed or
// can't be measured simply yields nothing. Links: a location's existence is tested through a
// final link; a location that is itself a link is measured as the link (so it yields nothing),
// while an expanded folder that is a link is listed through it. requiresAdmin compares the item
// and the home with their links resolved inside the Mac root. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/core/ToolchainItem.h"
#include "app/core/ToolchainKind.h"
#include "platform/MacPath.h"

namespace veldo::scanners::ToolchainScanner {

// One row of the table.
struct Candidate
{
    core::ToolchainKind kind = core::ToolchainKind::homebrew;
    std::string title;
    std::string detail;
    platform::MacPath url;
    bool isCache = false;
    bool holdsUserData = false;
    bool expandChildren = false; // each visible child is measured as an item of its own

    friend bool operator==(const Candidate&, const Candidate&) = default;
};

// Items of this many bytes or fewer are left out.
inline constexpr std::int64_t kMinimumSize = 1'000'000;

// How an item is measured: core::allocatedSize unless a caller passes its own.
using SizeFunction = std::function<std::int64_t(const platform::MacPath&)>;

// The rows of `kind` under `home`, in table order. Touches no file.
std::vector<Candidate> toolchainCandidates(core::ToolchainKind kind, const platform::MacPath& home);

// Whether an item at `url` lies outside `home`, both with their links resolved inside the Mac
// root: false when the paths are equal or the item's path begins with the home's and "/".
bool requiresAdmin(const platform::MacPath& url, const platform::MacPath& home);

// The groups of items found under `home`, sorted by total size, largest first (stable: equal
// totals keep the ToolchainKind order); inside a group the items keep table and listing order.
// Empty when nothing large enough was found. A stop requested through `stop` ends every folder
// measurement still to come at 0, so the scan returns soon with what it measured before (callers
// drop a stopped scan).
std::vector<core::ToolchainGroup> scan(const platform::MacPath& home, std::stop_token stop = {});
std::vector<core::ToolchainGroup> scan(const platform::MacPath& home, const SizeFunction& sizeOf);

} // namespace veldo::scanners::ToolchainScanner
