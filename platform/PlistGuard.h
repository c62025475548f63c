// Pre-scan of untrusted property-list bytes before libplist sees them.
//
// libplist 2.2 recurses once per nesting level and copies a shared object once per reference;
// this scan walks the same structure with its own stack and refuses what would hurt it.
//
// Binary lists ("bplist00"): the trailer, the offset table and every object reachable from the
// top object are checked: offset and reference sizes of 1 to 8 bytes, every offset and
// reference inside the data, every object (marker, count, payload, references) ending before the
// offset table, integers of 1, 2, 4, 8 or 16 bytes (16 only for values that fit 64 unsigned
// bits), reals of 4 or 8 bytes, dictionary keys that are strings. Only the object kinds of the
// value tree are accepted (no null, UID, set or UTF-8 string markers). Objects may be shared
// (the list is a DAG); a reference back to an object on the current path is a cycle. The tree
// as libplist would expand it may hold at most kMaxExpandedNodes nodes (or one per byte of the
// list, when that is more) and kMaxExpandedPayload bytes of strings and data (or the size of
// the list, when that is more): a small list that shares one object over and over is refused.
//
// XML lists: container tags (<dict>, <array>; <dict/> and <array/> do not nest) are counted
// outside comments, CDATA sections, processing instructions and the document type, the way
// libplist's tokenizer reads them; a tag or declaration whose end depends on how quotes are
// read, or a document type with an internal subset, is refused rather than guessed at.
//
// Anything else (OpenStep lists, other binary versions, bytes that are no property list) is
// refused. Pure function; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace veldo::platform::plistguard {

inline constexpr std::uint64_t kMaxExpandedNodes = 1u << 20;
inline constexpr std::uint64_t kMaxExpandedPayload = 64u << 20;

// True when the bytes are an XML or binary property list that is safe to hand to libplist:
// containers nested at most kMaxPlistDepth deep, no reference cycle, every offset, count and
// reference inside the data, an expanded size within the bounds above. False for anything else.
bool isSafeToParse(std::string_view bytes);

} // namespace veldo::platform::plistguard
