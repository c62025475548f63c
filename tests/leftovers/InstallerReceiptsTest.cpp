// Installer receipts over a fake Mac: which receipts count, and how their paths become items.
#include "app/leftovers/InstallerReceipts.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <stop_token>

#include <gtest/gtest.h>

#include "app/leftovers/LeftoverScanner.h"
#include "app/leftovers/ReceiptMatch.h"
#include "tests/leftovers/support/BomWriter.h"
#include "tests/support/FakeApplicationRegistry.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::leftovers;
using veldo::base::rawValue;
using veldo::core::InstalledApp;
using veldo::core::LeftoverCategory;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::bomFileWith;
using veldo::testsupport::FakeMac;

namespace {

using D = PlistValue::Dictionary;
using C = LeftoverCategory;
using namespace veldo::testsupport::literals;

struct Row
{
    std::string path;
    LeftoverCategory category;
    bool requiresAdmin;
    friend bool operator==(const Row&, const Row&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Row& r)
    {
        return out << "\n  {" << r.path << ", " << rawValue(r.category) << ", "
                   << (r.requiresAdmin ? "admin" : "user") << "}";
    }
};

std::vector<Row> rows(const std::vector<ReceiptInstalledItem>& items)
{
    std::vector<Row> out;
    for (const auto& i : items)
        out.push_back({i.url.path(), i.category, i.requiresAdmin});
    return out;
}

std::vector<std::string> paths(const std::vector<ReceiptInstalledItem>& items)
{
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(i.url.path());
    return out;
}

const std::string kAppPath = "/Applications/Tool.app";
const std::string kAppID = "com.example.suite.tool";

// A receipt "<stem>.plist" in `folder` and, when `bom` is given, its bill of materials.
void writeReceipt(const FakeMac& mac, const std::string& folder, const std::string& stem, D receipt,
                  const std::optional<std::string>& bom)
{
    mac.writePlist(MacPath(folder + "/" + stem + ".plist"), PlistValue(std::move(receipt)));
    if (bom)
        mac.write(MacPath(folder + "/" + stem + ".bom"), *bom);
}

void writeReceipt(const FakeMac& mac, const std::string& stem, const std::string& identifier,
                  const std::vector<std::string>& bomPaths)
{
    writeReceipt(mac, "/private/var/db/receipts", stem, D{{"PackageIdentifier", identifier}},
                 bomFileWith(bomPaths));
}

std::vector<ReceiptInstalledItem> itemsFor(const FakeMac& mac, const std::string& bundleID)
{
    return receiptItemsForApp(bundleID, kAppPath, receiptFolders(), mac.home().path());
}

// Installs `paths` (a trailing "/" makes a folder) on the fake Mac and returns them as the
// absolute paths a receipt would list.
std::unordered_set<std::string> install(const FakeMac& mac, const std::vector<std::string>& paths)
{
    std::unordered_set<std::string> installed;
    for (const auto& path : paths) {
        if (path.ends_with('/'))
            mac.mkdir(MacPath(path));
        else
            mac.write(MacPath(path), "x");
        installed.insert(path.ends_with('/') ? path.substr(0, path.size() - 1) : path);
    }
    return installed;
}

} // namespace

