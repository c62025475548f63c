// Bounded reads of the bill-of-materials cursor.
#include "app/leftovers/BOMCursor.h"

#include <gtest/gtest.h>

using veldo::leftovers::BOMCursor;
using namespace std::string_literals;

TEST(BOMCursor, ReadsInsideItsBoundsAndMovesOnlyOnSuccess)
{
    const std::string data = "\x00\x00\x01\x02"s + "AB" + "xyz";

    BOMCursor c(data, -5);
    EXPECT_EQ(c.offset(), 0);
    EXPECT_EQ(c.end(), 9);
    EXPECT_FALSE(c.expect("\x00\x00\x01\x03"s));
    EXPECT_EQ(c.offset(), 0);
    EXPECT_EQ(c.readUInt32(), 0x102u);
    EXPECT_FALSE(c.expect("ABxyzQ"));
    EXPECT_TRUE(c.expect("AB"));
    EXPECT_EQ(c.readUInt32(), std::nullopt); // 3 bytes left
    EXPECT_EQ(c.offset(), 6);
    EXPECT_EQ(c.readText(4), std::nullopt);
    EXPECT_EQ(c.readText(3), "xyz");
    EXPECT_EQ(c.readUInt8(), std::nullopt);
    c.skip4();
    EXPECT_EQ(c.offset(), 9);

    BOMCursor window(data, 2, 4);
    EXPECT_EQ(window.readUInt16(), 0x0102u);
    EXPECT_EQ(window.readUInt8(), std::nullopt); // "AB" lies past the window's end
    EXPECT_EQ(window.rest(), "");

    BOMCursor skipping(data, 7);
    skipping.skip4();
    EXPECT_EQ(skipping.offset(), 9);
    EXPECT_EQ(BOMCursor(data, 0, 100).end(), 9);
    EXPECT_EQ(BOMCursor(data, 0, -3).end(), 0);

    BOMCursor beyond(data, 20);
    EXPECT_EQ(beyond.remaining(), 0);
    EXPECT_EQ(beyond.readUInt8(), std::nullopt);
    EXPECT_TRUE(beyond.expect(""));
    beyond.skip4();
    EXPECT_EQ(beyond.offset(), 20);
}

TEST(BOMCursor, DecodesTextWithReplacementCharacters)
{
    EXPECT_EQ(BOMCursor::decodeText("plain"), "plain");
    EXPECT_EQ(BOMCursor::decodeText("\xC3\x9C"
                                    "ber"),
              "\xC3\x9C"
              "ber");
    EXPECT_EQ(BOMCursor::decodeText("a\xFF"
                                    "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(BOMCursor::decodeText("cut\xE2\x82"), "cut\xEF\xBF\xBD");
    const std::string bytes = "\x00n\xC0"s;
    BOMCursor c(bytes, 0);
    EXPECT_EQ(c.readText(3), "\x00n\xEF\xBF\xBD"s);
}
