// LeftoverCategory: what kind of leftover an item is, with its section texts.
#pragma once

#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::core {

enum class LeftoverCategory
{
    application,
    supportFiles,
    caches,
    preferences,
    containers,
    groupContainers,
    savedState,
    logs,
    launchAgents,
    cookies,
    webData,
    receipts,
    crashReports
};

} // namespace veldo::core

template <>
struct veldo::base::EnumTraits<veldo::core::LeftoverCategory>
{
    using LeftoverCategory = veldo::core::LeftoverCategory;

    static constexpr std::array<std::pair<LeftoverCategory, std::string_view>, 13> kCases{{
        {LeftoverCategory::application, "application"},
        {LeftoverCategory::supportFiles, "supportFiles"},
        {LeftoverCategory::caches, "caches"},
        {LeftoverCategory::preferences, "preferences"},
        {LeftoverCategory::containers, "containers"},
        {LeftoverCategory::groupContainers, "groupContainers"},
        {LeftoverCategory::savedState, "savedState"},
        {LeftoverCategory::logs, "logs"},
        {LeftoverCategory::launchAgents, "launchAgents"},
        {LeftoverCategory::cookies, "cookies"},
        {LeftoverCategory::webData, "webData"},
        {LeftoverCategory::receipts, "receipts"},
        {LeftoverCategory::crashReports, "crashReports"},
    }};
};

namespace veldo::core {

// The section heading.
std::string_view title(LeftoverCategory category);
// The one-line description under the heading.
std::string_view detail(LeftoverCategory category);
// The name of the symbol image drawn beside it.
std::string_view symbolName(LeftoverCategory category);

} // namespace veldo::core

template <>
struct std::hash<veldo::core::LeftoverCategory>
{
    size_t operator()(veldo::core::LeftoverCategory c) const noexcept
    {
        return veldo::base::hashByRawValue(c);
    }
};
