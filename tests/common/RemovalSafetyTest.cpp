// The removal-safety check over a fake Mac: protected locations, Veldo's own bundle, folders
// holding apps, the disk inspection and normalised paths.
#include "common/RemovalSafety.h"

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/SystemError.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using veldo::common::removalRefusal;
using veldo::common::removalRefusalMessage;
using veldo::platform::ErrorDomain;
using veldo::platform::MacPath;
using veldo::platform::SystemError;
using veldo::testsupport::FakeMac;
namespace RemovalSafety = veldo::common::RemovalSafety;
using Refusal = RemovalSafety::Refusal;
using namespace veldo::testsupport::literals;

namespace {

std::string describe(const std::optional<Refusal>& r)
{
    return r ? removalRefusalMessage(*r) : std::string("(allowed)");
}

struct Case
{
    std::string path;
    std::optional<Refusal> expected;
};

// Each case is checked with the context as given, with the context prepared once for all, and
// (where the item's folder can be opened) with that folder resolved as its descriptor names it.
void expectCases(const std::vector<Case>& cases, const RemovalSafety::Context& context)
{
    const RemovalSafety::PreparedContext prepared(context);
    for (const Case& c : cases) {
        const MacPath url(c.path);
        const auto got = removalRefusal(url, context);
        EXPECT_EQ(got, c.expected) << c.path << "\n  got:      " << describe(got)
                                   << "\n  expected: " << describe(c.expected);
        EXPECT_EQ(removalRefusal(url, prepared), c.expected) << c.path << " (prepared)";
        if (auto folder = veldo::platform::openResolvedFolder(url.deletingLastPathComponent())) {
            EXPECT_EQ(removalRefusal(url, folder->resolved, prepared), c.expected)
                << c.path << " (folder resolved by the caller)";
        }
    }
}

Refusal protectedAt(std::string path)
{
    return Refusal::protectedLocation(std::move(path));
}

class RemovalSafetyTest : public ::testing::Test
{
protected:
    FakeMac mac;
    const std::string home = mac.home().path();

    RemovalSafety::Context context(bool inspectsDisk = false) const
    {
        return RemovalSafety::Context{
            mac.home(),
            {MacPath("/Applications/Veldo.app")},
            {MacPath("/Applications/Suite/Safari.app"), MacPath(home + "/Applications/Tool.app")},
            inspectsDisk};
    }
};

} // namespace

