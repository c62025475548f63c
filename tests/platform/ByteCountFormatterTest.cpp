// File-style byte counts and the size rule.
#include "platform/ByteCountFormatter.h"

#include <limits>

#include <gtest/gtest.h>

namespace veldo::platform {
namespace {

TEST(ByteCountFormatter, WritesDecimalUnitsAtTheirPrecision)
{
    const struct
    {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999, "999 bytes"},
        {1000, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"}, // rounds to 1,000 KB: the next unit
        {999'999, "1 MB"},
        {1'000'000, "1 MB"},
        {1'250'000, "1.3 MB"},
        {2'000'000, "2 MB"},
        {1'000'000'000, "1 GB"},
        {1'500'000'000, "1.5 GB"},
        {1'234'567'890, "1.23 GB"},
        {999'995'000'000, "1 TB"},
        {1'500'000'000'000, "1.5 TB"},
        {-1500, "-2 KB"},
        {std::numeric_limits<std::int64_t>::max(), "9.22 EB"},
        {std::numeric_limits<std::int64_t>::min(), "-9.22 EB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ByteCountFormatter::fileString(c.bytes), c.text) << c.bytes;
}

TEST(ByteCountFormatter, SizeTextIsZeroKbBelowOneByte)
{
    EXPECT_EQ(sizeText(0), "Zero KB");
    EXPECT_EQ(sizeText(-5), "Zero KB");
    EXPECT_EQ(sizeText(1), "1 byte");
    EXPECT_EQ(sizeText(2'000'000), "2 MB");
}

} // namespace
} // namespace veldo::platform
