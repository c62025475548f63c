// Non-throwing JSON parsing, writing and field reading.
#include "common/JsonDocument.h"

#include <limits>

namespace veldo::common::json {

namespace {

// Calls `visit` with each character of `text` that lies outside strings (the quote marks
// themselves excepted) until it answers false; false then.
template <typename Visit>
bool everyCharacterOutsideStrings(std::string_view text, Visit visit)
{
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (!visit(c)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool nestingWithinBound(std::string_view text, std::size_t maxDepth)
{
    std::size_t depth = 0;
    return everyCharacterOutsideStrings(text, [&](char c) {
        if (c == '[' || c == '{')
            return ++depth <= maxDepth;
        if ((c == ']' || c == '}') && depth > 0)
            --depth;
        return true;
    });
}

bool valuesWithinBound(std::string_view text, std::size_t maxValues)
{
    std::size_t values = 1;
    return everyCharacterOutsideStrings(
        text, [&](char c) { return (c != ',' && c != '[' && c != '{') || ++values <= maxValues; });
}

namespace {

template <typename Json>
std::optional<Json> boundedParse(std::string_view text, std::size_t maxDepth)
{
    if (!nestingWithinBound(text, maxDepth))
        return std::nullopt;
    try {
        Json document = Json::parse(text, nullptr, /*allow_exceptions=*/false);
        if (document.is_discarded())
            return std::nullopt;
        return document;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::optional<Document> parse(std::string_view text, std::size_t maxDepth)
{
    return boundedParse<Document>(text, maxDepth);
}

std::optional<OrderedDocument> parseOrdered(std::string_view text, std::size_t maxDepth)
{
    return boundedParse<OrderedDocument>(text, maxDepth);
}

std::optional<Document> parseObject(std::string_view text)
{
    if (!valuesWithinBound(text, kMaxObjectValues))
        return std::nullopt;
    auto document = parse(text, kMaxNestingDepth);
    if (!document || !document->is_object())
        return std::nullopt;
    return document;
}

std::optional<std::string> write(const Writer& value)
{
    try {
        return value.dump(-1, ' ', false, Writer::error_handler_t::strict);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

const Document* field(const Document& object, const char* key)
{
    auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
}

bool readString(const Document& object, const char* key, std::string& out)
{
    const Document* value = field(object, key);
    if (value == nullptr || !value->is_string())
        return false;
    out = value->get_ref<const Document::string_t&>();
    return true;
}

bool readOptionalString(const Document& object, const char* key, std::optional<std::string>& out)
{
    out.reset();
    const Document* value = field(object, key);
    if (value == nullptr)
        return true;
    if (!value->is_string())
        return false;
    out = value->get_ref<const Document::string_t&>();
    return true;
}

bool readOptionalBool(const Document& object, const char* key, std::optional<bool>& out)
{
    out.reset();
    const Document* value = field(object, key);
    if (value == nullptr)
        return true;
    if (!value->is_boolean())
        return false;
    out = value->get<bool>();
    return true;
}

bool readOptionalUInt32(const Document& object, const char* key, std::optional<std::uint32_t>& out)
{
    out.reset();
    const Document* value = field(object, key);
    if (value == nullptr)
        return true;
    // Only integer literals: a negative one is stored as number_integer, a fraction or exponent as
    // number_float, and both are refused.
    if (!value->is_number_unsigned())
        return false;
    auto number = value->get<std::uint64_t>();
    if (number > std::numeric_limits<std::uint32_t>::max())
        return false;
    out = static_cast<std::uint32_t>(number);
    return true;
}

bool readInt64(const Document& object, const char* key, std::int64_t& out)
{
    const Document* value = field(object, key);
    if (value == nullptr)
        return false;
    if (value->is_number_unsigned()) {
        auto number = value->get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return false;
        out = static_cast<std::int64_t>(number);
        return true;
    }
    if (value->is_number_integer()) {
        out = value->get<std::int64_t>();
        return true;
    }
    return false;
}

} // namespace veldo::common::json
