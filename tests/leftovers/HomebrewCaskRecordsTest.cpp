// Reading cask records: brew's JSON, Ruby cask source, config.json, and building the index.
#include "app/leftovers/HomebrewCaskRecords.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/leftovers/HomebrewCaskIndex.h"

using namespace veldo::leftovers;
using namespace veldo::leftovers::HomebrewCasks;
using Strings = std::vector<std::string>;

namespace {

nlohmann::json json(const char* text)
{
    auto parsed = parseJson(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(nlohmann::json());
}

CaskInfo record(std::string token, Strings apps)
{
    CaskInfo info;
    info.token = std::move(token);
    info.appNames = apps;
    info.appTargets = std::move(apps);
    return info;
}

} // namespace

TEST(HomebrewCaskRecords, ShortToken)
{
    const std::pair<const char*, const char*> cases[] = {
        {"firefox", "firefox"},
        {"user/tap/foo", "foo"},
        {"user/tap/foo/", "foo"},
        {"a//b", "b"},
        {"/", "/"},
        {"", ""},
    };
    for (const auto& [token, expected] : cases)
        EXPECT_EQ(shortToken(token), expected) << token;
}

TEST(HomebrewCaskRecords, QuotedLiterals)
{
    const struct
    {
        const char* text;
        Strings expected;
    } cases[] = {
        {R"("Foo.app", target: "Bar.app")", {"Foo.app", "Bar.app"}},
        {R"('it\'s' "say \"hi\"" 'a"b')", {"it's", R"(say "hi")", "a\"b"}},
        {R"("a#b" # "comment")", {"a#b"}},
        {R"("closed" "open)", {"closed"}},
        {R"("back\\slash")", {"back\\slash"}},
        {R"("" 'x')", {"", "x"}},
        {"no literals here", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quotedLiterals(c.text), c.expected) << c.text;
}

TEST(HomebrewCaskRecords, AppArtifactNames)
{
    const struct
    {
        const char* array;
        Strings expected;
    } cases[] = {
        {R"(["Foo.app", {"target": "Bar.app"}])", {"Bar.app"}},
        {R"(["Tools/Foo.app"])", {"Foo.app"}},
        {R"(["Foo.app", {"target": "~/Applications/Foo.app"}])", {"~/Applications/Foo.app"}},
        {R"(["Foo.app", {"target": "Helper"}])", {}},
        {R"(["Foo.APP", "Bar.App/"])", {"Foo.APP", "Bar.App"}},
        {R"(["Foo.app", {"target": ""}, "Baz.app"])", {"Foo.app", "Baz.app"}},
        {R"([{"target": "Lost.app"}, 3, null, "Real.app"])", {"Real.app"}},
        {R"(["Foo.app", {"target": 7}])", {"Foo.app"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(appArtifactNames(json(c.array)), c.expected) << c.array;
}

TEST(HomebrewCaskRecords, CaskInfoFromJson)
{
    // The tap decides whether the full token names the cask; fallbacks fill what is missing.
    const struct
    {
        const char* object;
        std::optional<std::string> token;
        std::optional<std::string> version;
        std::optional<std::string> expectedToken;
        std::string expectedVersion;
    } cases[] = {
        {R"({"token":"foo","full_token":"user/tap/foo","tap":"user/tap"})",
         {},
         {},
         "user/tap/foo",
         ""},
        {R"({"token":"foo","full_token":"homebrew/cask/foo","tap":"homebrew/cask"})",
         {},
         {},
         "foo",
         ""},
        {R"({"token":"foo","full_token":"","tap":"user/tap"})", {}, {}, "foo", ""},
        {R"({"token":"foo","tap":"user/tap"})", {}, {}, "foo", ""},
        {R"({"tap":"homebrew/cask"})", "folder", {}, "folder", ""},
        {R"({"token":"named"})", "folder", {}, "named", ""},
        {R"({"token":7})", "folder", {}, "folder", ""},
        {R"({"installed":"1.0"})", {}, {}, std::nullopt, ""},
        {R"({"token":""})", "folder", {}, std::nullopt, ""},
        {R"({"token":"a","installed":"2.0","version":"3.0"})", {}, {}, "a", "2.0"},
        {R"({"token":"a","installed":null,"version":"3.0"})", {}, {}, "a", "3.0"},
        {R"({"token":"a","installed":"2.0"})", {}, "1.5", "a", "1.5"},
        {R"({"token":"a","version":false})", {}, {}, "a", ""},
        {R"(["not", "an", "object"])", "folder", {}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const auto info = caskInfoFromJson(json(c.object), c.token, c.version);
        ASSERT_EQ(info.has_value(), c.expectedToken.has_value()) << c.object;
        if (info) {
            EXPECT_EQ(info->token, *c.expectedToken) << c.object;
            EXPECT_EQ(info->version, c.expectedVersion) << c.object;
        }
    }

    const auto full = caskInfoFromJson(json(R"({"token":"suite","artifacts":[
            {"app":["Suite.app", {"target":"~/Applications/Suite.app"}, "Helper.app"]},
            {"app":["Other/Helper.app"]},
            {"zap":null},
            "not an object",
            {"pkg":"Suite.pkg"},
            {"app":"not an array"}]})"),
                                       std::nullopt, std::nullopt);
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->appTargets, (Strings{"~/Applications/Suite.app", "Helper.app"}));
    EXPECT_EQ(full->appNames, (Strings{"Suite.app", "Helper.app"}));
    EXPECT_TRUE(full->hasZap);
    EXPECT_TRUE(full->usesInstallerPackage);
    EXPECT_FALSE(full->appdir.has_value());

    const auto plain = caskInfoFromJson(json(R"({"token":"p","artifacts":[{"app":["P.app"]}]})"),
                                        std::nullopt, std::nullopt);
    ASSERT_TRUE(plain.has_value());
    EXPECT_FALSE(plain->hasZap);
    EXPECT_FALSE(plain->usesInstallerPackage);
}

TEST(HomebrewCaskRecords, CaskInfoFromRubySource)
{
    const char* source = R"(cask "visual-studio-code" do
  version "1.85.1"
  url "https://update.code.visualstudio.com/#{version}/darwin/stable"

  # app "Commented.app"
  app "Visual Studio Code.app"
  app "Code Helper.app", target: "~/Applications/Code Helper.app"
  app "Tools/Extra.app", target: "Utilities/Extra Tool.app"
  app "Code #{version}.app"
  app "Insiders.app", target: "Insiders #{version}.app"
  app "Visual Studio Code.app"
  app "CLI", target: "code"
  app :no_literal
  binary "#{appdir}/Visual Studio Code.app/Contents/Resources/app/bin/code"
  zap trash: [
    "~/Library/Application Support/Code",
  ]
end
)";
    const CaskInfo info = caskInfoFromRubySource(source, "visual-studio-code", "1.85.1");
    EXPECT_EQ(info.token, "visual-studio-code");
    EXPECT_EQ(info.version, "1.85.1");
    EXPECT_EQ(info.appTargets, (Strings{"Visual Studio Code.app", "~/Applications/Code Helper.app",
                                        "Utilities/Extra Tool.app"}));
    EXPECT_EQ(info.appNames,
              (Strings{"Visual Studio Code.app", "Code Helper.app", "Extra Tool.app"}));
    EXPECT_TRUE(info.hasZap);
    EXPECT_FALSE(info.usesInstallerPackage);
    EXPECT_FALSE(info.appdir.has_value());

    // Stanza detection: "zap" alone or followed by a blank, "pkg" followed by a blank; white
    // space around lines (a tab, a no-break space) does not count, comment lines do not count.
    const struct
    {
        const char* text;
        bool zap;
        bool pkg;
    } stanzas[] = {
        {"\tzap\n", true, false},
        {"\xC2\xA0pkg \"Installer.pkg\"\n", false, true},
        {"zapper \"x\"\npkgutil \"y\"\n", false, false},
        {"# zap trash: \"x\"\n# pkg \"y\"\n", false, false},
        {"uninstall pkgutil: \"com.example\"\n", false, false},
    };
    for (const auto& s : stanzas) {
        const CaskInfo parsed = caskInfoFromRubySource(s.text, "t", "1");
        EXPECT_EQ(parsed.hasZap, s.zap) << s.text;
        EXPECT_EQ(parsed.usesInstallerPackage, s.pkg) << s.text;
    }
}

TEST(HomebrewCaskRecords, ConfiguredAppdir)
{
    const struct
    {
        const char* bytes;
        std::optional<std::string> expected;
    } cases[] = {
        {R"({"explicit":{"appdir":"~/Applications"},"default":{"appdir":"/Applications"}})",
         "~/Applications"},
        {R"({"explicit":{"appdir":""},"env":{"appdir":"/Apps"},"default":{"appdir":"/x"}})",
         "/Apps"},
        {R"({"explicit":{},"env":[],"default":{"appdir":"/Applications"}})", "/Applications"},
        {R"({"explicit":{"appdir":7},"default":{"fontdir":"/Fonts"}})", std::nullopt},
        {R"(["explicit"])", std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(configuredAppdir(c.bytes), c.expected) << c.bytes;
}

TEST(HomebrewCaskRecords, ParseInstalledCasks)
{
    const char* output = R"({"formulae":[],"casks":[
        {"token":"firefox","full_token":"firefox","tap":"homebrew/cask","version":"121.0",
         "installed":"120.0.1","artifacts":[{"app":["Firefox.app"]},{"zap":[{"trash":["x"]}]}]},
        {"token":"mytool","full_token":"me/tools/mytool","tap":"me/tools","version":"2",
         "installed":null,"artifacts":[{"app":["MyTool.app"]}]},
        {"full_token":"nameless"}]})";
    const auto records = parseInstalledCasks(output);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].token, "firefox");
    EXPECT_EQ(records[0].version, "120.0.1");
    EXPECT_EQ(records[0].appNames, Strings{"Firefox.app"});
    EXPECT_TRUE(records[0].hasZap);
    EXPECT_EQ(records[1].token, "me/tools/mytool");
    EXPECT_EQ(records[1].version, "2");

