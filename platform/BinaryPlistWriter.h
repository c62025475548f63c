// Writes a property-list value tree in the binary format ("bplist00") without going through
// libplist, whose own serialiser costs tens of milliseconds for a few thousand records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
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

// Strings that the members of a list share (their dictionary keys, say): written once, as the
// list's first objects, and referred to by every member that holds one. ASCII only; a string
// that is not, or holds a NUL, or comes twice, is left out.
class SharedPlistStrings
{
public:
    SharedPlistStrings() = default;
    explicit SharedPlistStrings(std::span<const std::string_view> strings);

    // The object number of `s`, when it is one of the strings.
    std::optional<std::uint32_t> find(std::string_view s) const;
    std::size_t size() const { return m_offsets.size(); }
    // The strings' objects, one after the other, and where each starts.
    const std::string& bytes() const { return m_bytes; }
    const std::vector<std::uint32_t>& offsets() const { return m_offsets; }

private:
    std::vector<std::string> m_strings;
    std::unordered_map<std::string_view, std::uint32_t> m_numbers;
    std::string m_bytes;
    std::vector<std::uint32_t> m_offsets;
};

// One member of an array encoded on its own, so that a list saved often (the move ledger) need
// not encode its unchanged members again: its objects' bytes with references 4 bytes wide, where
// each object starts and where each reference to one of its own objects lies. Those references
// hold the member's own object numbers plus `base`, the number of its first object in the list
// it was last put in (0 when it is new); references to shared strings hold their numbers.
struct EncodedPlistItem
{
    std::string bytes;
    std::vector<std::uint32_t> objectOffsets;
    std::vector<std::uint32_t> refPositions;
    std::uint64_t base = 0;
    // Its entries of the offset table where it was last put: at byte `placedAt` of the list,
    // `offsetWidth` bytes each (none yet: 0).
    std::string offsetEntries;
    std::uint64_t placedAt = 0;
    int offsetWidth = 0;
};

// `item` encoded for binaryPropertyListPieces, referring to the strings of `shared` (none: every
// string its own); refused like binaryPropertyList refuses.
Result<EncodedPlistItem> encodeBinaryPlistItem(const PlistValue& item, int maxDepth,
                                               double maxDateOffset,
                                               const SharedPlistStrings* shared = nullptr);

// What a binary list's pieces point into besides its members; kept between saves, so that its
// buffers are reused.
struct BinaryPlistScratch
{
    std::string head;          // header and shared strings
    std::string array;         // the top array
    std::string sharedEntries; // the shared strings' entries of the offset table
    std::string tail;          // the top array's entry of the offset table, and the trailer
};

// The binary property list of the array of `items` (encoded with `shared`), in order, as pieces
// to be written one after the other: the header with the shared strings, each member's bytes,
// the top array, then the offset table (the shared strings' entries, each member's, the array's)
// and the trailer. A member's own references and its entries of the offset table are set, in
// place, only when it lies somewhere else than at the last call, so that a list that only grows
// at its end costs little more than writing it; the rest is copied into `scratch`. The pieces
// point into the members and `scratch` and are valid while neither changes.
std::vector<std::string_view> binaryPropertyListPieces(std::span<EncodedPlistItem> items,
                                                       const SharedPlistStrings& shared,
                                                       BinaryPlistScratch& scratch);

} // namespace veldo::platform
