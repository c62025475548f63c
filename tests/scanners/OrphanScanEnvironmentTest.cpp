// The orphan scan environment of one composite fake Mac, and the readers it is built from.
#include "app/scanners/OrphanScanEnvironment.h"

#include <algorithm>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/scanners/OrphanBundleWalk.h"
#include "app/scanners/OrphanSystemState.h"
#include "platform/PropertyList.h"
#include "tests/support/FakeApplicationRegistry.h"
#include "tests/support/FakeMac.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/MachOWriter.h"

using namespace veldo::scanners;
using namespace veldo::testsupport;
using veldo::core::InstalledApp;
using veldo::platform::MacPath;
using veldo::platform::ManualClock;
using veldo::platform::PlistValue;
using Set = std::unordered_set<std::string>;
using namespace veldo::testsupport::literals;

namespace {

std::string entitlementsXml(const PlistValue& groups)
{
    auto xml = veldo::platform::serializePropertyList(
        PlistValue(PlistValue::Dictionary{{"com.apple.security.application-groups", groups},
                                          {"com.apple.security.app-sandbox", true}}),
        veldo::platform::PlistFormat::xml);
    EXPECT_TRUE(xml);
    return xml ? *xml : std::string();
}

std::string signedExecutable(std::optional<std::string> team,
                             std::optional<std::string> entitlements)
{
    return writeThinMachO(
               {true, false, MachOSignatureSpec{std::move(team), std::move(entitlements)}})
        .bytes;
}

// A bundle with an Info.plist naming `identifier` (none: no identifier) and, when `executable`
// is given, a main executable holding those bytes.
MacPath makeBundle(const FakeMac& mac, const MacPath& bundle, std::optional<std::string> identifier,
                   std::optional<std::string> executable = std::nullopt)
{
    PlistValue::Dictionary info;
    if (identifier)
        info.emplace("CFBundleIdentifier", *identifier);
    if (executable)
        info.emplace("CFBundleExecutable", "Main");
    mac.makeApp(bundle, PlistValue(info));
    if (executable)
        mac.write(bundle.appendingPathComponent("Contents/MacOS/Main"), *executable, 0755);
    return bundle;
}

// A minimal stand-in for "/bin/launchctl", local to these tests: it answers "list" and "print"
// from files beside it, with the exit code of "print" read from a third file.
void installLocalLaunchctlStandIn(const FakeMac& mac, std::string_view list,
                                  std::string_view services, int printExit)
{
    mac.write("/bin/launchctl-list.txt"_mac, list);
    mac.write("/bin/launchctl-print.txt"_mac, services);
    mac.write("/bin/launchctl-print-exit.txt"_mac, std::to_string(printExit));
    mac.write("/bin/launchctl"_mac,
              "#!/bin/sh\n"
              "here=$(dirname \"$0\")\n"
              "case \"$1\" in\n"
              "list) cat \"$here/launchctl-list.txt\" ;;\n"
              "print) cat \"$here/launchctl-print.txt\"; exit \"$(cat "
              "\"$here/launchctl-print-exit.txt\")\" ;;\n"
              "*) exit 64 ;;\n"
              "esac\n",
              0755);
}

InstalledApp installedApp(const char* url, std::optional<std::string> bundleID)
{
    InstalledApp app;
    app.url = MacPath(url);
    app.name = MacPath(url).deletingPathExtension().lastPathComponent();
    app.bundleID = std::move(bundleID);
    return app;
}

bool contains(const std::vector<MacPath>& paths, const MacPath& path)
{
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

} // namespace

TEST(OrphanBundleWalk, SigningInfoFromWrittenExecutables)
{
    FakeMac mac;
    const std::string groups = entitlementsXml(PlistValue::Array{"group.com.Vendor.A", "TEAM.b"});
    const std::string thin = signedExecutable("TEAM000001", groups);
    struct Case
    {
        const char* name;
        std::optional<std::string> executable;
        OrphanScanner::BundleSigning expected;
    };
    const Case cases[] = {
        {"thin", thin, {"TEAM000001", {"group.com.Vendor.A", "TEAM.b"}}},
        {"universal, first signed slice",
         writeUniversalMachO(
             {writeThinMachO({}).bytes, thin, signedExecutable("LATER00001", std::nullopt)}, true),
         {"TEAM000001", {"group.com.Vendor.A", "TEAM.b"}}},
        {"unsigned", writeThinMachO({}).bytes, {}},
        {"damaged", thin.substr(0, thin.size() / 2), {}},
        {"not an executable", std::string("#!/bin/sh\n"), {}},
        {"no executable", std::nullopt, {}},
        {"entitlements that are no property list",
         signedExecutable("TEAM000002", "<plist><dict>"),
         {"TEAM000002", {}}},
        {"groups holding a non-string",
         signedExecutable("TEAM000003", entitlementsXml(PlistValue::Array{"group.a", 7})),
         {"TEAM000003", {}}},
        {"groups that are no list", signedExecutable(std::nullopt, entitlementsXml("group.a")), {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MacPath bundle =
            makeBundle(mac, MacPath("/Applications/B" + std::to_string(n++) + ".app"), "com.x.y",
                       c.executable);
        EXPECT_EQ(OrphanScanner::signingInfo(bundle), c.expected);
    }
    EXPECT_EQ(OrphanScanner::signingInfo("/Applications/Missing.app"_mac),
              OrphanScanner::BundleSigning{});

    // An executable linked to an absolute path is read inside the Mac.
    mac.write("/opt/shared/main"_mac, thin, 0755);
    const MacPath linked = makeBundle(mac, "/Applications/Linked.app"_mac, "com.x.y", "");
    ::unlink(mac.host(linked.appendingPathComponent("Contents/MacOS/Main")).c_str());
    mac.symlink(linked.appendingPathComponent("Contents/MacOS/Main"), "/opt/shared/main");
    EXPECT_EQ(OrphanScanner::signingInfo(linked).teamID, "TEAM000001");
}

TEST(OrphanBundleWalk, BundleIdentifierFromEitherInfoFile)
{
    FakeMac mac;
    makeBundle(mac, "/Library/A.bundle"_mac, "com.a.b");
    mac.writePlist("/Library/W.bundle/WrappedBundle/Info.plist"_mac,
                   PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.wrapped.w"}}));
    // An empty identifier in Contents/Info.plist falls through to WrappedBundle.
    makeBundle(mac, "/Library/E.bundle"_mac, "");
    mac.writePlist("/Library/E.bundle/WrappedBundle/Info.plist"_mac,
                   PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.wrapped.e"}}),
                   true);
    makeBundle(mac, "/Library/Empty.bundle"_mac, "");
    mac.write("/Library/Damaged.bundle/Contents/Info.plist"_mac, "<plist><dict>");
    mac.writePlist("/Library/Array.bundle/Contents/Info.plist"_mac,
                   PlistValue(PlistValue::Array{"com.a.b"}));

    EXPECT_EQ(OrphanScanner::bundleIdentifier("/Library/A.bundle"_mac), "com.a.b");
    EXPECT_EQ(OrphanScanner::bundleIdentifier("/Library/W.bundle"_mac), "com.wrapped.w");
    EXPECT_EQ(OrphanScanner::bundleIdentifier("/Library/E.bundle"_mac), "com.wrapped.e");
    for (const char* none : {"/Library/Empty.bundle", "/Library/Damaged.bundle",
                             "/Library/Array.bundle", "/Library/Missing.bundle"})
        EXPECT_EQ(OrphanScanner::bundleIdentifier(MacPath(none)), std::nullopt) << none;
}

// One fake Mac holding every kind of bundle the environment gathers, and some it must not.
class OrphanScanEnvironmentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const MacPath home = mac.home();
        const MacPath homeLibrary = home.appendingPathComponent("Library");

        // Installed: its Info.plist spells the identifier in capitals, the app list in lower case.
        makeBundle(mac, "/Applications/Visible.app"_mac, "Com.Vendor.App",
                   signedExecutable("vendorteam",
                                    entitlementsXml(PlistValue::Array{"group.Com.Vendor.Shared"})));
        makeBundle(mac, "/Applications/Visible.app/Contents/PlugIns/Ext.appex"_mac,
                   "com.vendor.app.Ext");
        makeBundle(mac, "/Applications/Wrapped.app"_mac, std::nullopt);
        mac.writePlist(
            "/Applications/Wrapped.app/WrappedBundle/Info.plist"_mac,
            PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.found.wrapped"}}));
        makeBundle(mac, "/Applications/EmptyID.app"_mac, "");
        installed = {
            installedApp("/Applications/Visible.app", "com.vendor.app"),
            installedApp("/Applications/Wrapped.app", std::nullopt),
            installedApp("/Applications/EmptyID.app", ""),
        };

        // Hidden apps: collected by their leading dot, whatever the case of ".app".
        makeBundle(mac, "/Applications/.Tool.APP"_mac, "com.found.hiddentool",
                   writeUniversalMachO(
                       {writeThinMachO({}).bytes, signedExecutable("TOOLTEAM01", std::nullopt)}));
        makeBundle(mac, home.appendingPathComponent("Applications/.Mine.app"),
                   "com.found.hiddenmine");
        makeBundle(mac, "/Applications/Visible2.app"_mac, "com.not.found.visible");

        // Below Application Support.
        const MacPath support("/Library/Application Support");
        makeBundle(mac, support.appendingPathComponent("Vendor/Product/Tool.app"),
                   "com.found.depth3", writeThinMachO({}).bytes);
        makeBundle(mac, support.appendingPathComponent("Vendor/Product/com.vendor.tool/Inner.app"),
                   "com.not.found.dotted");
        makeBundle(mac, support.appendingPathComponent("Vendor/Product/2024/Year.app"),
                   "com.found.year");
        makeBundle(mac, support.appendingPathComponent("Vendor/Product/\u0662\u0660.v1/Arabic.app"),
                   "com.found.arabic");
        makeBundle(mac, support.appendingPathComponent("Vendor/Product/Plugins/Plug.app"),
                   "com.found.plugins");
        makeBundle(mac, support.appendingPathComponent("Vendor/Product/Plugins/Sub/Deeper.app"),
                   "com.not.found.depth5");
        makeBundle(mac, support.appendingPathComponent(".Hidden/Hidden.app"),
                   "com.not.found.hidden");
        makeBundle(mac, support.appendingPathComponent("Vendor/Caches/Cached.app"),
                   "com.not.found.cache");
        makeBundle(mac, support.appendingPathComponent("CacheCleaner.app"),
                   "com.found.cachecleaner");
        const MacPath homeSupport = homeLibrary.appendingPathComponent("Application Support");
        makeBundle(mac, homeSupport.appendingPathComponent("Browser/User Data/Inner.app"),
                   "com.not.found.userdata");
        makeBundle(mac, homeSupport.appendingPathComponent("Browser/Helper.app"),
                   "com.found.homesupport");

        // Library bundles.
        makeBundle(mac, "/Library/Audio/Plug-Ins/Components/Synth.component"_mac,
                   "com.found.audio");
        makeBundle(mac, "/Library/Audio/Plug-Ins/Components/Sub/Deep.component"_mac,
                   "com.found.audio2");
        makeBundle(mac, "/Library/Audio/Plug-Ins/Components/Sub/Sub2/Deeper.component"_mac,
                   "com.not.found.audio3");
        makeBundle(mac, "/Library/Audio/Plug-Ins/Direct.component"_mac,
                   "com.not.found.audiodirect");
        for (std::size_t i = 0; i < OrphanScanner::libraryBundleFolders.size(); ++i) {
            const MacPath folder =
                homeLibrary.appendingPathComponent(OrphanScanner::libraryBundleFolders[i]);
            makeBundle(mac, folder.appendingPathComponent("B.bundle"),
                       "com.found.lib" + std::to_string(i));
        }
        makeBundle(mac, "/Library/Printers/PPDs/Inner.bundle"_mac, "com.not.found.ppds");
        makeBundle(mac, "/Library/Printers/Vendor/ppds/Inner.bundle"_mac, "com.not.found.ppds2");
        makeBundle(mac, "/Library/Printers/a/b/c/d/e/f/Driver.plugin"_mac, "com.found.printer7");
        makeBundle(mac, "/Library/Printers/a/b/c/d/e/f/g/Too.plugin"_mac, "com.not.found.printer8");
        makeBundle(mac, "/Library/Printers/a/Logs/Log.plugin"_mac, "com.not.found.printerlogs");

        // A running app; its executable is a copy of sleep.
        makeBundle(mac, "/Applications/Runner.app"_mac, "Com.Runner.App");
        installFixtureExecutable(mac, "/Applications/Runner.app/Contents/MacOS/Runner"_mac);

        mac.write("/usr/local/bin/mytool"_mac, "#!/bin/sh\n", 0755);
        mac.write("/usr/bin/git"_mac, "#!/bin/sh\n", 0755);
    }

    OrphanScanEnvironment build(std::stop_token stop = {})
    {
        return OrphanScanEnvironment::build(installed, stop, {&registry, nullptr, &clock});
    }

    FakeMac mac;
    std::vector<InstalledApp> installed;
    FakeApplicationRegistry registry;
    ManualClock clock;
};

TEST_F(OrphanScanEnvironmentTest, GathersWhatIsInstalled)
{
    installLocalLaunchctlStandIn(mac, "PID\tStatus\tLabel\n-\t0\tCom.User.Agent\n",
                                 "services = {\n\t0 - com.system.Daemon\n}\n", 0);
    FixtureProcess runner(mac, "/Applications/Runner.app/Contents/MacOS/Runner"_mac);
    ASSERT_GT(runner.pid(), 0);

    const OrphanScanEnvironment env = build();

    EXPECT_EQ(env.home, mac.home());
    EXPECT_EQ(env.systemLibrary, MacPath("/Library"));
    Set expectedIDs = {"com.vendor.app",         "com.vendor.app.ext",    "com.found.wrapped",
                       "com.found.hiddentool",   "com.found.hiddenmine",  "com.found.depth3",
                       "com.found.year",         "com.found.arabic",      "com.found.plugins",
                       "com.found.cachecleaner", "com.found.homesupport", "com.found.audio",
                       "com.found.audio2",       "com.found.printer7"};
    for (std::size_t i = 0; i < OrphanScanner::libraryBundleFolders.size(); ++i)
        expectedIDs.insert("com.found.lib" + std::to_string(i));
    EXPECT_EQ(env.installedBundleIDs, expectedIDs);
    EXPECT_EQ(env.installedTeamIDs, (Set{"VENDORTEAM", "TOOLTEAM01"}));
    EXPECT_EQ(env.installedAppGroups, (Set{"group.com.vendor.shared"}));

    EXPECT_TRUE(env.runningBundleIDs.contains("com.runner.app"));
    EXPECT_NE(std::find(env.runningExecutablePaths.begin(), env.runningExecutablePaths.end(),
                        "/Applications/Runner.app/Contents/MacOS/Runner"),
              env.runningExecutablePaths.end());
    EXPECT_EQ(env.loadedLaunchdLabels, (Set{"com.user.agent", "com.system.daemon"}));

    EXPECT_EQ(env.protectedBundles, std::vector<MacPath>{MacPath("/Applications/Veldo.app")});
    EXPECT_EQ(env.ownBundleID, "orbelkan.veldo");
    EXPECT_EQ(env.now, clock.now());
    EXPECT_EQ(env.staleInterval, 2592000.0);

    EXPECT_TRUE(env.isCommandInstalled("mytool"));
    for (const char* absent : {"git", "missing", "", "bin/mytool", "/usr/local/bin/mytool"})
        EXPECT_FALSE(env.isCommandInstalled(absent)) << absent;
}

TEST_F(OrphanScanEnvironmentTest, BundleWalksFollowTheDepthRules)
{
    const auto apps = OrphanScanner::appBundles(mac.home());
    EXPECT_TRUE(contains(apps, "/Applications/.Tool.APP"_mac));
    EXPECT_FALSE(contains(apps, "/Applications/Visible.app"_mac));
    EXPECT_FALSE(contains(apps, "/Applications/Visible2.app"_mac));
    EXPECT_TRUE(contains(apps, "/Library/Application Support/CacheCleaner.app"_mac));
    EXPECT_TRUE(contains(apps, "/Library/Application Support/Vendor/Product/2024/Year.app"_mac));
    EXPECT_EQ(apps.size(), 8u);

    const auto bundles = OrphanScanner::libraryBundles(
        {"/Library"_mac, mac.home().appendingPathComponent("Library")});
    EXPECT_TRUE(contains(bundles, "/Library/Printers/a/b/c/d/e/f/Driver.plugin"_mac));
    EXPECT_EQ(bundles.size(), 3u + OrphanScanner::libraryBundleFolders.size());
}

TEST_F(OrphanScanEnvironmentTest, LaunchdLabelsAbsentWhenListingFails)
{
    // A header-only list is an empty answer, not a missing one.
    installLocalLaunchctlStandIn(mac, "PID\tStatus\tLabel\n", "nothing loaded\n", 0);
    EXPECT_EQ(OrphanScanner::loadedLaunchdLabels(), Set{});

    installLocalLaunchctlStandIn(mac, "PID\tStatus\tLabel\n-\t0\tcom.user.agent\n",
                                 "services = {\n\t0 - com.system.daemon\n}\n", 3);
    EXPECT_EQ(OrphanScanner::loadedLaunchdLabels(), std::nullopt);
    EXPECT_EQ(build().loadedLaunchdLabels, std::nullopt);

    mac.write("/bin/launchctl"_mac, "not a program", 0644);
    EXPECT_EQ(OrphanScanner::loadedLaunchdLabels(), std::nullopt);
}

TEST_F(OrphanScanEnvironmentTest, RegistryIgnoresTrashCopies)
{
    const MacPath trash = mac.home().appendingPathComponent(".Trash/Gone.app");
    struct Entry
    {
        const char* identifier;
        std::vector<MacPath> urls;
        bool registered;
    };
    const Entry entries[] = {
        {"com.trashed.app", {trash}, false},
        {"com.volume.app", {"/Volumes/Disk/.Trashes/501/Gone.app"_mac}, false},
        {"com.upper.app", {"/Users/u/.TRASH/Gone.app"_mac}, false},
        {"com.both.app", {trash, "/Applications/Both.app"_mac}, true},
        {"com.trashy.app", {"/Applications/.Trashy/Both.app"_mac}, true},
        {"com.unknown.app", {}, false},
    };
    for (const Entry& e : entries) {
        registry = FakeApplicationRegistry(e.identifier, e.urls);
        const OrphanScanEnvironment env = build();
        EXPECT_EQ(env.isRegisteredWithLaunchServices(e.identifier), e.registered) << e.identifier;
    }
}

TEST_F(OrphanScanEnvironmentTest, StopEndsTheBundleLoop)
{
    std::stop_source stop;
    stop.request_stop();
    const OrphanScanEnvironment env = build(stop.get_token());
    // Only the app list's own identifiers: no bundle was read.
    EXPECT_EQ(env.installedBundleIDs, Set{"com.vendor.app"});
    EXPECT_TRUE(env.installedTeamIDs.empty());
    // The walks below Application Support stop too; the two hidden apps are a plain listing.
    EXPECT_EQ(OrphanScanner::appBundles(mac.home(), stop.get_token()).size(), 2u);
}
