// Unicode forms used to compare names and paths the way a Mac volume does.
#pragma once

#include <cstddef>
#include <optional>
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

// Lower-cases the text (Unicode lower-case mapping, no locale). Invalid UTF-8 is replaced by
// U+FFFD first, as a Foundation string would hold it.
std::string lowercased(std::string_view utf8);

// Upper-cases the text (Unicode upper-case mapping, no locale).
std::string uppercased(std::string_view utf8);

// The text without the white space and line breaks (Unicode White_Space) at both ends.
std::string_view trimmedWhiteSpace(std::string_view utf8);

// The text without spaces (Unicode space separators) and tabs at both ends; line breaks stay.
std::string_view trimmedSpacesAndTabs(std::string_view utf8);

// The number of user-perceived characters (extended grapheme clusters); "\r\n" is one. None
// when ICU can't segment the text.
std::optional<std::size_t> characterCount(std::string_view utf8);

// Decodes the code point starting at `i` and moves `i` past it; an invalid byte decodes as
// U+FFFD and moves one byte.
char32_t decodeNext(std::string_view utf8, std::size_t& i);

// Decodes the code point ending just before `i` and moves `i` to its start.
char32_t decodePrevious(std::string_view utf8, std::size_t& i);

// Repairs invalid UTF-8 by replacing each bad sequence with U+FFFD.
std::string repairedUtf8(std::string_view bytes);

} // namespace veldo::platform
