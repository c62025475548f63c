// Splitting text into parts at one separator, and joining parts, as the scanners read names and
// command output and compose sentences.
#pragma once

#include <concepts>
#include <cstddef>
#include <ranges>
#include <string>
#include <string_view>
#include <vector>

namespace veldo::scanners {

// The parts of `text` between the separators, empty ones kept ("a..b" gives "a", "", "b").
std::vector<std::string_view> partsKeepingEmpty(std::string_view text, char separator);

// The non-empty parts of `text` between the separators.
std::vector<std::string_view> nonEmptyParts(std::string_view text, char separator);

// The parts in order with `separator` between each two ("" for no parts).
template <std::ranges::input_range Parts>
requires std::convertible_to<std::ranges::range_reference_t<const Parts&>, std::string_view>
    std::string joined(const Parts& parts, std::string_view separator)
{
    std::string text;
    bool first = true;
    for (std::string_view part : parts) {
        if (!first)
            text += separator;
        text += part;
        first = false;
    }
    return text;
}

// The first `count` parts (all of them when there are fewer), joined as above.
std::string joinedLeading(const std::vector<std::string_view>& parts, std::size_t count,
                          std::string_view separator);

} // namespace veldo::scanners
