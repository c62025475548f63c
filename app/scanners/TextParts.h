// Splitting text into parts at one separator, as the scanners read names and command output.
#pragma once

#include <string_view>
#include <vector>

namespace veldo::scanners {

// The parts of `text` between the separators, empty ones kept ("a..b" gives "a", "", "b").
std::vector<std::string_view> partsKeepingEmpty(std::string_view text, char separator);

// The non-empty parts of `text` between the separators.
std::vector<std::string_view> nonEmptyParts(std::string_view text, char separator);

} // namespace veldo::scanners
