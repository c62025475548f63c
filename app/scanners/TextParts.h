// Splitting text into parts at one separator, and joining parts, as the scanners read names and
// command output and compose sentences.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veldo::scanners {

// The parts of `text` between the separators, empty ones kept ("a..b" gives "a", "", "b").
std::vector<std::string_view> partsKeepingEmpty(std::string_view text, char separator);

// The non-empty parts of `text` between the separators.
std::vector<std::string_view> nonEmptyParts(std::string_view text, char separator);

// The parts in order with `separator` between each two ("" for no parts).
std::string joined(const std::vector<std::string>& parts, std::string_view separator);

} // namespace veldo::scanners
