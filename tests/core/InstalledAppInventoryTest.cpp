// The installed-app inventory over a fake Mac: folders, links, dictionaries, dates and order.
#include "app/core/InstalledAppInventory.h"

#include <algorithm>
#include <chrono>
#include <stop_token>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "tests/support/FakeLastUsedDates.h"
#include "tests/support/FakeMac.h"
#include "tests/support/FakeRunningApplications.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using veldo::platform::ManualClock;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeLastUsedDates;
using veldo::testsupport::FakeMac;
using veldo::testsupport::FakeRunningApplications;
using Dict = PlistValue::Dictionary;
using namespace veldo::testsupport::literals;

namespace {

struct Inventory
{
    FakeMac mac;
    FakeRunningApplications running;
    FakeLastUsedDates lastUsed;
    ManualClock clock;

    InventorySources sources() const { return {&running, &lastUsed, &clock}; }

    std::vector<ScopedAccessRoot> roots() const
    {
        return {
            {AccessRootKind::applications, "/Applications"_mac},
            {AccessRootKind::userApplications, mac.home().appendingPathComponent("Applications")},
            {AccessRootKind::userLibrary, mac.home().appendingPathComponent("Library")},
            {AccessRootKind::systemLibrary, "/Library"_mac}};
    }

    std::vector<InstalledApp> scan(bool includeSystemApps = false) const
    {
        return InstalledAppInventory::scan(roots(), includeSystemApps, sources()).value();
    }

    MacPath app(const MacPath& path, const char* name) const
    {
        return mac.makeApp(path, Dict{{"CFBundleName", name}});
    }
};

std::vector<std::string> urls(const std::vector<InstalledApp>& apps)
{
    std::vector<std::string> out;
    for (const auto& a : apps)
        out.push_back(a.url.path());
    std::sort(out.begin(), out.end());
    return out;
}

const InstalledApp* byName(const std::vector<InstalledApp>& apps, const std::string& name)
{
    auto it = std::find_if(apps.begin(), apps.end(), [&](const auto& a) { return a.name == name; });
    return it == apps.end() ? nullptr : &*it;
}

} // namespace

TEST(InstalledAppInventory, SystemAppsOnlyWhenAsked)
{
    Inventory inv;
    inv.app("/Applications/Editor.app"_mac, "Editor");
    inv.app("/System/Applications/Calculator.app"_mac, "Calculator");
    inv.app("/System/Applications/Utilities/Console.app"_mac, "Console");

    EXPECT_EQ(urls(inv.scan(false)), std::vector<std::string>{"/Applications/Editor.app"});

    const auto all = inv.scan(true);
    EXPECT_EQ(urls(all), (std::vector<std::string>{"/Applications/Editor.app",
                                                   "/System/Applications/Calculator.app",
                                                   "/System/Applications/Utilities/Console.app"}));
    EXPECT_FALSE(byName(all, "Editor")->isSystemApp);
    EXPECT_TRUE(byName(all, "Calculator")->isSystemApp);
    EXPECT_TRUE(byName(all, "Console")->isSystemApp);
    for (const auto& a : all)
        EXPECT_EQ(a.sizeBytes, 0);
}

TEST(InstalledAppInventory, SearchesOneLevelOfPlainFoldersOnly)
{
    Inventory inv;
    inv.app("/Applications/Games/Chess.app"_mac, "Chess");
    inv.app("/Applications/Games/Old/Solitaire.app"_mac, "Solitaire");
    // Capital extension: no candidate, and as a package not descended into.
    inv.app("/Applications/Shout.APP"_mac, "Shout");
    inv.app("/Applications/Shout.APP/Inner.app"_mac, "Inner");
    inv.app("/Applications/Kit.framework/Bundled.app"_mac, "Bundled");
    inv.app("/Applications/Host.app/Contents/Helper.app"_mac, "Helper");
    inv.app("/Applications/.Hidden.app"_mac, "Hidden");
    inv.app("/Applications/.stash/Stashed.app"_mac, "Stashed");
    inv.app("/Applications/Games/.Secret.app"_mac, "Secret");
    inv.app("/Users/Shared/Stuff/Linked.app"_mac, "Linked");
    inv.mac.symlink("/Applications/LinkedFolder"_mac, "/Users/Shared/Stuff");
    inv.mac.write("/Applications/Notes.txt"_mac, "not an app");

    EXPECT_EQ(urls(inv.scan()), (std::vector<std::string>{"/Applications/Games/Chess.app",
                                                          "/Applications/Host.app"}));
}

