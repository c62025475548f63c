// Text rules shared by the leftover matchers: lower-casing, trimming, character counts and the
// letter-or-number test, all without a locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veldo::leftovers {

// The text lower-cased by the Unicode lower-case mapping (no locale). Invalid UTF-8 is repaired
// first, as a Foundation string would hold it.
std::string lowerCased(std::string_view utf8);

// The text without the white space and line breaks (Unicode White_Space) at both ends.
std::string_view trimmedWhitespaceAndNewlines(std::string_view utf8);

// The text without spaces (Unicode space separators) and tabs at both ends; line breaks stay.
std::string_view trimmedSpacesAndTabs(std::string_view utf8);

// The number of user-perceived characters (extended grapheme clusters).
std::size_t characterCount(std::string_view utf8);

// The number of non-empty parts of `text` split at ".".
std::size_t dotSeparatedPartCount(std::string_view text);

// True when the code point is a letter (Alphabetic) or has a numeric type.
bool isLetterOrNumber(char32_t c);

// True when the code point has a numeric type (a number character of any script).
bool isNumber(char32_t c);

// True when the code point is an upper-case letter or has a numeric type.
bool isUppercaseLetterOrNumber(char32_t c);

// True when the code point only extends the character before it (Grapheme_Extend, or a
// zero-width joiner or spacing mark), so it never starts a character of its own.
bool extendsCharacter(char32_t c);

// Decodes the code point starting at `i` and moves `i` past it; an invalid byte decodes as
// U+FFFD and moves one byte.
char32_t decodeNext(std::string_view utf8, std::size_t& i);

// Decodes the code point ending just before `i` and moves `i` to its start.
char32_t decodePrevious(std::string_view utf8, std::size_t& i);

} // namespace veldo::leftovers
