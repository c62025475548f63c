// The leftover scan end to end over a fake Mac: what it finds, how it rates it, in what order.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>
#include <stop_token>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "app/core/AllocatedSize.h"
#include "app/leftovers/LeftoverScanner.h"
#include "platform/SecurityScopedAccess.h"
#include "tests/support/FakeApplicationRegistry.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StopWhenEntered.h"

using namespace veldo::core;
using veldo::base::rawValue;
using veldo::leftovers::ReceiptInstalledItem;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeApplicationRegistry;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StopWhenEntered;
using namespace std::chrono_literals;
namespace LeftoverScanner = veldo::leftovers::LeftoverScanner;

namespace {

using D = PlistValue::Dictionary;
using A = PlistValue::Array;
using C = LeftoverCategory;
using M = MatchConfidence;
using namespace veldo::testsupport::literals;

struct Row
{
    std::string path;
    LeftoverCategory category;
    MatchConfidence confidence;
    bool requiresAdmin;
    friend bool operator==(const Row&, const Row&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Row& r)
    {
        return out << "\n  {" << r.path << ", " << rawValue(r.category) << ", "
                   << rawValue(r.confidence) << ", " << (r.requiresAdmin ? "admin" : "user") << "}";
    }
};

std::vector<Row> rows(const std::vector<LeftoverItem>& items)
{
    std::vector<Row> out;
    for (const auto& i : items)
        out.push_back({i.url.path(), i.category, i.confidence, i.requiresAdmin});
    return out;
}

std::string bytes(std::size_t n)
{
    return std::string(n, 'x');
}

// A launchd job property list, padded with a comment of `padding` bytes.
PlistValue job(D fields, std::size_t padding = 0)
{
    if (padding)
        fields.emplace("Comment", bytes(padding));
    return PlistValue(std::move(fields));
}

const MacPath kApp("/Applications/Example.app");
const std::string kHelperExecutable =
    "/Applications/Example.app/Contents/Library/LoginItems/Example Helper.app/Contents/MacOS/"
    "Example Helper";

// An app with a nested login-item helper, and its leftovers in every Library folder, beside
// look-alikes that belong to other apps. Sizes (1, 10000, 100000 bytes) make one, three and
// twenty-five blocks, so that the order by size doesn't hang on the file system.
void buildExampleMac(const FakeMac& mac)
{
    const MacPath L = mac.home().appendingPathComponent("Library");
    const MacPath S("/Library");
    auto user = [&](const std::string& rel) { return L.appendingPathComponent(rel); };
    auto system = [&](const std::string& rel) { return S.appendingPathComponent(rel); };

    mac.makeApp(kApp,
                D{{"CFBundleIdentifier", "com.example.app"}, {"CFBundleExecutable", "Example"}});
    mac.makeApp(kApp.appendingPathComponent("Contents/Library/LoginItems/Example Helper.app"),
                D{{"CFBundleIdentifier", "com.example.app.helper"},
                  {"CFBundleExecutable", "Example Helper"}});

    // The identifier's own paths; the preferences file is stored in another letter case.
    mac.write(user("Preferences/com.example.App.plist"), bytes(1));
    mac.write(user("Saved Application State/com.example.app.savedState/windows.plist"), bytes(1));
    mac.write(user("Containers/com.example.app/Data/store"), bytes(10000));
    mac.mkdir(user("Application Scripts/com.example.app"));
    mac.write(user("Caches/com.example.app/Cache.db"), bytes(100000));
    mac.write(user("Application Support/com.example.app/state"), bytes(1));
    mac.write(user("HTTPStorages/com.example.app/store"), bytes(1));
    mac.write(user("HTTPStorages/com.example.app.binarycookies"), bytes(1));
    mac.write(user("WebKit/com.example.app/store"), bytes(1));
    mac.write(user("Cookies/com.example.app.binarycookies"), bytes(10000));
    mac.write(user("Logs/com.example.app/run.log"), bytes(1));

    // Host-specific preferences.
    mac.write(user("Preferences/ByHost/com.example.app.0123-ABCD.plist"), bytes(1));
    mac.write(user("Preferences/ByHost/com.example.app.extra.HOST1.plist"), bytes(1));
    mac.write(user("Preferences/ByHost/com.example.app.helper.HOST1.plist"), bytes(1));
    mac.write(user("Preferences/ByHost/com.example.app.plist"), bytes(1));
    mac.write(user("Preferences/ByHost/com.other.app.HOST1.plist"), bytes(1));

    // Containers, scripts and group containers; a longer identifier and a lower-case team
    // prefix are someone else's.
    mac.mkdir(user("Containers/com.example.app.helper"));
    mac.mkdir(user("Containers/com.example.app.share-extension"));
    mac.mkdir(user("Containers/com.example.application"));
    mac.mkdir(user("Application Scripts/ABCDE12345.com.example.app"));
    mac.mkdir(user("Application Scripts/abcde12345.com.example.app"));
    mac.write(user("Group Containers/ABCDE12345.com.example.app/prefs"), bytes(1));
    mac.mkdir(user("Group Containers/abcde12345.com.example.app"));
    mac.mkdir(user("Group Containers/group.com.example.app.shared"));

    // Launch agents by file name, by program inside the bundle, by associated identifier; one
    // named after the app that runs another app's program; one whose Label alone names the app.
    mac.writePlist(
        user("LaunchAgents/com.example.app.agent.plist"),
        job({{"Label", "com.example.app.agent"}, {"Program", "/usr/local/bin/example-agent"}}));
    mac.writePlist(user("LaunchAgents/com.example.app.launcher.plist"),
                   job({{"Label", "com.example.app.launcher"},
                        {"Program", "/Applications/Other.app/Contents/MacOS/launcher"}}));
    mac.writePlist(user("LaunchAgents/net.other.sync.plist"),
                   job({{"Label", "net.other.sync"},
                        {"Program", "/usr/local/bin/sync"},
                        {"AssociatedBundleIdentifiers", A{"com.example.app"}}}),
                   true);
    mac.writePlist(user("LaunchAgents/org.vendor.other.plist"),
                   job({{"Label", "com.example.app"}, {"Program", "/usr/local/bin/other"}}));
    mac.writePlist(user("LaunchAgents/org.vendor.updater.plist"),
                   job({{"Label", "org.vendor.updater"},
                        {"Program", "/Applications/Example.app/Contents/MacOS/Example"}}));

    // Crash reports by identifier and by name; "Counterexample" is not "Example".
    mac.write(user("Logs/DiagnosticReports/com.example.app_2024-05-01-101010_host.ips"), bytes(1));
    mac.write(user("Logs/DiagnosticReports/Example_2024-05-02-101010_host.ips"), bytes(1));
    mac.write(user("Logs/DiagnosticReports/Counterexample_2024-05-03-101010_host.ips"), bytes(1));
    mac.write(user("Logs/DiagnosticReports/Example Studio_2024-05-04-101010_host.ips"), bytes(1));

    // Folders named like the app.
    mac.write(user("Application Support/Example/data"), bytes(10000));
    mac.write(user("Application Support/examplestudio/data"), bytes(1));
    mac.mkdir(user("Caches/example"));
    mac.mkdir(user("Caches/com.example.application"));
    mac.write(user("Logs/Example Studio/run.log"), bytes(1));

    // The system Library.
    mac.writePlist(system("LaunchAgents/com.example.app.systemagent.plist"),
                   job({{"Program", "/usr/local/libexec/example"}}));
    mac.writePlist(system("LaunchDaemons/com.example.app.helper.plist"),
                   job({{"Label", "com.example.app.helper"},
                        {"Program", "/Library/PrivilegedHelperTools/com.example.app.helper"}},
                       5000));
    mac.writePlist(system("LaunchDaemons/com.other.tool.plist"),
                   job({{"Program", "/usr/local/bin/tool"}}));
    mac.writePlist(system("LaunchDaemons/org.vendor.daemon.plist"),
                   job({{"ProgramArguments", A{kHelperExecutable, "--daemon"}}}));
    mac.write(system("PrivilegedHelperTools/com.example.app.helper"), bytes(20000));
    mac.write(system("Application Support/com.example.app/state"), bytes(1));
    mac.write(system("Application Support/com.example.app/Data/store.db"), bytes(1));
    mac.mkdir(system("Caches/com.example.app"));
    mac.write(system("Preferences/com.example.app.plist"), bytes(1));
    mac.mkdir(system("Logs/Com.Example.App"));
    mac.mkdir(system("Application Support/Example Studio"));

    // The per-user cache and temporary folders.
    mac.write("/private/var/folders/zz/abc123/C/com.example.app/cache"_mac, bytes(1));
    mac.mkdir("/private/var/folders/zz/abc123/T/com.example.app"_mac);

    // What receipts name.
    mac.write("/usr/local/lib/example-z"_mac, bytes(1));
    mac.write("/usr/local/lib/example-a"_mac, bytes(1));
}

std::vector<ScopedAccessRoot> rootsOf(const FakeMac& mac)
{
    return {{AccessRootKind::applications, "/Applications"_mac},
            {AccessRootKind::userApplications, mac.home().appendingPathComponent("Applications")},
            {AccessRootKind::userLibrary, mac.home().appendingPathComponent("Library")},
            {AccessRootKind::systemLibrary, "/Library"_mac}};
}

InstalledApp exampleApp(std::optional<std::string> bundleID)
{
    InstalledApp app;
    app.url = kApp;
    app.name = "Example";
    app.bundleID = std::move(bundleID);
    app.alternateNames = {"Example Studio"};
    return app;
}

} // namespace

