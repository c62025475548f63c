// The queries of a removal's outcome.
#include "app/removal/UninstallOutcome.h"

#include <algorithm>

namespace veldo::removal {

namespace {

bool covers(const std::string& trashed, const std::string& nested)
{
    if (trashed == nested)
        return true;
    if (trashed == "/")
        return nested.size() > 1 && nested.front() == '/';
    return nested.size() > trashed.size() && nested.starts_with(trashed) &&
           nested[trashed.size()] == '/';
}

} // namespace

std::vector<core::LeftoverItem> UninstallOutcome::nestedItemsTrashedWithParent() const
{
    std::vector<std::string> trashedPaths;
    trashedPaths.reserve(trashed.size());
    for (const core::LeftoverItem& item : trashed)
        trashedPaths.push_back(item.url.standardized().path());
    std::vector<core::LeftoverItem> kept;
    for (const core::LeftoverItem& item : nested) {
        const std::string path = item.url.standardized().path();
        if (std::any_of(trashedPaths.begin(), trashedPaths.end(),
                        [&](const std::string& t) { return covers(t, path); }))
            kept.push_back(item);
    }
    return kept;
}

std::size_t UninstallOutcome::trashedWithoutRestorePointCount() const
{
    std::unordered_set<std::string> restorable;
    for (const RestorePoint& point : restorePoints)
        restorable.insert(point.item.url.path());
    return static_cast<std::size_t>(
        std::count_if(trashed.begin(), trashed.end(), [&](const core::LeftoverItem& item) {
            return !restorable.contains(item.url.path());
        }));
}

bool UninstallOutcome::appBlockedByAppManagement() const
{
    return std::any_of(failed.begin(), failed.end(), [&](const Failure& failure) {
        return failure.item.category == core::LeftoverCategory::application &&
               appManagementDenialIDs.contains(failure.item.url.path());
    });
}

} // namespace veldo::removal
