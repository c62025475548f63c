// DeveloperTab: the tabs of the Developer Footprint screen; raw values are their labels.
#pragma once

#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::core {

enum class DeveloperTab
{
    footprint,
    map,
    packages
};

} // namespace veldo::core

template <>
struct veldo::base::EnumTraits<veldo::core::DeveloperTab>
{
    using DeveloperTab = veldo::core::DeveloperTab;

    static constexpr std::array<std::pair<DeveloperTab, std::string_view>, 3> kCases{{
        {DeveloperTab::footprint, "Disk Usage"},
        {DeveloperTab::map, "Map"},
        {DeveloperTab::packages, "Packages"},
    }};
};

template <>
struct std::hash<veldo::core::DeveloperTab>
{
    size_t operator()(veldo::core::DeveloperTab t) const noexcept
    {
        return veldo::base::hashByRawValue(t);
    }
};
