// Our binary property-list writer: objects flattened depth-first, strings shared, then the
// offset table and the trailer.
#include "platform/BinaryPlistWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace veldo::platform {

namespace {

// Seconds from 1970-01-01 to 2001-01-01, the property-list epoch.
constexpr double kEpochOffset = 978307200.0;
// References of separately encoded items: wide enough for any list we write (the patching in
// binaryPropertyListOfItems assumes 4).
constexpr int kItemRefWidth = 4;

void appendBigEndian(std::string& out, std::uint64_t v, int bytes)
{
    char buffer[8];
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        buffer[i] = static_cast<char>(v & 0xFFu);
    out.append(buffer, static_cast<std::size_t>(bytes));
}

// The fewest bytes that hold `v` (offsets and references may take any width from 1 to 8).
int bytesFor(std::uint64_t v)
{
    int n = 1;
    while (n < 8 && (v >> (8 * n)) != 0)
        ++n;
    return n;
}

// The width (1, 2, 4 or 8 bytes) an integer object takes for `v`.
int widthFor(std::uint64_t v)
{
    if (v <= 0xFFu)
        return 1;
    if (v <= 0xFFFFu)
        return 2;
    if (v <= 0xFFFF'FFFFu)
        return 4;
    return 8;
}

int log2Width(int width)
{
    return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
}

// A container, data or string marker with its count (a following integer from 15 on).
void marker(std::string& out, unsigned kind, std::size_t count)
{
    if (count < 15) {
        out.push_back(static_cast<char>((kind << 4) | count));
        return;
    }
    out.push_back(static_cast<char>((kind << 4) | 0x0Fu));
    const int width = widthFor(count);
    out.push_back(static_cast<char>(0x10 | log2Width(width)));
    appendBigEndian(out, count, width);
}

// Decodes strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF) into UTF-16
// code units; none for invalid input.
std::optional<std::u16string> utf16Of(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (b0 < 0x80) {
            cp = b0;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            cp = b0 & 0x1Fu;
            extra = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            cp = b0 & 0x0Fu;
            extra = 2;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            cp = b0 & 0x07u;
            extra = 3;
        } else {
            return std::nullopt;
        }
        if (i + extra >= s.size())
            return std::nullopt;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0u) != 0x80u)
                return std::nullopt;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return std::nullopt;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FFu)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

class Writer
{
public:
    Writer(int maxDepth, double maxDateOffset) : m_maxDepth(maxDepth), m_maxDate(maxDateOffset) {}

    Result<std::string> write(const PlistValue& root)
    {
        if (!flatten(root, 0))
            return Error::make(ErrorCode::invalidArgument);
        return encodeAll();
    }

    // `item` on its own as a run of objects numbered from 0, its references kItemRefWidth
    // bytes wide, as an array member (one level deep).
    Result<EncodedPlistItem> encodeItem(const PlistValue& item)
    {
        if (!flatten(item, 1))
            return Error::make(ErrorCode::invalidArgument);
        m_refWidth = kItemRefWidth;
        EncodedPlistItem encoded;
        encoded.bytes.reserve(m_textBytes + m_refs.size() * kItemRefWidth + m_objects.size() * 16);
        encoded.objectOffsets.reserve(m_objects.size());
        m_refPositions = &encoded.refPositions;
        for (const Object& object : m_objects) {
            encoded.objectOffsets.push_back(static_cast<std::uint32_t>(encoded.bytes.size()));
            encode(object, encoded.bytes);
        }
        m_refPositions = nullptr;
        return encoded;
    }

private:
    Result<std::string> encodeAll()
    {
        m_refWidth = bytesFor(m_objects.size() - 1);
        std::string out = "bplist00";
        out.reserve(m_textBytes + m_refs.size() * 4 + m_objects.size() * 16 + 64);
        std::vector<std::uint64_t> offsets;
        offsets.reserve(m_objects.size());
        for (const Object& object : m_objects) {
            offsets.push_back(out.size());
            encode(object, out);
        }
        const std::uint64_t tableOffset = out.size();
        const int offsetWidth = bytesFor(offsets.empty() ? 0 : offsets.back());
        for (std::uint64_t offset : offsets)
            appendBigEndian(out, offset, offsetWidth);
        out.append(6, '\0');
        out.push_back(static_cast<char>(offsetWidth));
        out.push_back(static_cast<char>(m_refWidth));
        appendBigEndian(out, m_objects.size(), 8);
        appendBigEndian(out, 0, 8); // the top object is the first
        appendBigEndian(out, tableOffset, 8);
        return out;
    }

    enum class Kind
    {
        value,
        string, // known by its text
        array,  // known by its members only
    };

