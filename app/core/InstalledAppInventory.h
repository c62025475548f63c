// InstalledAppInventory: which applications are installed, read from their bundles.
//
// Reads only. Everything blocks on the file system and runs on the caller's thread; nothing is
// kept between calls, so several scans may run at once. Nothing is reported: unreadable folders
// add no apps, a bundle without a readable information dictionary still gives an app named
// after its file. There are no security-scoped resources on Linux, so a scan starts and stops
// no access on its roots.
#pragma once

#include <optional>
#include <stop_token>
#include <vector>

#include "app/core/AccessRootKind.h"
#include "app/core/InstalledApp.h"
#include "base/Result.h"
#include "platform/Clock.h"
#include "platform/LastUsedDates.h"
#include "platform/MacPath.h"
#include "platform/RunningApplications.h"

namespace veldo::core {

// What the inventory asks of the system; tests pass their own. Not owned.
struct InventorySources
{
    const platform::RunningApplicationSource* running =
        &platform::ProcRunningApplications::shared();
    const platform::LastUsedDateSource* lastUsed = &platform::ExecutableAccessTime::shared();
    const platform::Clock* clock = &platform::SystemClock::shared();
};

namespace InstalledAppInventory {

// The apps in the roots of kind applications and userApplications (in the order of `roots`),
// then, with `includeSystemApps`, in "/System/Applications" and "/System/Applications/Utilities"
// (marked isSystemApp). A folder yields its entries named "*.app" (exactly that extension) and
// those of its plain subfolders, one level deep; hidden entries are skipped and nothing inside a
// package is looked at. A symbolic link to an app inside one of the application folders stands
// for its target; a link to an app elsewhere is listed as the link. A bundle reached twice (by
// any links) is listed once, from the first folder that reaches it. sizeBytes is 0. Sorted by
// sortByName. A stop requested through `stop` is noticed before each bundle is read and fails
// the scan with cancelled.
Result<std::vector<InstalledApp>> scan(const std::vector<ScopedAccessRoot>& roots,
                                       bool includeSystemApps, const InventorySources& sources = {},
                                       std::stop_token stop = {});

// One bundle on its own (an app dropped or opened): none unless the extension is exactly "app"
// and something exists at the path. isSystemApp when the path lies in "/System/".
std::optional<InstalledApp> load(const platform::MacPath& url,
                                 const InventorySources& sources = {});

// Sorts by name, in the process locale's order ignoring letter case; stable, so apps whose names
// compare equal keep their order.
void sortByName(std::vector<InstalledApp>& apps);

} // namespace InstalledAppInventory

} // namespace veldo::core
