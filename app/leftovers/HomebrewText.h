// Small text helpers shared by the Homebrew readers: line splitting, trimming, letter case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veldo::leftovers::HomebrewCasks::detail {

// `text` without leading and trailing white space other than line breaks: tabs and the
// Unicode space separators (U+0020, U+00A0, U+1680, U+2000–U+200A, U+202F, U+205F, U+3000).
std::string_view trimmedSpaces(std::string_view text);

// The pieces of `text` between line feeds, empty pieces dropped.
std::vector<std::string_view> nonEmptyLines(std::string_view text);

// ASCII letters lowered, every other byte kept.
std::string asciiLowercased(std::string_view text);

// Whether `name`, lower-cased, ends with ".app".
bool endsWithAppExtension(std::string_view name);

} // namespace veldo::leftovers::HomebrewCasks::detail
