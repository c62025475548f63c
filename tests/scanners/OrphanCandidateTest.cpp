// Entry names read per location style, the bundle-identifier test, and the identifier rules.
#include "app/scanners/OrphanCandidate.h"

#include <cctype>
#include <set>

#include <gtest/gtest.h>

#include "app/scanners/OrphanIdentifiers.h"

using namespace veldo::scanners::OrphanScanner;

namespace {

struct NameCase
{
    const char* name;
    NameStyle style;
    std::optional<std::string> label;
    std::optional<Candidate> expected;
};

Candidate plain(const std::string& id)
{
    std::string key = id;
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Candidate{id, key, key, std::nullopt, false};
}

} // namespace

TEST(OrphanCandidate, ReadsEveryNameStyle)
{
    using S = NameStyle;
    const NameCase cases[] = {
        {"com.vendor.App", S::bare, {}, plain("com.vendor.App")},
        {"com.vendor.App", S::helperTool, {}, plain("com.vendor.App")},
        {"vendor", S::bare, {}, std::nullopt},
        {"com.vendor", S::bare, {}, std::nullopt},
        {"com..vendor.app", S::bare, {}, std::nullopt},
        {"com.vendor.app.", S::bare, {}, std::nullopt},
        {"abc.vendor.app", S::bare, {}, std::nullopt},
        {"de.vendor.app", S::bare, {}, plain("de.vendor.app")},
        {"io.vendor.app", S::bare, {}, plain("io.vendor.app")},
        {"com.vendör.app", S::bare, {}, std::nullopt},
        {"com.vendor.my app", S::bare, {}, std::nullopt},
        {"com.my-vendor.app_2", S::bare, {}, plain("com.my-vendor.app_2")},

        {"com.vendor.app.plist", S::plist, {}, plain("com.vendor.app")},
        {"com.vendor.app.PLIST", S::plist, {}, plain("com.vendor.app")},
        {"com.vendor.app.plist.lockfile", S::plist, {}, std::nullopt},
        {"com.vendor.app", S::plist, {}, std::nullopt},
        {"com.vendor.app.savedState", S::savedState, {}, plain("com.vendor.app")},
        {"com.vendor.app.SAVEDSTATE", S::savedState, {}, plain("com.vendor.app")},
        {"com.vendor.app", S::savedState, {}, std::nullopt},
        {"com.vendor.app.binarycookies", S::cookies, {}, plain("com.vendor.app")},
        {"com.vendor.app", S::cookies, {}, std::nullopt},
        {"com.vendor.app", S::httpStorage, {}, plain("com.vendor.app")},
        {"com.vendor.app.binarycookies", S::httpStorage, {}, plain("com.vendor.app")},

        {"com.vendor.agent.plist", S::launchPlist, " com.vendor.Agent \n",
         plain("com.vendor.Agent")},
        {"com.vendor.agent.plist", S::launchPlist, "", plain("com.vendor.agent")},
        {"com.vendor.agent.plist", S::launchPlist, " \t\n", plain("com.vendor.agent")},
        {"com.vendor.agent.plist", S::launchPlist, std::nullopt, plain("com.vendor.agent")},
        {"com.vendor.agent.plist", S::launchPlist, "not an identifier", std::nullopt},
        {"com.vendor.agent", S::launchPlist, "com.vendor.agent", std::nullopt},

        {"AB12CD34EF.com.vendor.shared",
         S::groupPrefixed,
         {},
         Candidate{"com.vendor.shared", "com.vendor.shared", "ab12cd34ef.com.vendor.shared",
                   "AB12CD34EF", false}},
        {"group.com.vendor.shared",
         S::groupPrefixed,
         {},
         Candidate{"com.vendor.shared", "com.vendor.shared", "group.com.vendor.shared",
                   std::nullopt, true}},
        {"AB12CD34EF.group.com.vendor.x",
         S::groupPrefixed,
         {},
         Candidate{"com.vendor.x", "com.vendor.x", "ab12cd34ef.group.com.vendor.x", "AB12CD34EF",
                   true}},
        {"GROUP.com.Vendor.X",
         S::groupPrefixed,
         {},
         Candidate{"com.Vendor.X", "com.vendor.x", "group.com.vendor.x", std::nullopt, true}},
        // Lower-case prefix: no team, and the whole name fails the domain test.
        {"ab12cd34ef.com.vendor.x", S::groupPrefixed, {}, std::nullopt},
        // Nine or eleven characters are no team.
        {"AB12CD34E.com.vendor.x", S::groupPrefixed, {}, std::nullopt},
        {"AB12CD34EFG.com.vendor.x", S::groupPrefixed, {}, std::nullopt},
        // Team characters of any script: upper-case letters and number characters (Arabic-Indic
        // digits, a Roman numeral), counted as characters, not bytes.
        {"ÄB12CD34EF.com.vendor.x",
         S::groupPrefixed,
         {},
         Candidate{"com.vendor.x", "com.vendor.x", "äb12cd34ef.com.vendor.x", "ÄB12CD34EF", false}},
        {"\u0661\u0662\u2163CD34EFG.com.vendor.x",
         S::groupPrefixed,
         {},
         Candidate{"com.vendor.x", "com.vendor.x", "\u0661\u0662\u2173cd34efg.com.vendor.x",
                   "\u0661\u0662\u2163CD34EFG", false}},
        {"com.vendor.shared",
         S::groupPrefixed,
         {},
         Candidate{"com.vendor.shared", "com.vendor.shared", "com.vendor.shared", std::nullopt,
                   false}},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(candidate(c.name, c.style, c.label), c.expected);
    }
}

