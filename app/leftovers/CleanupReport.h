// CleanupReport: what a scan found for one app, with the user's selection and totals, as the
// user saves it to a file (see CleanupReportExport.h for its name and encoding).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "platform/Clock.h"

namespace veldo::leftovers {

struct CleanupReport
{
    struct Item
    {
        std::string path;
        std::string category; // the category's title ("Application Support", …)
        std::int64_t sizeBytes = 0;
        std::string confidence; // "Certain", "High", "Medium" or "Low"
        bool requiresAdmin = false;
        bool selected = false;

        friend bool operator==(const Item&, const Item&) = default;
    };

    core::Date generatedAt;
    std::string appName;
    std::string appPath;
    std::optional<std::string> bundleID;
    std::optional<std::string> version;
    std::int64_t totalBytes = 0;    // all items
    std::int64_t selectedBytes = 0; // the selected items
    std::int64_t itemCount = 0;
    std::int64_t selectedItemCount = 0;
    std::vector<Item> items; // in the order given

    // The report of `app` with `items` in their order, generated now by `clock`. An item is
    // selected when the path of its url is in `selectedPaths` (exact comparison), so two items
    // of one path are both selected or both not, and a selected path that matches no item
    // changes nothing. Byte sums stop at the largest 64-bit value. Pure apart from the clock.
    static CleanupReport make(const core::InstalledApp& app,
                              const std::vector<core::LeftoverItem>& items,
                              const std::unordered_set<std::string>& selectedPaths,
                              const platform::Clock& clock = platform::SystemClock::shared());

    friend bool operator==(const CleanupReport&, const CleanupReport&) = default;
};

// The title a report gives a confidence: "Certain", "High", "Medium", "Low".
std::string_view confidenceTitle(core::MatchConfidence confidence);

} // namespace veldo::leftovers
