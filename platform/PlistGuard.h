// Pre-scan of untrusted property-list bytes before libplist sees them.
//
// libplist recurses once per nesting level and trusts offsets in binary lists; this scan walks
// the same structure with its own stack and refuses what would hurt it.
#pragma once

#include <string_view>

namespace veldo::platform::plistguard {

// True when the bytes are an XML or binary property list that is safe to hand to libplist:
// nesting at most kMaxPlistDepth, no reference cycle, every offset, count and reference inside
// the data. False for anything else, including OpenStep lists.
bool isSafeToParse(std::string_view bytes);

} // namespace veldo::platform::plistguard
