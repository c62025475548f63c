// Writes a property-list value tree in the binary format ("bplist00") without going through
// libplist, whose own serialiser costs tens of milliseconds for a few thousand records.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
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

// One member of an array encoded on its own, so that a list saved often (the move ledger) need
// not encode its unchanged members again: its objects' bytes with references counted from its
// first object (4 bytes wide), where each object starts and where each reference lies.
struct EncodedPlistItem
{
    std::string bytes;
    std::vector<std::uint32_t> objectOffsets;
    std::vector<std::uint32_t> refPositions;
};

// `item` encoded for binaryPropertyListOfItems; refused like binaryPropertyList refuses.
Result<EncodedPlistItem> encodeBinaryPlistItem(const PlistValue& item, int maxDepth,
                                               double maxDateOffset);

// The binary property list of the array of `items`, in order (each item's strings are its own;
// references are 4 bytes wide). Costs a copy of the items' bytes.
std::string binaryPropertyListOfItems(std::span<const EncodedPlistItem> items);

} // namespace veldo::platform
