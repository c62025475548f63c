// Building the cleanup report of one app's scan.
#include "app/leftovers/CleanupReport.h"

#include <limits>

namespace veldo::leftovers {

namespace {

std::int64_t saturatingAdd(std::int64_t sum, std::int64_t value)
{
    std::int64_t result = 0;
    if (__builtin_add_overflow(sum, value, &result))
        return value > 0 ? std::numeric_limits<std::int64_t>::max()
                         : std::numeric_limits<std::int64_t>::min();
    return result;
}

} // namespace

std::string_view confidenceTitle(core::MatchConfidence confidence)
{
    switch (confidence) {
    case core::MatchConfidence::certain:
        return "Certain";
    case core::MatchConfidence::high:
        return "High";
    case core::MatchConfidence::medium:
        return "Medium";
    case core::MatchConfidence::low:
        return "Low";
    }
    return "Low";
}

CleanupReport CleanupReport::make(const core::InstalledApp& app,
                                  const std::vector<core::LeftoverItem>& items,
                                  const std::unordered_set<std::string>& selectedPaths,
                                  const platform::Clock& clock)
{
    CleanupReport report;
    report.generatedAt = clock.now();
    report.appName = app.name;
    report.appPath = app.url.path();
    report.bundleID = app.bundleID;
    report.version = app.version;
    report.items.reserve(items.size());
    for (const auto& item : items) {
        const bool selected = selectedPaths.contains(item.url.path());
        report.totalBytes = saturatingAdd(report.totalBytes, item.sizeBytes);
        if (selected) {
            report.selectedBytes = saturatingAdd(report.selectedBytes, item.sizeBytes);
            ++report.selectedItemCount;
        }
        report.items.push_back(Item{item.url.path(), std::string(core::title(item.category)),
                                    item.sizeBytes, std::string(confidenceTitle(item.confidence)),
                                    item.requiresAdmin, selected});
    }
    report.itemCount = static_cast<std::int64_t>(items.size());
    return report;
}

} // namespace veldo::leftovers
