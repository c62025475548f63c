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

// References to shared strings carry this bit while an item is flattened.
constexpr std::uint64_t kSharedRef = std::uint64_t{1} << 63;

class Writer
{
public:
    // `expectedStrings`: how many distinct strings to make room for at once (a whole list's
    // many, one member's few).
    Writer(int maxDepth, double maxDateOffset, const SharedPlistStrings* shared = nullptr,
           std::size_t expectedStrings = 1024)
        : m_maxDepth(maxDepth), m_maxDate(maxDateOffset), m_shared(shared),
          m_strings(expectedStrings)
    {
    }

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
        // An item's own first object (a string item itself) is never a shared one.
        if (m_shared && !m_objects.empty()) {
            if (const auto number = m_shared->find(s))
                return kSharedRef | *number;
        }
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
            const std::uint64_t ref = m_refs[object.firstRef + i];
            if (ref & kSharedRef) {
                appendBigEndian(out, ref & ~kSharedRef, m_refWidth);
                continue;
            }
            if (m_refPositions)
                m_refPositions->push_back(static_cast<std::uint32_t>(out.size()));
            appendBigEndian(out, ref, m_refWidth);
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
    const SharedPlistStrings* m_shared;
    int m_refWidth = 1;
    std::vector<std::uint32_t>* m_refPositions = nullptr; // while encoding an item
    std::vector<Object> m_objects;
    std::vector<std::uint64_t> m_refs;
    std::unordered_map<std::string_view, std::uint64_t> m_strings;
    std::size_t m_textBytes = 0; // at most, for the output's first reservation
};

} // namespace

Result<std::string> binaryPropertyList(const PlistValue& value, int maxDepth, double maxDateOffset)
{
    return Writer(maxDepth, maxDateOffset).write(value);
}

Result<EncodedPlistItem> encodeBinaryPlistItem(const PlistValue& item, int maxDepth,
                                               double maxDateOffset,
                                               const SharedPlistStrings* shared)
{
    return Writer(maxDepth, maxDateOffset, shared, 32).encodeItem(item);
}

SharedPlistStrings::SharedPlistStrings(std::span<const std::string_view> strings)
{
    m_strings.reserve(strings.size());
    for (std::string_view s : strings) {
        const bool ascii = std::all_of(s.begin(), s.end(), [](char c) {
            return c != '\0' && static_cast<unsigned char>(c) < 0x80;
        });
        if (ascii && std::find(m_strings.begin(), m_strings.end(), s) == m_strings.end())
            m_strings.emplace_back(s);
    }
    for (const std::string& s : m_strings) {
        m_numbers.emplace(s, static_cast<std::uint32_t>(m_offsets.size()));
        m_offsets.push_back(static_cast<std::uint32_t>(m_bytes.size()));
        marker(m_bytes, 0x5, s.size());
        m_bytes.append(s);
    }
}

std::optional<std::uint32_t> SharedPlistStrings::find(std::string_view s) const
{
    if (const auto found = m_numbers.find(s); found != m_numbers.end())
        return found->second;
    return std::nullopt;
}