TEST(LeftoverScan, RatesEveryLeftoverOfAnAppInOrder)
{
    FakeMac mac;
    buildExampleMac(mac);
    const std::string L = mac.home().appendingPathComponent("Library").path() + "/";
    const std::string S = "/Library/";
    const std::string crash = L + "Logs/DiagnosticReports/";

    const auto roots = rootsOf(mac);
    const LeftoverScanner::ReceiptSource receipts = [&](const InstalledApp& app, std::stop_token) {
        EXPECT_EQ(app.bundleID, "com.example.app");
        for (const auto& root : roots) // the scan reads its roots under security-scoped access
            EXPECT_EQ(veldo::platform::testing::activeSecurityScopedAccesses(root.url), 1u);
        return std::vector<ReceiptInstalledItem>{
            {MacPath(S + "Application Support/com.example.app/Data/store.db"), C::supportFiles,
             true},
            {MacPath("/usr/local/lib/example-z"), C::supportFiles, true},
            {MacPath("/usr/local/lib/example-a"), C::supportFiles, true},
            {MacPath("/usr/local/bin/missing-tool"), C::supportFiles, true},
            {MacPath(L + "Caches/com.example.app/"), C::logs, true},
            {MacPath(crash + "Example_2024-05-02-101010_host.ips"), C::supportFiles, true},
            {MacPath(L + "Containers/com.example.app.helper"), C::supportFiles, true},
        };
    };
    const FakeApplicationRegistry registry("com.example.app", {kApp});

    const auto items =
        LeftoverScanner::scan(exampleApp("com.example.app"), roots,
                              LeftoverScanner::darwinUserDirectories(), receipts, registry)
            .value();
    for (const auto& root : roots)
        EXPECT_EQ(veldo::platform::testing::activeSecurityScopedAccesses(root.url), 0u);

    const std::vector<Row> expected{
        {kApp.path(), C::application, M::certain, false},
        {S + "Application Support/com.example.app", C::supportFiles, M::certain, true},
        {L + "Application Support/com.example.app", C::supportFiles, M::certain, false},
        {L + "Application Support/Example", C::supportFiles, M::medium, false},
        {"/usr/local/lib/example-z", C::supportFiles, M::medium, true},
        {"/usr/local/lib/example-a", C::supportFiles, M::medium, true},
        {L + "Application Support/examplestudio", C::supportFiles, M::medium, false},
        {S + "Application Support/Example Studio", C::supportFiles, M::medium, true},
        {L + "Caches/com.example.app", C::caches, M::certain, false},
        {"/var/folders/zz/abc123/C/com.example.app", C::caches, M::certain, false},
        {S + "Caches/com.example.app", C::caches, M::certain, true},
        {"/var/folders/zz/abc123/T/com.example.app", C::caches, M::certain, false},
        {L + "Caches/example", C::caches, M::medium, false},
        {S + "Preferences/com.example.app.plist", C::preferences, M::certain, true},
        {L + "Preferences/com.example.App.plist", C::preferences, M::certain, false},
        {L + "Preferences/ByHost/com.example.app.0123-ABCD.plist", C::preferences, M::high, false},
        {L + "Preferences/ByHost/com.example.app.helper.HOST1.plist", C::preferences, M::high,
         false},
        {L + "Preferences/ByHost/com.example.app.plist", C::preferences, M::medium, false},
        {L + "Preferences/ByHost/com.example.app.extra.HOST1.plist", C::preferences, M::medium,
         false},
        {L + "Containers/com.example.app", C::containers, M::certain, false},
        {L + "Application Scripts/com.example.app", C::containers, M::certain, false},
        {L + "Containers/com.example.app.helper", C::containers, M::high, false},
        {L + "Application Scripts/ABCDE12345.com.example.app", C::containers, M::high, false},
        {L + "Containers/com.example.app.share-extension", C::containers, M::medium, false},
        {L + "Group Containers/ABCDE12345.com.example.app", C::groupContainers, M::high, false},
        {L + "Group Containers/group.com.example.app.shared", C::groupContainers, M::medium, false},
        {L + "Saved Application State/com.example.app.savedState", C::savedState, M::certain,
         false},
        {L + "Logs/com.example.app", C::logs, M::certain, false},
        {S + "Logs/Com.Example.App", C::logs, M::certain, true},
        {L + "Logs/Example Studio", C::logs, M::medium, false},
        {S + "PrivilegedHelperTools/com.example.app.helper", C::launchAgents, M::high, true},
        {S + "LaunchDaemons/com.example.app.helper.plist", C::launchAgents, M::high, true},
        {S + "LaunchAgents/com.example.app.systemagent.plist", C::launchAgents, M::high, true},
        {L + "LaunchAgents/com.example.app.agent.plist", C::launchAgents, M::high, false},
        {S + "LaunchDaemons/org.vendor.daemon.plist", C::launchAgents, M::medium, true},
        {L + "LaunchAgents/net.other.sync.plist", C::launchAgents, M::medium, false},
        {L + "LaunchAgents/org.vendor.updater.plist", C::launchAgents, M::medium, false},
        {L + "LaunchAgents/com.example.app.launcher.plist", C::launchAgents, M::medium, false},
        {L + "Cookies/com.example.app.binarycookies", C::cookies, M::certain, false},
        {L + "HTTPStorages/com.example.app.binarycookies", C::cookies, M::certain, false},
        {L + "WebKit/com.example.app", C::webData, M::certain, false},
        {L + "HTTPStorages/com.example.app", C::webData, M::certain, false},
        {crash + "com.example.app_2024-05-01-101010_host.ips", C::crashReports, M::high, false},
        {crash + "Example_2024-05-02-101010_host.ips", C::crashReports, M::medium, false},
        {crash + "Example Studio_2024-05-04-101010_host.ips", C::crashReports, M::low, false},
    };
    EXPECT_EQ(rows(items), expected);
}