    std::string deep(100000, '[');
    const char* garbage[] = {
        "",
        "Error: Unknown command",
        R"([{"token":"a"}])",
        R"({"formulae":[]})",
        R"({"casks":{"token":"a"}})",
        R"({"casks":[{"token":"a"}, "b"]})",
        R"({"casks":[{"token":"a"})",
        "{\"casks\":[{\"token\":\"\xff\"}]}",
        deep.c_str(),
    };
    for (const char* text : garbage)
        EXPECT_TRUE(parseInstalledCasks(text).empty()) << std::string(text).substr(0, 40);
}

TEST(HomebrewCaskRecords, BuildIndexLeavesAmbiguousNamesOut)
{
    CaskInfo firstFoo = record("foo", {"Foo.app", "Shared.app"});
    CaskInfo laterFoo = record("foo", {"Foo.app"});
    laterFoo.version = "2";
    const CaskInfo bar = record("bar", {"Bar.app", "Shared.app"});
    const CaskInfo other = record("other", {"Other.app", "shared.app"});

    const CaskIndex index = buildIndex({firstFoo, bar, laterFoo, other});
    EXPECT_EQ(index.size(), 4u);
    EXPECT_FALSE(index.contains("Shared.app")); // claimed by foo and bar
    EXPECT_EQ(index.at("Foo.app"), laterFoo);   // claimed twice by foo: the later record
    EXPECT_EQ(index.at("Bar.app"), bar);
    EXPECT_EQ(index.at("shared.app"), other); // keys are case-sensitive
    EXPECT_EQ(index.at("Other.app"), other);

    // A third claim by the first token does not bring an ambiguous name back.
    EXPECT_FALSE(buildIndex({firstFoo, bar, firstFoo}).contains("Shared.app"));
}
