// Property-list reading and writing over libplist, with our own guards in front of it.
#include "platform/PropertyList.h"

#include <cmath>
#include <cstring>
#include <memory>

#include <plist/plist.h>

#include "platform/BinaryPlistWriter.h"
#include "platform/MacFileSystem.h"
#include "platform/PlistGuard.h"
#include "platform/Unicode.h"

namespace veldo::platform {

namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property-list epoch.
constexpr double kEpochOffset = 978307200.0;
// Dates further than this from 2001 (about 31,700 years) are not written.
constexpr double kMaxDateOffset = 1e12;

struct PlistFree
{
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

void appendBigEndian(std::string& out, std::uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

std::uint64_t bigEndianAt(const char* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

// libplist 2.2 keeps a date as a double but hands it out only as int32 seconds and a
// microsecond count that drops the fraction's sign; it keeps whether an integer above
// INT64_MAX is unsigned only in a length it never shows. Its binary format carries both
// exactly, so scalars cross the API as one-object binary lists.

// A node made by libplist from a binary list holding only `object` (marker and payload).
PlistPtr nodeFromBinaryObject(const std::string& object)
{
    std::string bytes = "bplist00" + object;
    bytes.push_back(8); // the offset table: the object sits right after the header
    bytes.append(6, '\0');
    bytes.push_back(1);                           // offset size
    bytes.push_back(1);                           // reference size
    appendBigEndian(bytes, 1, 8);                 // objects
    appendBigEndian(bytes, 0, 8);                 // top object
    appendBigEndian(bytes, 8 + object.size(), 8); // offset table position
    plist_t node = nullptr;
    plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &node);
    return PlistPtr(node);
}

// The exact seconds since 2001 that a date node holds.
std::optional<double> exactDateSince2001(plist_t node)
{
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_bin(node, &out, &len);
    if (!out)
        return std::nullopt;
    std::optional<double> result;
    // A lone date is the only object, right after the header: marker 0x33, 8-byte double.
    if (len >= 17 && static_cast<unsigned char>(out[8]) == 0x33) {
        const std::uint64_t bits = bigEndianAt(out + 9, 8);
        double d = 0;
        std::memcpy(&d, &bits, sizeof d);
        result = d;
    }
    plist_to_bin_free(out);
    return result;
}

// Whether an integer node with bits above INT64_MAX was read as an unsigned value (a 16-byte
// binary integer, or an XML integer above INT64_MAX) rather than a negative one.
bool isUnsignedInteger(plist_t node, std::uint64_t bits)
{
    // A node made by plist_new_uint is always the signed kind, and libplist compares the kind.
    PlistPtr probe(plist_new_uint(bits));
    return probe && plist_compare_node_value(node, static_cast<plist_t>(probe.get())) == 0;
}

// libplist takes strings as C strings and converts them to UTF-16 for binary lists: a string
// with a NUL or invalid UTF-8 would come out changed, so it is refused instead.
// The reader refuses the same strings (a binary ASCII string may hold any byte, a UTF-16 one
// U+0000): a list that read could otherwise never be written back.
bool isWritableString(std::string_view s)
{
    return s.find('\0') == std::string_view::npos && repairedUtf8(s) == s;
}

// `depth`: the containers around `node`. The guard has bounded it before libplist parsed.
std::optional<PlistValue> fromNode(plist_t node, int depth)
{
    if (!node)
        return std::nullopt;
    const plist_type type = plist_get_node_type(node);
    if ((type == PLIST_DICT || type == PLIST_ARRAY) && depth >= kMaxPlistDepth)
        return std::nullopt;
    switch (type) {
    case PLIST_DICT: {
        PlistValue::Dictionary dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        if (!it)
            return std::nullopt;
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                free(key); // NOLINT(cppcoreguidelines-no-malloc): libplist's allocation
                break;
            }
            std::string k = key ? key : "";
            free(key); // NOLINT(cppcoreguidelines-no-malloc)
            auto v = isWritableString(k) ? fromNode(value, depth + 1) : std::nullopt;
            if (!v) {
                free(it); // NOLINT(cppcoreguidelines-no-malloc)
                return std::nullopt;
            }
            dict.insert_or_assign(std::move(k), std::move(*v));
        }
        free(it); // NOLINT(cppcoreguidelines-no-malloc)
        return PlistValue(std::move(dict));
    }
    case PLIST_ARRAY: {
        PlistValue::Array array;
        const uint32_t n = plist_array_get_size(node);
        array.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            auto v = fromNode(plist_array_get_item(node, i), depth + 1);
            if (!v)
                return std::nullopt;
            array.push_back(std::move(*v));
        }
        return PlistValue(std::move(array));
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t len = 0;
        const char* s = plist_get_string_ptr(node, &len);
        std::string text(s ? s : "", s ? len : 0);
        if (!isWritableString(text))
            return std::nullopt;
        return PlistValue(std::move(text));
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        if (v > static_cast<uint64_t>(INT64_MAX) && isUnsignedInteger(node, v))
            return PlistValue(PlistInteger{v, true});
        return PlistValue(PlistInteger::fromSigned(static_cast<std::int64_t>(v)));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return PlistValue(d);
    }
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return PlistValue(b != 0);
    }
    case PLIST_DATE: {
        const auto since2001 = exactDateSince2001(node);
        if (!since2001)
            return std::nullopt;
        return PlistValue(PlistDate{kEpochOffset + *since2001});
    }
    case PLIST_DATA: {
        uint64_t len = 0;
        const char* p = plist_get_data_ptr(node, &len);
        PlistValue::Data data;
        if (p)
            data.assign(reinterpret_cast<const uint8_t*>(p),
                        reinterpret_cast<const uint8_t*>(p) + len);
        return PlistValue(std::move(data));
    }
    default:
        return std::nullopt; // UIDs and unknown nodes are not part of the value tree
    }
}

