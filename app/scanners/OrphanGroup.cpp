// The helpers of an orphan group.
#include "app/scanners/OrphanGroup.h"

#include <algorithm>

#include "app/core/RemovalSafetyApp.h"
#include "platform/Unicode.h"

namespace veldo::scanners {

namespace {

std::int64_t removableBytes(const std::vector<core::LeftoverItem>& items)
{
    std::int64_t sum = 0;
    for (const core::LeftoverItem& item :
         core::RemovalSafety::filterRemovable(items, /*resolvesLinks=*/false).removable)
        sum += item.sizeBytes;
    return sum;
}

} // namespace

std::string OrphanGroup::id() const
{
    return platform::lowercased(bundleID);
}

std::vector<core::LeftoverItem> OrphanGroup::items() const
{
    std::vector<core::LeftoverItem> result;
    result.reserve(findings.size());
    for (const OrphanFinding& finding : findings)
        result.push_back(finding.item);
    return result;
}

std::int64_t OrphanGroup::totalBytes() const
{
    return removableBytes(items());
}

core::MatchConfidence OrphanGroup::confidence() const
{
    core::MatchConfidence best = core::MatchConfidence::low;
    for (const OrphanFinding& finding : findings)
        best = std::min(best, finding.item.confidence);
    return best;
}

std::vector<core::LeftoverItem> OrphanGroup::suggestedItems() const
{
    std::vector<core::LeftoverItem> result;
    for (const OrphanFinding& finding : findings)
        if (finding.item.confidence == core::MatchConfidence::medium)
            result.push_back(finding.item);
    return result;
}

std::optional<core::Date> OrphanGroup::lastModified() const
{
    std::optional<core::Date> latest;
    for (const OrphanFinding& finding : findings)
        if (finding.lastModified && (!latest || *finding.lastModified > *latest))
            latest = finding.lastModified;
    return latest;
}

std::vector<core::LeftoverItem> OrphanGroup::allItems(const std::vector<OrphanGroup>& groups)
{
    std::vector<core::LeftoverItem> result;
    for (const OrphanGroup& group : groups)
        for (const OrphanFinding& finding : group.findings)
            result.push_back(finding.item);
    return result;
}

std::int64_t OrphanGroup::totalBytes(const std::vector<OrphanGroup>& groups)
{
    return removableBytes(allItems(groups));
}

} // namespace veldo::scanners