TEST(LeftoverScan, WithoutABundleIdentifierOnlyNamesMatch)
{
    for (const char* bundleID : {"", " \n\t"}) {
        FakeMac mac;
        buildExampleMac(mac);
        const std::string L = mac.home().appendingPathComponent("Library").path() + "/";
        const std::string crash = L + "Logs/DiagnosticReports/";
        InstalledApp app = exampleApp(std::string(bundleID));
        const auto items =
            LeftoverScanner::scan(app, rootsOf(mac), LeftoverScanner::darwinUserDirectories(), {},
                                  FakeApplicationRegistry())
                .value();
        const std::vector<Row> expected{
            {kApp.path(), C::application, M::certain, false},
            {L + "Application Support/Example", C::supportFiles, M::medium, false},
            {L + "Application Support/examplestudio", C::supportFiles, M::medium, false},
            {"/Library/Application Support/Example Studio", C::supportFiles, M::medium, true},
            {L + "Caches/example", C::caches, M::medium, false},
            {L + "Logs/Example Studio", C::logs, M::medium, false},
            {crash + "Example_2024-05-02-101010_host.ips", C::crashReports, M::low, false},
            {crash + "Example Studio_2024-05-04-101010_host.ips", C::crashReports, M::low, false},
            {crash + "com.example.app_2024-05-01-101010_host.ips", C::crashReports, M::low, false},
        };
        EXPECT_EQ(rows(items), expected) << "bundle identifier \"" << bundleID << "\"";
    }
}