TEST_F(RemovalSafetyTest, SystemLocations)
{
    expectCases(
        {
            {"/", protectedAt("/")},
            {"/Applications", protectedAt("/Applications")},
            {"/Users", protectedAt("/Users")},
            {"/Library", protectedAt("/Library")},
            {"/Volumes", protectedAt("/Volumes")},
            {"/Volumes/Data", protectedAt("/Volumes/Data")},
            {"/Foo.app", std::nullopt},
            {"/Foo", protectedAt("/Foo")},
            {"/Applications/Utilities", protectedAt("/Applications/Utilities")},
            {"/Applications/utilities/", protectedAt("/Applications/utilities")},
            {"/Applications/Utilities/Some.app", std::nullopt},
            {"/Applications/Some.app", std::nullopt},
            {"/System/Library/Extensions/x.kext", protectedAt("/System/Library/Extensions/x.kext")},
            {"/bin/zsh", protectedAt("/bin/zsh")},
            {"/sbin/x/y/z", protectedAt("/sbin/x/y/z")},
            {"/dev/null", protectedAt("/dev/null")},
            {"/cores/core.1", protectedAt("/cores/core.1")},
            {"/Network/Servers", protectedAt("/Network/Servers")},
            {"/usr/bin/tool", protectedAt("/usr/bin/tool")},
            {"/usr/local/bin", protectedAt("/usr/local/bin")},
            {"/usr/local/bin/tool", std::nullopt},
            {"/usr/share/x/y", protectedAt("/usr/share/x/y")},
            {"/opt/homebrew", protectedAt("/opt/homebrew")},
            {"/opt/homebrew/bin", protectedAt("/opt/homebrew/bin")},
            {"/opt/homebrew/bin/tool", std::nullopt},
            {"/opt/local/lib", protectedAt("/opt/local/lib")},
            {"/opt/other", std::nullopt},
            {"/private/var/folders/ab/cd/T", protectedAt("/private/var/folders/ab/cd/T")},
            {"/private/var/folders/ab/cd/T/x", std::nullopt},
            {"/var/folders/ab/cd/T", protectedAt("/var/folders/ab/cd/T")},
            {"/var/folders/ab/cd/T/x", std::nullopt},
            {"/private/var/db/receipts", protectedAt("/private/var/db/receipts")},
            {"/private/var/db/receipts/com.vendor.pkg.bom", std::nullopt},
            {"/var/db/receipts", protectedAt("/var/db/receipts")},
            {"/private/tmp/x", protectedAt("/private/tmp/x")},
            {"/tmp/x", protectedAt("/tmp/x")},
            {"/tmp/x/y", std::nullopt},
            {"/etc/hosts", protectedAt("/etc/hosts")},
            {"/Library/Application Support", protectedAt("/Library/Application Support")},
            {"/Library/Application Support/SomeVendor", std::nullopt},
            {"/Library/Apple", protectedAt("/Library/Apple")},
            {"/Library/Apple/x/y", protectedAt("/Library/Apple/x/y")},
            {"/Library/Apple Stuff", protectedAt("/Library/Apple Stuff")},
            {"/Library/AppleStuff", std::nullopt},
            {"/Library/com.apple.thing", protectedAt("/Library/com.apple.thing")},
            {"/Library/.hidden", protectedAt("/Library/.hidden")},
            {"/Library/Logs/DiagnosticReports", protectedAt("/Library/Logs/DiagnosticReports")},
            {"/Library/Logs/DiagnosticReports/x.crash", std::nullopt},
            {"/Library/Keychains/System.keychain",
             protectedAt("/Library/Keychains/System.keychain")},
            {"/Library/LaunchDaemons/com.vendor.d.plist", std::nullopt},
            {"/Users/Shared", protectedAt("/Users/Shared")},
            {"/Volumes/Data/Library/Caches", protectedAt("/Volumes/Data/Library/Caches")},
            {"/Volumes/Data/Applications/Utilities",
             protectedAt("/Volumes/Data/Applications/Utilities")},
            {"/Volumes/Data/Foo", protectedAt("/Volumes/Data/Foo")},
            {"/Volumes/Data/Foo.app", std::nullopt},
            {"/Volumes/Data/Foo/bar", std::nullopt},
            {"/Volumes/Data/System/x", protectedAt("/Volumes/Data/System/x")},
        },
        context());
}

TEST_F(RemovalSafetyTest, LibraryNamesAreProtectedDirectlyInsideEveryLibrary)
{
    // A spread of the protected names, in odd letter cases, including those with spaces.
    const std::vector<std::string> names = {"Accessibility",
                                            "Address Book Plug-Ins",
                                            "Application Scripts",
                                            "Caches",
                                            "Containers",
                                            "Group Containers",
                                            "Preferences",
                                            "LaunchAgents",
                                            "LaunchDaemons",
                                            "Saved Application State",
                                            "WebKit",
                                            "HTTPStorages",
                                            "Cookies",
                                            "Logs",
                                            "Mobile Documents",
                                            "PrivilegedHelperTools",
                                            "Staged Extensions",
                                            "Fonts Disabled",
                                            "StudentD",
                                            "HomeEnergyd",
                                            "Receipts",
                                            "Internet Plug-Ins",
                                            "Keyboard Layouts",
                                            "User Template"};
    std::vector<Case> cases;
    for (const std::string& libraryFolder :
         {std::string("/Library"), home + "/Library", std::string("/Volumes/Data/Library")}) {
        for (const std::string& name : names) {
            const std::string path = libraryFolder + "/" + name;
            cases.push_back({path, protectedAt(path)});
            cases.push_back({path + "/com.vendor.thing", std::nullopt});
        }
    }
    expectCases(cases, context());
}