TEST(InstallerReceipts, ReducesWhatTheAppsPackagesInstalledToRemovableItems)
{
    FakeMac mac;
    const std::string home = mac.home().path();
    const std::string homeRelative = home.substr(1);

    // On disk: what the packages installed, beside files no receipt names.
    for (const char* path : {
             "/Applications/Tool.app/Contents/MacOS/Tool",
             "/Applications/Tool Agent.app/Contents/MacOS/agent",
             "/Library/Application Support/Tool/data",
             "/Library/Application Support/Tool/Plugins/p.bundle/Contents/Info.plist",
             "/Library/Application Support/Tool/.DS_Store",
             "/Library/Application Support/Apple/Tool/x",
             "/Library/Caches/com.apple.tool/x",
             "/Library/Caches/com.example.suite.tool/index",
             "/Library/Audio/Plug-Ins/Components/Tool.component/Contents/Info.plist",
             "/Library/LaunchDaemons/com.example.suite.tool.helper.plist",
             "/Library/Logs/Tool/tool.log",
             "/Library/Logs/Tool/other.log",
             "/Library/PrivilegedHelperTools/com.example.suite.tool.helper",
             "/private/etc/tool.conf",
             "/usr/local/bin/tool",
             "/usr/local/bin/suite-other",
             "/usr/local/bin/other",
             "/usr/local/bin/broken",
             "/usr/local/bin/noid",
             "/usr/local/bin/hidden",
             "/usr/local/bin/upper",
             "/usr/local/lib/python3.11/site-packages/foo/__init__.py",
             "/usr/local/lib/python3.11/site-packages/bar/__init__.py",
             "/usr/local/share/suite/readme",
         })
        mac.write(MacPath(path), "x");
    mac.write(MacPath(home + "/Library/Preferences/com.example.suite.tool.plist"), "x");
    mac.write(MacPath(home + "/Library/Tool Data/x"), "x");

    // The app's own package: the app, another app, support files, a launch daemon, a
    // command-line tool, Apple's folders, a plug-in, a shared log folder, a Python package
    // beside another package's folder, and paths no longer on disk or outside shared folders.
    writeReceipt(mac, kAppID, kAppID,
                 {
                     "Applications/Tool.app/Contents/MacOS/Tool",
                     "Applications/Tool Agent.app/Contents/MacOS/agent",
                     "Library/Application Support/Tool/data",
                     "Library/Application Support/Tool/Plugins/p.bundle/Contents/Info.plist",
                     "Library/Application Support/Apple/Tool/x",
                     "Library/Caches/com.apple.tool/x",
                     "Library/Caches/com.example.suite.tool/index",
                     "Library/Audio/Plug-Ins/Components/Tool.component/Contents/Info.plist",
                     "Library/LaunchDaemons/com.example.suite.tool.helper.plist",
                     "Library/Logs/Tool/tool.log",
                     "Library/PrivilegedHelperTools/com.example.suite.tool.helper",
                     "Library/Application Support/Gone/file",
                     "etc/tool.conf",
                     "usr/local/bin/tool",
                     "usr/local/lib/python3.11/site-packages/foo/__init__.py",
                 });
    // A sub-package installed into the home folder (a prefix without its leading "/"), its
    // identifier in another letter case.
    writeReceipt(
        mac, "/private/var/db/receipts", kAppID + ".prefs",
        D{{"PackageIdentifier", "COM.Example.Suite.Tool.Prefs"},
          {"InstallPrefixPath", homeRelative}},
        bomFileWith({"Library/Preferences/com.example.suite.tool.plist", "Library/Tool Data/x"}));
    // Parent packages: the one that lists the app counts, the one that doesn't (in the other
    // receipt folder) doesn't.
    writeReceipt(mac, "com.example.suite", "com.example.suite",
                 {"Applications/Tool.app/", "usr/local/share/suite/readme"});
    writeReceipt(mac, "/Library/Receipts", "com.example.suite",
                 D{{"PackageIdentifier", "com.example.suite"}},
                 bomFileWith({"usr/local/bin/suite-other"}));
    // Another app's package.
    writeReceipt(mac, "com.other.thing", "com.other.thing", {"usr/local/bin/other"});
    // Damaged or unusable receipts of the app: each contributes nothing.
    mac.write(MacPath("/private/var/db/receipts/" + kAppID + ".broken.plist"), "<plist><dict>");
    mac.write(MacPath("/private/var/db/receipts/" + kAppID + ".broken.bom"),
              bomFileWith({"usr/local/bin/broken"}));
    writeReceipt(mac, "/private/var/db/receipts", kAppID + ".badbom",
                 D{{"PackageIdentifier", kAppID + ".badbom"}}, std::string("BOMStore\0\0", 10));
    writeReceipt(mac, "/private/var/db/receipts", kAppID + ".nobom",
                 D{{"PackageIdentifier", kAppID + ".nobom"}}, std::nullopt);
    writeReceipt(mac, "/private/var/db/receipts", kAppID + ".noid", D{{"PackageIdentifier", 42}},
                 bomFileWith({"usr/local/bin/noid"}));
    writeReceipt(mac, "/private/var/db/receipts", "." + kAppID + ".hidden",
                 D{{"PackageIdentifier", kAppID}}, bomFileWith({"usr/local/bin/hidden"}));
    mac.writePlist(MacPath("/private/var/db/receipts/" + kAppID + ".upper.PLIST"),
                   PlistValue(D{{"PackageIdentifier", kAppID}}));
    mac.write(MacPath("/private/var/db/receipts/" + kAppID + ".upper.bom"),
              bomFileWith({"usr/local/bin/upper"}));

    const std::vector<Row> expected{
        {"/Library/Application Support/Tool", C::supportFiles, true},
        {"/Library/Audio/Plug-Ins/Components/Tool.component", C::supportFiles, true},
        {"/Library/Caches/com.example.suite.tool", C::caches, true},
        {"/Library/LaunchDaemons/com.example.suite.tool.helper.plist", C::launchAgents, true},
        {"/Library/Logs/Tool/tool.log", C::logs, true},
        {"/Library/PrivilegedHelperTools/com.example.suite.tool.helper", C::supportFiles, true},
        {home + "/Library/Preferences/com.example.suite.tool.plist", C::preferences, false},
        {"/usr/local/bin/tool", C::supportFiles, true},
        {"/usr/local/lib/python3.11/site-packages/foo", C::supportFiles, true},
        {"/usr/local/share/suite", C::supportFiles, true},
    };
    EXPECT_EQ(rows(itemsFor(mac, "COM.EXAMPLE.SUITE.TOOL")), expected);

    // The leftover scan's receipt source asks the same receipts for the app.
    InstalledApp app;
    app.url = MacPath(kAppPath + "/");
    app.name = "Tool";
    app.bundleID = kAppID;
    EXPECT_EQ(LeftoverScanner::receiptLeftovers(app), itemsFor(mac, kAppID));
    app.bundleID.reset();
    EXPECT_TRUE(LeftoverScanner::receiptLeftovers(app).empty());
    app.bundleID = "";
    EXPECT_TRUE(LeftoverScanner::receiptLeftovers(app).empty());
}