TEST(LeftoverScan, NeverOffersProtectedOrRefusedLocations)
{
    FakeMac mac;
    const MacPath L = mac.home().appendingPathComponent("Library");
    const MacPath app("/Applications/CrashReporter.app");
    mac.makeApp(app, D{{"CFBundleIdentifier", "com.apple.bird"}});
    mac.mkdir(L.appendingPathComponent("Caches/com.apple.bird"));              // refused
    mac.mkdir(L.appendingPathComponent("Application Support/CrashReporter"));  // refused
    mac.mkdir(L.appendingPathComponent("Logs/DiagnosticReports"));             // protected
    mac.mkdir(L.appendingPathComponent("Application Support/com.apple.bird")); // offered
    mac.write("/Applications/Veldo.app/Contents/Info.plist"_mac, "x");
    // Links in Caches whose "." and ".." lead the file system to the home's Documents.
    mac.mkdir(mac.home().appendingPathComponent("Documents"));
    mac.mkdir(mac.home().appendingPathComponent("Projects"));
    mac.symlink(L.appendingPathComponent("Caches/DocsLink"),
                mac.home().appendingPathComponent("Documents").path());
    mac.symlink(L.appendingPathComponent("Caches/ProjectsLink"),
                mac.home().appendingPathComponent("Projects").path());

    InstalledApp installed;
    installed.url = app;
    installed.name = "CrashReporter";
    installed.bundleID = "com.apple.bird";
    installed.alternateNames = {"DiagnosticReports"};
    const LeftoverScanner::ReceiptSource receipts = [&](const InstalledApp&, std::stop_token) {
        return std::vector<ReceiptInstalledItem>{
            {MacPath("/Applications/Veldo.app/Contents/Info.plist"), C::supportFiles, true},
            {MacPath("/Applications"), C::supportFiles, true},
            {L.appendingPathComponent("Caches"), C::caches, false},
            {mac.home(), C::supportFiles, false},
            {MacPath("/"), C::supportFiles, true},
            {L.appendingPathComponent("Caches/DocsLink/."), C::caches, false},
            {L.appendingPathComponent("Caches/ProjectsLink/../Documents"), C::caches, false},
        };
    };
    const auto items =
        LeftoverScanner::scan(installed, rootsOf(mac), {}, receipts, FakeApplicationRegistry())
            .value();
    EXPECT_EQ(rows(items),
              (std::vector<Row>{
                  {app.path(), C::application, M::certain, false},
                  {L.appendingPathComponent("Application Support/com.apple.bird").path(),
                   C::supportFiles, M::certain, false},
              }));

    // The app bundle itself is always offered, even Veldo's own; nothing inside Veldo is.
    const MacPath veldo("/Applications/Veldo.app");
    EXPECT_TRUE(LeftoverScanner::isOfferable("/Applications/Veldo.app/"_mac, veldo, rootsOf(mac),
                                             mac.home()));
    EXPECT_FALSE(LeftoverScanner::isOfferable("/Applications/Veldo.app/Contents"_mac, app,
                                              rootsOf(mac), mac.home()));
}