TEST_F(RemovalSafetyTest, HomeFolderAndItsProtectedContents)
{
    const std::string lib = home + "/Library";
    expectCases(
        {
            {home, protectedAt(home)},
            {home + "/", protectedAt(home)},
            {lib, protectedAt(lib)},
            {home + "/Documents", protectedAt(home + "/Documents")},
            {home + "/.ssh", protectedAt(home + "/.ssh")},
            {home + "/.Trash", protectedAt(home + "/.Trash")},
            {home + "/iCloud Drive (Archive)", protectedAt(home + "/iCloud Drive (Archive)")},
            {home + "/Documents/report.txt", std::nullopt},
            {home + "/Projects", std::nullopt},
            {lib + "/Keychains/anything", protectedAt(lib + "/Keychains/anything")},
            {lib + "/Security/x/y/z", protectedAt(lib + "/Security/x/y/z")},
            {lib + "/Preferences/ByHost", protectedAt(lib + "/Preferences/ByHost")},
            {lib + "/Preferences/ByHost/com.vendor.app.plist", std::nullopt},
            {lib + "/Preferences/SystemConfiguration/x.plist",
             protectedAt(lib + "/Preferences/SystemConfiguration/x.plist")},
            {lib + "/Preferences/com.vendor.app.plist", std::nullopt},
            {lib + "/com.apple.foo", protectedAt(lib + "/com.apple.foo")},
            {lib + "/Caches/com.apple.foo", std::nullopt},
            {lib + "/Caches/com.apple.bird", protectedAt(lib + "/Caches/com.apple.bird")},
            {lib + "/Application Support/SomeVendor", std::nullopt},
            // Letter case never helps a path through.
            {home + "/LIBRARY", protectedAt(home + "/LIBRARY")},
            {home + "/library/keychains/x", protectedAt(home + "/library/keychains/x")},
            {home + "/DOCUMENTS", protectedAt(home + "/DOCUMENTS")},
        },
        context());
}

TEST_F(RemovalSafetyTest, HomeOutsideUsersWithItsAncestorsAndUnicodeForms)
{
    // A home outside /Users, so only the home rules (not the /Users rules) can refuse; its name
    // is precomposed in the context and decomposed in the paths under test.
    const std::string nfcHome = "/opt/people/Jos\u00e9";
    const std::string nfdHome = "/opt/people/Jose\u0301";
    RemovalSafety::Context c{MacPath(nfcHome), {}, {}, false};
    expectCases(
        {
            {"/opt/people", protectedAt("/opt/people")},
            {nfdHome, protectedAt(nfdHome)},
            {"/OPT/PEOPLE/JOSE\u0301", protectedAt("/OPT/PEOPLE/JOSE\u0301")},
            {nfdHome + "/Documents", protectedAt(nfdHome + "/Documents")},
            {nfdHome + "/Library/Keychains/k", protectedAt(nfdHome + "/Library/Keychains/k")},
            {nfdHome + "/Documents/report.txt", std::nullopt},
            {"/opt/people/Jose", std::nullopt},
            {"/opt/people/Jose/Documents", std::nullopt},
        },
        c);

    // Folding maps some non-ASCII letters onto plain ASCII (the Kelvin sign onto "k"): a plain
    // ASCII path must still meet such a home.
    RemovalSafety::Context kelvin{MacPath("/opt/people/\u212Aelvin"), {}, {}, false};
    expectCases(
        {
            {"/opt/people/kelvin/Documents", protectedAt("/opt/people/kelvin/Documents")},
            {"/opt/people/KELVIN", protectedAt("/opt/people/KELVIN")},
            {"/opt/people/kelvin/notes", std::nullopt},
        },
        kelvin);
}

TEST_F(RemovalSafetyTest, OtherUsersHomesAreProtectedLikeTheCallers)
{
    // The caller is someone else entirely: alice's folders must still be refused.
    expectCases(
        {
            {"/Users/alice", protectedAt("/Users/alice")},
            {"/Users/alice/Documents", protectedAt("/Users/alice/Documents")},
            {"/Users/alice/Desktop", protectedAt("/Users/alice/Desktop")},
            {"/Users/alice/Library", protectedAt("/Users/alice/Library")},
            {"/Users/alice/Library/Keychains/x", protectedAt("/Users/alice/Library/Keychains/x")},
            {"/users/ALICE/library/PREFERENCES", protectedAt("/users/ALICE/library/PREFERENCES")},
            {"/Users/alice/Documents/report.txt", std::nullopt},
            {"/Users/alice/Library/Caches/com.vendor.app", std::nullopt},
            {"/Volumes/Data/Users/alice", protectedAt("/Volumes/Data/Users/alice")},
            {"/Volumes/Data/Users/alice/Documents",
             protectedAt("/Volumes/Data/Users/alice/Documents")},
            {"/Volumes/Data/Users/alice/Library/Keychains/x",
             protectedAt("/Volumes/Data/Users/alice/Library/Keychains/x")},
            {"/Volumes/Data/Users/alice/Library/Caches/com.vendor.app", std::nullopt},
            // Shared is no one's home.
            {"/Users/Shared/Documents", std::nullopt},
            {"/Users/Shared/Library", std::nullopt},
            {"/Volumes/Data/Users/Shared/Documents", std::nullopt},
            // Only as spelt: another spelling may be an account's home ("shared", "\u017fhared").
            {"/Users/shared/Documents", protectedAt("/Users/shared/Documents")},
            {"/Users/SHARED/Library/Keychains/x", protectedAt("/Users/SHARED/Library/Keychains/x")},
            {"/Users/\u017fhared/Library", protectedAt("/Users/\u017fhared/Library")},
            {"/Volumes/Data/Users/shared/Documents",
             protectedAt("/Volumes/Data/Users/shared/Documents")},
            {"/Users/shared/Documents/report.txt", std::nullopt},
        },
        context());
}