TEST(InstalledAppInventory, LinkedBundlesAreListedOnceWithTheRightPath)
{
    Inventory inv;
    const MacPath userApps = inv.mac.home().appendingPathComponent("Applications");
    // The same app in both folders, the first folder holding the link.
    inv.app(userApps.appendingPathComponent("Twin.app"), "Twin");
    inv.mac.symlink("/Applications/Twin.app"_mac,
                    userApps.appendingPathComponent("Twin.app").path());
    // A link to a build folder outside every application folder stands as the link.
    inv.app("/Users/Shared/Build/Dev.app"_mac, "Dev");
    inv.mac.symlink("/Applications/Dev.app"_mac, "/Users/Shared/Build/Dev.app");
    inv.mac.symlink(userApps.appendingPathComponent("Dev Again.app"),
                    "/Users/Shared/Build/Dev.app");
    // A link to an app in a subfolder of an application folder stands for its target.
    inv.app("/Applications/Tools/Short.app"_mac, "Short");
    inv.mac.symlink("/Applications/Short.app"_mac, "Tools/Short.app");
    // A link to something that is no app, or to nothing, stays a link.
    inv.mac.symlink("/Applications/Broken.app"_mac, "/Applications/Nowhere.app");

    const auto apps = inv.scan();
    EXPECT_EQ(urls(apps),
              (std::vector<std::string>{"/Applications/Broken.app", "/Applications/Dev.app",
                                        "/Applications/Tools/Short.app",
                                        userApps.appendingPathComponent("Twin.app").path()}));

    // With the user's folder first, the same bundles win from there.
    auto roots = inv.roots();
    std::swap(roots[0], roots[1]);
    const auto swapped = InstalledAppInventory::scan(roots, false, inv.sources()).value();
    EXPECT_EQ(urls(swapped),
              (std::vector<std::string>{"/Applications/Broken.app", "/Applications/Tools/Short.app",
                                        userApps.appendingPathComponent("Dev Again.app").path(),
                                        userApps.appendingPathComponent("Twin.app").path()}));
}