TEST(LeftoverScan, OtherInstalledCopiesLowerEveryConfidence)
{
    FakeMac mac;
    const MacPath home = mac.home();
    const MacPath L = home.appendingPathComponent("Library");
    const MacPath app = home.appendingPathComponent("Applications/Example.app");
    const D info{{"CFBundleIdentifier", "com.example.app"}};
    mac.makeApp(app, info);
    mac.write(L.appendingPathComponent("Caches/com.example.app/db"), bytes(1));
    mac.mkdir(L.appendingPathComponent("Application Support/Example"));
    mac.write(L.appendingPathComponent("Logs/DiagnosticReports/Example_1.ips"), bytes(1));

    // Copies that never count: the app itself (also through a link or written otherwise), one
    // inside it, in the Trash, on another volume, translocated, in a Library, missing.
    std::vector<MacPath> ignored{
        app,
        "/Applications/Link.app"_mac,
        home.appendingPathComponent("Applications/../Applications/Example.app/"),
        app.appendingPathComponent("Contents/Helpers/Example.app"),
        home.appendingPathComponent(".Trash/Example.app"),
        "/Volumes/Backup/Applications/Example.app"_mac,
        "/var/folders/ab/cd/T/AppTranslocation/1234-5678/d/Example.app"_mac,
        L.appendingPathComponent("Example.app"),
        "/Library/Example.app"_mac,
        "/Applications/Gone.app"_mac,
    };
    mac.symlink("/Applications/Link.app"_mac, app.path());
    for (const auto& copy : ignored) {
        if (copy.lastPathComponent() == "Example.app" && copy != app)
            mac.makeApp(copy, info);
    }
    mac.makeApp("/Applications/Example.app"_mac, info);
    mac.symlink("/Applications/Example Alias.app"_mac, "Example.app");

    const std::string crash =
        L.appendingPathComponent("Logs/DiagnosticReports/Example_1.ips").path();
    auto scanWith = [&](std::vector<MacPath> registered) {
        InstalledApp installed;
        installed.url = app;
        installed.name = "Example";
        installed.bundleID = "com.example.app";
        return rows(LeftoverScanner::scan(installed, rootsOf(mac), {}, {},
                                          FakeApplicationRegistry("com.example.app", registered))
                        .value());
    };
    auto expected = [&](M exact, M byName) {
        return std::vector<Row>{
            {app.path(), C::application, M::certain, false},
            {L.appendingPathComponent("Application Support/Example").path(), C::supportFiles,
             byName, false},
            {L.appendingPathComponent("Caches/com.example.app").path(), C::caches, exact, false},
            {crash, C::crashReports, M::low, false},
        };
    };

    EXPECT_EQ(scanWith(ignored), expected(M::certain, M::medium));
    auto withCopy = ignored;
    withCopy.push_back("/Applications/Example Alias.app"_mac);
    withCopy.push_back("/Applications/Example.app"_mac);
    EXPECT_EQ(scanWith(withCopy), expected(M::low, M::low));

    EXPECT_EQ(LeftoverScanner::otherInstalledCopies(withCopy, app, home),
              std::vector<MacPath>{"/Applications/Example.app"_mac});
    InstalledApp withoutID;
    withoutID.url = app;
    EXPECT_TRUE(LeftoverScanner::registeredCopies(
                    withoutID, FakeApplicationRegistry("", {"/Applications/Example.app"_mac}))
                    .empty());
}

