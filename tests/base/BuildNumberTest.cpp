// Build-number syntax and order.
#include "base/BuildNumber.h"

#include <string>

#include <gtest/gtest.h>

using namespace veldo::base;

TEST(BuildNumber, Validity)
{
    const std::string digits32(32, '7');
    struct Case
    {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"2", true},
        {"1.10.3", true},
        {"0", true},
        {"007.0", true},
        {digits32, true},
        {"1." + std::string(30, '1'), true}, // 32 bytes with the dot
        {digits32 + "7", false},             // 33 digits
        {"1." + std::string(31, '1'), false},
        {"", false},
        {".", false},
        {"1.", false},
        {".1", false},
        {"1..2", false},
        {"1a", false},
        {"a", false},
        {" 1", false},
        {"1 ", false},
        {"+1", false},
        {"-1", false},
        {"1,2", false},
        {"1\r\n", false},
        {"\r\n", false},
        {"\xEF\xBC\x91", false}, // fullwidth digit one
        {"\xD9\xA3", false},     // Arabic-Indic digit three
        {"1\xCC\x81", false},    // 1 with a combining acute accent
        {std::string("1\0", 2), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isValidBuildNumber(c.text), c.valid) << '"' << c.text << '"';
}

TEST(BuildNumber, Ordering)
{
    struct Case
    {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"1.02", "1.2", 0},
        {"1.2", "1.2.0", 0},
        {"1.2.0.0", "1.2", 0},
        {"007", "7", 0},
        {"0", "0.0", 0},
        {"00", "0", 0},
        {"42", "42", 0},
        {"9", "10", -1},
        {"1.9", "1.10", -1},
        {"1.2", "1.2.1", -1},
        {"1.10.3", "2", -1},
        {"2.0", "10", -1},
        {"1.09", "1.10", -1},
        {"19", "20", -1},
        // Longer than any machine integer: still ordered by value.
        {"99999999999999999999", "100000000000000000000", -1},
        {"123456789012345678901234567890", "123456789012345678901234567891", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compareBuilds(c.a, c.b), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(compareBuilds(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
    }
}
