// The preferences store: typed round trips through its property list, integer reading of
// foreign types, atomic writes, observers, and the standard domain inside the Mac root.
#include "platform/UserDefaults.h"

#include <limits>
#include <string>
#include <vector>

#include <dirent.h>

#include <gtest/gtest.h>

#include "platform/MacFileSystem.h"
#include "platform/PropertyList.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::platform;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

const MacPath kFile("/Users/Shared/Prefs/test.plist");

std::vector<std::string> namesIn(const MacPath& folder)
{
    auto names = listDirectory(folder);
    return names ? *names : std::vector<std::string>{};
}

} // namespace

TEST(UserDefaults, ValuesSurviveInTheFileAndAreTyped)
{
    FakeMac mac;
    const PlistValue::Array list{PlistValue("a"), PlistValue(2)};
    {
        UserDefaults d(kFile);
        EXPECT_FALSE(d.object("missing").has_value());
        ASSERT_TRUE(d.setBool("flag", true));
        ASSERT_TRUE(d.setInteger("count", -42));
        ASSERT_TRUE(d.setObject("name", PlistValue("Veldo “quoted”")));
        ASSERT_TRUE(d.setObject("list", PlistValue(list)));
        ASSERT_TRUE(d.setObject("gone", PlistValue(1.5)));
        ASSERT_TRUE(d.removeObject("gone"));
    }
    UserDefaults reread(kFile);
    EXPECT_EQ(reread.object("flag")->asBoolean(), true);
    EXPECT_EQ(reread.object("count")->asInteger(), -42);
    EXPECT_EQ(*reread.object("name")->asString(), "Veldo “quoted”");
    EXPECT_EQ(*reread.object("list"), PlistValue(list));
    EXPECT_FALSE(reread.object("gone").has_value());

    // The file is a property list holding exactly the domain, and no temporary is left.
    auto onDisk = readPropertyListFile(kFile);
    ASSERT_TRUE(onDisk.has_value());
    EXPECT_EQ(onDisk->asDictionary()->size(), 4u);
    EXPECT_EQ(namesIn(kFile.deletingLastPathComponent()), std::vector<std::string>{"test.plist"});
}

TEST(UserDefaults, IntegerReadingOfEveryStoredType)
{
    FakeMac mac;
    UserDefaults d(kFile);
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    const struct
    {
        PlistValue stored;
        std::int64_t expected;
    } cases[] = {
        {PlistValue(std::int64_t{123456789012}), 123456789012},
        {PlistValue(PlistInteger::fromUnsigned(std::numeric_limits<std::uint64_t>::max())), kMax},
        {PlistValue(3.9), 3},
        {PlistValue(-3.9), -3},
        {PlistValue(1e300), kMax},
        {PlistValue(-1e300), kMin},
        {PlistValue(std::numeric_limits<double>::quiet_NaN()), 0},
        {PlistValue(true), 1},
        {PlistValue(false), 0},
        {PlistValue("  -17 apples"), -17},
        {PlistValue("+8"), 8},
        {PlistValue("apples"), 0},
        {PlistValue("99999999999999999999999"), kMax},
        {PlistValue("-99999999999999999999999"), kMin},
        {PlistValue(PlistDate{1000}), 0},
        {PlistValue(PlistValue::Data{1, 2}), 0},
        {PlistValue(PlistValue::Array{PlistValue(5)}), 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(d.setObject("k", c.stored));
        EXPECT_EQ(d.integer("k"), c.expected);
    }
    EXPECT_EQ(d.integer("missing"), 0);
}

TEST(UserDefaults, DamagedOrForeignFileGivesAnEmptyDomainThatTheNextWriteReplaces)
{
    FakeMac mac;
    for (const std::string& contents :
         {std::string("bplist00 not really"), std::string("<plist><array><integer>1</integer>"
                                                          "</array></plist>")}) {
        mac.write(kFile, contents);
        UserDefaults d(kFile);
        EXPECT_FALSE(d.object("a").has_value());
        ASSERT_TRUE(d.setInteger("a", 1));
        EXPECT_EQ(UserDefaults(kFile).integer("a"), 1);
    }
}

TEST(UserDefaults, ObserversHearRealChangesOnly)
{
    FakeMac mac;
    UserDefaults d(kFile);
    std::vector<std::string> heard;
    const auto id = d.addObserver([&](const std::string& key) { heard.push_back(key); });
    ASSERT_TRUE(d.setBool("a", true));
    ASSERT_TRUE(d.setBool("a", true)); // equal: written, nobody told
    ASSERT_TRUE(d.setInteger("a", 1)); // a different type is a change
    ASSERT_TRUE(d.removeObject("a"));
    ASSERT_TRUE(d.removeObject("a")); // already gone
    d.removeObserver(id);
    ASSERT_TRUE(d.setBool("b", true));
    EXPECT_EQ(heard, (std::vector<std::string>{"a", "a", "a"}));
}

TEST(UserDefaults, FailedWriteIsReportedAndTheValueHoldsInMemory)
{
    FakeMac mac;
    // A file where the folder should be: the domain cannot be written.
    mac.write("/Users/Shared/Blocked"_mac, "x");
    UserDefaults d(MacPath("/Users/Shared/Blocked/test.plist"));
    auto written = d.setBool("a", true);
    ASSERT_FALSE(written.has_value());
    EXPECT_EQ(written.error().systemErrno, ENOTDIR);
    EXPECT_EQ(d.object("a")->asBoolean(), true);
}

TEST(UserDefaults, StandardDomainLivesInTheHomeOfTheCurrentRoot)
{
    std::shared_ptr<UserDefaults> first;
    {
        FakeMac mac;
        const MacPath expected =
            mac.home().appendingPathComponent("Library/Preferences/orbelkan.Veldo.plist");
        EXPECT_EQ(UserDefaults::standardFile(), expected);
        first = UserDefaults::standard();
        EXPECT_EQ(first, UserDefaults::standard());
        EXPECT_EQ(first->file(), expected);
        ASSERT_TRUE(first->setBool("Veldo.Test", true));
        EXPECT_TRUE(isRegularFile(expected));
    }
    FakeMac other;
    auto second = UserDefaults::standard();
    EXPECT_NE(second, first);
    EXPECT_FALSE(second->object("Veldo.Test").has_value());
}