TEST(LeftoverScan, EmbeddedBundleIdentifiersOfTheNestedBundleFolders)
{
    FakeMac mac;
    const MacPath app("/Applications/Example.app");
    mac.makeApp(app, D{{"CFBundleIdentifier", "com.example.app"}});
    auto nested = [&](const std::string& rel, PlistValue identifier) {
        mac.makeApp(app.appendingPathComponent(rel), D{{"CFBundleIdentifier", identifier}});
    };
    nested("Contents/PlugIns/A.appex", "com.example.app.a");
    nested("Contents/Extensions/B.appex", "Com.Example.App.B");
    nested("Contents/XPCServices/C.xpc", "com.example.app.c");
    nested("Contents/Helpers/D.app", "org.other.d");
    nested("Contents/Library/loginitems/E.app", "com.example.app.e"); // a case variant
    nested("Contents/Library/SystemExtensions/F.systemextension", "com.example.app.f");
    nested("Contents/Library/QuickLook/G.qlgenerator", "com.example.app.g");
    nested("Contents/PlugIns/.Hidden.appex", "com.example.app.hidden");
    nested("Contents/PlugIns/A.appex/Contents/PlugIns/Deep.appex", "com.example.app.deep");
    nested("Contents/Frameworks/X.framework", "com.example.app.x");
    nested("Contents/PlugIns/Number.appex", 42);
    mac.mkdir(app.appendingPathComponent("Contents/PlugIns/Empty.appex"));
    mac.write(app.appendingPathComponent("Contents/Helpers/Broken.app/Contents/Info.plist"), "?");

    EXPECT_EQ(LeftoverScanner::embeddedBundleIDs(app),
              (std::unordered_set<std::string>{
                  "com.example.app.a", "Com.Example.App.B", "com.example.app.c", "org.other.d",
                  "com.example.app.e", "com.example.app.f", "com.example.app.g"}));
}

TEST(LeftoverScan, DroppingNestedItemsKeepsTheOutermost)
{
    auto items = [](std::vector<const char*> paths) {
        std::vector<LeftoverItem> out;
        for (const char* p : paths)
            out.push_back(LeftoverItem{MacPath(p), C::caches, 0, false, M::high});
        return out;
    };
    auto paths = [](const std::vector<LeftoverItem>& list) {
        std::vector<std::string> out;
        for (const auto& i : list)
            out.push_back(i.url.path());
        return out;
    };
    EXPECT_EQ(paths(LeftoverScanner::droppingNestedItems(
                  items({"/a/b/c", "/a/bc", "/a/b", "/A/B/d", "/x/", "/x/y", "/a/b-c/d"}))),
              (std::vector<std::string>{"/x/", "/a/b", "/a/bc", "/a/b-c/d"}));
    // Shorter by characters, not by bytes: "/a/\u00e9\u00e9" has five characters in seven bytes.
    EXPECT_EQ(paths(LeftoverScanner::droppingNestedItems(
                  items({"/a/bcd", "/a/\xC3\xA9\xC3\xA9", "/a/xyz"}))),
              (std::vector<std::string>{"/a/\xC3\xA9\xC3\xA9", "/a/bcd", "/a/xyz"}));
}