TEST_F(RemovalSafetyTest, OwnBundleAndInstalledApps)
{
    auto c = context();
    c.protectedBundles.push_back(MacPath("/opt/apps/Veldo Copy.app"));
    c.installedApps.push_back(MacPath("/Applications/Suite/Thing.app/Contents/Helpers/Helper.app"));
    expectCases(
        {
            {"/Applications/Veldo.app", Refusal::isSelf()},
            {"/Applications/Veldo.app/Contents/Info.plist", Refusal::isSelf()},
            {"/applications/VELDO.APP/Contents", Refusal::isSelf()},
            {"/Applications/Veldo.app.old", std::nullopt},
            // The system rule runs first.
            {"/Applications", protectedAt("/Applications")},
            {"/opt/apps", Refusal::containsSelf()},
            {"/opt", protectedAt("/opt")},
            {"/Applications/Suite", Refusal::containsOtherApps("Safari")},
            {"/Applications/SUITE", Refusal::containsOtherApps("Safari")},
            {"/Applications/Suite/Safari.app", std::nullopt},
            {home + "/Applications/Tool.app/Contents", std::nullopt},
            // A folder inside an app bundle never counts as holding other apps.
            {"/Applications/Suite/Thing.app/Contents", std::nullopt},
            {"/Applications/Other", std::nullopt},
        },
        c);
}

TEST_F(RemovalSafetyTest, UnidentifiablePaths)
{
    const auto c = context();
    for (const std::string& path :
         {std::string(), std::string("Applications/Foo"), std::string("./x"),
          std::string("/Applications/Fo\0o", 18), std::string("~/Documents/x")}) {
        EXPECT_EQ(removalRefusal(MacPath(path), c), Refusal::unidentifiable()) << path;
    }
}

TEST_F(RemovalSafetyTest, MessagesAreTheExactSentences)
{
    EXPECT_EQ(removalRefusalMessage(protectedAt("/Users/alice/Documents")),
              "\u201C/Users/alice/Documents\u201D is a protected system or user folder. "
              "Veldo never removes it.");
    EXPECT_EQ(removalRefusalMessage(Refusal::containsOtherApps("Safari")),
              "This folder contains other apps (Safari), so it wasn't removed.");
    EXPECT_EQ(removalRefusalMessage(Refusal::unidentifiable()),
              "Veldo can't safely identify this location, so it wasn't removed.");
    EXPECT_EQ(removalRefusalMessage(Refusal::isSelf()), "Veldo can't remove itself.");
    EXPECT_EQ(removalRefusalMessage(Refusal::containsSelf()),
              "This folder contains Veldo itself, so it wasn't removed.");
}

