// Pre-scan of property-list bytes (see PlistGuard.h).
#include "platform/PlistGuard.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/PropertyList.h"

namespace veldo::platform::plistguard {

namespace {

constexpr std::size_t kNpos = std::string_view::npos;

// ---- Binary lists -----------------------------------------------------------------------------
//
// Layout: "bplist00", the objects, the offset table (one offset per object), and a 32-byte
// trailer: 6 unused bytes, the size of an offset, the size of an object reference, then the
// number of objects, the index of the top object and the position of the offset table, each 8
// bytes big-endian. An object starts with a marker byte: high nibble the kind, low nibble a size
// or a count (15: the count follows as an integer object).

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;

enum class Kind
{
    scalar,
    string,
    array,
    dictionary
};

struct Object
{
    Kind kind = Kind::scalar;
    std::uint64_t refCount = 0; // references that follow (a dictionary's keys, then its values)
    std::uint64_t refsAt = 0;   // position of the first reference
    std::uint64_t payload = 0;  // bytes of string or data content
    bool holdsNul = false;      // a string with a U+0000 in it (never a usable key)
};

// What a fully scanned container expands to.
struct Summary
{
    std::uint64_t height = 0; // containers on the longest downward path, itself included
    std::uint64_t nodes = 0;  // nodes of the expanded tree, itself included
    std::uint64_t payload = 0;
};

bool isContainer(const Object& o)
{
    return o.kind == Kind::array || o.kind == Kind::dictionary;
}

// Offsets and references may be 1 to 8 bytes wide: libplist writes 3-byte offsets for lists
// between 64 KiB and 16 MiB, and reads every width.
bool isTableIntSize(unsigned n)
{
    return n >= 1 && n <= 8;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    return b > kMax - a ? kMax : a + b;
}

class BinaryScan
{
public:
    explicit BinaryScan(std::string_view bytes)
        : m_bytes(bytes), m_nodeBudget(std::max<std::uint64_t>(kMaxExpandedNodes, bytes.size())),
          m_payloadBudget(std::max<std::uint64_t>(kMaxExpandedPayload, bytes.size()))
    {
    }

    bool run()
    {
        if (!readTrailer() || !offsetsInside())
            return false;
        const auto top = object(m_topObject);
        if (!top)
            return false;
        return !isContainer(*top) || walk(*top);
    }

private:
    enum class State : std::uint8_t
    {
        unvisited,
        onPath,
        scanned
    };

    struct Frame
    {
        std::uint64_t index = 0;
        Object object;
        std::uint64_t next = 0; // next reference to follow
        Summary sum{0, 1, 0};   // height of the children so far; nodes and payload so far
    };

    std::uint64_t be(std::uint64_t at, unsigned n) const
    {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v = (v << 8) | static_cast<unsigned char>(m_bytes[at + i]);
        return v;
    }

    // n bytes from `at` lie within the object area (before the offset table).
    bool inObjects(std::uint64_t at, std::uint64_t n) const
    {
        return at <= m_tableAt && n <= m_tableAt - at;
    }

    bool readTrailer()
    {
        if (m_bytes.size() < kHeaderSize + 1 + 1 + kTrailerSize)
            return false;
        const std::uint64_t t = m_bytes.size() - kTrailerSize;
        m_offsetSize = static_cast<unsigned char>(m_bytes[t + 6]);
        m_refSize = static_cast<unsigned char>(m_bytes[t + 7]);
        m_objectCount = be(t + 8, 8);
        m_topObject = be(t + 16, 8);
        m_tableAt = be(t + 24, 8);
        if (!isTableIntSize(m_offsetSize) || !isTableIntSize(m_refSize))
            return false;
        if (m_objectCount == 0 || m_topObject >= m_objectCount)
            return false;
        // At least one object byte before the table; the whole table before the trailer.
        if (m_tableAt < kHeaderSize + 1 || m_tableAt > t)
            return false;
        return m_objectCount <= (t - m_tableAt) / m_offsetSize;
    }

    bool offsetsInside() const
    {
        for (std::uint64_t i = 0; i < m_objectCount; ++i) {
            const std::uint64_t offset = be(m_tableAt + i * m_offsetSize, m_offsetSize);
            if (offset < kHeaderSize || offset >= m_tableAt)
                return false;
        }
        return true;
    }

