// Small text helpers shared by the Homebrew readers: line splitting and ASCII letter case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veldo::leftovers::HomebrewCasks::detail {

// The pieces of `text` between line feeds, empty pieces dropped.
std::vector<std::string_view> nonEmptyLines(std::string_view text);

// ASCII letters lowered, every other byte kept.
std::string asciiLowercased(std::string_view text);

// Whether `name`, lower-cased, ends with ".app".
bool endsWithAppExtension(std::string_view name);

} // namespace veldo::leftovers::HomebrewCasks::detail
