// The name matchers and the match context of the leftover rules.
#include "app/leftovers/NameMatchers.h"

#include <gtest/gtest.h>

#include "app/leftovers/MatchContext.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using veldo::core::MatchConfidence;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;
using namespace veldo::leftovers::LeftoverScanner;
using namespace veldo::testsupport::literals;

namespace {

constexpr auto certain = MatchConfidence::certain;
constexpr auto high = MatchConfidence::high;
constexpr auto medium = MatchConfidence::medium;
constexpr std::optional<MatchConfidence> none;

MatchContext contextFor(std::optional<std::string> bundleID,
                        std::unordered_set<std::string> embedded = {},
                        MacPath app = "/Applications/Example.app"_mac)
{
    return MatchContext::make(bundleID, app, {"Example"}, embedded);
}

} // namespace

TEST(MatchContext, TrimsAndLowersTheIdentifierAndKeepsOnlyNestedIdentifiers)
{
    const auto context = contextFor(
        " \n Com.Example.App\t", {"COM.EXAMPLE.APP.Helper", "com.example.app", "com.example.appx",
                                  "org.other.helper", "com.example.app.widget"});
    EXPECT_EQ(context.bundleID, "Com.Example.App");
    EXPECT_EQ(context.id, "com.example.app");
    EXPECT_EQ(context.embeddedIDs, (std::unordered_set<std::string>{"com.example.app.helper",
                                                                    "com.example.app.widget"}));

    for (const char* blank : {"", " \t\n"}) {
        const auto without = contextFor(std::string(blank), {"com.example.app.helper", ".odd"});
        EXPECT_EQ(without.bundleID, std::nullopt);
        EXPECT_EQ(without.id, "");
        EXPECT_EQ(without.embeddedIDs, std::unordered_set<std::string>{".odd"});
    }
}

TEST(MatchContext, ContainsInAppByEitherPathOfTheApp)
{
    FakeMac mac;
    mac.makeApp("/Users/Shared/Build/Example.app"_mac, PlistValue::Dictionary{});
    mac.symlink("/Applications/Example.app"_mac, "/Users/Shared/Build/Example.app");
    mac.symlink("/opt/links"_mac, "/Applications/Example.app/Contents");
    const auto context = contextFor("com.example.app");
    EXPECT_EQ(context.appStandardPath, "/Applications/Example.app");
    EXPECT_EQ(context.appPath, "/Users/Shared/Build/Example.app");

    EXPECT_TRUE(context.containsInApp("/Applications/Example.app/Contents/MacOS/x"));
    EXPECT_TRUE(context.containsInApp("/Users/Shared/Build/Example.app/Contents/MacOS/x"));
    EXPECT_TRUE(context.containsInApp("/Applications/Other/../Example.app/Contents/x"));
    EXPECT_TRUE(context.containsInApp("/opt/links/MacOS/x")); // through a link into the bundle
    EXPECT_FALSE(context.containsInApp("/Applications/Example.app"));
    EXPECT_FALSE(context.containsInApp("/Applications/Example.application/x"));
    EXPECT_FALSE(context.containsInApp("/applications/example.app/Contents/x")); // case counts
}

