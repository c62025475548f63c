// Name ordering: locale-aware, letter case ignored, accents kept.
#include "platform/NameCollator.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using veldo::platform::NameCollator;

namespace {

std::vector<std::string> sorted(std::vector<std::string> names, const NameCollator& collator)
{
    std::stable_sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        return collator.compare(a, b) < 0;
    });
    return names;
}

} // namespace

TEST(NameCollator, IgnoresCaseButNotAccents)
{
    const NameCollator collator("C");
    EXPECT_EQ(collator.localeName(), "root");
    EXPECT_EQ(collator.compare("Alpha", "alpha"), 0);
    EXPECT_EQ(collator.compare("SAFARI", "Safari"), 0);
    EXPECT_LT(collator.compare("resume", "r\xC3\xA9sum\xC3\xA9"), 0);
    EXPECT_NE(collator.compare("Cafe", "Caf\xC3\xA9"), 0);
    // Composed and decomposed accents are the same text.
    EXPECT_EQ(collator.compare("Caf\xC3\xA9", "Cafe\xCC\x81"), 0);
    EXPECT_LT(collator.compare("alpha", "Beta"), 0);
    EXPECT_GT(collator.compare("beta", "Alpha"), 0);
    // Bad UTF-8 still orders.
    EXPECT_NE(collator.compare("a\xFF", "b"), 0);
}

TEST(NameCollator, FollowsTheLocale)
{
    const std::vector<std::string> names = {"Zebra", "\xC3\x96rn", "Orca"};
    // The root order keeps Ö with O; Swedish puts it after Z.
    EXPECT_EQ(sorted(names, NameCollator("POSIX")),
              (std::vector<std::string>{"Orca", "\xC3\x96rn", "Zebra"}));
    const NameCollator swedish("sv_SE.UTF-8");
    EXPECT_EQ(swedish.localeName(), "sv_SE");
    EXPECT_EQ(sorted(names, swedish), (std::vector<std::string>{"Orca", "Zebra", "\xC3\x96rn"}));

    for (const char* posix : {"", "C", "C.UTF-8", "POSIX", "C.utf8"})
        EXPECT_EQ(NameCollator(posix).localeName(), "root") << posix;
    // A test process has not set a locale, so it collates like the root.
    EXPECT_EQ(NameCollator().localeName(), "root");
}