TEST(InstallerReceipts, TheScanOffersReceiptItemsAtMediumConfidence)
{
    FakeMac mac;
    mac.makeApp(MacPath(kAppPath), D{{"CFBundleIdentifier", kAppID}});
    mac.write("/usr/local/bin/tool"_mac, "x");
    writeReceipt(mac, kAppID, kAppID, {"Applications/Tool.app/", "usr/local/bin/tool"});

    InstalledApp app;
    app.url = MacPath(kAppPath);
    app.name = "Tool";
    app.bundleID = kAppID;
    const auto items = LeftoverScanner::scan(app, {}, {}, LeftoverScanner::receiptLeftovers,
                                             veldo::testsupport::FakeApplicationRegistry())
                           .value();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].url.path(), kAppPath);
    EXPECT_EQ(items[1].url.path(), "/usr/local/bin/tool");
    EXPECT_EQ(items[1].confidence, veldo::core::MatchConfidence::medium);
    EXPECT_TRUE(items[1].requiresAdmin);
}

TEST(InstallerReceipts, AStopEndsTheReceiptWalkAndCancelsTheScan)
{
    FakeMac mac;
    mac.makeApp(MacPath(kAppPath), D{{"CFBundleIdentifier", kAppID}});
    mac.write("/usr/local/bin/tool"_mac, "x");
    writeReceipt(mac, kAppID, kAppID, {"Applications/Tool.app/", "usr/local/bin/tool"});
    const std::string home = mac.home().path();
    const std::unordered_set<std::string> installed{"/usr/local/bin/tool"};
    ASSERT_EQ(paths(itemsFor(mac, kAppID)), std::vector<std::string>{"/usr/local/bin/tool"});
    ASSERT_EQ(paths(collectReceiptItems(installed, kAppPath, home)), paths(itemsFor(mac, kAppID)));

    // Stopped before they start, neither the receipts nor the walk look at anything.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_TRUE(
        receiptItemsForApp(kAppID, kAppPath, receiptFolders(), home, stopped.get_token()).empty());
    EXPECT_TRUE(collectReceiptItems(installed, kAppPath, home, stopped.get_token()).empty());

    // The scan hands its own token to the receipt source, and a stop requested there fails
    // the scan instead of offering what was read.
    InstalledApp app;
    app.url = MacPath(kAppPath);
    app.name = "Tool";
    app.bundleID = kAppID;
    std::stop_source source;
    bool tokenSeesTheStop = false;
    const LeftoverScanner::ReceiptSource receipts = [&](const InstalledApp& asked,
                                                        std::stop_token token) {
        source.request_stop();
        tokenSeesTheStop = token.stop_requested();
        return LeftoverScanner::receiptLeftovers(asked, token);
    };
    const auto result = LeftoverScanner::scan(
        app, {}, {}, receipts, veldo::testsupport::FakeApplicationRegistry(), source.get_token());
    EXPECT_TRUE(tokenSeesTheStop);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, veldo::ErrorCode::cancelled);
}

