// Reading and writing property lists: round trips, value fidelity, and damaged or hostile input.
#include "platform/PropertyList.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/PlistGuard.h"
#include "tests/support/FakeMac.h"

using veldo::platform::kMaxPlistDepth;
using veldo::platform::MacPath;
using veldo::platform::parsePropertyList;
using veldo::platform::PlistDate;
using veldo::platform::PlistFormat;
using veldo::platform::PlistInteger;
using veldo::platform::PlistValue;
using veldo::platform::serializePropertyList;

namespace {

constexpr double kEpoch2001 = 978307200.0;

std::string bigEndian(std::uint64_t v, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
    return out;
}

// A binary list put together object by object, for shapes no writer produces.
struct RawBinaryList
{
    std::vector<std::string> objects; // marker and payload, references `refSize` bytes each
    int refSize = 1;
    int offsetSize = 4;
    std::uint64_t top = 0;

    std::string ref(std::uint64_t index) const { return bigEndian(index, refSize); }
    std::string array(const std::vector<std::uint64_t>& refs) const
    {
        std::string o = refs.size() < 15 ? std::string(1, static_cast<char>(0xA0 + refs.size()))
                                         : "\xAF\x12" + bigEndian(refs.size(), 4);
        for (auto r : refs)
            o += ref(r);
        return o;
    }
    std::string bytes() const
    {
        std::string out = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const auto& o : objects) {
            offsets.push_back(out.size());
            out += o;
        }
        const std::uint64_t tableAt = out.size();
        for (auto off : offsets)
            out += bigEndian(off, offsetSize);
        out += std::string(6, '\0');
        out.push_back(static_cast<char>(offsetSize));
        out.push_back(static_cast<char>(refSize));
        out += bigEndian(objects.size(), 8) + bigEndian(top, 8) + bigEndian(tableAt, 8);
        return out;
    }
};

// `depth` arrays, each holding the next; the innermost holds the string "x".
std::string binaryNesting(int depth)
{
    RawBinaryList list;
    list.refSize = 4;
    for (int i = 0; i < depth; ++i)
        list.objects.push_back(list.array({static_cast<std::uint64_t>(i + 1)}));
    list.objects.push_back("\x51x");
    return list.bytes();
}

std::string xmlNesting(int depth)
{
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
    for (int i = 0; i < depth; ++i)
        s += "<array>";
    s += "<string>x</string>";
    for (int i = 0; i < depth; ++i)
        s += "</array>";
    return s + "\n</plist>\n";
}

// How many arrays lead down to the string "x" in a value made by the nesting builders.
int nestingOf(const PlistValue& v)
{
    int depth = 0;
    const PlistValue* p = &v;
    while (p->asArray() && p->asArray()->size() == 1) {
        p = &p->asArray()->front();
        ++depth;
    }
    return p->asString() && *p->asString() == "x" ? depth : -1;
}

PlistDate dateSince2001(double seconds)
{
    return PlistDate{kEpoch2001 + seconds};
}

PlistValue richValue()
{
    PlistValue::Array integers;
    for (std::int64_t i :
         {std::int64_t{0}, std::int64_t{1}, std::int64_t{-1}, std::int64_t{-5}, std::int64_t{255},
          std::int64_t{256}, std::int64_t{65536}, std::int64_t{2147483648},
          std::int64_t{4294967296}, INT64_MIN, INT64_MAX})
        integers.emplace_back(i);
    integers.emplace_back(PlistInteger::fromUnsigned(std::uint64_t{1} << 63));
    integers.emplace_back(PlistInteger::fromUnsigned(UINT64_MAX));

    PlistValue::Dictionary nested{
        {"Empty dictionary", PlistValue::Dictionary{}},
        {"Empty array", PlistValue::Array{}},
        {"Empty string", ""},
        {"Empty data", PlistValue::Data{}},
    };
    return PlistValue(PlistValue::Dictionary{
        {"CFBundleIdentifier", "com.example.app"},
        {"Name", "J\xC3\xBCrgen \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"},
        {"Schl\xC3\xBCssel \xE2\x80\x9Cquoted\xE2\x80\x9D", "key is not ASCII"},
        {"Markup <&> \"'", "a < b && c > d"},
        {"Integers", integers},
        {"Reals", PlistValue::Array{0.1, 1.0 / 3.0, -2.5e-300, 1e300, 0.0, -7.25}},
        {"Booleans", PlistValue::Array{true, false}},
        {"Data", PlistValue::Data{0x00, 0x01, 0xFF, 0x7F, 0x80, 0x00}},
        {"Dates",
         PlistValue::Array{dateSince2001(0), dateSince2001(-978307200), dateSince2001(-3e9),
                           dateSince2001(63113904000), dateSince2001(123456789)}},
        {"Nested", nested},
        {"List", PlistValue::Array{PlistValue::Dictionary{{"a", 1}}, PlistValue::Array{}, "s"}},
    });
}

} // namespace

