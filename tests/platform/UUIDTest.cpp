// UUIDs: the canonical text both ways and fresh random identifiers.
#include "platform/UUID.h"

#include <set>

#include <gtest/gtest.h>

namespace {

using veldo::platform::UUID;

TEST(UUID, CanonicalTextBothWays)
{
    const auto id = UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->bytes[0], 0xE6);
    EXPECT_EQ(id->bytes[15], 0x5F);
    EXPECT_EQ(id->string(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(UUID::parse(id->string()), id);

    for (const char* bad :
         {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}",
          " E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",
          "E621E1F8-C36C-495A-93FC0-C247A3E6E5F", "E621E1F8+C36C-495A-93FC-0C247A3E6E5F"})
        EXPECT_FALSE(UUID::parse(bad)) << bad;
}

TEST(UUID, RandomIdentifiersAreVersionFourAndDistinct)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const auto id = UUID::random();
        ASSERT_TRUE(id);
        const std::string text = id->string();
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 100u);
}

} // namespace