TEST(InstallerReceipts, ReturnsAtMost256ItemsInVisitingOrder)
{
    FakeMac mac;
    std::vector<std::string> bom{"usr/local/bin/aaa-tool", "usr/local/var/tool/state"};
    for (int i = 0; i < 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "usr/local/share/tool/f%03d", i);
        bom.emplace_back(name);
    }
    for (const auto& path : bom)
        mac.write(MacPath("/" + path), "x");
    mac.write("/usr/local/share/tool/local-notes"_mac, "x"); // keeps the folder from being whole
    writeReceipt(mac, kAppID, kAppID, bom);

    std::vector<std::string> expected{"/usr/local/bin/aaa-tool"};
    for (int i = 0; i < 255; ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "/usr/local/share/tool/f%03d", i);
        expected.emplace_back(name);
    }
    EXPECT_EQ(paths(itemsFor(mac, kAppID)), expected);
}

TEST(InstallerReceipts, MatchesReceiptsByIdentifier)
{
    struct Case
    {
        const char* receipt;
        const char* app;
        ReceiptMatch match;
    } const cases[] = {
        {"com.example.tool", "COM.EXAMPLE.TOOL", ReceiptMatch::direct},
        {"com.example.tool.agent", "com.example.tool", ReceiptMatch::direct},
        {"example.tool.agent", "example.tool", ReceiptMatch::none},
        {"com.example.tool", "com.example.tool.mac", ReceiptMatch::parent},
        {"com.example", "com.example.tool", ReceiptMatch::none},
        {"com..example", "com.example.tool", ReceiptMatch::none}, // empty parts don't count
        {"com.example.toolkit", "com.example.tool", ReceiptMatch::none},
        {"com.example.tool", "com.example.toolkit", ReceiptMatch::none},
        {"", "com.example.tool", ReceiptMatch::none},
        {"com.example.tool", "", ReceiptMatch::none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchReceipt(c.receipt, c.app), c.match) << c.receipt << " / " << c.app;
}

// A folder is taken whole only when the receipts own everything in it, all the way down.
TEST(InstallerReceipts, TakesAFolderWholeOnlyWhenItIsWhollyOwned)
{
    const std::string S = "/Library/Application Support/";
    struct Case
    {
        const char* name;
        std::vector<std::string> installed; // recorded by the receipts and on disk
        std::vector<std::string> foreign;   // on disk only
        std::vector<std::string> expected;
    } const cases[] = {
        {"every name recorded, all the way down",
         {S + "Tool/data", S + "Tool/Cache/a", S + "Tool/Empty/"},
         {S + "Tool/.DS_Store"},
         {S + "Tool"}},
        {"the Finder's own files don't count",
         {S + "Tool/data"},
         {S + "Tool/.localized", S + "Tool/._data"},
         {S + "Tool"}},
        {"a hidden folder no receipt names",
         {S + "Tool/data", S + "Tool/Cache/a"},
         {S + "Tool/.git/objects/pack"},
         {S + "Tool/Cache", S + "Tool/data"}},
        {"a hidden file no receipt names, deeper down",
         {S + "Tool/data", S + "Tool/Cache/a"},
         {S + "Tool/Cache/.env"},
         {S + "Tool/Cache/a", S + "Tool/data"}},
        {"a recorded folder holding another package's folder",
         {"/usr/local/lib/python3.11/site-packages/foo/__init__.py"},
         {"/usr/local/lib/python3.11/site-packages/bar/__init__.py"},
         {"/usr/local/lib/python3.11/site-packages/foo"}},
        {"a recorded folder holding a file deep down that no receipt names",
         {S + "Tool/data", S + "Tool/Cache/a/b", S + "Tool/Cache/c"},
         {S + "Tool/Cache/a/user-file"},
         {S + "Tool/Cache/a/b", S + "Tool/Cache/c", S + "Tool/data"}},
        {"a folder holding another app",
         {S + "Tool/data", S + "Tool/Helper.app/Contents/Info.plist"},
         {},
         {S + "Tool/data"}},
        {"eight levels below the item", {S + "Deep/1/2/3/4/5/6/7/8/file"}, {}, {S + "Deep"}},
        {"nine levels below the item: nothing is owned past the walk's depth",
         {S + "Deep/top-file", S + "Deep/1/2/3/4/5/6/7/8/9/file"},
         {},
         {S + "Deep/top-file"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMac mac;
        const auto installed = install(mac, c.installed);
        install(mac, c.foreign);
        EXPECT_EQ(paths(collectReceiptItems(installed, kAppPath, mac.home().path())), c.expected);
    }
}

TEST(InstallerReceipts, TheOwnershipTestDoesNotFollowLinks)
{
    FakeMac mac;
    const std::string tool = "/Library/Application Support/Tool";
    mac.write(MacPath(mac.home().path() + "/Documents/private.txt"), "x");
    auto installed = install(mac, {tool + "/data"});
    mac.symlink(MacPath(tool + "/Documents"), mac.home().path() + "/Documents");
    installed.insert(tool + "/Documents");
    EXPECT_EQ(paths(collectReceiptItems(installed, kAppPath, mac.home().path())),
              std::vector<std::string>{tool});

    // Not recorded, the link keeps the folder from being whole; by itself it is no item.
    installed.erase(tool + "/Documents");
    EXPECT_EQ(paths(collectReceiptItems(installed, kAppPath, mac.home().path())),
              std::vector<std::string>{tool + "/data"});
}

TEST(InstallerReceipts, TheOwnershipTestStopsAfter1024Listings)
{
    const std::string many = "/Library/Application Support/Many/";
    auto subfolders = [&](int count) {
        std::vector<std::string> out;
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "s%04d/", i);
            out.push_back(many + name);
        }
        return out;
    };

    {
        // The folder and its 1,023 subfolders: 1,024 listings.
        FakeMac mac(FakeMac::Storage::memory);
        const auto installed = install(mac, subfolders(1'023));
        EXPECT_EQ(paths(collectReceiptItems(installed, kAppPath, mac.home().path())),
                  std::vector<std::string>{"/Library/Application Support/Many"});
    }
    {
        // One more: not owned as a whole; the subfolders are items, as many as the cap allows.
        FakeMac mac(FakeMac::Storage::memory);
        const auto folders = subfolders(1'024);
        const auto installed = install(mac, folders);
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < kMaxReceiptItems; ++i)
            expected.push_back(folders[i].substr(0, folders[i].size() - 1));
        EXPECT_EQ(paths(collectReceiptItems(installed, kAppPath, mac.home().path())), expected);
    }
}