TEST(PropertyList, RichValueRoundTripsInBothFormats)
{
    const PlistValue value = richValue();
    for (auto format : {PlistFormat::xml, PlistFormat::binary}) {
        auto bytes = serializePropertyList(value, format);
        ASSERT_TRUE(bytes.has_value());
        auto back = parsePropertyList(*bytes);
        ASSERT_TRUE(back.has_value()) << (format == PlistFormat::xml ? "xml" : "binary");
        EXPECT_EQ(*back, value) << (format == PlistFormat::xml ? "xml" : "binary");
    }
}

TEST(PropertyList, ThreeByteOffsetsAndReferencesReadBack)
{
    RawBinaryList small;
    small.refSize = 3;
    small.offsetSize = 3;
    small.objects = {small.array({1}), "\x09"};
    const auto read = parsePropertyList(small.bytes());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, PlistValue(PlistValue::Array{PlistValue(true)}));

    // A list past 64 KiB is written with 3-byte offsets.
    PlistValue::Array items;
    for (int i = 0; i < 3000; ++i)
        items.push_back(PlistValue("a string long enough to fill the list " + std::to_string(i)));
    const PlistValue value(std::move(items));
    const auto bytes = serializePropertyList(value, PlistFormat::binary);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_GT(bytes->size(), 65536u);
    EXPECT_EQ(bytes->at(bytes->size() - 32 + 6), 3) << "offset size";
    const auto back = parsePropertyList(*bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, value);
}