TEST_F(RemovalSafetyTest, NormalizedPathResolvesOnlyTheParentsLinks)
{
    mac.mkdir("/opt/real/sub"_mac);
    mac.symlink("/Applications/Linked"_mac, "/opt/real");
    mac.symlink("/opt/real/sub/leaf"_mac, "/Users");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/", "/"},
        {"", "/"},
        {"/var", "/private/var"},
        {"/etc/", "/private/etc"},
        {"/tmp/x", "/private/tmp/x"},
        {"/var/folders/ab/cd", "/private/var/folders/ab/cd"},
        {"/variable/x", "/variable/x"},
        {"/private/var/db/x", "/private/var/db/x"},
        {"/Applications/Linked", "/Applications/Linked"},
        {"/Applications/Linked/sub/leaf", "/opt/real/sub/leaf"},
        {"/Applications/Linked/missing/x", "/opt/real/missing/x"},
        {"/Applications/./Linked/../Other/x", "/Applications/Other/x"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(RemovalSafety::normalizedPath(MacPath(in)), out) << in;
}

TEST_F(RemovalSafetyTest, LinksAreJudgedAsLinksButTheirParentsAreResolved)
{
    // A link in /Applications that points at a protected folder is judged by its own path.
    mac.symlink("/Applications/Docs"_mac, home + "/Documents");
    mac.symlink("/Applications/HomeLink"_mac, home);
    const auto c = context(true);
    expectCases(
        {
            {"/Applications/Docs", std::nullopt},
            {"/Applications/HomeLink", std::nullopt},
            // Through a linked parent the resolved path is refused, and the refusal names it.
            {"/Applications/HomeLink/Documents", protectedAt(home + "/Documents")},
            {"/Applications/HomeLink/Library/Keychains", protectedAt(home + "/Library/Keychains")},
            {"/Applications/HomeLink/Notes", std::nullopt},
        },
        c);
}

TEST_F(RemovalSafetyTest, AFolderResolvedByTheCallerIsTheOneJudged)
{
    // The caller opened the folder before a link was put in its place (or after): the check
    // judges the folder the caller holds, not what the path leads to now.
    mac.mkdir(MacPath(home + "/Library/Caches/Stuff"));
    const RemovalSafety::PreparedContext prepared(context());
    const MacPath item(home + "/Library/Caches/Stuff/x");
    EXPECT_EQ(removalRefusal(item, MacPath(home + "/Library/Caches/Stuff"), prepared),
              std::nullopt);
    EXPECT_EQ(removalRefusal(item, MacPath(home + "/Library/Keychains"), prepared),
              protectedAt(home + "/Library/Keychains/x"));
    EXPECT_EQ(removalRefusal(item, MacPath("/Applications/Veldo.app/Contents"), prepared),
              Refusal::isSelf());
    // A folder resolved to "/" still puts "/private" in front of "/var".
    EXPECT_EQ(removalRefusal(MacPath(home + "/Library/Caches/Stuff/var"), MacPath("/"), prepared),
              protectedAt("/private/var"));
    // What the path itself says is judged first, as always.
    EXPECT_EQ(removalRefusal(MacPath(home + "/Library/Keychains/x"),
                             MacPath(home + "/Library/Caches/Stuff"), prepared),
              protectedAt(home + "/Library/Keychains/x"));
    EXPECT_EQ(removalRefusal(MacPath(home + "/Library/Caches/Stuff/../x"),
                             MacPath(home + "/Library/Caches"), prepared),
              Refusal::unidentifiable());
}

TEST_F(RemovalSafetyTest, DotComponentsAreRefusedBecauseTheFileSystemFollowsLinksBeforeThem)
{
    // Standardising takes "." and ".." by the letters; the file system first follows the link
    // in front of them. "/Applications/Docs/." is the Documents folder itself, not the link, and
    // "/Applications/Projects/../Documents" is the Documents folder beside Projects.
    mac.mkdir(MacPath(home + "/Documents"));
    mac.mkdir(MacPath(home + "/Projects"));
    mac.symlink("/Applications/Docs"_mac, home + "/Documents");
    mac.symlink("/Applications/Projects"_mac, home + "/Projects");
    using veldo::platform::FollowLinks;
    using veldo::platform::HostPath;
    ASSERT_EQ(veldo::platform::resolvedHostPath(MacPath("/Applications/Docs/."), FollowLinks::no)
                  .value_or(HostPath()),
              HostPath(mac.host(MacPath(home + "/Documents"))));
    ASSERT_EQ(veldo::platform::resolvedHostPath(MacPath("/Applications/Projects/../Documents"),
                                                FollowLinks::no)
                  .value_or(HostPath()),
              HostPath(mac.host(MacPath(home + "/Documents"))));

    expectCases(
        {
            {"/Applications/Docs/.", Refusal::unidentifiable()},
            {"/Applications/Projects/../Documents", Refusal::unidentifiable()},
            {"/Applications/Projects/./../Documents/", Refusal::unidentifiable()},
            {"/Applications/./Other", Refusal::unidentifiable()},
            {"/Applications/Other/..", Refusal::unidentifiable()},
            // The links themselves, and names that only hold dots, are judged as usual.
            {"/Applications/Docs", std::nullopt},
            {"/Applications/Docs/", std::nullopt},
            {"/Applications/...", std::nullopt},
            {"/Applications/..Other", std::nullopt},
        },
        context());
}

TEST_F(RemovalSafetyTest, DiskInspectionFindsAppsTwoLevelsDeepOnOneVolume)
{
    mac.mkdir("/Applications/Direct/Other.app"_mac);
    mac.mkdir("/Applications/Nested/Group/Deep.app"_mac);
    mac.mkdir("/Applications/TooDeep/a/b/Far.app"_mac);
    mac.mkdir("/Applications/Upper/Loud.APP"_mac);
    mac.mkdir("/Applications/Empty"_mac);
    mac.mkdir("/Applications/Thing.app/Contents/Helper.app"_mac);
    mac.mkdir("/opt/stuff/Hidden.app"_mac);
    mac.mkdir(MacPath(home + "/Applications/Mine/Personal.app"));
    mac.mkdir("/Volumes/Data/Applications/Set/Vol.app"_mac);
    mac.mkdir("/opt/elsewhere/Target.app"_mac);
    mac.symlink("/Applications/LinkHolder/link"_mac, "/opt/elsewhere");
    mac.write("/Applications/plain-file.txt"_mac, "x");

    expectCases(
        {
            {"/Applications/Direct", Refusal::containsOtherApps("Other")},
            {"/Applications/Nested", Refusal::containsOtherApps("Deep")},
            {"/Applications/TooDeep", std::nullopt},
            {"/Applications/Upper", Refusal::containsOtherApps("Loud")},
            {"/Applications/Empty", std::nullopt},
            {"/Applications/Missing", std::nullopt},
            {"/Applications/plain-file.txt", std::nullopt},
            {"/Applications/Thing.app/Contents", std::nullopt},
            {"/opt/stuff", std::nullopt},
            {home + "/Applications/Mine", Refusal::containsOtherApps("Personal")},
            {"/Volumes/Data/Applications/Set", Refusal::containsOtherApps("Vol")},
            // A linked subfolder is not followed.
            {"/Applications/LinkHolder", std::nullopt},
        },
        context(true));

    // Without inspection the same folders pass.
    EXPECT_EQ(removalRefusal(MacPath("/Applications/Direct"), context(false)), std::nullopt);
}

TEST_F(RemovalSafetyTest, UnreadableFolderHoldsNoApp)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a folder another user can't read";
    mac.mkdir("/Applications/Locked/Inside.app"_mac);
    ASSERT_EQ(::chmod(mac.host("/Applications/Locked"_mac).c_str(), 0700), 0);
    const auto c = context(true);
    const int rc = veldo::testsupport::runUnprivileged(
        [&] { return removalRefusal(MacPath("/Applications/Locked"), c).has_value() ? 1 : 0; });
    EXPECT_EQ(rc, 0);
    // Root can read it, and finds the app.
    EXPECT_EQ(removalRefusal(MacPath("/Applications/Locked"), c),
              Refusal::containsOtherApps("Inside"));
}

