// The Homebrew cask index: bookkeeping in the Caskroom, the brew fallback, the cache and its
// signature, and which cask owns an app path.
#include "app/leftovers/HomebrewCaskIndex.h"

#include <atomic>
#include <filesystem>
#include <stop_token>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/leftovers/HomebrewCaskIndexCache.h"
#include "platform/MacFileSystem.h"
#include "tests/leftovers/CaskroomFixture.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"

using namespace veldo::leftovers;
using namespace veldo::leftovers::HomebrewCasks;
using namespace std::chrono_literals;
using veldo::platform::MacPath;
using veldo::testsupport::addCaskFile;
using veldo::testsupport::addCaskFolder;
using veldo::testsupport::addJsonCask;
using veldo::testsupport::caskJson;
using veldo::testsupport::FakeMac;
using veldo::testsupport::kCaskroom;
using veldo::testsupport::StandInBrew;
using Strings = std::vector<std::string>;
using namespace veldo::testsupport::literals;

namespace {

const std::string kInfoCall = "[info][--cask][--json=v2][--installed]";

Strings keys(const CaskIndex& index)
{
    Strings names;
    for (const auto& [name, info] : index)
        names.push_back(name);
    return names;
}

void setModificationTime(const FakeMac& mac, const MacPath& path, timespec when)
{
    const timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, mac.host(path).c_str(), times, 0), 0) << path.path();
}

// brew's JSON output naming the given casks.
std::string infoOutput(const std::vector<std::string>& caskObjects)
{
    std::string casks;
    for (const auto& c : caskObjects)
        casks += (casks.empty() ? "" : ",") + c;
    return R"({"formulae":[],"casks":[)" + casks + "]}";
}

} // namespace

