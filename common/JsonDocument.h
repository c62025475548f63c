// JsonDocument: non-throwing JSON reading and writing, shared by the helper's wire records and
// the readers of outside JSON (package-manager output).
//
// It exposes nlohmann-json: libraries that include it link nlohmann_json themselves. Nothing
// here throws: a document that cannot be parsed or written comes back as an empty optional, and
// every field reader says with its Boolean whether the document may still be accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace veldo::common::json {

// Parsed documents are looked up by key (logarithmic, whatever the number of extra keys).
using Document = nlohmann::json;
// Written documents keep their keys in the order they were added.
using Writer = nlohmann::ordered_json;
// Parsed documents whose objects keep their members in the order of the text (listings whose
// order matters), looked up by a linear search.
using OrderedDocument = nlohmann::ordered_json;

// Deepest nesting of arrays and objects accepted; the records need three levels. The bound keeps
// a hostile frame of brackets from making the parser build millions of nested values.
inline constexpr std::size_t kMaxNestingDepth = 32;

// Most values (objects, arrays, strings, numbers, literals) an object read by parseObject may
// hold. The helper's largest records, a batch of kMaxHelperBatchItems items with a dozen values
// each, stay below it; the bound keeps a frame of "{}," items from being built into some 600 MB
// of parsed values.
inline constexpr std::size_t kMaxObjectValues = 160'000;

// Parses `text` as one JSON object (strict JSON, UTF-8 strings, no trailing text). None for
// anything else, including a top level that is not an object, nesting beyond the bound and,
// before the parser sees the text, more than kMaxObjectValues values.
std::optional<Document> parseObject(std::string_view text);

// Parses `text` as one JSON value of any kind, refusing nesting deeper than `maxDepth` before
// the parser sees it. None for anything that is not JSON.
std::optional<Document> parse(std::string_view text, std::size_t maxDepth);

// parse, keeping the members of each object in the order of the text.
std::optional<OrderedDocument> parseOrdered(std::string_view text, std::size_t maxDepth);

// Whether arrays and objects in `text` nest at most `maxDepth` deep; brackets inside strings do
// not count, and the text need not be valid JSON.
bool nestingWithinBound(std::string_view text, std::size_t maxDepth);

// Whether `text`, once parsed, can hold at most `maxValues` values: every value but the first
// follows a comma or an opening bracket, so those are counted (outside strings). The text need
// not be valid JSON.
bool valuesWithinBound(std::string_view text, std::size_t maxValues);

// The compact text of `value`. None when a string in it is not valid UTF-8 (written as is, such
// a string would not be JSON; replaced, it would name another file).
std::optional<std::string> write(const Writer& value);

// Field readers. Each returns false when the document must be refused: a required key that is
// missing or null, or a key whose value has the wrong type or range. A null optional key reads as
// absent (`out` reset). Keys that no reader asks for are ignored.
bool readString(const Document& object, const char* key, std::string& out);
bool readOptionalString(const Document& object, const char* key, std::optional<std::string>& out);
bool readOptionalBool(const Document& object, const char* key, std::optional<bool>& out);
bool readOptionalUInt32(const Document& object, const char* key, std::optional<std::uint32_t>& out);
bool readInt64(const Document& object, const char* key, std::int64_t& out);

// The value of `key` when present and not null; nullptr otherwise.
const Document* field(const Document& object, const char* key);

} // namespace veldo::common::json