TEST(OrphanCandidate, BundleIdentifierTest)
{
    EXPECT_EQ(topLevelDomains.size(), 74u);
    EXPECT_EQ(std::set(topLevelDomains.begin(), topLevelDomains.end()).size(), 74u);
    for (std::string_view domain : topLevelDomains) {
        SCOPED_TRACE(std::string(domain));
        EXPECT_TRUE(looksLikeBundleIdentifier(std::string(domain) + ".vendor.app"));
    }
    const std::pair<const char*, bool> cases[] = {
        {"COM.Vendor.App", true}, // the domain is compared lower-cased
        {"Computer.x.y", true},
        {"uk.co.vendor", true},
        {"zz.vendor.app", true},
        {"abc.vendor.app", false},
        {"c.vendor.app", false},
        {"c0m.vendor.app", false},
        {"com.vendor", false},
        {"com", false},
        {"", false},
        {".com.vendor.app", false},
        {"com.vendor.app.", false},
        {"com.ven dor.app", false},
        {"com.vendor.app!", false},
        {"com.vendor.äpp", false},
        {"ÇOM.vendor.app", false},
        {"com.vendor.a-b_c.9", true},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(looksLikeBundleIdentifier(text), expected);
    }
}

TEST(OrphanIdentifiers, VendorAndDisplayName)
{
    const std::pair<const char*, const char*> vendors[] = {
        {"com.github.someone.tool", "com.github.someone"},
        {"com.github.tool", "com.github"},
        {"org.codeberg.me.x", "org.codeberg.me"},
        {"com.GitHub.someone.tool", "com.GitHub"}, // code hosts compared exactly
        {"com.vendor.app.helper", "com.vendor"},
        {"com..vendor.app", "com.vendor"},
        {"plain", "plain"},
        {"", ""},
    };
    for (const auto& [id, expected] : vendors)
        EXPECT_EQ(vendor(id), expected) << id;

    const std::pair<const char*, const char*> names[] = {
        {"com.vendor.Studio", "Studio"},
        {"com.vendor.studio", "studio"},
        {"com.vendor.studio.helper", "Studio"},
        {"com.vendor.studio.Helper", "Studio"},
        {"com.vendor.élan.app", "Élan"},
        {"com.vendor.tool.release", "Tool"},
        {"helper", "helper"},
        {"com.vendor.helper.", "Vendor"},
        {"...", "..."},
    };
    for (const auto& [id, expected] : names)
        EXPECT_EQ(displayName(id), expected) << id;
}

TEST(OrphanIdentifiers, ParentIdentifiersAndContainedPaths)
{
    const RelatedIDIndex index({"a.b.c.d.e", "a.b.c", "x.y.z.w"});
    EXPECT_EQ(index.ids, (std::unordered_set<std::string>{"a.b.c.d.e", "a.b.c", "x.y.z.w"}));
    EXPECT_EQ(index.ancestors, (std::unordered_set<std::string>{"a.b.c.d", "a.b.c", "x.y.z"}));
    EXPECT_TRUE(RelatedIDIndex({"a.b.c"}).ancestors.empty());

    const std::vector<std::string> paths = {"/usr/local/bin/tool", "/opt/app"};
    EXPECT_TRUE(containsAnyPath("/opt/app", paths));
    EXPECT_TRUE(containsAnyPath("/usr/local", paths));
    EXPECT_FALSE(containsAnyPath("/usr/loc", paths));
    EXPECT_FALSE(containsAnyPath("/opt/app/sub", paths));
    EXPECT_FALSE(containsAnyPath("/opt", {}));
}
