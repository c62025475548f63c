// The orphan scan: support files, caches, preferences, containers, launch agents and helper
// tools in fixed Library folders that belong to apps no longer installed, running or loaded as
// background jobs, measured, grouped by presumed app and sorted.
//
// Every call blocks on the calling thread (the controller runs the scan on its scan pool) and
// keeps nothing from one scan to the next. A scan never fails: a location folder that exists
// but can't be listed is named in unreadableLocations, anything else that can't be read is left
// out. A stop requested through `stop` is looked at before each location, before each entry and
// every 256 objects of a measurement; the scan then returns the findings made so far with
// wasCancelled set. Paths are Mac paths.
#pragma once

#include <optional>
#include <stop_token>
#include <vector>

#include "app/core/InstalledApp.h"
#include "app/scanners/OrphanCandidate.h"
#include "app/scanners/OrphanFinding.h"
#include "app/scanners/OrphanGroup.h"
#include "app/scanners/OrphanScanEnvironment.h"
#include "app/scanners/OrphanScanResult.h"

namespace veldo::scanners::OrphanScanner {

// A finding with the candidate it was read from.
struct FoundOrphan
{
    Candidate candidate;
    OrphanFinding finding;
};

// The whole scan. A stop already requested gives no groups and wasCancelled, without reading
// anything. Without an app list the installed apps of defaultAccessRoots() and the system
// application folders are listed first (the stop is looked at again afterwards, and a listing
// that failed also gives the cancelled empty result: without the installed apps every file of
// theirs would pass for an orphan); then the environment is built from the list (with
// `sources`) and scanned.
OrphanScanResult
scan(const std::optional<std::vector<core::InstalledApp>>& installedApps = std::nullopt,
     const std::stop_token& stop = {}, const OrphanScanEnvironment::Sources& sources = {});

// The scan of the Library folders against a built environment.
OrphanScanResult scan(OrphanScanEnvironment environment, const std::stop_token& stop = {});

// The findings grouped by presumed app: a key joins the group of the first group key it equals
// or lies below ("com.vendor.app" holds "com.vendor.app.helper", not "com.vendor.apphelper"),
// shorter keys first; the findings of a group by category, then larger first; the groups more
// certain first, then larger first, else in the order their keys were met.
std::vector<OrphanGroup> group(std::vector<FoundOrphan> found);

} // namespace veldo::scanners::OrphanScanner
