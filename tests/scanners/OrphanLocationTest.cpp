// The table of orphan-scan locations, the default roots, and launch-daemon program paths.
#include "app/scanners/OrphanLocation.h"

#include <gtest/gtest.h>

#include "app/scanners/OrphanSystemState.h"
#include "platform/PlistValue.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::scanners::OrphanScanner;
using veldo::core::AccessRootKind;
using veldo::core::LeftoverCategory;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

TEST(OrphanLocation, TableInWalkOrder)
{
    using C = LeftoverCategory;
    using S = NameStyle;
    const MacPath home("/Users/u");
    const std::vector<Location> expected = {
        {"/Users/u/Library/Application Support"_mac, C::supportFiles, S::bare, false},
        {"/Users/u/Library/Caches"_mac, C::caches, S::bare, false},
        {"/Users/u/Library/Containers"_mac, C::containers, S::bare, false},
        {"/Users/u/Library/Group Containers"_mac, C::groupContainers, S::groupPrefixed, false},
        {"/Users/u/Library/Preferences"_mac, C::preferences, S::plist, false},
        {"/Users/u/Library/Saved Application State"_mac, C::savedState, S::savedState, false},
        {"/Users/u/Library/HTTPStorages"_mac, C::webData, S::httpStorage, false},
        {"/Users/u/Library/WebKit"_mac, C::webData, S::bare, false},
        {"/Users/u/Library/Logs"_mac, C::logs, S::bare, false},
        {"/Users/u/Library/LaunchAgents"_mac, C::launchAgents, S::launchPlist, false},
        {"/Users/u/Library/Application Scripts"_mac, C::containers, S::groupPrefixed, false},
        {"/Users/u/Library/Cookies"_mac, C::cookies, S::cookies, false},
        {"/Library/Application Support"_mac, C::supportFiles, S::bare, true},
        {"/Library/LaunchAgents"_mac, C::launchAgents, S::launchPlist, true},
        {"/Library/LaunchDaemons"_mac, C::launchAgents, S::launchPlist, true},
        {"/Library/Preferences"_mac, C::preferences, S::plist, true},
        {"/Library/Caches"_mac, C::caches, S::bare, true},
        {"/Library/Logs"_mac, C::logs, S::bare, true},
        {"/Library/PrivilegedHelperTools"_mac, C::launchAgents, S::helperTool, true},
    };
    EXPECT_EQ(locations(home, MacPath("/Library")), expected);
    EXPECT_EQ(locations(home, std::nullopt),
              std::vector<Location>(expected.begin(), expected.begin() + 12));
}

TEST(OrphanLocation, DefaultRootsAreTheTwoApplicationFolders)
{
    FakeMac mac;
    const auto roots = defaultAccessRoots();
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0].kind, AccessRootKind::applications);
    EXPECT_EQ(roots[0].url, MacPath("/Applications"));
    EXPECT_EQ(roots[1].kind, AccessRootKind::userApplications);
    EXPECT_EQ(roots[1].url, mac.home().appendingPathComponent("Applications"));
}

TEST(OrphanLocation, DaemonProgramPathsFromEitherFormat)
{
    FakeMac mac;
    const MacPath daemons("/Library/LaunchDaemons");
    auto job = [](const char* label, PlistValue::Dictionary program) {
        program.emplace("Label", label);
        return PlistValue(std::move(program));
    };
    mac.mkdir("/opt/real"_mac);
    mac.symlink("/opt/linked"_mac, "/opt/real");
    mac.writePlist("/Library/LaunchDaemons/com.a.xml.plist"_mac,
                   job("com.a.xml", {{"Program", "/opt/linked/Tool"}}));
    mac.writePlist("/Library/LaunchDaemons/com.b.binary.PLIST"_mac,
                   job("com.b.binary",
                       {{"ProgramArguments", PlistValue::Array{"/usr/local/bin/b-daemon", "-x"}}}),
                   true);
    mac.writePlist("/Library/LaunchDaemons/com.c.relative.plist"_mac,
                   job("com.c.relative", {{"Program", "relative/tool"}}));
    mac.writePlist("/Library/LaunchDaemons/.com.d.hidden.plist"_mac,
                   job("com.d.hidden", {{"Program", "/hidden"}}));
    mac.writePlist("/Library/LaunchDaemons/com.e.other.txt"_mac,
                   job("com.e.other", {{"Program", "/other"}}));
    mac.write("/Library/LaunchDaemons/com.f.damaged.plist"_mac,
              "<?xml version=\"1.0\"?><plist><dict>");
    mac.writePlist("/Library/LaunchDaemons/com.g.array.plist"_mac, PlistValue(PlistValue::Array{}));
    mac.writePlist("/Library/LaunchDaemons/com.h.var.plist"_mac,
                   job("com.h.var", {{"Program", "/var/db/h"}}));

    EXPECT_EQ(daemonProgramPaths(daemons),
              (std::unordered_set<std::string>{"/opt/real/tool", "/usr/local/bin/b-daemon",
                                               "/private/var/db/h"}));
    EXPECT_TRUE(daemonProgramPaths("/Library/Missing"_mac).empty());
}
