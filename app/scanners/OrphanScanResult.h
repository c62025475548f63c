// OrphanScanResult: what one orphan scan hands back — the groups of findings, the location
// folders it could not list, and whether it was stopped early.
//
// A plain value; any thread.
#pragma once

#include <vector>

#include "app/scanners/OrphanGroup.h"
#include "platform/MacPath.h"

namespace veldo::scanners {

struct OrphanScanResult
{
    // Most certain first, then larger first.
    std::vector<OrphanGroup> groups;
    // The location folders that exist but could not be listed, in the order they are walked.
    std::vector<platform::MacPath> unreadableLocations;
    // The scan was stopped; `groups` holds what was found until then.
    bool wasCancelled = false;

    // No groups, no unreadable locations, not cancelled: the state before the first scan.
    static const OrphanScanResult empty;

    friend bool operator==(const OrphanScanResult&, const OrphanScanResult&) = default;
};

} // namespace veldo::scanners