TEST(PropertyList, BinaryListsShareStringsAndWidenReferences)
{
    // Ledger-shaped: many dictionaries with the same keys, repeated values, long containers.
    PlistValue::Array records;
    for (int i = 0; i < 24'000; ++i) {
        records.push_back(PlistValue(PlistValue::Dictionary{
            {"identifier", PlistValue(std::int64_t{i} * 1'000'003)},
            {"owner", "user " + std::to_string(i % 7)},
            {"path", "/Users/j\xC3\xBCrgen/.Trash/Item " + std::to_string(i)},
        }));
    }
    PlistValue::Dictionary wide;
    for (int i = 0; i < 20; ++i)
        wide.emplace("key " + std::to_string(i),
                     PlistValue::Data(static_cast<std::size_t>(i), 0xAB));
    records.push_back(PlistValue(std::move(wide)));
    const PlistValue value(std::move(records));

    const auto bytes = serializePropertyList(value, PlistFormat::binary);
    ASSERT_TRUE(bytes.has_value());
    const auto back = parsePropertyList(*bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, value);
    // Over 65,536 objects need 3-byte references; each key and repeated value is written once.
    EXPECT_EQ(bytes->at(bytes->size() - 32 + 7), 3) << "reference size";
    auto count = [&](std::string_view needle) {
        std::size_t n = 0;
        for (auto at = bytes->find(needle); at != std::string::npos;
             at = bytes->find(needle, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("identifier"), 1u);
    EXPECT_EQ(count("user 3"), 1u);
}

TEST(PropertyList, ArraysPutTogetherFromSeparatelyEncodedItemsReadBack)
{
    PlistValue::Array items{richValue(), PlistValue("plain"), PlistValue(PlistValue::Array{}),
                            PlistValue(PlistValue::Array{1, "x", PlistValue::Dictionary{}})};
    for (int i = 0; i < 300; ++i)
        items.push_back(PlistValue(PlistValue::Dictionary{
            {"path", "/Users/j\xC3\xBCrgen/.Trash/Item " + std::to_string(i)},
            {"number", PlistValue(std::int64_t{i} - 150)},
            {"same", "shared within the item"},
            {"again", "shared within the item"}}));
    for (std::size_t count : {std::size_t{0}, std::size_t{1}, items.size()}) {
        const std::span<const PlistValue> chosen(items.data(), count);
        std::vector<veldo::platform::EncodedPlistItem> encoded;
        for (const PlistValue& item : chosen) {
            auto one = veldo::platform::encodeBinaryArrayItem(item);
            ASSERT_TRUE(one.has_value());
            encoded.push_back(std::move(*one));
        }
        const auto back = parsePropertyList(veldo::platform::serializeBinaryArray(encoded));
        ASSERT_TRUE(back.has_value()) << count;
        EXPECT_EQ(*back, PlistValue(PlistValue::Array(chosen.begin(), chosen.end()))) << count;
    }
    EXPECT_FALSE(veldo::platform::encodeBinaryArrayItem(PlistValue("bad \xC3")).has_value());
}

// A list saved after every change, its members' keys shared: it reads back after appends, after
// the first member goes (every later one lies elsewhere) and after one in the middle goes, with
// members that were placed before and members placed for the first time.
TEST(PropertyList, ListPiecesWithSharedStringsReadBackAfterEachChange)
{
    static constexpr std::string_view kKeys[] = {"path", "number", "same", "plain", "\xC3\xA9"};
    const veldo::platform::SharedPlistStrings shared(kKeys);
    EXPECT_EQ(shared.size(), 4u) << "a string that is not ASCII is not shared";
    const auto member = [](int i) {
        if (i % 5 == 0)
            return PlistValue("plain"); // a member that is one of the shared strings itself
        return PlistValue(PlistValue::Dictionary{
            {"path", "/Users/j\xC3\xBCrgen/.Trash/Item " + std::to_string(i)},
            {"number", PlistValue(std::int64_t{i} - 150)},
            {"same", PlistValue::Array{"plain", "own " + std::to_string(i)}},
            {"\xC3\xA9", "same"}});
    };
    std::vector<PlistValue> values;
    std::vector<veldo::platform::EncodedPlistItem> encoded;
    veldo::platform::BinaryPlistScratch scratch;
    const auto expectReadsBack = [&](const char* step) {
        std::string bytes;
        for (const std::string_view piece :
             veldo::platform::binaryPropertyListPieces(encoded, shared, scratch))
            bytes.append(piece);
        const auto back = parsePropertyList(bytes);
        ASSERT_TRUE(back.has_value()) << step;
        EXPECT_EQ(*back, PlistValue(PlistValue::Array(values.begin(), values.end()))) << step;
        EXPECT_TRUE(veldo::platform::plistguard::isSafeToParse(bytes)) << step;
    };
    expectReadsBack("empty");
    for (int i = 0; i < 400; ++i) {
        values.push_back(member(i));
        auto one = veldo::platform::encodeBinaryArrayItem(values.back(), &shared);
        ASSERT_TRUE(one.has_value());
        encoded.push_back(std::move(*one));
        if (i % 97 == 0 || i == 399)
            expectReadsBack("appended");
    }
    values.erase(values.begin());
    encoded.erase(encoded.begin());
    expectReadsBack("first gone");
    values.erase(values.begin() + 200);
    encoded.erase(encoded.begin() + 200);
    values.push_back(member(1000));
    encoded.push_back(*veldo::platform::encodeBinaryArrayItem(values.back(), &shared));
    expectReadsBack("middle gone, one added");
    EXPECT_EQ(parsePropertyList(veldo::platform::serializeBinaryArray(encoded, shared)),
              PlistValue(PlistValue::Array(values.begin(), values.end())));
}

TEST(PropertyList, DatesKeepFractionsInBinaryAndTheirSecondInXml)
{
    // Seconds since 2001; XML holds whole seconds, the one the instant falls in.
    for (double s : {0.0, 1.5, -1.5, -0.25, 0.25, 5.999999, -978307199.75, 700000000.125}) {
        const PlistValue value(PlistValue::Array{dateSince2001(s)});
        auto binary = parsePropertyList(*serializePropertyList(value, PlistFormat::binary));
        ASSERT_TRUE(binary.has_value()) << s;
        EXPECT_EQ(*binary, value) << s;
        auto xml = parsePropertyList(*serializePropertyList(value, PlistFormat::xml));
        ASSERT_TRUE(xml.has_value()) << s;
        EXPECT_EQ(*xml, PlistValue(PlistValue::Array{dateSince2001(std::floor(s))})) << s;
    }
}

TEST(PropertyList, IntegersReadWithTheirSign)
{
    struct Case
    {
        const char* name;
        std::string intObject; // a binary integer object: marker and big-endian bytes
        PlistInteger expected;
    };
    const Case cases[] = {
        {"1 byte is unsigned", "\x10\xFF", PlistInteger::fromSigned(255)},
        {"2 bytes are unsigned", "\x11\xFF\xFF", PlistInteger::fromSigned(65535)},
        {"4 bytes are unsigned", "\x12" + bigEndian(0xFFFFFFFF, 4),
         PlistInteger::fromSigned(4294967295)},
        {"8 bytes are signed", "\x13" + bigEndian(static_cast<std::uint64_t>(-5), 8),
         PlistInteger::fromSigned(-5)},
        {"16 bytes are unsigned", "\x14" + bigEndian(0, 8) + bigEndian(UINT64_MAX - 4, 8),
         PlistInteger{UINT64_MAX - 4, true}},
    };
    for (const auto& c : cases) {
        RawBinaryList list;
        list.objects = {list.array({1}), c.intObject};
        auto v = parsePropertyList(list.bytes());
        ASSERT_TRUE(v.has_value()) << c.name;
        EXPECT_EQ(v->asArray()->front().asRawInteger(), c.expected) << c.name;
    }

    auto xml = parsePropertyList("<plist><array><integer>-5</integer>"
                                 "<integer>18446744073709551611</integer>"
                                 "<integer>9223372036854775807</integer></array></plist>");
    ASSERT_TRUE(xml.has_value());
    const auto& items = *xml->asArray();
    EXPECT_EQ(items[0].asInteger(), -5);
    EXPECT_EQ(items[1].asRawInteger(), (PlistInteger{UINT64_MAX - 4, true}));
    EXPECT_EQ(items[1].asInteger(), std::nullopt);
    EXPECT_EQ(items[2].asInteger(), INT64_MAX);

    // libplist writes its 64 bits as they are; a negative value must come out signed.
    auto written = serializePropertyList(PlistValue(PlistValue::Array{-5}), PlistFormat::xml);
    ASSERT_TRUE(written.has_value());
    EXPECT_NE(written->find("<integer>-5</integer>"), std::string::npos);
}

TEST(PropertyList, DamagedOrForeignBytesGiveNone)
{
    const std::string good = *serializePropertyList(richValue(), PlistFormat::binary);
    auto withTrailerField = [&](int at, std::uint64_t v) {
        std::string b = good;
        b.replace(b.size() - 32 + at, 8, bigEndian(v, 8));
        return b;
    };

    RawBinaryList selfContaining; // an array that holds itself
    selfContaining.objects = {selfContaining.array({0})};
    RawBinaryList indirectCycle; // 0 holds 1, 1 holds 2 and 0
    indirectCycle.objects = {indirectCycle.array({1}), indirectCycle.array({2, 0}), "\x09"};
    RawBinaryList offsetOutside;
    offsetOutside.objects = {offsetOutside.array({1}), "\x09"};
    std::string offsetOutsideBytes = offsetOutside.bytes();
    const std::size_t tableAt = offsetOutsideBytes.size() - 32 - 2 * 4;
    offsetOutsideBytes.replace(tableAt + 4, 4, bigEndian(tableAt + 100, 4));
    RawBinaryList hugeCount; // data whose count says 2^40 bytes
    hugeCount.objects = {"\x4F\x13" + bigEndian(std::uint64_t{1} << 40, 8) + "abc"};
    RawBinaryList longString; // a string running into the offset table
    longString.objects = {"\x5Ax"};
    RawBinaryList wideInt; // a 32-byte integer
    wideInt.objects = {"\x15" + std::string(32, '\x01')};
    RawBinaryList hugeInt; // a 16-byte integer beyond 64 bits
    hugeInt.objects = {"\x14" + bigEndian(1, 8) + bigEndian(0, 8)};
    RawBinaryList refOutside; // a reference past the last object
    refOutside.objects = {refOutside.array({7})};
    RawBinaryList numberKey; // a dictionary keyed by an integer
    numberKey.objects = {"\xD1\x01\x02", "\x10\x01", "\x09"};
    RawBinaryList uid;
    uid.objects = {"\x80\x01"};
    auto withTrailerByte = [&](int at, char v) {
        std::string b = good;
        b[b.size() - 32 + at] = v;
        return b;
    };

    const std::pair<const char*, std::string> cases[] = {
        {"empty file", ""},
        {"garbage", "\x89PNG\r\n\x1A\n not a property list"},
        {"header only", "bplist00"},
        {"other binary version", "bplist01" + good.substr(8)},
        {"offset table outside the data", withTrailerField(24, good.size() + 1000)},
        {"offset table overlapping the trailer", withTrailerField(24, good.size() - 33)},
        {"object count beyond the table", withTrailerField(8, 1u << 30)},
        {"top object beyond the count", withTrailerField(16, 100000)},
        {"offset table entry outside the objects", offsetOutsideBytes},
        {"count far beyond the data", hugeCount.bytes()},
        {"string running into the offset table", longString.bytes()},
        {"32-byte integer", wideInt.bytes()},
        {"16-byte integer beyond 64 bits", hugeInt.bytes()},
        {"reference past the last object", refOutside.bytes()},
        {"reference size of 0 bytes", withTrailerByte(7, 0)},
        {"offset size of 9 bytes", withTrailerByte(6, 9)},
        {"dictionary key that is no string", numberKey.bytes()},
        {"UID object", uid.bytes()},
        {"array that contains itself", selfContaining.bytes()},
        {"cycle through another array", indirectCycle.bytes()},
        {"OpenStep list", "{ a = b; }"},
        {"OpenStep array", "( \"<plist>\" )"},
        {"XML comment never closed", "<plist><array><!-- </array></plist>"},
        {"XML text only", "just words, <plist> mentioned"},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_FALSE(parsePropertyList(bytes).has_value()) << name;
        // The guard itself refuses them: libplist must never be the only check.
        EXPECT_FALSE(veldo::platform::plistguard::isSafeToParse(bytes)) << name;
    }
    EXPECT_FALSE(parsePropertyList("<plist><dict><key>a</key><string>b").has_value());

    for (std::size_t n = 0; n < good.size(); ++n) // every truncation of a good list
        EXPECT_FALSE(parsePropertyList(good.substr(0, n)).has_value()) << "prefix " << n;
}

TEST(PropertyList, NestingIsBoundedAtTheLimit)
{
    auto binary = parsePropertyList(binaryNesting(kMaxPlistDepth));
    ASSERT_TRUE(binary.has_value());
    EXPECT_EQ(nestingOf(*binary), kMaxPlistDepth);
    auto xml = parsePropertyList(xmlNesting(kMaxPlistDepth));
    ASSERT_TRUE(xml.has_value());
    EXPECT_EQ(nestingOf(*xml), kMaxPlistDepth);
    // libplist itself dies at about 20,000 levels of a binary list and 300,000 of XML.
    for (int depth : {kMaxPlistDepth + 1, 100000})
        EXPECT_FALSE(parsePropertyList(binaryNesting(depth)).has_value()) << depth;
    for (int depth : {kMaxPlistDepth + 1, 100000, 1000000})
        EXPECT_FALSE(parsePropertyList(xmlNesting(depth)).has_value()) << depth;

    PlistValue deep = "x";
    for (int i = 0; i < kMaxPlistDepth; ++i)
        deep = PlistValue(PlistValue::Array{deep});
    EXPECT_TRUE(serializePropertyList(deep, PlistFormat::binary).has_value());
    deep = PlistValue(PlistValue::Array{deep});
    for (auto format : {PlistFormat::xml, PlistFormat::binary})
        EXPECT_FALSE(serializePropertyList(deep, format).has_value());
}

TEST(PropertyList, XmlNestingIsCountedOutsideCommentsAndDeclarations)
{
    // Closing tags that libplist skips must not cancel real opening tags (400,000 levels would
    // kill libplist).
    const std::pair<const char*, const char*> hiding[] = {
        {"comment", "<array><!-- </array> -->"},
        {"CDATA", "<array><string><![CDATA[</array>]]></string>"},
        {"quoted instruction end", "<array><?pi \" ?> </array> \" ?>"},
        {"quoted tag end", "<array><dict x=\" > </array> \"/>"},
    };
    for (const auto& [name, unit] : hiding) {
        std::string s = "<plist>";
        for (int i = 0; i < 400000; ++i)
            s += unit;
        EXPECT_FALSE(parsePropertyList(s + "</plist>").has_value()) << name;
    }

    // The same constructs in an ordinary list still read.
    auto v = parsePropertyList(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\"><!-- <array> --><array><array/><dict/><array >"
        "<string><![CDATA[</array>]]></string><!-- </array></array> --></array></array></plist>");
    ASSERT_TRUE(v.has_value());
    const PlistValue expected(PlistValue::Array{PlistValue::Array{}, PlistValue::Dictionary{},
                                                PlistValue::Array{"</array>"}});
    EXPECT_EQ(*v, expected);
}

TEST(PropertyList, SharedObjectsReadButExplosiveSharingIsRefused)
{
    RawBinaryList shared; // [a, a] with a = ["s"]: one object under two references
    shared.objects = {shared.array({1, 1}), shared.array({2}), "\x51s"};
    auto v = parsePropertyList(shared.bytes());
    ASSERT_TRUE(v.has_value());
    const PlistValue inner(PlistValue::Array{"s"});
    EXPECT_EQ(*v, PlistValue(PlistValue::Array{inner, inner}));

    RawBinaryList doubling; // 60 levels of [next, next]: 2^60 nodes from 200 bytes
    for (std::uint64_t i = 0; i < 60; ++i)
        doubling.objects.push_back(doubling.array({i + 1, i + 1}));
    doubling.objects.push_back("\x09");
    EXPECT_FALSE(parsePropertyList(doubling.bytes()).has_value());

    RawBinaryList repeatedData; // 70,000 references to one KiB of data: 70 MB from 72 KB
    repeatedData.objects = {repeatedData.array(std::vector<std::uint64_t>(70000, 1)),
                            "\x4F\x11\x04\x00" + std::string(1024, 'd')};
    EXPECT_FALSE(parsePropertyList(repeatedData.bytes()).has_value());
}

TEST(PropertyList, WriterRefusesWhatWouldNotReadBackAsWritten)
{
    const std::pair<const char*, PlistValue> cases[] = {
        {"NUL in a string", PlistValue(std::string("a\0b", 3))},
        {"invalid UTF-8 key", PlistValue(PlistValue::Dictionary{{"\xC3(", 1}})},
        {"date that is not finite", PlistValue(PlistDate{NAN})},
        {"date beyond any calendar", PlistValue(PlistDate{1e300})},
    };
    for (const auto& [name, value] : cases)
        for (auto format : {PlistFormat::xml, PlistFormat::binary})
            EXPECT_FALSE(serializePropertyList(value, format).has_value()) << name;
}

TEST(PropertyList, MutatedListsNeverCrash)
{
    std::mt19937 random(20240611);
    for (auto format : {PlistFormat::xml, PlistFormat::binary}) {
        const std::string good = *serializePropertyList(richValue(), format);
        std::uniform_int_distribution<std::size_t> position(0, good.size() - 1);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int round = 0; round < 3000; ++round) {
            std::string bytes = good;
            for (int k = round % 4; k >= 0; --k)
                bytes[position(random)] = static_cast<char>(byte(random));
            (void)parsePropertyList(bytes);
        }
    }
}

TEST(PropertyList, ReadsFilesThroughTheMacRoot)
{
    veldo::testsupport::FakeMac mac;
    const PlistValue value(PlistValue::Dictionary{{"Label", "com.example.agent"}});
    const MacPath xml = mac.writePlist(MacPath("/Library/LaunchAgents/a.plist"), value);
    const MacPath binary = mac.writePlist(MacPath("/Library/LaunchAgents/b.plist"), value, true);
    EXPECT_EQ(veldo::platform::readPropertyListFile(xml), value);
    EXPECT_EQ(veldo::platform::readPropertyListFile(binary), value);
    EXPECT_FALSE(veldo::platform::readPropertyListFile(binary, 10).has_value());
    EXPECT_FALSE(
        veldo::platform::readPropertyListFile(MacPath("/Library/missing.plist")).has_value());
}

TEST(PropertyList, StringsTheWriterRefusesAreNotRead)
{
    // An ASCII string may carry any byte and a UTF-16 one U+0000; read, neither could be
    // written back, so a ledger holding one could never be saved again.
    const std::pair<const char*, std::string> strings[] = {
        {"ASCII with a byte above 0x7F", "\x51\xE9"},
        {"UTF-16 with U+0000", std::string("\x61\x00\x00", 3)},
    };
    for (const auto& [name, string] : strings) {
        RawBinaryList alone;
        alone.objects = {string};
        EXPECT_FALSE(parsePropertyList(alone.bytes())) << name;
        RawBinaryList inArray;
        inArray.objects = {"\xA2\x01\x02", "\x51\x61", string};
        EXPECT_FALSE(parsePropertyList(inArray.bytes())) << name;
        RawBinaryList asKey;
        asKey.objects = {"\xD1\x01\x02", string, "\x51\x78"};
        EXPECT_FALSE(parsePropertyList(asKey.bytes())) << name;
    }
    RawBinaryList fine;
    fine.objects = {"\xA2\x01\x02", "\x51\x61", std::string("\x61\x00\xE9", 3)};
    EXPECT_EQ(parsePropertyList(fine.bytes()), PlistValue(PlistValue::Array{"a", "\xC3\xA9"}));
    const std::string xmlNul = "<?xml version=\"1.0\"?><plist version=\"1.0\">"
                               "<string>a&#0;b</string></plist>";
    EXPECT_FALSE(parsePropertyList(xmlNul));
}

TEST(PropertyList, KeysWithANulAreRefused)
{
    // A dictionary whose key is a UTF-16 string holding U+0000 (found by fuzzing: libplist
    // aborts on it), and the same with an ASCII key.
    RawBinaryList utf16Key;
    utf16Key.objects = {"\xD1\x01\x02", std::string("\x61\x00\x00", 3), "\x51\x78"};
    RawBinaryList asciiKey;
    asciiKey.objects = {"\xD1\x01\x02", std::string("\x52\x61\x00", 3), "\x51\x78"};
    RawBinaryList plainKey;
    plainKey.objects = {"\xD1\x01\x02", "\x51\x6B", "\x51\x78"};
    EXPECT_FALSE(parsePropertyList(utf16Key.bytes()));
    EXPECT_FALSE(parsePropertyList(asciiKey.bytes()));
    auto plain = parsePropertyList(plainKey.bytes());
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->stringFor("k"), "x");

    const std::string xmlNulKey = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                  "<key>a&#0;b</key><string>x</string></dict></plist>";
    EXPECT_FALSE(parsePropertyList(xmlNulKey));
}