TEST(HomebrewCaskIndex, OwnerIsConfirmedByTheExpectedAppPath)
{
    const MacPath home("/Users/ann");
    CaskInfo plain;
    plain.token = "plain";
    plain.appNames = plain.appTargets = {"Plain.app"};
    CaskInfo homeTarget;
    homeTarget.token = "home-target";
    homeTarget.appTargets = {"~/Applications/HomeTarget.app"};
    homeTarget.appNames = {"HomeTarget.app"};
    CaskInfo userAppdir;
    userAppdir.token = "user-appdir";
    userAppdir.appNames = userAppdir.appTargets = {"UserAppdir.app"};
    userAppdir.appdir = "~/Applications";
    CaskInfo utility;
    utility.token = "utility";
    utility.appTargets = {"Utilities/Utility.app"};
    utility.appNames = {"Utility.app"};
    CaskInfo absolute;
    absolute.token = "absolute";
    absolute.appTargets = {"/Applications/Tools/../Absolute.app"};
    absolute.appNames = {"Absolute.app"};
    CaskInfo namesOnly;
    namesOnly.token = "names-only";
    namesOnly.appNames = {"NamesOnly.app"};
    namesOnly.appdir = "~";
    CaskInfo shared1;
    shared1.token = "shared-one";
    shared1.appNames = shared1.appTargets = {"Shared.app"};
    CaskInfo shared2 = shared1;
    shared2.token = "shared-two";

    const CaskIndex index =
        buildIndex({plain, homeTarget, userAppdir, utility, absolute, namesOnly, shared1, shared2});

    const struct
    {
        const char* app;
        std::optional<std::string> owner;
    } cases[] = {
        {"/Applications/Plain.app", "plain"},
        {"/Applications/Plain.app/", "plain"},
        {"/Applications/./Plain.app", "plain"},
        {"/applications/PLAIN.APP", "plain"}, // by the name ignoring case, then the path
        {"/Applications/Utilities/Plain.app", std::nullopt},
        {"/Users/ann/Applications/Plain.app", std::nullopt},
        {"/Users/ann/Applications/HomeTarget.app", "home-target"},
        {"/Applications/HomeTarget.app", std::nullopt},
        {"/Users/ann/Applications/UserAppdir.app", "user-appdir"},
        {"/Applications/UserAppdir.app", std::nullopt},
        {"/Applications/Utilities/Utility.app", "utility"},
        {"/Applications/Utility.app", std::nullopt},
        {"/Applications/Absolute.app", "absolute"},
        {"/Users/ann/NamesOnly.app", "names-only"},
        {"/Applications/Shared.app", std::nullopt}, // two casks claim it
        {"/Applications/Unknown.app", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto owner = cask(MacPath(c.app), index, home);
        EXPECT_EQ(owner ? std::optional(owner->token) : std::nullopt, c.owner) << c.app;
    }

    EXPECT_EQ(expectedAppPaths(homeTarget, home),
              std::vector<MacPath>{"/Users/ann/Applications/HomeTarget.app"_mac});
    EXPECT_TRUE(expectedAppPaths(CaskInfo{}, home).empty());
}

TEST(HomebrewCaskIndex, VersionFoldersInNumericOrder)
{
    const struct
    {
        Strings folders;
        std::optional<std::string> installed;
    } cases[] = {
        {{"9.1", "10.0"}, "10.0"},
        {{"1.2.10", "1.2.9"}, "1.2.10"},
        {{"2.0", "latest"}, "latest"},
        {{"1.0", "01.0"}, "1.0"}, // equal as numbers: plain order decides
        {{"7"}, "7"},
        {{}, std::nullopt}, // only ".metadata" there
    };
    for (const auto& c : cases) {
        FakeMac mac;
        const MacPath folder = mac.mkdir("/opt/homebrew/Caskroom/app/.metadata"_mac);
        for (const auto& name : c.folders)
            mac.mkdir(kCaskroom.appendingPathComponent("app").appendingPathComponent(name));
        EXPECT_EQ(installedVersion(folder.deletingLastPathComponent()), c.installed)
            << ::testing::PrintToString(c.folders);
    }
    EXPECT_LT(compareVersionFolderNames("9.1", "10.0"), 0);
    EXPECT_GT(compareVersionFolderNames("1.0", "01.0"), 0);
    EXPECT_EQ(compareVersionFolderNames("1.0", "1.0"), 0);
}

TEST(HomebrewCaskIndex, BookkeepingOfOneCask)
{
    FakeMac mac;
    const MacPath folder = kCaskroom.appendingPathComponent("tool");

    // Nothing recorded: no record.
    addCaskFolder(mac, "tool", "9.1");
    addCaskFolder(mac, "tool", "10.0");
    EXPECT_FALSE(metadataCask(folder, "tool").has_value());

    // Bookkeeping of an older version only: it is used, with the installed version.
    addCaskFile(mac, "tool", "9.1", "20250101000000.000", "tool.json",
                caskJson("tool", R"(["Old.app"])"));
    auto info = metadataCask(folder, "tool");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->appNames, Strings{"Old.app"});
    EXPECT_EQ(info->version, "10.0");

    // Bookkeeping of the installed version wins, though "9.1" sorts after "10.0" as text and
    // its stamp is newer; of its stamps the greatest, and of one stamp's files the JSON one.
    addCaskFile(mac, "tool", "10.0", "20240101000000.000", "tool.json",
                caskJson("tool", R"(["Earlier.app"])"));
    addCaskFile(mac, "tool", "10.0", "20240301000000.000", "tool.json",
                caskJson("tool", R"(["Current.app"])", true, true));
    addCaskFile(mac, "tool", "10.0", "20240301000000.000", "tool.rb",
                "cask \"tool\" do\n  app \"Ruby.app\"\nend\n");
    info = metadataCask(folder, "tool");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->token, "tool");
    EXPECT_EQ(info->version, "10.0");
    EXPECT_EQ(info->appNames, Strings{"Current.app"});
    EXPECT_TRUE(info->hasZap);
    EXPECT_TRUE(info->usesInstallerPackage);
    EXPECT_FALSE(info->appdir.has_value());

    // The appdir comes from config.json; an unreadable one leaves it absent.
    mac.write(folder.appendingPathComponent(".metadata/config.json"),
              R"({"explicit":{"appdir":"~/Applications"},"default":{"appdir":"/Applications"}})");
    EXPECT_EQ(metadataCask(folder, "tool")->appdir, std::optional<std::string>("~/Applications"));
    mac.write(folder.appendingPathComponent(".metadata/config.json"), "{broken");
    EXPECT_FALSE(metadataCask(folder, "tool")->appdir.has_value());

    // A Ruby cask file when there is no JSON one; a newer but malformed JSON file gives no
    // record rather than an older one.
    addCaskFolder(mac, "rubyish", "3");
    addCaskFile(mac, "rubyish", "3", "20240101000000.000", "rubyish.rb",
                "cask \"rubyish\" do\n  app \"Rubyish.app\", target: \"~/Applications/R.app\"\n"
                "  zap trash: \"~/x\"\nend\n\xff");
    info = metadataCask(kCaskroom.appendingPathComponent("rubyish"), "rubyish");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->appTargets, Strings{"~/Applications/R.app"});
    EXPECT_EQ(info->appNames, Strings{"R.app"});
    EXPECT_EQ(info->version, "3");
    EXPECT_TRUE(info->hasZap);
    addCaskFile(mac, "rubyish", "3", "20240201000000.000", "rubyish.json", "[\"an array\"]");
    EXPECT_FALSE(metadataCask(kCaskroom.appendingPathComponent("rubyish"), "rubyish").has_value());
}

