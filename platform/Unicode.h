// Unicode forms used to compare names and paths the way a Mac volume does.
#pragma once

#include <string>
#include <string_view>

namespace veldo::platform {

// Case folding without a locale, then canonical decomposition (NFD). Invalid UTF-8 is
// replaced by U+FFFD first, so every input has a folded form.
std::string foldForComparison(std::string_view utf8);

// Canonical decomposition (NFD) alone.
std::string decomposed(std::string_view utf8);

// Canonical composition (NFC).
std::string precomposed(std::string_view utf8);

// Lower-cases the text (Unicode simple lower-case mapping, no locale).
std::string lowercased(std::string_view utf8);

// Upper-cases the text (Unicode upper-case mapping, no locale).
std::string uppercased(std::string_view utf8);

// Repairs invalid UTF-8 by replacing each bad sequence with U+FFFD.
std::string repairedUtf8(std::string_view bytes);

} // namespace veldo::platform
