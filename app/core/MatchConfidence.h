// MatchConfidence: how certain a leftover's match is; ordered most certain first.
#pragma once

#include <string_view>
#include <utility>

#include "base/RawValue.h"

namespace veldo::core {

// Declaration order is the order of comparison: certain < high < medium < low, so an ascending
// sort puts the most certain first and the minimum of a set is its most certain member.
enum class MatchConfidence
{
    certain,
    high,
    medium,
    low
};

} // namespace veldo::core

template <>
struct veldo::base::EnumTraits<veldo::core::MatchConfidence>
{
    using MatchConfidence = veldo::core::MatchConfidence;

    static constexpr std::array<std::pair<MatchConfidence, std::string_view>, 4> kCases{{
        {MatchConfidence::certain, "certain"},
        {MatchConfidence::high, "high"},
        {MatchConfidence::medium, "medium"},
        {MatchConfidence::low, "low"},
    }};
};

template <>
struct std::hash<veldo::core::MatchConfidence>
{
    size_t operator()(veldo::core::MatchConfidence c) const noexcept
    {
        return veldo::base::hashByRawValue(c);
    }
};
