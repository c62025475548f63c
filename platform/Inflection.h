// Inflection: English agreement of a counted noun, standing in for the Mac's morphology engine,
// and pluralizedCount over it.
//
// inflect() reads the markup "^[" count " " phrase "](inflect: true)", writes the count and makes
// the phrase's last word agree with it: singular for 1, plural otherwise (+s; +es after s, x, z,
// ch, sh; a consonant and y become ies). Text outside the brackets stays as it is; text without
// the markup is returned unchanged. Pure, any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veldo::platform {

std::string inflect(std::string_view markup);

// The count and the noun in agreement: pluralizedCount(1, "dropped app") is "1 dropped app",
// pluralizedCount(2, "dropped app") "2 dropped apps".
std::string pluralizedCount(std::int64_t count, std::string_view noun);

} // namespace veldo::platform