namespace {

// `offset` in `width` bytes, big-endian, at `out`; answers the byte after.
unsigned char* putOffset(unsigned char* out, std::uint64_t offset, int width)
{
    for (int i = width - 1; i >= 0; --i, offset >>= 8)
        out[i] = static_cast<unsigned char>(offset);
    return out + width;
}

std::uint32_t loadBigEndian32(const unsigned char* in)
{
    return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
           (std::uint32_t{in[2]} << 8) | in[3];
}

void storeBigEndian32(unsigned char* out, std::uint32_t v)
{
    out[0] = static_cast<unsigned char>(v >> 24);
    out[1] = static_cast<unsigned char>(v >> 16);
    out[2] = static_cast<unsigned char>(v >> 8);
    out[3] = static_cast<unsigned char>(v);
}

// Sets `item`'s own references for its first object's number `base`: each moves by the same
// amount (object numbers fit the 4-byte references, so the sum is taken modulo 2^32).
void placeReferences(EncodedPlistItem& item, std::uint64_t base)
{
    if (item.base == base)
        return;
    const auto shift = static_cast<std::uint32_t>(base - item.base);
    auto* block = reinterpret_cast<unsigned char*>(item.bytes.data());
    for (std::uint32_t position : item.refPositions)
        storeBigEndian32(block + position, loadBigEndian32(block + position) + shift);
    item.base = base;
}

// Sets `item`'s entries of the offset table for its place `at` and the table's `width`.
void placeOffsets(EncodedPlistItem& item, std::uint64_t at, int width)
{
    if (item.placedAt == at && item.offsetWidth == width)
        return;
    item.offsetEntries.resize(item.objectOffsets.size() * static_cast<std::size_t>(width));
    auto* out = reinterpret_cast<unsigned char*>(item.offsetEntries.data());
    if (width == 3) { // the common width: lists between 64 KiB and 16 MiB
        for (std::uint32_t offset : item.objectOffsets) {
            const std::uint64_t v = at + offset;
            out[0] = static_cast<unsigned char>(v >> 16);
            out[1] = static_cast<unsigned char>(v >> 8);
            out[2] = static_cast<unsigned char>(v);
            out += 3;
        }
    } else {
        for (std::uint32_t offset : item.objectOffsets)
            out = putOffset(out, at + offset, width);
    }
    item.placedAt = at;
    item.offsetWidth = width;
}

} // namespace

std::vector<std::string_view> binaryPropertyListPieces(std::span<EncodedPlistItem> items,
                                                       const SharedPlistStrings& shared,
                                                       BinaryPlistScratch& scratch)
{
    scratch.head.assign("bplist00");
    scratch.head.append(shared.bytes());

    // Shared strings first, then each item's objects numbered on from where the previous one
    // ended, then the top array.
    std::uint64_t objects = shared.size();
    std::uint64_t arrayOffset = scratch.head.size();
    for (EncodedPlistItem& item : items) {
        placeReferences(item, objects);
        objects += item.objectOffsets.size();
        arrayOffset += item.bytes.size();
    }
    ++objects;

    scratch.array.clear();
    marker(scratch.array, 0xA, items.size());
    for (const EncodedPlistItem& item : items)
        appendBigEndian(scratch.array, item.base, kItemRefWidth);

    const int width = bytesFor(arrayOffset);
    scratch.sharedEntries.resize(shared.size() * static_cast<std::size_t>(width));
    auto* out = reinterpret_cast<unsigned char*>(scratch.sharedEntries.data());
    for (std::uint32_t offset : shared.offsets())
        out = putOffset(out, 8 + offset, width);

    std::vector<std::string_view> pieces;
    pieces.reserve(2 * items.size() + 5);
    pieces.emplace_back(scratch.head);
    std::uint64_t at = scratch.head.size();
    for (EncodedPlistItem& item : items) {
        placeOffsets(item, at, width);
        pieces.emplace_back(item.bytes);
        at += item.bytes.size();
    }
    pieces.emplace_back(scratch.array);
    pieces.emplace_back(scratch.sharedEntries);
    for (const EncodedPlistItem& item : items)
        pieces.emplace_back(item.offsetEntries);

    scratch.tail.resize(static_cast<std::size_t>(width));
    putOffset(reinterpret_cast<unsigned char*>(scratch.tail.data()), arrayOffset, width);
    scratch.tail.append(6, '\0');
    scratch.tail.push_back(static_cast<char>(width));
    scratch.tail.push_back(static_cast<char>(kItemRefWidth));
    appendBigEndian(scratch.tail, objects, 8);
    appendBigEndian(scratch.tail, objects - 1, 8); // the top object is the last
    appendBigEndian(scratch.tail, arrayOffset + scratch.array.size(), 8);
    pieces.emplace_back(scratch.tail);
    return pieces;
}

} // namespace veldo::platform
