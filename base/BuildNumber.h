// Build numbers (a bundle's CFBundleVersion): their syntax and their order.
//
// A build number is one or more runs of ASCII digits separated by "." ("2", "1.10.3"), at most
// 32 bytes long. Pure functions; no allocation beyond the call.
#pragma once

#include <string_view>

namespace veldo::base {

// Whether `text` is a build number: not empty, at most 32 UTF-8 bytes, every "."-separated piece
// non-empty and made of the ASCII digits "0" to "9" only (no other digits, signs or spaces).
bool isValidBuildNumber(std::string_view text);

// -1 when `a` is the older build, 0 when both name the same build, 1 when `a` is newer. Pieces
// compare as numbers of any length (leading zeros ignored, so "1.02" equals "1.2" and "1.9" is
// older than "1.10"); a missing trailing piece counts as 0 ("1.2" equals "1.2.0"). Callers pass
// valid build numbers; anything else is still ordered, piece by piece, but means nothing.
int compareBuilds(std::string_view a, std::string_view b);

} // namespace veldo::base
