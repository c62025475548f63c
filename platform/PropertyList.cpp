// Property-list reading and writing over libplist, with our own guards in front of it.
#include "platform/PropertyList.h"

#include <cerrno>
#include <cmath>
#include <memory>

#include <plist/plist.h>

#include "platform/MacFileSystem.h"
#include "platform/PlistGuard.h"

namespace veldo::platform {

namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property-list epoch.
constexpr double kEpochOffset = 978307200.0;

struct PlistFree
{
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::optional<PlistValue> fromNode(plist_t node, int depth)
{
    if (!node || depth > kMaxPlistDepth)
        return std::nullopt;
    switch (plist_get_node_type(node)) {
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
            auto v = fromNode(value, depth + 1);
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
        return PlistValue(std::string(s ? s : "", s ? len : 0));
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        // libplist 2.2 keeps every integer as 64 unsigned bits; a 16-byte binary integer (the
        // only form for values above INT64_MAX) is reported as such by the guard's scan.
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
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return PlistValue(PlistDate{kEpochOffset + sec + usec / 1e6});
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

plist_t toNode(const PlistValue& value)
{
    switch (value.type()) {
    case PlistValue::Type::dictionary: {
        plist_t dict = plist_new_dict();
        for (const auto& [k, v] : *value.asDictionary())
            plist_dict_set_item(dict, k.c_str(), toNode(v));
        return dict;
    }
    case PlistValue::Type::array: {
        plist_t array = plist_new_array();
        for (const auto& v : *value.asArray())
            plist_array_append_item(array, toNode(v));
        return array;
    }
    case PlistValue::Type::string:
        return plist_new_string(value.asString()->c_str());
    case PlistValue::Type::integer:
        return plist_new_uint(value.asRawInteger()->bits);
    case PlistValue::Type::real:
        return plist_new_real(*value.asReal());
    case PlistValue::Type::boolean:
        return plist_new_bool(*value.asBoolean() ? 1 : 0);
    case PlistValue::Type::date: {
        const double since2001 = value.asDate()->secondsSince1970 - kEpochOffset;
        double whole = std::floor(since2001);
        auto usec = static_cast<int32_t>(std::llround((since2001 - whole) * 1e6));
        if (usec >= 1000000) {
            whole += 1;
            usec -= 1000000;
        }
        return plist_new_date(static_cast<int32_t>(whole), usec);
    }
    case PlistValue::Type::data: {
        const auto* d = value.asData();
        return plist_new_data(reinterpret_cast<const char*>(d->data()), d->size());
    }
    }
    return plist_new_dict();
}

} // namespace

std::optional<PlistValue> parsePropertyList(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > UINT32_MAX)
        return std::nullopt;
    if (!plistguard::isSafeToParse(bytes))
        return std::nullopt;
    plist_t raw = nullptr;
    const bool binary = bytes.size() >= 8 && bytes.substr(0, 8) == "bplist00";
    if (binary)
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
    PlistPtr node(toNode(value));
    char* out = nullptr;
    uint32_t len = 0;
    if (format == PlistFormat::binary)
        plist_to_bin(static_cast<plist_t>(node.get()), &out, &len);
    else
        plist_to_xml(static_cast<plist_t>(node.get()), &out, &len);
    if (!out)
        return Error::make(ErrorCode::ioFailure, {}, {});
    std::string result(out, len);
    if (format == PlistFormat::binary)
        plist_to_bin_free(out);
    else
        plist_to_xml_free(out);
    return result;
}

} // namespace veldo::platform