TEST(RemovalSafetyAppsFolder, Gate)
{
    const std::string home = "/Users/u";
    const std::vector<std::pair<std::string, bool>> cases = {
        {"/Applications/Foo", true},
        {"/applications/foo/bar", true},
        {"/Applications/Foo.app", false},
        {"/Applications/Foo.APP/Contents", false},
        {"/Volumes/X/Applications/Foo", true},
        {"/Volumes/X/Foo", false},
        {"/Volumes/Applications", false},
        {"/Users/u/Applications/Foo", true},
        {"/USERS/U/applications/Foo", true},
        {"/Users/u/ApplicationsX/Foo", false},
        {"/Users/other/Applications/Foo", false},
        {"/Library/Foo", false},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(RemovalSafety::liesInAppsFolder(path, home), expected) << path;
}

TEST(RemovalSafetyAppsFolder, HelperGateBeginsWithTheHomeApplicationsFolder)
{
    const std::string home = "/Users/u";
    const std::vector<std::pair<std::string, bool>> cases = {
        {"/Applications", true},
        {"/Applications/Foo", true},
        {"/Applications/Foo.app", false},
        {"/Applications/Tools.APP/Sub", false},
        {"/Volumes/X/Applications/Foo", true},
        {"/Volumes/X/Foo", false},
        {"/Volumes/Applications", false},
        {"/Users/u/Applications", true},
        {"/Users/u/Applications Old", true},
        {"/Users/u/ApplicationsX/Foo", true},
        {"/USERS/U/applications/Foo", true},
        {"/Users/u/Applications/Foo.app", false},
        {"/Users/other/Applications/Foo", false},
        {"/Users/u/Library/Foo", false},
        {"/Library/Foo", false},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(RemovalSafety::isAppsFolderLocation(path, home), expected) << path;
}
