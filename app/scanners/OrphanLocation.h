// The fixed folders the orphan scan reads: the table of Library folders it judges, with the way
// names are read in each, and the two application folders it opens when given no roots.
//
// Nothing is read from disk (defaultAccessRoots asks the user database); any thread.
#pragma once

#include <optional>
#include <vector>

#include "app/core/AccessRootKind.h"
#include "app/core/LeftoverCategory.h"
#include "platform/MacPath.h"

namespace veldo::scanners::OrphanScanner {

// How an identifier is read from an entry name of a location.
enum class NameStyle
{
    bare,          // the name itself
    groupPrefixed, // an optional team prefix and an optional "group." before the identifier
    plist,         // the identifier followed by ".plist"
    savedState,    // … ".savedState"
    cookies,       // … ".binarycookies"
    httpStorage,   // the identifier, with or without ".binarycookies"
    launchPlist,   // a launchd property list: its label, else its name without ".plist"
    helperTool     // the name itself
};

// One folder of the table.
struct Location
{
    platform::MacPath url;
    core::LeftoverCategory category = core::LeftoverCategory::supportFiles; // of every finding
    NameStyle style = NameStyle::bare;
    bool requiresAdmin = false; // items here need administrator rights to remove

    friend bool operator==(const Location&, const Location&) = default;
};

// The 12 folders of the home folder's Library, then, when `systemLibrary` is given, the 7
// folders directly in it; in the order they are walked.
std::vector<Location> locations(const platform::MacPath& home,
                                const std::optional<platform::MacPath>& systemLibrary);

// The roots the scan opens when it is given none: "/Applications", then the current user's
// home folder's "Applications".
std::vector<core::ScopedAccessRoot> defaultAccessRoots();

} // namespace veldo::scanners::OrphanScanner