TEST(LeftoverScan, AStoppedScanEndsEarlyAndStopsItsAccesses)
{
    FakeMac mac;
    buildExampleMac(mac);
    const auto roots = rootsOf(mac);
    std::stop_source stop;
    bool receiptsAsked = false;
    const LeftoverScanner::ReceiptSource receipts = [&](const InstalledApp&, std::stop_token) {
        receiptsAsked = true;
        return std::vector<ReceiptInstalledItem>{};
    };
    stop.request_stop();
    const auto result = LeftoverScanner::scan(exampleApp("com.example.app"), roots, {}, receipts,
                                              FakeApplicationRegistry(), stop.get_token());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, veldo::ErrorCode::cancelled);
    EXPECT_FALSE(receiptsAsked);
    for (const auto& root : roots)
        EXPECT_EQ(veldo::platform::testing::activeSecurityScopedAccesses(root.url), 0u);
}

TEST(LeftoverScan, AStopEndsTheScanInsideAPhase)
{
    // The user Library phase measures a support folder of 20,000 folders; a stop during that
    // measurement ends the scan long before the rest of the tree would have been measured (a
    // loaded machine slows both alike), and runs no other phase.
    FakeMac mac(FakeMac::Storage::memory);
    buildExampleMac(mac);
    const MacPath wide = mac.wideTree(
        mac.home().appendingPathComponent("Library/Application Support/Example Studio"), 100, 200);
    bool receiptsAsked = false;
    const LeftoverScanner::ReceiptSource receipts = [&](const InstalledApp&, std::stop_token) {
        receiptsAsked = true;
        return std::vector<ReceiptInstalledItem>{};
    };
    std::stop_source source;
    StopWhenEntered stopper(source, mac.host(wide));
    const auto result =
        LeftoverScanner::scan(exampleApp("com.example.app"), rootsOf(mac), {}, receipts,
                              FakeApplicationRegistry(), source.get_token());
    const auto returnedAt = std::chrono::steady_clock::now();
    const auto requestedAt = stopper.requestedAt();
    ASSERT_TRUE(requestedAt.has_value());
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, veldo::ErrorCode::cancelled);
    const auto measuring = std::chrono::steady_clock::now();
    (void)allocatedSize(wide);
    const auto wholeMeasure = std::chrono::steady_clock::now() - measuring;
    EXPECT_LT(returnedAt - *requestedAt,
              std::max<std::chrono::steady_clock::duration>(100ms, wholeMeasure / 2));
    EXPECT_FALSE(receiptsAsked);
}

TEST(LeftoverScan, AnIdentifierNeverBuildsAPathOutsideItsFolder)
{
    FakeMac mac;
    const MacPath home = mac.home();
    mac.makeApp(kApp, D{});
    mac.write(home.appendingPathComponent("Projects/thesis.txt"), bytes(1));
    mac.write(home.appendingPathComponent("Projects.plist"), bytes(1));
    mac.mkdir("/Users/Shared/Projects"_mac);
    mac.mkdir("/private/var/folders/zz/abc123/C"_mac);
    for (const char* identifier : {"../../Projects", "com.example/../../../Projects", "..", "."}) {
        InstalledApp app;
        app.url = kApp;
        app.name = "Ex";
        app.bundleID = identifier;
        EXPECT_EQ(
            rows(LeftoverScanner::scan(app, rootsOf(mac), LeftoverScanner::darwinUserDirectories(),
                                       {}, FakeApplicationRegistry())
                     .value()),
            (std::vector<Row>{{kApp.path(), C::application, M::certain, false}}))
            << identifier;
    }
}

