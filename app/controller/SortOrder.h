// SortOrder: the orders of the sidebar's app list; raw values are their labels.
#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::controller {

enum class SortOrder
{
    name,
    lastUsed
};

} // namespace veldo::controller

template <>
struct veldo::base::EnumTraits<veldo::controller::SortOrder>
{
    using SortOrder = veldo::controller::SortOrder;

    static constexpr std::array<std::pair<SortOrder, std::string_view>, 2> kCases{{
        {SortOrder::name, "Name"},
        {SortOrder::lastUsed, "Last Used"},
    }};
};
