// Reading and writing property lists (XML and binary) without ever throwing or crashing.
//
// Property lists from disk are untrusted. The reader refuses, before the parser sees the bytes,
// anything nested deeper than kMaxPlistDepth, a binary list whose references form a cycle, and a
// binary list whose offsets, counts or references fall outside the data. OpenStep (old ASCII)
// lists are unreadable. Every failure is "none".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/Result.h"
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
std::optional<PlistValue> parsePropertyList(std::string_view bytes);

// Reads the file at a Mac path (through the Mac root, links resolved inside it) and parses it.
// Files larger than `maxBytes` are refused. None when unreadable or damaged.
std::optional<PlistValue> readPropertyListFile(const MacPath& path,
                                               std::size_t maxBytes = 64u * 1024u * 1024u);

// Serialises a value tree; an error only when the serialiser itself fails.
Result<std::string> serializePropertyList(const PlistValue& value, PlistFormat format);

} // namespace veldo::platform