    struct Object
    {
        Kind kind = Kind::value;
        const PlistValue* value = nullptr;
        std::string_view text;
        std::size_t firstRef = 0; // containers: their references in m_refs
        std::size_t refCount = 0;
    };

    // Numbers the objects of `value`'s tree, containers before their members, and answers the
    // number of `value` (a string met before keeps its first number).
    std::optional<std::uint64_t> flatten(const PlistValue& value, int depth)
    {
        switch (value.type()) {
        case PlistValue::Type::dictionary:
        case PlistValue::Type::array:
            if (depth >= m_maxDepth)
                return std::nullopt;
            if (const auto* array = value.asArray())
                return container(&value, *array, depth);
            return container(&value, {}, depth);
        case PlistValue::Type::string:
            return string(*value.asString());
        case PlistValue::Type::date: {
            const double since2001 = value.asDate()->secondsSince1970 - kEpochOffset;
            if (!std::isfinite(since2001) || std::fabs(since2001) > m_maxDate)
                return std::nullopt;
            break;
        }
        default:
            break;
        }
        m_objects.push_back(Object{Kind::value, &value, {}, 0, 0});
        return m_objects.size() - 1;
    }

    // A container's references can't lie in one run of m_refs while its members add theirs, so
    // each container gathers its own first.
    // A dictionary, or an array of `items` (`value` may then be null).
    std::optional<std::uint64_t> container(const PlistValue* value,
                                           std::span<const PlistValue> items, int depth)
    {
        const std::size_t index = m_objects.size();
        const auto* dictionary = value ? value->asDictionary() : nullptr;
        m_objects.push_back(Object{dictionary ? Kind::value : Kind::array, value, {}, 0, 0});
        std::vector<std::uint64_t> refs;
        auto add = [&](std::optional<std::uint64_t> ref) {
            if (ref)
                refs.push_back(*ref);
            return ref.has_value();
        };
        if (dictionary) {
            refs.reserve(dictionary->size() * 2);
            for (const auto& member : *dictionary) {
                if (!add(string(member.first)))
                    return std::nullopt;
            }
            for (const auto& member : *dictionary) {
                if (!add(flatten(member.second, depth + 1)))
                    return std::nullopt;
            }
        } else {
            refs.reserve(items.size());
            for (const PlistValue& member : items) {
                if (!add(flatten(member, depth + 1)))
                    return std::nullopt;
            }
        }
        m_objects[index].firstRef = m_refs.size();
        m_objects[index].refCount = refs.size();
        m_refs.insert(m_refs.end(), refs.begin(), refs.end());
        return index;
    }

    // Strings and keys are written once each; those with a NUL or invalid UTF-8 are refused.
    std::optional<std::uint64_t> string(std::string_view s)
    {
        if (auto found = m_strings.find(s); found != m_strings.end())
            return found->second;
        if (s.find('\0') != std::string_view::npos || (!isAscii(s) && !utf16Of(s)))
            return std::nullopt;
        const std::uint64_t index = m_objects.size();
        m_objects.push_back(Object{Kind::string, nullptr, s, 0, 0});
        m_textBytes += s.size() * 2;
        m_strings.emplace(s, index);
        return index;
    }

    static bool isAscii(std::string_view s)
    {
        return std::all_of(s.begin(), s.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    }

    void encode(const Object& object, std::string& out) const
    {
        if (object.kind == Kind::string) {
            encodeString(object.text, out);
            return;
        }
        if (object.kind == Kind::array) {
            marker(out, 0xA, object.refCount);
            refs(object, out);
            return;
        }
        const PlistValue& value = *object.value;
        switch (value.type()) {
        case PlistValue::Type::dictionary:
            marker(out, 0xD, object.refCount / 2);
            refs(object, out);
            return;
        case PlistValue::Type::array: // numbered as Kind::array
            return;
        case PlistValue::Type::string:
            encodeString(*value.asString(), out);
            return;
        case PlistValue::Type::integer: {
            const PlistInteger i = *value.asRawInteger();
            if (i.isUnsigned && i.bits > static_cast<std::uint64_t>(INT64_MAX)) {
                out.push_back('\x14'); // 16 bytes: the unsigned kind
                appendBigEndian(out, 0, 8);
                appendBigEndian(out, i.bits, 8);
                return;
            }
            // One to four bytes read as unsigned; anything negative or larger takes eight.
            const bool negative = static_cast<std::int64_t>(i.bits) < 0;
            const int width = negative ? 8 : widthFor(i.bits);
            out.push_back(static_cast<char>(0x10 | log2Width(width)));
            appendBigEndian(out, i.bits, width);
            return;
        }
        case PlistValue::Type::real:
            encodeDouble(0x23, *value.asReal(), out);
            return;
        case PlistValue::Type::boolean:
            out.push_back(*value.asBoolean() ? '\x09' : '\x08');
            return;
        case PlistValue::Type::date:
            encodeDouble(0x33, value.asDate()->secondsSince1970 - kEpochOffset, out);
            return;
        case PlistValue::Type::data: {
            const auto& data = *value.asData();
            marker(out, 0x4, data.size());
            out.append(reinterpret_cast<const char*>(data.data()), data.size());
            return;
        }
        }
    }

    void refs(const Object& object, std::string& out) const
    {
        for (std::size_t i = 0; i < object.refCount; ++i) {
            if (m_refPositions)
                m_refPositions->push_back(static_cast<std::uint32_t>(out.size()));
            appendBigEndian(out, m_refs[object.firstRef + i], m_refWidth);
        }
    }

    static void encodeDouble(char kind, double d, std::string& out)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        out.push_back(kind);
        appendBigEndian(out, bits, 8);
    }