TEST(LeftoverScan, ScansThatShareFolderReadingsFindWhatEachWouldAloneAfterEveryChange)
{
    FakeMac mac;
    buildExampleMac(mac);
    const MacPath L = mac.home().appendingPathComponent("Library");
    const MacPath otherApp("/Applications/Other.app");
    mac.makeApp(otherApp, D{{"CFBundleIdentifier", "com.other.app"}});
    mac.write(L.appendingPathComponent("Preferences/com.other.app.plist"), bytes(1));
    mac.mkdir(L.appendingPathComponent("Application Support/Other"));
    InstalledApp other;
    other.url = otherApp;
    other.name = "Other";
    other.bundleID = "com.other.app";

    const auto roots = rootsOf(mac);
    const auto perUser = LeftoverScanner::darwinUserDirectories();
    const FakeApplicationRegistry registry;
    veldo::leftovers::FolderListingCache batch;
    auto alone = [&](const InstalledApp& app) {
        return rows(LeftoverScanner::scan(app, roots, perUser, {}, registry).value());
    };
    auto inBatch = [&](const InstalledApp& app) {
        return rows(LeftoverScanner::scan(app, roots, perUser, {}, registry, batch).value());
    };
    // Readings made now are kept by the batch (the fixture's last change is old enough).
    std::this_thread::sleep_for(150ms);
    const auto example = alone(exampleApp("com.example.app"));
    EXPECT_EQ(inBatch(exampleApp("com.example.app")), example);
    EXPECT_EQ(inBatch(other), alone(other));
    EXPECT_EQ(inBatch(exampleApp("com.example.app")), example);

    // Between two scans of the batch: leftovers of the second app appear in folders the first
    // one read (some in another letter case), one goes, one is renamed.
    mac.write(L.appendingPathComponent("Logs/COM.OTHER.APP/run.log"), bytes(1));
    mac.mkdir(L.appendingPathComponent("Containers/com.other.app"));
    mac.writePlist(L.appendingPathComponent("LaunchAgents/com.other.app.agent.plist"),
                   job({{"Program", "/usr/local/bin/other-agent"}}));
    mac.writePlist("/Library/LaunchDaemons/org.vendor.other.plist"_mac,
                   job({{"Program", "/Applications/Other.app/Contents/MacOS/other"}}));
    mac.write("/private/var/folders/zz/abc123/C/Com.Other.App"_mac, bytes(1));
    ASSERT_EQ(
        std::remove(mac.host(L.appendingPathComponent("Preferences/com.other.app.plist")).c_str()),
        0);
    ASSERT_EQ(std::rename(mac.host(L.appendingPathComponent("Application Support/Other")).c_str(),
                          mac.host(L.appendingPathComponent("Application Support/OTHER")).c_str()),
              0);
    const auto changed = alone(other);
    EXPECT_EQ(inBatch(other), changed);
    const std::string lib = L.path() + "/";
    EXPECT_EQ(
        changed,
        (std::vector<Row>{
            {otherApp.path(), C::application, M::certain, false},
            {lib + "Application Support/OTHER", C::supportFiles, M::medium, false},
            {"/var/folders/zz/abc123/C/Com.Other.App", C::caches, M::certain, false},
            {lib + "Preferences/ByHost/com.other.app.HOST1.plist", C::preferences, M::high, false},
            {lib + "Containers/com.other.app", C::containers, M::certain, false},
            {lib + "Logs/COM.OTHER.APP", C::logs, M::certain, false},
            {lib + "LaunchAgents/com.other.app.agent.plist", C::launchAgents, M::high, false},
            {"/Library/LaunchDaemons/org.vendor.other.plist", C::launchAgents, M::medium, true},
            {lib + "LaunchAgents/com.example.app.launcher.plist", C::launchAgents, M::medium,
             false},
        }));
    EXPECT_EQ(inBatch(exampleApp("com.example.app")), example);

    // The batch screen runs three scans at once over one new cache.
    veldo::leftovers::FolderListingCache shared;
    std::vector<std::vector<Row>> atOnce(3);
    {
        std::vector<std::jthread> scans;
        for (std::size_t i = 0; i < atOnce.size(); ++i)
            scans.emplace_back([&, i] {
                const InstalledApp app = i == 1 ? other : exampleApp("com.example.app");
                atOnce[i] =
                    rows(LeftoverScanner::scan(app, roots, perUser, {}, registry, shared).value());
            });
    }
    EXPECT_EQ(atOnce, (std::vector<std::vector<Row>>{example, changed, example}));
}