TEST(InstalledAppInventory, ReadsNamesVersionsAndIdentifiers)
{
    Inventory inv;
    struct Case
    {
        const char* bundle;
        Dict info;
        std::string name;
        std::optional<std::string> version;
        std::optional<std::string> bundleID;
        std::vector<std::string> alternateNames;
    };
    const std::vector<Case> cases = {
        {"Foo.app",
         Dict{{"CFBundleName", "Foo"}, {"CFBundleDisplayName", "Foo Pro"}},
         "Foo Pro",
         std::nullopt,
         std::nullopt,
         {"Foo"}},
        {"Blank.app",
         Dict{{"CFBundleDisplayName", "  \t "}, {"CFBundleName", "Blanket"}},
         "Blanket",
         std::nullopt,
         std::nullopt,
         {"Blank"}},
        {"Numbered.app", Dict{{"CFBundleVersion", 42}}, "Numbered", "42", std::nullopt, {}},
        {"Real.app", Dict{{"CFBundleVersion", 2.5}}, "Real", "2.5", std::nullopt, {}},
        {"Short.app",
         Dict{{"CFBundleShortVersionString", " 3.1 "}, {"CFBundleVersion", "310"}},
         "Short",
         "3.1",
         std::nullopt,
         {}},
        {"Build.app",
         Dict{{"CFBundleShortVersionString", ""}, {"CFBundleVersion", "\n77\n"}},
         "Build",
         "77",
         std::nullopt,
         {}},
        {"Ident.app",
         Dict{{"CFBundleIdentifier", "\xC2\xA0"
                                     "com.example.ident\n"}},
         "Ident",
         std::nullopt,
         "com.example.ident",
         {}},
        {"NoText.app",
         Dict{{"CFBundleIdentifier", 7}, {"CFBundleName", true}},
         "NoText",
         std::nullopt,
         std::nullopt,
         {}},
        {"Three.app",
         Dict{{"CFBundleName", "Bar"}, {"CFBundleDisplayName", "Baz"}},
         "Baz",
         std::nullopt,
         std::nullopt,
         {"Three", "Bar"}},
        {"Same.app",
         Dict{{"CFBundleName", "Other"}, {"CFBundleDisplayName", "Other"}},
         "Other",
         std::nullopt,
         std::nullopt,
         {"Same"}},
    };
    for (const auto& c : cases)
        inv.mac.makeApp(MacPath("/Applications").appendingPathComponent(c.bundle), c.info);
    // No dictionary at all: named after the file.
    inv.mac.mkdir("/Applications/Bare.app/Contents/MacOS"_mac);
    // A dictionary only in the wrapper, and one whose Contents list is not a dictionary.
    inv.mac.writePlist("/Applications/Wrapped.app/WrappedBundle/Info.plist"_mac,
                       Dict{{"CFBundleDisplayName", "Wrapped Game"}});
    inv.mac.writePlist("/Applications/Listy.app/Contents/Info.plist"_mac,
                       PlistValue(PlistValue::Array{"x"}));
    inv.mac.writePlist("/Applications/Listy.app/WrappedBundle/Info.plist"_mac,
                       Dict{{"CFBundleIdentifier", "com.example.listy"}}, true);

    const auto apps = inv.scan();
    ASSERT_EQ(apps.size(), cases.size() + 3);
    for (const auto& c : cases) {
        const auto url = "/Applications/" + std::string(c.bundle);
        auto it = std::find_if(apps.begin(), apps.end(),
                               [&](const auto& a) { return a.url.path() == url; });
        ASSERT_NE(it, apps.end()) << url;
        EXPECT_EQ(it->name, c.name) << url;
        EXPECT_EQ(it->version, c.version) << url;
        EXPECT_EQ(it->bundleID, c.bundleID) << url;
        EXPECT_EQ(it->alternateNames, c.alternateNames) << url;
    }
    const InstalledApp* bare = byName(apps, "Bare");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->bundleID, std::nullopt);
    EXPECT_EQ(bare->version, std::nullopt);
    EXPECT_TRUE(bare->alternateNames.empty());
    const InstalledApp* wrapped = byName(apps, "Wrapped Game");
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->alternateNames, std::vector<std::string>{"Wrapped"});
    const InstalledApp* listy = byName(apps, "Listy");
    ASSERT_TRUE(listy);
    EXPECT_EQ(listy->bundleID, "com.example.listy");
}

