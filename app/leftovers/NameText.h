// Text rules shared by the leftover matchers: character counts and the letter-or-number test,
// all without a locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veldo::leftovers {

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

} // namespace veldo::leftovers
