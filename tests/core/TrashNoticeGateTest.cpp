// The Trash-notice gate's timeline, keys and Trash location rules.
#include "app/core/TrashNoticeGate.h"

#include <gtest/gtest.h>

#include "app/core/AppCopyLocator.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using namespace std::chrono_literals;
using namespace veldo::testsupport::literals;

namespace {

const MacPath kTrash("/Users/u/.Trash");
const Date kT0 = Date(std::chrono::seconds(1'800'000'000));

WatchedAppBundle foo(std::string trash = "/Users/u/.Trash/Foo.app")
{
    return WatchedAppBundle{MacPath(trash), MacPath("/Applications/Foo.app"), "com.Foo", "Foo",
                            "1"};
}

TrashNoticeGate gate()
{
    TrashNoticeGate g;
    g.ownBundleID = "orbelkan.Veldo";
    return g;
}

} // namespace

TEST(TrashNoticeGate, OwnMovesAreNotOffered)
{
    auto g = gate();
    g.expect({"/Applications/Foo.app"_mac}, {"com.foo"}, kT0);
    EXPECT_FALSE(g.decide(foo(), false, kTrash, kT0 + 10s));
    // Path alone also covers it.
    auto byPath = gate();
    byPath.expect({"/applications/foo.app"_mac}, {}, kT0);
    EXPECT_FALSE(byPath.decide(foo(), false, kTrash, kT0 + 10s));
    // After the lifetime the same app dragged in Finder is offered.
    EXPECT_TRUE(g.decide(foo(), false, kTrash, kT0 + 181s));
}

TEST(TrashNoticeGate, OwnBundleAndMissingIdentifier)
{
    auto g = gate();
    WatchedAppBundle own{MacPath("/Users/u/.Trash/V.app"), std::nullopt, "orbelkan.veldo", "V", {}};
    WatchedAppBundle helper{
        MacPath("/Users/u/.Trash/H.app"), std::nullopt, "orbelkan.Veldo.Helper", "H", {}};
    WatchedAppBundle lookalike{
        MacPath("/Users/u/.Trash/L.app"), std::nullopt, "orbelkan.VeldoX", "L", {}};
    WatchedAppBundle anonymous{
        MacPath("/Users/u/.Trash/A.app"), std::nullopt, std::nullopt, "A", {}};
    WatchedAppBundle empty{MacPath("/Users/u/.Trash/E.app"), std::nullopt, "", "E", {}};
    EXPECT_FALSE(g.decide(own, false, kTrash, kT0));
    EXPECT_FALSE(g.decide(helper, false, kTrash, kT0));
    EXPECT_TRUE(g.decide(lookalike, false, kTrash, kT0));
    EXPECT_FALSE(g.decide(anonymous, false, kTrash, kT0));
    EXPECT_FALSE(g.decide(empty, false, kTrash, kT0));
}

TEST(TrashNoticeGate, RepeatIntervalAndKeys)
{
    auto g = gate();
    EXPECT_TRUE(g.decide(foo(), false, kTrash, kT0));
    EXPECT_EQ(g.offered.count("id:com.foo"), 1u);
    EXPECT_FALSE(g.decide(foo(), false, kTrash, kT0 + 599s));
    EXPECT_TRUE(g.decide(foo(), false, kTrash, kT0 + 1199s));
    EXPECT_EQ(TrashNoticeGate::offerKey({std::nullopt, std::nullopt, std::nullopt, "My App", {}}),
              "name:my app");
}

TEST(TrashNoticeGate, NestedItemsWhileWorking)
{
    const WatchedAppBundle nested{
        MacPath("/Users/u/.Trash/Folder/Bar.app"), std::nullopt, "com.bar", "Bar", {}};
    auto g = gate();
    EXPECT_FALSE(g.decide(nested, true, kTrash, kT0));
    g.expect({"/Users/u/Library/Other"_mac}, {}, kT0);
    EXPECT_FALSE(g.decide(nested, false, kTrash, kT0 + 100s));
    EXPECT_TRUE(g.decide(nested, false, kTrash, kT0 + 200s));
    // At the top level a running removal does not matter.
    auto g2 = gate();
    EXPECT_TRUE(g2.decide(foo(), true, kTrash, kT0));
}

TEST(TrashNoticeGate, RecordedFolderCoversOnlyItsChildren)
{
    auto g = gate();
    g.expect({"/Users/u/Library/Foo"_mac}, {}, kT0);
    WatchedAppBundle inside{MacPath("/Users/u/.Trash/Bar.app"),
                            MacPath("/Users/u/Library/Foo/Bar.app"),
                            "com.bar",
                            "Bar",
                            {}};
    WatchedAppBundle beside{MacPath("/Users/u/.Trash/FooBar.app"),
                            MacPath("/Users/u/Library/FooBar.app"),
                            "com.foobar",
                            "FooBar",
                            {}};
    EXPECT_FALSE(g.decide(inside, false, kTrash, kT0 + 1s));
    EXPECT_TRUE(g.decide(beside, false, kTrash, kT0 + 1s));
}

TEST(TrashLocation, NestedAndInTrash)
{
    const std::tuple<const char*, bool> nested[] = {
        {"/Users/u/.Trash/Foo.app", false},
        {"/Users/u/.Trash/Folder/Foo.app", true},
        {"/USERS/U/.TRASH/Folder/Foo.app", true},
        {"/Volumes/Disk/.Trashes/501/Foo.app", false},
        {"/Volumes/Disk/.Trashes/501/Folder/Foo.app", true},
        {"/Applications/Foo.app", false},
    };
    for (const auto& [path, expected] : nested)
        EXPECT_EQ(TrashNoticeGate::isNestedInTrash(MacPath(path), kTrash), expected) << path;

    const MacPath home("/Users/u");
    const std::tuple<const char*, bool> inTrash[] = {
        {"/Users/u/.Trash/Foo.app", true},  {"/Users/u/.Trash", false},
        {"/Users/u/.trash/Foo.app", false}, {"/Volumes/Disk/.Trashes/501/Foo.app", true},
        {"/Volumes/Disk/Foo.app", false},   {"/Users/v/.Trash/Foo.app", false},
    };
    for (const auto& [path, expected] : inTrash)
        EXPECT_EQ(isInTrash(MacPath(path), home), expected) << path;
}

TEST(AppCopyLocator, UsableCopies)
{
    veldo::testsupport::FakeMac mac;
    const MacPath home = mac.home();
    mac.mkdir("/Applications/Foo.app"_mac);
    mac.mkdir(home.appendingPathComponent(".Trash/Foo.app"));
    mac.mkdir("/Volumes/Disk/.Trashes/501/Foo.app"_mac);
    mac.mkdir("/Volumes/Disk/Applications/Foo.app"_mac);
    EXPECT_TRUE(AppCopyLocator::isUsableCopy("/Volumes/Disk/Applications/Foo.app"_mac, {}, home));
    EXPECT_FALSE(AppCopyLocator::isUsableCopy("/Applications/Foo.app"_mac,
                                              {"/applications/FOO.app"_mac}, home));
    EXPECT_FALSE(
        AppCopyLocator::isUsableCopy(home.appendingPathComponent(".Trash/Foo.app"), {}, home));
    EXPECT_FALSE(AppCopyLocator::isUsableCopy("/Volumes/Disk/.Trashes/501/Foo.app"_mac, {}, home));
    EXPECT_FALSE(AppCopyLocator::isUsableCopy("/Applications/Deleted.app"_mac, {}, home));
}

TEST(TrashNoticeGate, AppRecordForANotice)
{
    veldo::testsupport::FakeMac mac;
    const MacPath trashed = mac.home().appendingPathComponent(".Trash/Foo.app");
    mac.makeApp(trashed, veldo::platform::PlistValue::Dictionary{{"CFBundleIdentifier", "com.foo"},
                                                                 {"CFBundleName", "Foo Loaded"}});
    auto loaded = TrashNoticeGate::installedApp(
        WatchedAppBundle{trashed, MacPath("/Applications/Foo.app"), "com.foo", "Foo", "1"});
    EXPECT_EQ(loaded.url, trashed);
    EXPECT_EQ(loaded.name, "Foo Loaded");

    auto vanished = TrashNoticeGate::installedApp(
        WatchedAppBundle{std::nullopt, std::nullopt, "com.gone", "Gone", "2"});
    EXPECT_EQ(vanished.url, MacPath("/Applications/Gone.app"));
    EXPECT_EQ(vanished.bundleID, "com.gone");
    EXPECT_EQ(vanished.version, "2");
    EXPECT_EQ(vanished.sizeBytes, 0);
    EXPECT_FALSE(vanished.isSystemApp);
    EXPECT_TRUE(vanished.alternateNames.empty());

    auto original = TrashNoticeGate::installedApp(
        WatchedAppBundle{std::nullopt, MacPath("/Applications/Old.app"), std::nullopt, "Old", {}});
    EXPECT_EQ(original.url, MacPath("/Applications/Old.app"));
}

TEST(AppCopyLocator, SearchFindsCopiesWithinItsDeadline)
{
    veldo::testsupport::FakeMac mac;
    using D = veldo::platform::PlistValue::Dictionary;
    mac.makeApp("/Applications/Foo.app"_mac, D{{"CFBundleIdentifier", "com.foo"}});
    mac.makeApp("/Volumes/Disk/Applications/Tools/Foo Copy.app"_mac,
                D{{"CFBundleIdentifier", "COM.FOO"}});
    mac.makeApp("/Applications/Bar.app"_mac, D{{"CFBundleIdentifier", "com.bar"}});
    EXPECT_EQ(AppCopyLocator::spotlightCopies("com.foo", 3s),
              (std::vector<MacPath>{"/Applications/Foo.app"_mac,
                                    "/Volumes/Disk/Applications/Tools/Foo Copy.app"_mac}));
    EXPECT_TRUE(AppCopyLocator::spotlightCopies("com.none", 3s).empty());
    // A deadline already past gathers nothing; a stopped search likewise.
    EXPECT_TRUE(AppCopyLocator::spotlightCopies("com.foo", 0ms).empty());
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_TRUE(AppCopyLocator::spotlightCopies("com.foo", 3s, stopped.get_token()).empty());
}