TEST(HomebrewCaskIndex, SignatureListsTheCaskroomAndItsVisibleEntries)
{
    FakeMac mac;
    addCaskFolder(mac, "firefox", "120.0");
    mac.write(kCaskroom.appendingPathComponent(".DS_Store"), "x");
    mac.write(kCaskroom.appendingPathComponent("notes"), "x");
    setModificationTime(mac, kCaskroom.appendingPathComponent("firefox"), {1600000000, 0});
    setModificationTime(mac, kCaskroom.appendingPathComponent("notes"), {1650000000, 250000000});
    setModificationTime(mac, kCaskroom, {1700000000, 500000000});
    EXPECT_EQ(caskroomSignature(kCaskroom),
              "/opt/homebrew/Caskroom|Caskroom:1700000000.5,firefox:1600000000.0,"
              "notes:1650000000.25");
    EXPECT_EQ(caskFolderNames(kCaskroom), Strings{"firefox"});

    // A new version folder changes the cask folder's time, and so the signature.
    const std::string before = caskroomSignature(kCaskroom);
    addCaskFolder(mac, "firefox", "121.0");
    EXPECT_NE(caskroomSignature(kCaskroom), before);

    EXPECT_EQ(caskroomSignature("/opt/homebrew/Missing"_mac), "/opt/homebrew/Missing|Missing:0.0");
    EXPECT_EQ(caskroomFor("/usr/local/bin/brew"_mac), MacPath("/usr/local/Caskroom"));
    EXPECT_EQ(caskroomFor("/opt/homebrew/bin/brew"_mac), MacPath("/opt/homebrew/Caskroom"));
}

TEST(HomebrewCaskIndex, IndexFromBookkeepingAloneRunsNoBrew)
{
    FakeMac mac;
    StandInBrew brew(mac);
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])", true));
    addJsonCask(mac, "suite", "2.0",
                caskJson("suite", R"(["Suite.app", {"target": "~/Applications/Suite.app"},
                                      "Tools/Helper.app"])",
                         false, true));
    addCaskFolder(mac, "vscode", "1.85.1");
    addCaskFile(mac, "vscode", "1.85.1", "20240101120000.000", "vscode.rb",
                "cask \"vscode\" do\n  app \"Visual Studio Code.app\"\nend\n");
    mac.write("/opt/homebrew/Caskroom/vscode/.metadata/config.json"_mac,
              R"({"default":{"appdir":"/Applications"},"explicit":{"appdir":"~/Apps"}})");

    const CaskIndex index = loadIndex(false).value();
    EXPECT_TRUE(brew.calls().empty());
    EXPECT_EQ(keys(index),
              (Strings{"Firefox.app", "Helper.app", "Suite.app", "Visual Studio Code.app"}));

    const CaskInfo& firefox = index.at("Firefox.app");
    EXPECT_EQ(firefox.token, "firefox");
    EXPECT_EQ(firefox.version, "120.0");
    EXPECT_TRUE(firefox.hasZap);
    EXPECT_FALSE(firefox.usesInstallerPackage);

    const CaskInfo& suite = index.at("Suite.app");
    EXPECT_EQ(index.at("Helper.app"), suite);
    EXPECT_EQ(suite.appTargets, (Strings{"~/Applications/Suite.app", "Helper.app"}));
    EXPECT_TRUE(suite.usesInstallerPackage);

    const CaskInfo& vscode = index.at("Visual Studio Code.app");
    EXPECT_EQ(vscode.appdir, std::optional<std::string>("~/Apps"));

    const MacPath home = mac.home();
    const auto ownerOf = [&](const MacPath& app) {
        const auto owner = cask(app, index, home);
        return owner ? owner->token : std::string("(none)");
    };
    EXPECT_EQ(ownerOf("/Applications/Firefox.app"_mac), "firefox");
    EXPECT_EQ(ownerOf(home.appendingPathComponent("Applications/Suite.app")), "suite");
    EXPECT_EQ(ownerOf("/Applications/Suite.app"_mac), "(none)");
    EXPECT_EQ(ownerOf("/Applications/Helper.app"_mac), "suite");
    EXPECT_EQ(ownerOf(home.appendingPathComponent("Apps/Visual Studio Code.app")), "vscode");
    EXPECT_EQ(ownerOf("/Applications/Visual Studio Code.app"_mac), "(none)");
}