    std::optional<Object> object(std::uint64_t index) const
    {
        const std::uint64_t start = be(m_tableAt + index * m_offsetSize, m_offsetSize);
        const auto marker = static_cast<unsigned char>(m_bytes[start]);
        const unsigned kind = marker >> 4;
        const unsigned low = marker & 0x0Fu;
        Object o;
        switch (kind) {
        case 0x0: // false, true; null and fill have no place in the value tree
            if (low == 0x8 || low == 0x9)
                return o;
            return std::nullopt;
        case 0x1: { // integer of 2^low bytes; 16 bytes only for values that fit 64 unsigned bits
            if (low > 4 || !inObjects(start + 1, 1u << low))
                return std::nullopt;
            if (low == 4 && be(start + 1, 8) != 0)
                return std::nullopt;
            return o;
        }
        case 0x2: // real of 4 or 8 bytes
            if ((low != 2 && low != 3) || !inObjects(start + 1, 1u << low))
                return std::nullopt;
            return o;
        case 0x3: // date: an 8-byte real
            if (low != 3 || !inObjects(start + 1, 8))
                return std::nullopt;
            return o;
        case 0x4:   // data
        case 0x5:   // ASCII string
        case 0x6:   // UTF-16 string
        case 0xA:   // array
        case 0xD: { // dictionary
            std::uint64_t count = low;
            std::uint64_t at = start + 1;
            if (low == 0xF) {
                if (!inObjects(at, 1))
                    return std::nullopt;
                const auto countMarker = static_cast<unsigned char>(m_bytes[at]);
                if ((countMarker >> 4) != 0x1 || (countMarker & 0x0Fu) > 3)
                    return std::nullopt;
                const unsigned n = 1u << (countMarker & 0x0Fu);
                if (!inObjects(at + 1, n))
                    return std::nullopt;
                count = be(at + 1, n);
                at += 1 + n;
            }
            const std::uint64_t unit = kind == 0x6   ? 2
                                       : kind == 0xA ? m_refSize
                                       : kind == 0xD ? 2u * m_refSize
                                                     : 1;
            if (at > m_tableAt || count > (m_tableAt - at) / unit)
                return std::nullopt;
            if (kind == 0xA || kind == 0xD) {
                o.kind = kind == 0xA ? Kind::array : Kind::dictionary;
                o.refCount = kind == 0xA ? count : 2 * count;
                o.refsAt = at;
            } else {
                o.kind = kind == 0x4 ? Kind::scalar : Kind::string;
                o.payload = count * unit;
                if (kind == 0x5)
                    o.holdsNul = std::string_view(m_bytes.data() + at, count).find('\0') !=
                                 std::string_view::npos;
                for (std::uint64_t i = 0; kind == 0x6 && i < count && !o.holdsNul; ++i)
                    o.holdsNul = be(at + 2 * i, 2) == 0;
            }
            return o;
        }
        default: // UIDs, UTF-8 strings, sets and unknown markers
            return std::nullopt;
        }
    }

    // Adds a child's expansion to its parent; false when the budget is exhausted.
    bool absorb(Frame& parent, const Summary& child) const
    {
        parent.sum.height = std::max(parent.sum.height, child.height);
        parent.sum.nodes = saturatingAdd(parent.sum.nodes, child.nodes);
        parent.sum.payload = saturatingAdd(parent.sum.payload, child.payload);
        return parent.sum.nodes <= m_nodeBudget && parent.sum.payload <= m_payloadBudget;
    }

    // Depth-first over the references with our own stack. Each container is scanned once; a
    // container reached again through another path adds its remembered summary.
    bool walk(const Object& top)
    {
        const auto maxDepth = static_cast<std::uint64_t>(kMaxPlistDepth);
        std::vector<State> state(m_objectCount, State::unvisited);
        std::unordered_map<std::uint64_t, Summary> scanned;
        std::vector<Frame> stack;
        stack.push_back(Frame{m_topObject, top});
        state[m_topObject] = State::onPath;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.object.refCount) {
                const Summary done{frame.sum.height + 1, frame.sum.nodes, frame.sum.payload};
                state[frame.index] = State::scanned;
                scanned.emplace(frame.index, done);
                stack.pop_back();
                if (!stack.empty() && !absorb(stack.back(), done))
                    return false;
                continue;
            }
            const bool isKey =
                frame.object.kind == Kind::dictionary && frame.next < frame.object.refCount / 2;
            const std::uint64_t ref = be(frame.object.refsAt + frame.next * m_refSize, m_refSize);
            ++frame.next;
            if (ref >= m_objectCount)
                return false;
            const auto child = object(ref);
            // libplist aborts on a key with a NUL in it (and would cut it short if it did not).
            if (!child || (isKey && (child->kind != Kind::string || child->holdsNul)))
                return false;
            if (!isContainer(*child)) {
                if (!absorb(frame, Summary{0, 1, child->payload}))
                    return false;
                continue;
            }
            switch (state[ref]) {
            case State::onPath: // a container that holds itself
                return false;
            case State::scanned: {
                const auto seen = scanned.find(ref);
                if (seen == scanned.end() || stack.size() + seen->second.height > maxDepth ||
                    !absorb(frame, seen->second))
                    return false;
                break;
            }
            case State::unvisited:
                if (stack.size() + 1 > maxDepth)
                    return false;
                state[ref] = State::onPath;
                stack.push_back(Frame{ref, *child}); // invalidates `frame`
                break;
            }
        }
        return true;
    }