TEST(InstalledAppInventory, RunningAppsAreUsedNowOthersAskTheDateSource)
{
    Inventory inv;
    inv.app("/Users/Shared/Build/Live.app"_mac, "Live");
    inv.mac.symlink("/Applications/Live.app"_mac, "/Users/Shared/Build/Live.app");
    inv.app("/Applications/Idle.app"_mac, "Idle");
    inv.app("/Applications/Never.app"_mac, "Never");

    const auto idleDate = ManualClock::TimePoint(std::chrono::seconds(1'600'000'000));
    inv.lastUsed.dates["/Applications/Idle.app"] = idleDate;
    // The date source is not asked about an app that runs.
    inv.lastUsed.dates["/Applications/Live.app"] = idleDate;
    veldo::platform::RunningApplication live;
    live.processIdentifier = 4242;
    live.bundleURL = MacPath("/Users/Shared/Build/Live.app");
    inv.running.addApplication(live);
    inv.clock.set(ManualClock::TimePoint(std::chrono::seconds(1'700'000'123)));

    const auto apps = inv.scan();
    EXPECT_EQ(byName(apps, "Live")->lastUsed, inv.clock.now());
    EXPECT_EQ(byName(apps, "Idle")->lastUsed, idleDate);
    EXPECT_EQ(byName(apps, "Never")->lastUsed, std::nullopt);
}

TEST(InstalledAppInventory, SortsByLocalisedNameIgnoringCaseAndStably)
{
    auto named = [](const char* name, const char* url) {
        InstalledApp a;
        a.name = name;
        a.url = MacPath(url);
        return a;
    };
    std::vector<InstalledApp> apps = {named("beta", "/1"),
                                      named("Alpha", "/2"),
                                      named("alpha", "/3"),
                                      named("\xC3\x89"
                                            "clair",
                                            "/4"),
                                      named("Eclair", "/5"),
                                      named("zulu", "/6")};
    InstalledAppInventory::sortByName(apps);
    std::vector<std::string> order;
    for (const auto& a : apps)
        order.push_back(a.url.path());
    // Alpha and alpha compare equal and keep their order; the accent still counts.
    EXPECT_EQ(order, (std::vector<std::string>{"/2", "/3", "/1", "/5", "/4", "/6"}));

    // A scan comes back in that order too.
    Inventory inv;
    inv.app("/Applications/b.app"_mac, "beta");
    inv.app("/Applications/Tools/Z.app"_mac, "Zed");
    inv.app("/Applications/a.app"_mac, "Alpha");
    const auto scanned = inv.scan();
    ASSERT_EQ(scanned.size(), 3u);
    EXPECT_EQ(scanned[0].name, "Alpha");
    EXPECT_EQ(scanned[1].name, "beta");
    EXPECT_EQ(scanned[2].name, "Zed");
}

TEST(InstalledAppInventory, AStopEndsTheScanBeforeTheNextBundle)
{
    Inventory inv;
    for (const char* name : {"A", "B", "C", "D"})
        inv.app(MacPath(std::string("/Applications/") + name + ".app"), name);

    // The first bundle read requests the stop; no other bundle is read after it.
    struct StoppingDates final : veldo::platform::LastUsedDateSource
    {
        std::stop_source* source = nullptr;
        mutable int asked = 0;
        std::optional<TimePoint> lastUsedDate(const MacPath&) const override
        {
            ++asked;
            source->request_stop();
            return std::nullopt;
        }
    };
    std::stop_source source;
    StoppingDates dates;
    dates.source = &source;
    InventorySources sources = inv.sources();
    sources.lastUsed = &dates;
    const auto stopped =
        InstalledAppInventory::scan(inv.roots(), true, sources, source.get_token());
    ASSERT_FALSE(stopped.has_value());
    EXPECT_EQ(stopped.error().code, veldo::ErrorCode::cancelled);
    EXPECT_EQ(dates.asked, 1);

    std::stop_source never;
    EXPECT_EQ(InstalledAppInventory::scan(inv.roots(), false, inv.sources(), never.get_token())
                  .value()
                  .size(),
              4u);
}

TEST(InstalledAppInventory, LoadsOneBundle)
{
    Inventory inv;
    inv.mac.makeApp(
        "/Users/Shared/Drop/Dropped.app"_mac,
        Dict{{"CFBundleIdentifier", "com.example.dropped"}, {"CFBundleName", "Dropped"}});
    inv.app("/Users/Shared/Drop/Caps.APP"_mac, "Caps");
    inv.app("/System/Applications/Maps.app"_mac, "Maps");
    // The link rule does not apply to a single load.
    inv.app("/Applications/Tools/Real.app"_mac, "Real");
    inv.mac.symlink("/Users/Shared/Drop/Alias.app"_mac, "/Applications/Tools/Real.app");

    auto dropped = InstalledAppInventory::load("/Users/Shared/Drop/Dropped.app"_mac, inv.sources());
    ASSERT_TRUE(dropped);
    EXPECT_EQ(dropped->name, "Dropped");
    EXPECT_EQ(dropped->bundleID, "com.example.dropped");
    EXPECT_FALSE(dropped->isSystemApp);

    EXPECT_EQ(InstalledAppInventory::load("/Users/Shared/Drop/Caps.APP"_mac, inv.sources()),
              std::nullopt);
    EXPECT_EQ(InstalledAppInventory::load("/Users/Shared/Drop/Missing.app"_mac, inv.sources()),
              std::nullopt);
    EXPECT_EQ(InstalledAppInventory::load("/Users/Shared/Drop"_mac, inv.sources()), std::nullopt);

    auto maps = InstalledAppInventory::load("/System/Applications/./Maps.app"_mac, inv.sources());
    ASSERT_TRUE(maps);
    EXPECT_TRUE(maps->isSystemApp);

    auto alias = InstalledAppInventory::load("/Users/Shared/Drop/Alias.app"_mac, inv.sources());
    ASSERT_TRUE(alias);
    EXPECT_EQ(alias->url, MacPath("/Users/Shared/Drop/Alias.app"));
    EXPECT_EQ(alias->name, "Real");
}
