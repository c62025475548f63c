// Reading and writing property lists (XML and binary) without ever throwing or crashing.
//
// Property lists from disk are untrusted. The reader refuses, before the parser sees the bytes,
// containers nested more than kMaxPlistDepth deep, a binary list whose references form a cycle,
// a binary list whose offsets, counts or references fall outside the data, and a binary list
// whose shared objects would expand into an absurdly large tree (PlistGuard.h has the details).
// OpenStep (old ASCII) lists are unreadable, and so is a list holding a string or key that the
// writer would refuse (a NUL, or bytes that are not UTF-8), so that whatever reads can be written
// back. Every failure is "none".
//
// Values: integers keep their sign (a binary integer of 1, 2 or 4 bytes is unsigned, of 8 bytes
// signed, of 16 bytes unsigned); dates keep their exact seconds in binary lists and whole seconds
// in XML, which has no fractions (the writer keeps the second an instant falls in). Blocking
// only on the file read; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "platform/BinaryPlistWriter.h"
#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::platform {

inline constexpr int kMaxPlistDepth = 512;

enum class PlistFormat
{
    xml,
    binary
};

// Parses XML ("<?xml" / "<plist") or binary ("bplist00") property-list bytes; none on any fault.
// A list whose containers are nested exactly kMaxPlistDepth deep still reads.
std::optional<PlistValue> parsePropertyList(std::string_view bytes);

// Reads the file at a Mac path (through the Mac root, links resolved inside it) and parses it.
// Files larger than `maxBytes` are refused. None when unreadable or damaged.
std::optional<PlistValue> readPropertyListFile(const MacPath& path,
                                               std::size_t maxBytes = 64u * 1024u * 1024u);

// Serialises a value tree. An error (invalidArgument) for a tree that could not be read back as
// written: containers nested more than kMaxPlistDepth deep, a string or key holding a NUL or
// invalid UTF-8, a date that is not finite or lies more than 10^12 seconds from 2001; an error
// (ioFailure) when the serialiser itself fails.
Result<std::string> serializePropertyList(const PlistValue& value, PlistFormat format);

// One array member encoded on its own (referring to `shared` strings), and an array put together
// from such members encoded with the same strings (see BinaryPlistWriter.h), for a list that is
// saved whole after every small change. serializeBinaryArray copies the members once more;
// binaryPropertyListPieces gives the pieces to write without.
Result<EncodedPlistItem> encodeBinaryArrayItem(const PlistValue& item,
                                               const SharedPlistStrings* shared = nullptr);
std::string serializeBinaryArray(std::span<const EncodedPlistItem> items,
                                 const SharedPlistStrings& shared = SharedPlistStrings());

} // namespace veldo::platform
