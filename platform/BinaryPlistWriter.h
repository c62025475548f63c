// Writes a property-list value tree in the binary format ("bplist00") without going through
// libplist, whose own serialiser costs tens of milliseconds for a few thousand records.
#pragma once

#include <span>
#include <string>

#include "common/Result.h"
#include "platform/PlistValue.h"

namespace veldo::platform {

// The binary property list of `value`: every string is written once and shared by reference
// (dictionary keys included), ASCII strings as such and the rest as UTF-16, integers in the
// fewest bytes that keep their sign (negative ones in 8, unsigned ones above INT64_MAX as a
// 16-byte integer), dates and reals as 8-byte doubles. Refuses (invalidArgument) what would not
// read back as written: containers nested more than `maxDepth` deep, strings or keys holding a
// NUL or invalid UTF-8, dates that are not finite or lie more than `maxDateOffset` seconds from
// 2001. Pure; thread-safe.
Result<std::string> binaryPropertyList(const PlistValue& value, int maxDepth, double maxDateOffset);

// The same bytes for an array of `items`, without copying them into one.
Result<std::string> binaryPropertyListOfArray(std::span<const PlistValue> items, int maxDepth,
                                              double maxDateOffset);

} // namespace veldo::platform