TEST(HomebrewCaskIndex, BrewRunsOnceForMissingBookkeepingAndAgainOnlyAfterAChange)
{
    FakeMac mac;
    StandInBrew brew(mac);
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
    addJsonCask(mac, "mytool", "1.0", caskJson("mytool", R"(["Old Name.app"])"));
    addCaskFolder(mac, "bare", "3.1");
    brew.setOutput("info", infoOutput({
                               R"({"token":"bare","tap":"homebrew/cask","installed":"3.1",
                                   "artifacts":[{"app":["Bare.app"]}]})",
                               R"({"token":"mytool","full_token":"me/tap/mytool","tap":"me/tap",
                                   "installed":"1.0","artifacts":[{"app":["New Name.app"]}]})",
                           }));

    const CaskIndex first = loadIndex(false).value();
    EXPECT_EQ(brew.calls(), Strings{kInfoCall});
    // brew's record of mytool replaces the bookkeeping's (same short token).
    EXPECT_EQ(keys(first), (Strings{"Bare.app", "Firefox.app", "New Name.app"}));
    EXPECT_EQ(first.at("New Name.app").token, "me/tap/mytool");
    EXPECT_EQ(first.at("Bare.app").version, "3.1");

    // Nothing changed: the cache answers, brew does not run again.
    EXPECT_EQ(loadIndex(false).value(), first);
    EXPECT_EQ(brew.calls().size(), 1u);

    // A forced load reads everything again.
    EXPECT_EQ(loadIndex(true).value(), first);
    EXPECT_EQ(brew.calls().size(), 2u);

    // A change in the Caskroom (a newly installed cask) is seen at the next load.
    addJsonCask(mac, "newcomer", "1", caskJson("newcomer", R"(["Newcomer.app"])"));
    EXPECT_TRUE(loadIndex(false).value().contains("Newcomer.app"));
    EXPECT_EQ(brew.calls().size(), 3u);
}

TEST(HomebrewCaskIndex, FailedOrSlowBrewLeavesTheBookkeepingAlone)
{
    const struct
    {
        const char* mode;
        const char* stdout;
        int exitCode;
    } cases[] = {
        {"recorded", "Error: Homebrew is broken", 1},
        {"recorded", "{\"casks\":[{\"token\":\"bare\",\"artifacts\":[{\"app\":[\"Bare.app\"]}]}",
         0},
        {"hang", R"({"casks":[{"token":"bare","artifacts":[{"app":["Bare.app"]}]}]})", 0},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        StandInBrew brew(mac);
        addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
        addCaskFolder(mac, "bare", "1");
        brew.setMode("info", c.mode);
        brew.setOutput("info", c.stdout, "", c.exitCode);

        // A time-out a loaded machine's brew ends well within, but for the one that hangs (which
        // must have printed its listing before it passes).
        const auto timeout = std::string_view(c.mode) == "hang" ? 3s : 60s;
        EXPECT_EQ(keys(loadIndex(false, timeout).value()), Strings{"Firefox.app"})
            << c.mode << c.stdout;
        // The outcome is cached like a good one until the Caskroom changes.
        EXPECT_EQ(keys(loadIndex(false, timeout).value()), Strings{"Firefox.app"});
        EXPECT_EQ(brew.calls(), Strings{kInfoCall});
    }
}