    // The string was checked when it was numbered.
    static void encodeString(std::string_view s, std::string& out)
    {
        if (isAscii(s)) {
            marker(out, 0x5, s.size());
            out.append(s);
            return;
        }
        const std::u16string units = utf16Of(s).value_or(std::u16string());
        marker(out, 0x6, units.size());
        for (char16_t u : units)
            appendBigEndian(out, u, 2);
    }

    int m_maxDepth;
    double m_maxDate;
    int m_refWidth = 1;
    std::vector<std::uint32_t>* m_refPositions = nullptr; // while encoding an item
    std::vector<Object> m_objects;
    std::vector<std::uint64_t> m_refs;
    std::unordered_map<std::string_view, std::uint64_t> m_strings{1024};
    std::size_t m_textBytes = 0; // at most, for the output's first reservation
};

} // namespace

Result<std::string> binaryPropertyList(const PlistValue& value, int maxDepth, double maxDateOffset)
{
    return Writer(maxDepth, maxDateOffset).write(value);
}

Result<EncodedPlistItem> encodeBinaryPlistItem(const PlistValue& item, int maxDepth,
                                               double maxDateOffset)
{
    return Writer(maxDepth, maxDateOffset).encodeItem(item);
}

std::string binaryPropertyListOfItems(std::span<const EncodedPlistItem> items)
{
    std::size_t objects = 1;
    std::size_t bytes = 64;
    for (const EncodedPlistItem& item : items) {
        objects += item.objectOffsets.size();
        bytes += item.bytes.size() + kItemRefWidth + 4 * item.objectOffsets.size();
    }
    std::string out = "bplist00";
    out.reserve(bytes);
    std::vector<std::uint64_t> offsets;
    offsets.reserve(objects);
    // The top array, then each item's objects numbered on from where the previous one ended.
    offsets.push_back(out.size());
    marker(out, 0xA, items.size());
    std::uint64_t base = 1;
    for (const EncodedPlistItem& item : items) {
        appendBigEndian(out, base, kItemRefWidth);
        base += item.objectOffsets.size();
    }
    base = 1;
    for (const EncodedPlistItem& item : items) {
        const std::size_t start = out.size();
        for (std::uint32_t offset : item.objectOffsets)
            offsets.push_back(start + offset);
        out.append(item.bytes);
        auto* block = reinterpret_cast<unsigned char*>(out.data() + start);
        for (std::uint32_t position : item.refPositions) {
            unsigned char* ref = block + position;
            const std::uint64_t global =
                base + ((std::uint64_t{ref[0]} << 24) | (std::uint64_t{ref[1]} << 16) |
                        (std::uint64_t{ref[2]} << 8) | ref[3]);
            ref[0] = static_cast<unsigned char>(global >> 24);
            ref[1] = static_cast<unsigned char>(global >> 16);
            ref[2] = static_cast<unsigned char>(global >> 8);
            ref[3] = static_cast<unsigned char>(global);
        }
        base += item.objectOffsets.size();
    }
    const std::uint64_t tableOffset = out.size();
    const int offsetWidth = bytesFor(offsets.back());
    out.resize(tableOffset + offsets.size() * static_cast<std::size_t>(offsetWidth));
    auto* table = reinterpret_cast<unsigned char*>(out.data() + tableOffset);
    for (std::uint64_t offset : offsets) {
        for (int i = offsetWidth - 1; i >= 0; --i, offset >>= 8)
            table[i] = static_cast<unsigned char>(offset);
        table += offsetWidth;
    }
    out.append(6, '\0');
    out.push_back(static_cast<char>(offsetWidth));
    out.push_back(static_cast<char>(kItemRefWidth));
    appendBigEndian(out, offsets.size(), 8);
    appendBigEndian(out, 0, 8); // the top object is the first
    appendBigEndian(out, tableOffset, 8);
    return out;
}

} // namespace veldo::platform