    std::string_view m_bytes;
    std::uint64_t m_nodeBudget;
    std::uint64_t m_payloadBudget;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_topObject = 0;
    std::uint64_t m_tableAt = 0;
};

// ---- XML lists --------------------------------------------------------------------------------
//
// libplist's tokenizer: a tag name runs to white space, '<' or '>'; the rest of a tag, a
// processing instruction and a document type end at the first '>' (or "?>") outside double
// quotes; comments end at the first "-->" and CDATA sections at the first "]]>". Where reading
// quotes or not would end a construct at different places we refuse, so the count below never
// depends on that detail.

// First position at or after `from` where `token` starts; with `skipQuotes`, "..." is jumped.
std::size_t findToken(std::string_view s, std::size_t from, std::string_view token, bool skipQuotes)
{
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s.compare(i, token.size(), token) == 0)
            return i;
        if (skipQuotes && s[i] == '"') {
            i = s.find('"', i + 1);
            if (i == kNpos)
                return kNpos;
        }
    }
    return kNpos;
}

// First position at or after `from` holding one of `chars`; with `skipQuotes`, "..." is jumped.
std::size_t findAnyOf(std::string_view s, std::size_t from, std::string_view chars, bool skipQuotes)
{
    for (std::size_t i = from; i < s.size(); ++i) {
        if (skipQuotes && s[i] == '"') {
            i = s.find('"', i + 1);
            if (i == kNpos)
                return kNpos;
            continue;
        }
        if (chars.find(s[i]) != kNpos)
            return i;
    }
    return kNpos;
}

// The end of a construct that both readings of quotes agree on; npos when they differ.
std::size_t agreedToken(std::string_view s, std::size_t from, std::string_view token)
{
    const std::size_t plain = findToken(s, from, token, false);
    return plain == findToken(s, from, token, true) ? plain : kNpos;
}

std::size_t agreedAnyOf(std::string_view s, std::size_t from, std::string_view chars)
{
    const std::size_t plain = findAnyOf(s, from, chars, false);
    return plain == findAnyOf(s, from, chars, true) ? plain : kNpos;
}

bool xmlDepthWithinLimit(std::string_view s)
{
    int depth = 0;
    std::size_t i = 0;
    while ((i = s.find('<', i)) != kNpos) {
        const std::string_view rest = s.substr(i);
        std::size_t end = kNpos;
        if (rest.starts_with("<!--")) {
            end = s.find("-->", i + 4);
            if (end == kNpos)
                return false;
            i = end + 3;
        } else if (rest.starts_with("<![CDATA[")) {
            end = s.find("]]>", i + 9);
            if (end == kNpos)
                return false;
            i = end + 3;
        } else if (rest.starts_with("<?")) {
            end = agreedToken(s, i + 1, "?>");
            if (end == kNpos)
                return false;
            i = end + 2;
        } else if (rest.starts_with("<!DOCTYPE")) {
            end = agreedAnyOf(s, i + 9, "[>");
            if (end == kNpos || s[end] != '>') // an internal subset is refused
                return false;
            i = end + 1;
        } else if (rest.starts_with("<!")) {
            return false;
        } else {
            const std::size_t nameEnd = s.find_first_of(" \t\r\n<>", i + 1);
            if (nameEnd == kNpos)
                return false;
            end = s[nameEnd] == '>' ? nameEnd : agreedAnyOf(s, nameEnd, "<>");
            if (end == kNpos || s[end] != '>')
                return false;
            std::string_view name = s.substr(i + 1, nameEnd - i - 1);
            const bool selfClosing = s[end - 1] == '/';
            if (selfClosing && name.ends_with('/'))
                name.remove_suffix(1);
            if (!selfClosing && (name == "dict" || name == "array")) {
                if (++depth > kMaxPlistDepth)
                    return false;
            } else if (name == "/dict" || name == "/array") {
                if (depth == 0)
                    return false;
                --depth;
            }
            i = end + 1;
        }
    }
    return true;
}

bool looksLikeXml(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(" \t\r\n");
    return first != kNpos && s[first] == '<' && s.find("<plist") != kNpos;
}

} // namespace

bool isSafeToParse(std::string_view bytes)
{
    if (bytes.starts_with("bplist"))
        return bytes.starts_with("bplist00") && BinaryScan(bytes).run();
    return looksLikeXml(bytes) && xmlDepthWithinLimit(bytes);
}

} // namespace veldo::platform::plistguard