TEST(HomebrewCaskIndex, AStopFailsTheLoadAndLeavesTheCacheAlone)
{
    FakeMac mac;
    StandInBrew brew(mac);
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
    addCaskFolder(mac, "bare", "3.1"); // no bookkeeping: brew runs
    brew.setMode("info", "hang");
    IndexCache::shared().store("before", {});

    // Stopped before it starts: no brew, no cache.
    std::stop_source stopped;
    stopped.request_stop();
    const auto early = loadIndex(true, kInfoTimeout, stopped.get_token());
    ASSERT_FALSE(early.has_value());
    EXPECT_EQ(early.error().code, veldo::ErrorCode::cancelled);
    EXPECT_TRUE(brew.calls().empty());

    // Stopped while brew runs: brew ends and the load fails at once.
    std::stop_source source;
    std::chrono::steady_clock::time_point requestedAt;
    std::thread stopper([&] {
        while (!brew.hanging("info"))
            std::this_thread::sleep_for(10ms);
        requestedAt = std::chrono::steady_clock::now();
        source.request_stop();
    });
    const auto stoppedLoad = loadIndex(true, kInfoTimeout, source.get_token());
    const auto returnedAt = std::chrono::steady_clock::now();
    stopper.join();
    ASSERT_FALSE(stoppedLoad.has_value());
    EXPECT_EQ(stoppedLoad.error().code, veldo::ErrorCode::cancelled);
    // Well before the runner's grace or drain wait (3 s each), with a margin a loaded machine
    // keeps.
    EXPECT_LT(returnedAt - requestedAt, 1s);
    EXPECT_EQ(IndexCache::shared().signature(), std::optional<std::string>("before"));
}

TEST(HomebrewCaskIndex, BrewInUsrLocalUsesItsOwnCaskroom)
{
    FakeMac mac;
    StandInBrew brew(mac, "/usr/local/bin/brew"_mac);
    const MacPath caskroom("/usr/local/Caskroom");
    addJsonCask(mac, "intel", "1", caskJson("intel", R"(["Intel.app"])"), caskroom);
    addJsonCask(mac, "apple", "1", caskJson("apple", R"(["Apple.app"])")); // not this brew's
    addCaskFolder(mac, "bare", "1", caskroom);
    brew.setOutput("info", infoOutput({R"({"token":"bare","artifacts":[{"app":["Bare.app"]}]})"}));

    EXPECT_EQ(keys(loadIndex(false).value()), (Strings{"Bare.app", "Intel.app"}));
    EXPECT_EQ(brew.calls(), Strings{kInfoCall});
    EXPECT_EQ(IndexCache::shared().signature().value_or("").substr(0, 20), "/usr/local/Caskroom|");
}

TEST(HomebrewCaskIndex, NoBrewGivesAnEmptyIndexAndKeepsTheCache)
{
    FakeMac mac;
    StandInBrew brew(mac);
    addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
    ASSERT_EQ(keys(loadIndex(false).value()), Strings{"Firefox.app"});
    const auto signature = IndexCache::shared().signature();
    ASSERT_TRUE(signature.has_value());

    ASSERT_TRUE(std::filesystem::remove(mac.host("/opt/homebrew/bin/brew"_mac)));
    EXPECT_TRUE(loadIndex(false).value().empty());
    EXPECT_TRUE(loadIndex(true).value().empty());
    EXPECT_EQ(IndexCache::shared().signature(), signature);
}

TEST(HomebrewCaskIndex, ConcurrentLoadsAgree)
{
    FakeMac mac;
    StandInBrew brew(mac);
    for (int i = 0; i < 20; ++i) {
        const std::string token = "cask" + std::to_string(i);
        addJsonCask(mac, token, "1", caskJson(token, "[\"App" + std::to_string(i) + ".app\"]"));
    }
    addCaskFolder(mac, "bare", "1");
    brew.setOutput("info", infoOutput({R"({"token":"bare","artifacts":[{"app":["Bare.app"]}]})"}));
    const CaskIndex expected = loadIndex(true).value();
    ASSERT_EQ(expected.size(), 21u);

    constexpr int kThreads = 8;
    std::atomic<int> mismatches{0};
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 10; ++round) {
                if (t == 0 && round % 3 == 0)
                    IndexCache::shared().invalidate();
                if (loadIndex(t == 1 && round % 4 == 0).value() != expected)
                    mismatches.fetch_add(1);
            }
        });
    }
    threads.clear();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(loadIndex(false).value(), expected);
    EXPECT_TRUE(IndexCache::shared().signature().has_value());
}

TEST(HomebrewCaskIndex, CacheIsEmptiedWhenTheMacRootChanges)
{
    {
        FakeMac mac;
        StandInBrew brew(mac);
        addJsonCask(mac, "firefox", "120.0", caskJson("firefox", R"(["Firefox.app"])"));
        ASSERT_FALSE(loadIndex(false).value().empty());
        ASSERT_TRUE(IndexCache::shared().signature().has_value());
    }
    EXPECT_FALSE(IndexCache::shared().signature().has_value());
    EXPECT_EQ(IndexCache::shared().indexFor(""), std::nullopt);
}