// The libplist tree for `value`; null when a value cannot be written faithfully. `depth`: the
// containers around `value`.
PlistPtr toNode(const PlistValue& value, PlistFormat format, int depth)
{
    switch (value.type()) {
    case PlistValue::Type::dictionary: {
        const auto* members = value.asDictionary();
        if (!members || depth >= kMaxPlistDepth)
            return nullptr;
        PlistPtr dict(plist_new_dict());
        for (const auto& [k, v] : *members) {
            PlistPtr item = toNode(v, format, depth + 1);
            if (!item || !isWritableString(k))
                return nullptr;
            plist_dict_set_item(static_cast<plist_t>(dict.get()), k.c_str(),
                                static_cast<plist_t>(item.release()));
        }
        return dict;
    }
    case PlistValue::Type::array: {
        const auto* items = value.asArray();
        if (!items || depth >= kMaxPlistDepth)
            return nullptr;
        PlistPtr array(plist_new_array());
        for (const auto& v : *items) {
            PlistPtr item = toNode(v, format, depth + 1);
            if (!item)
                return nullptr;
            plist_array_append_item(static_cast<plist_t>(array.get()),
                                    static_cast<plist_t>(item.release()));
        }
        return array;
    }
    case PlistValue::Type::string: {
        const auto* s = value.asString();
        if (!s || !isWritableString(*s))
            return nullptr;
        return PlistPtr(plist_new_string(s->c_str()));
    }
    case PlistValue::Type::integer: {
        const PlistInteger i = *value.asRawInteger();
        if (i.isUnsigned && i.bits > static_cast<std::uint64_t>(INT64_MAX)) {
            std::string object(1, '\x14'); // a 16-byte integer: the unsigned kind
            appendBigEndian(object, 0, 8);
            appendBigEndian(object, i.bits, 8);
            return nodeFromBinaryObject(object);
        }
        return PlistPtr(plist_new_uint(i.bits)); // written as a signed 64-bit value
    }
    case PlistValue::Type::real:
        return PlistPtr(plist_new_real(*value.asReal()));
    case PlistValue::Type::boolean:
        return PlistPtr(plist_new_bool(*value.asBoolean() ? 1 : 0));
    case PlistValue::Type::date: {
        double since2001 = value.asDate()->secondsSince1970 - kEpochOffset;
        if (!std::isfinite(since2001) || std::fabs(since2001) > kMaxDateOffset)
            return nullptr;
        // XML dates hold whole seconds; like Foundation, keep the second the instant falls in
        // (libplist would cut toward 2001 instead).
        if (format == PlistFormat::xml)
            since2001 = std::floor(since2001);
        std::uint64_t bits = 0;
        std::memcpy(&bits, &since2001, sizeof bits);
        std::string object(1, '\x33');
        appendBigEndian(object, bits, 8);
        return nodeFromBinaryObject(object);
    }
    case PlistValue::Type::data: {
        const auto* d = value.asData();
        return PlistPtr(plist_new_data(reinterpret_cast<const char*>(d->data()), d->size()));
    }
    }
    return nullptr;
}

} // namespace

std::optional<PlistValue> parsePropertyList(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > UINT32_MAX)
        return std::nullopt;
    if (!plistguard::isSafeToParse(bytes))
        return std::nullopt;
    plist_t raw = nullptr;
    if (bytes.starts_with("bplist00"))
        plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    else
        plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr owner(raw);
    if (!raw)
        return std::nullopt;
    return fromNode(raw, 0);
}

std::optional<PlistValue> readPropertyListFile(const MacPath& path, std::size_t maxBytes)
{
    auto bytes = readFile(path, maxBytes);
    if (!bytes)
        return std::nullopt;
    return parsePropertyList(*bytes);
}

Result<std::string> serializePropertyList(const PlistValue& value, PlistFormat format)
{
    if (format == PlistFormat::binary)
        return binaryPropertyList(value, kMaxPlistDepth, kMaxDateOffset);
    PlistPtr node = toNode(value, format, 0);
    if (!node)
        return Error::make(ErrorCode::invalidArgument);
    char* out = nullptr;
    uint32_t len = 0;
    plist_to_xml(static_cast<plist_t>(node.get()), &out, &len);
    if (!out)
        return Error::make(ErrorCode::ioFailure);
    std::string result(out, len);
    plist_to_xml_free(out);
    return result;
}

Result<EncodedPlistItem> encodeBinaryArrayItem(const PlistValue& item,
                                               const SharedPlistStrings* shared)
{
    return encodeBinaryPlistItem(item, kMaxPlistDepth, kMaxDateOffset, shared);
}

std::string serializeBinaryArray(std::span<const EncodedPlistItem> items,
                                 const SharedPlistStrings& shared)
{
    std::vector<EncodedPlistItem> placed(items.begin(), items.end());
    BinaryPlistScratch scratch;
    std::string bytes;
    for (const std::string_view piece : binaryPropertyListPieces(placed, shared, scratch))
        bytes.append(piece);
    return bytes;
}

} // namespace veldo::platform