TEST(NameMatchers, FileNameRule)
{
    const auto app = contextFor("com.example.app", {"com.example.app.loginhelper"});
    const auto apple = contextFor("com.apple.foo");
    const auto twoParts = contextFor("example.app", {"example.app.widget"});
    const auto emptyParts = contextFor("com..app");
    const auto noID = contextFor(std::nullopt);
    const struct
    {
        const MatchContext& context;
        const char* name;
        std::optional<MatchConfidence> expected;
    } cases[] = {
        {app, "com.example.app.plist", high},
        {app, "COM.Example.App.PLIST", high},
        {app, "com.example.app", high},
        {app, "com.example.app.helper.plist", high},
        {app, "com.example.app-beta.plist", high},
        {app, "com.example.app.loginhelper.plist", high},
        {app, "com.example.appx.plist", medium},
        {app, "com.example.app_2.plist", medium},
        {app, "com.example.plist", none},
        {app, "org.example.app.plist", none},
        {app, "com.example.app.plist.plist", high},
        {apple, "com.apple.foo.plist", high},
        {apple, "com.apple.foo.bar.plist", medium},
        {apple, "com.apple.foox.plist", medium},
        {twoParts, "example.app.plist", high},
        {twoParts, "example.app.widget.plist", high},
        {twoParts, "example.app.helper.plist", none},
        {twoParts, "example.appx", none},
        {emptyParts, "com..app.helper.plist", none},
        {noID, "example.plist", none},
        {noID, ".plist", none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nameConfidence(c.name, c.context), c.expected) << c.name;
}

TEST(NameMatchers, ContainerRule)
{
    const auto app = contextFor("com.example.app", {"com.example.app.loginhelper"});
    const auto twoParts = contextFor("example.app");
    const struct
    {
        const MatchContext& context;
        const char* name;
        std::optional<MatchConfidence> expected;
    } cases[] = {
        {app, "com.example.app", high},
        {app, "ABCDE12345.com.example.app", high},
        {app, "group.com.example.app", high},
        {app, "ABCDE12345.group.com.example.app", high},
        {app, "GROUP.COM.EXAMPLE.APP", high},
        {app, "ABCDE12345.com.example.app.loginhelper", high},
        {app, "group.com.example.app.shared", medium},
        {app, "ABCDE12345.com.example.app-data", medium},
        {app, "abcde12345.com.example.app", none}, // lower-case team prefix stays
        {app, "ABCDe12345.com.example.app", none},
        {app, "ABCDE1234.com.example.app", none},   // nine characters
        {app, "ABCDE123456.com.example.app", none}, // eleven
        {app, "com.example.appx", none},
        {app, "com.example.app.plist", medium},
        {app, "ABCDE12345", none},
        {twoParts, "group.example.app", high},
        {twoParts, "ABCDE12345.example.app", high},
        {twoParts, "group.example.app.shared", none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(containerConfidence(c.name, c.context), c.expected) << c.name;
    EXPECT_EQ(containerConfidence("com.example.app", contextFor(std::nullopt)), none);
}

TEST(NameMatchers, NameMentions)
{
    const struct
    {
        const char* fileName;
        const char* name;
        bool expected;
    } cases[] = {
        {"Example App_2024-05-01-101010_host.ips", "Example App", true},
        {"example app-2024.crash", "EXAMPLE APP", true},
        {"Example App.ips", "  Example App\t", true},
        {"Example App", "Example App", true},
        {"XExample App_2024.ips", "Example App", false},
        {"2Example_2024.ips", "Example", false},
        {"Example Apps_2024.ips", "Example App", false},
        {"Counterexample_2024.ips", "Example", false},
        {"Example Application then Example App.ips", "Example App", true}, // a later occurrence
        {"xaa aa", "aa", true},
        {"aaa", "aa", false},
        {"com.example.app_2024.ips", "com.example.app", true},
        {"com.example.app.helper_2024.ips", "com.example.app", true},
        {"com.example.apps_2024.ips", "com.example.app", false},
        {"anything", " \t ", false},
        {"\xC3\xA9"
         "Example.ips",
         "Example", false}, // é before
        {"\xEF\xBC\x91"
         "Example.ips",
         "Example", false},                            // full-width digit one before
        {"Caf\xC3\xA9_2024.ips", "CAF\xC3\x89", true}, // lower-cased beyond ASCII
        {"Example\xCC\x81.ips", "Example", false},     // ends inside a character
        {"e\xCC\x81"
         "Example.ips",
         "Example", false}, // é (decomposed) before
        {"_\xCC\x81"
         "Example.ips",
         "Example", true}, // a mark on "_" is no letter
    };
    for (const auto& c : cases)
        EXPECT_EQ(nameMentions(c.fileName, c.name), c.expected) << c.fileName << " / " << c.name;
}

TEST(NameMatchers, NameKeys)
{
    EXPECT_EQ(nameKeys({"Example App", "  Ex ", "\tFoo  Bar\t", "Ab",
                        "e\xCC\x81"
                        "e\xCC\x81",
                        "\xC3\x84pp"}),
              (std::unordered_set<std::string>{"example app", "exampleapp", "foo  bar", "foobar",
                                               "\xC3\xA4pp"}));
    // Line breaks are not trimmed: they count as characters.
    EXPECT_EQ(nameKeys({"Ab\n"}), (std::unordered_set<std::string>{"ab\n"}));
}

TEST(NameMatchers, LaunchdPlistRule)
{
    FakeMac mac;
    mac.makeApp("/Applications/Example.app"_mac, PlistValue::Dictionary{});
    mac.write("/Applications/Example.app/Contents/MacOS/agent"_mac, "x");
    mac.symlink("/opt/links/agent"_mac, "/Applications/Example.app/Contents/MacOS/agent");
    const auto app = contextFor("com.example.app");
    const auto apple = contextFor("com.apple.foo", {}, "/Applications/Example.app"_mac);

    using D = PlistValue::Dictionary;
    using A = PlistValue::Array;
    const std::string inside = "/Applications/Example.app/Contents/MacOS/agent";
    const std::string other = "/Applications/Other.app/Contents/MacOS/agent";
    const struct
    {
        const MatchContext& context;
        const char* fileName;
        std::optional<PlistValue> job; // none: the file is no property list
        std::optional<MatchConfidence> expected;
    } cases[] = {
        {app, "com.example.app.agent.plist", D{{"Program", "/usr/local/bin/tool"}}, high},
        {app, "com.example.app.agent.plist", D{{"Program", other}}, medium},
        {app, "com.example.app.agent.plist",
         D{{"ProgramArguments", A{"/APPLICATIONS/OTHER.APP/x"}}}, medium},
        {app, "com.example.app.agent.plist", D{{"Program", inside}}, high},
        {app, "com.example.app.agent.plist", std::nullopt, high},
        {app, "com.example.app.agent.PLIST", D{}, high},
        {app, "com.example.app.agent.txt", D{{"Program", inside}}, none},
        {app, "com.example.appx.plist", D{}, medium},
        {app, "com.example.appx.plist", D{{"Program", inside}}, high},
        {app, "com.example.appx.plist", D{{"AssociatedBundleIdentifiers", A{"COM.EXAMPLE.APP"}}},
         high},
        {app, "org.vendor.updater.plist", D{{"Program", inside}}, medium},
        {app, "org.vendor.updater.plist", D{{"ProgramArguments", A{inside, "--daemon"}}}, medium},
        {app, "org.vendor.updater.plist", D{{"Program", "/opt/links/agent"}}, medium},
        {app, "org.vendor.updater.plist", D{{"AssociatedBundleIdentifiers", "com.example.app"}},
         medium},
        {app, "org.vendor.updater.plist", D{{"Label", "com.example.app"}, {"Program", other}},
         none},
        {app, "org.vendor.updater.plist", D{{"Program", "Contents/MacOS/agent"}}, none},
        {app, "org.vendor.updater.plist", D{{"BundleProgram", "Contents/MacOS/agent"}}, none},
        {apple, "com.apple.foox.plist", D{{"Program", inside}}, medium},
        {apple, "com.apple.foo.plist", D{{"Program", other}}, medium},
    };
    int n = 0;
    for (const auto& c : cases) {
        const MacPath folder("/Library/LaunchAgents/case" + std::to_string(n++));
        const MacPath plist = folder.appendingPathComponent(c.fileName);
        if (c.job)
            mac.writePlist(plist, *c.job, n % 2 == 0);
        else
            mac.write(plist, "not a property list");
        EXPECT_EQ(launchdPlistConfidence(plist, c.context), c.expected) << plist.path();
    }
}
