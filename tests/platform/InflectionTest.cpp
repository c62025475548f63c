// English agreement of counted nouns.
#include "platform/Inflection.h"

#include <string>

#include <gtest/gtest.h>

namespace veldo::platform {
namespace {

TEST(Inflection, CountedNounsAgree)
{
    const struct
    {
        std::int64_t count;
        const char* noun;
        const char* text;
    } cases[] = {
        {0, "item", "0 items"},
        {1, "item", "1 item"},
        {2, "item", "2 items"},
        {21, "item", "21 items"},
        {1, "dropped app", "1 dropped app"},
        {2, "dropped app", "2 dropped apps"},
        {3, "medium- or low-confidence item", "3 medium- or low-confidence items"},
        {2, "reinstallable item", "2 reinstallable items"},
        {2, "Unused Application", "2 Unused Applications"},
        {2, "package", "2 packages"},
        {2, "box", "2 boxes"},
        {2, "match", "2 matches"},
        {2, "registry", "2 registries"},
        {2, "key", "2 keys"},
        {-1, "item", "-1 items"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pluralizedCount(c.count, c.noun), c.text) << c.count << " " << c.noun;
}

TEST(Inflection, EveryCountedNounOfTheAppAgrees)
{
    const struct
    {
        const char* singular;
        const char* plural;
    } nouns[] = {
        {"item", "items"},
        {"app", "apps"},
        {"App", "Apps"},
        {"Application", "Applications"},
        {"Unused Application", "Unused Applications"},
        {"dropped app", "dropped apps"},
        {"leftover item", "leftover items"},
        {"medium- or low-confidence item", "medium- or low-confidence items"},
        {"low-confidence item", "low-confidence items"},
        {"system item", "system items"},
        {"package", "packages"},
        {"Package", "Packages"},
        {"location", "locations"},
        {"reinstallable item", "reinstallable items"},
    };
    for (const auto& noun : nouns)
        for (const std::int64_t count : {0, 1, 2, 21})
            EXPECT_EQ(pluralizedCount(count, noun.singular),
                      std::to_string(count) + " " + (count == 1 ? noun.singular : noun.plural));
}

TEST(Inflection, OnlyTheMarkupChanges)
{
    EXPECT_EQ(inflect("Removed ^[3 location](inflect: true) from the list."),
              "Removed 3 locations from the list.");
    EXPECT_EQ(inflect("^[1 app](inflect: true) and ^[2 app](inflect: true)"), "1 app and 2 apps");
    EXPECT_EQ(inflect("no markup ^[here"), "no markup ^[here");
}

} // namespace
} // namespace veldo::platform
