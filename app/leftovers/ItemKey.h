// The comparison form of a path that the leftover scan keys its items by.
#pragma once

#include <string>

#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// The standardised path, lower-cased, with one trailing "/" removed when the path has at least
// two characters. Two candidates with the same key are the same leftover. Pure.
std::string itemKey(const platform::MacPath& url);

} // namespace veldo::leftovers::LeftoverScanner
