// The table of orphan-scan locations, the default roots, and launch-daemon program paths.
#include "app/scanners/OrphanLocation.h"

#include <gtest/gtest.h>

#include "app/scanners/OrphanSystemState.h"
#include "platform/PlistValue.h"
#include "tests/support/FakeMac.h"

using namespace veldo::scanners::OrphanScanner;
using veldo::core::AccessRootKind;
using veldo::core::LeftoverCategory;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;

TEST(OrphanLocation, TableInWalkOrder)
{
    using C = LeftoverCategory;
    using S = NameStyle;
    const MacPath home("/Users/u");
    const std::vector<Location> expected = {
        {"/Users/u/Library/Application Support", C::supportFiles, S::bare, false},
        {"/Users/u/Library/Caches", C::caches, S::bare, false},
        {"/Users/u/Library/Containers", C::containers, S::bare, false},
        {"/Users/u/Library/Group Containers", C::groupContainers, S::groupPrefixed, false},
        {"/Users/u/Library/Preferences", C::preferences, S::plist, false},
        {"/Users/u/Library/Saved Application State", C::savedState, S::savedState, false},
        {"/Users/u/Library/HTTPStorages", C::webData, S::httpStorage, false},
        {"/Users/u/Library/WebKit", C::webData, S::bare, false},
        {"/Users/u/Library/Logs", C::logs, S::bare, false},
        {"/Users/u/Library/LaunchAgents", C::launchAgents, S::launchPlist, false},
        {"/Users/u/Library/Application Scripts", C::containers, S::groupPrefixed, false},
        {"/Users/u/Library/Cookies", C::cookies, S::cookies, false},
        {"/Library/Application Support", C::supportFiles, S::bare, true},
        {"/Library/LaunchAgents", C::launchAgents, S::launchPlist, true},
        {"/Library/LaunchDaemons", C::launchAgents, S::launchPlist, true},
        {"/Library/Preferences", C::preferences, S::plist, true},
        {"/Library/Caches", C::caches, S::bare, true},
        {"/Library/Logs", C::logs, S::bare, true},
        {"/Library/PrivilegedHelperTools", C::launchAgents, S::helperTool, true},
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
    mac.mkdir("/opt/real");
    mac.symlink("/opt/linked", "/opt/real");
    mac.writePlist("/Library/LaunchDaemons/com.a.xml.plist",
                   job("com.a.xml", {{"Program", "/opt/linked/Tool"}}));
    mac.writePlist("/Library/LaunchDaemons/com.b.binary.PLIST",
                   job("com.b.binary",
                       {{"ProgramArguments", PlistValue::Array{"/usr/local/bin/b-daemon", "-x"}}}),
                   true);
    mac.writePlist("/Library/LaunchDaemons/com.c.relative.plist",
                   job("com.c.relative", {{"Program", "relative/tool"}}));
    mac.writePlist("/Library/LaunchDaemons/.com.d.hidden.plist",
                   job("com.d.hidden", {{"Program", "/hidden"}}));
    mac.writePlist("/Library/LaunchDaemons/com.e.other.txt",
                   job("com.e.other", {{"Program", "/other"}}));
    mac.write("/Library/LaunchDaemons/com.f.damaged.plist", "<?xml version=\"1.0\"?><plist><dict>");
    mac.writePlist("/Library/LaunchDaemons/com.g.array.plist", PlistValue(PlistValue::Array{}));
    mac.writePlist("/Library/LaunchDaemons/com.h.var.plist",
                   job("com.h.var", {{"Program", "/var/db/h"}}));

    EXPECT_EQ(daemonProgramPaths(daemons),
              (std::unordered_set<std::string>{"/opt/real/tool", "/usr/local/bin/b-daemon",
                                               "/private/var/db/h"}));
    EXPECT_TRUE(daemonProgramPaths("/Library/Missing").empty());
}
