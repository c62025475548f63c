// The orphan scan's table of Library folders and its default access roots.
#include "app/scanners/OrphanLocation.h"

#include "platform/Home.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

using core::LeftoverCategory;
using platform::MacPath;

std::vector<Location> locations(const MacPath& home, const std::optional<MacPath>& systemLibrary)
{
    struct Row
    {
        const char* folder;
        LeftoverCategory category;
        NameStyle style;
    };
    static constexpr Row kUserRows[] = {
        {"Application Support", LeftoverCategory::supportFiles, NameStyle::bare},
        {"Caches", LeftoverCategory::caches, NameStyle::bare},
        {"Containers", LeftoverCategory::containers, NameStyle::bare},
        {"Group Containers", LeftoverCategory::groupContainers, NameStyle::groupPrefixed},
        {"Preferences", LeftoverCategory::preferences, NameStyle::plist},
        {"Saved Application State", LeftoverCategory::savedState, NameStyle::savedState},
        {"HTTPStorages", LeftoverCategory::webData, NameStyle::httpStorage},
        {"WebKit", LeftoverCategory::webData, NameStyle::bare},
        {"Logs", LeftoverCategory::logs, NameStyle::bare},
        {"LaunchAgents", LeftoverCategory::launchAgents, NameStyle::launchPlist},
        {"Application Scripts", LeftoverCategory::containers, NameStyle::groupPrefixed},
        {"Cookies", LeftoverCategory::cookies, NameStyle::cookies},
    };
    static constexpr Row kSystemRows[] = {
        {"Application Support", LeftoverCategory::supportFiles, NameStyle::bare},
        {"LaunchAgents", LeftoverCategory::launchAgents, NameStyle::launchPlist},
        {"LaunchDaemons", LeftoverCategory::launchAgents, NameStyle::launchPlist},
        {"Preferences", LeftoverCategory::preferences, NameStyle::plist},
        {"Caches", LeftoverCategory::caches, NameStyle::bare},
        {"Logs", LeftoverCategory::logs, NameStyle::bare},
        {"PrivilegedHelperTools", LeftoverCategory::launchAgents, NameStyle::helperTool},
    };

    std::vector<Location> table;
    const MacPath library = home.appendingPathComponent("Library");
    for (const Row& row : kUserRows)
        table.push_back(
            {library.appendingPathComponent(row.folder), row.category, row.style, false});
    if (systemLibrary) {
        for (const Row& row : kSystemRows)
            table.push_back(
                {systemLibrary->appendingPathComponent(row.folder), row.category, row.style, true});
    }
    return table;
}

std::vector<core::ScopedAccessRoot> defaultAccessRoots()
{
    return {{core::AccessRootKind::applications, MacPath("/Applications")},
            {core::AccessRootKind::userApplications,
             platform::homeDirectory().appendingPathComponent("Applications")}};
}

} // namespace veldo::scanners::OrphanScanner
