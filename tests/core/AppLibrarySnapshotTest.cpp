// Snapshots of app folders and the Trash, and the events their comparison gives.
#include "app/core/AppLibrarySnapshot.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/core/AppLibraryWatcher.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;
using W = AppLibraryWatcher;
using namespace veldo::testsupport::literals;

namespace {

W::Entry entry(std::optional<std::string> id, std::string name, std::optional<std::string> v = "1")
{
    return W::Entry{std::move(id), std::move(name), std::move(v)};
}

W::Event moved(std::string trash, std::optional<std::string> original, const W::Entry& e)
{
    return W::AppMovedToTrash{WatchedAppBundle{
        MacPath(trash), original ? std::optional<MacPath>(*original) : std::nullopt, e.bundleID,
        e.name, e.version}};
}

W::Event removed(std::string original, const W::Entry& e)
{
    return W::AppRemoved{
        WatchedAppBundle{std::nullopt, MacPath(original), e.bundleID, e.name, e.version}};
}

} // namespace

TEST(AppLibraryDiff, Cases)
{
    const auto foo = entry("com.foo", "Foo");
    const auto bar = entry("com.bar", "Bar");
    const auto noId = entry(std::nullopt, "Plain");
    struct Case
    {
        const char* name;
        W::Snapshot oldApps, newApps, oldTrash, newTrash;
        std::vector<W::Event> expected;
    };
    const Case cases[] = {
        {"trashed from an app folder",
         {{"/Applications/Foo.app", foo}},
         {},
         {},
         {{"/Users/u/.Trash/Foo.app", foo}},
         {W::AppsChanged{}, moved("/Users/u/.Trash/Foo.app", "/Applications/Foo.app", foo)}},
        {"renamed in the Trash, paired by identifier",
         {{"/Applications/Foo.app", foo}},
         {},
         {},
         {{"/Users/u/.Trash/Foo 2.app", entry("COM.FOO", "Other")}},
         {W::AppsChanged{},
          moved("/Users/u/.Trash/Foo 2.app", "/Applications/Foo.app", entry("COM.FOO", "Other"))}},
        {"deleted outright",
         {{"/Applications/Foo.app", foo}},
         {},
         {},
         {},
         {W::AppsChanged{}, removed("/Applications/Foo.app", foo)}},
        {"trashed from an unwatched folder",
         {},
         {},
         {},
         {{"/Users/u/.Trash/Foo.app", foo}},
         {moved("/Users/u/.Trash/Foo.app", std::nullopt, foo)}},
        {"another copy still installed",
         {{"/Applications/Foo.app", foo}, {"/Users/u/Applications/Foo.app", foo}},
         {{"/Users/u/Applications/Foo.app", foo}},
         {},
         {{"/Users/u/.Trash/Foo.app", foo}},
         {W::AppsChanged{}}},
        {"two arrivals for one removal",
         {{"/Applications/Foo.app", foo}},
         {},
         {},
         {{"/Users/u/.Trash/A/Foo.app", foo}, {"/Users/u/.Trash/B/Foo.app", foo}},
         {W::AppsChanged{}, moved("/Users/u/.Trash/A/Foo.app", "/Applications/Foo.app", foo),
          moved("/Users/u/.Trash/B/Foo.app", std::nullopt, foo)}},
        {"version changed in place",
         {{"/Applications/Foo.app", foo}},
         {{"/Applications/Foo.app", entry("com.foo", "Foo", "2")}},
         {},
         {},
         {W::AppsChanged{}}},
        {"names pair when an identifier is missing",
         {{"/Applications/Plain.app", noId}, {"/Applications/Bar.app", bar}},
         {{"/Applications/Bar.app", bar}},
         {},
         {{"/Users/u/.Trash/Plain.app", entry("x.y", "Plain")}},
         {W::AppsChanged{},
          moved("/Users/u/.Trash/Plain.app", "/Applications/Plain.app", entry("x.y", "Plain"))}},
        {"nothing changed",
         {{"/Applications/Foo.app", foo}},
         {{"/Applications/Foo.app", foo}},
         {{"/Users/u/.Trash/Bar.app", bar}},
         {{"/Users/u/.Trash/Bar.app", bar}},
         {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppLibrarySnapshot::diff(c.oldApps, c.newApps, c.oldTrash, c.newTrash),
                  c.expected)
            << c.name;
}

TEST(AppLibrarySnapshot, ListsBundlesOneLevelDeep)
{
    FakeMac mac;
    mac.makeApp("/Applications/Foo.app"_mac,
                PlistValue::Dictionary{{"CFBundleIdentifier", "com.foo"},
                                       {"CFBundleName", "Foo"},
                                       {"CFBundleVersion", "7"}});
    mac.makeApp("/Applications/Utilities/Tool.app"_mac,
                PlistValue::Dictionary{{"CFBundleDisplayName", "   "},
                                       {"CFBundleName", "Tooly"},
                                       {"CFBundleShortVersionString", " 1.2 "}});
    mac.mkdir("/Applications/Deep/Deeper/Hidden.app"_mac);
    mac.mkdir("/Applications/.Secret.app"_mac);
    mac.mkdir("/Applications/Kit.framework/Inner.app"_mac);
    mac.mkdir("/Applications/Caps.APP"_mac);
    mac.symlink("/Applications/Linked"_mac, "/Applications/Utilities");
    mac.mkdir("/Applications/Wrapped.app/WrappedBundle"_mac);
    mac.writePlist("/Applications/Wrapped.app/WrappedBundle/Info.plist"_mac,
                   PlistValue::Dictionary{{"CFBundleIdentifier", "com.wrapped"}});
    mac.write("/Applications/Broken.app/Contents/Info.plist"_mac, "garbage");

    auto snapshot = AppLibrarySnapshot::snapshotApps({"/Applications"_mac, "/Missing"_mac});
    std::vector<std::string> keys;
    for (const auto& [k, v] : snapshot)
        keys.push_back(k);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"/Applications/Broken.app", "/Applications/Caps.APP",
                                        "/Applications/Foo.app", "/Applications/Utilities/Tool.app",
                                        "/Applications/Wrapped.app"}));
    EXPECT_EQ(snapshot["/Applications/Foo.app"], entry("com.foo", "Foo", "7"));
    EXPECT_EQ(snapshot["/Applications/Utilities/Tool.app"], entry(std::nullopt, "Tooly", "1.2"));
    EXPECT_EQ(snapshot["/Applications/Wrapped.app"], entry("com.wrapped", "Wrapped", std::nullopt));
    EXPECT_EQ(snapshot["/Applications/Broken.app"], entry(std::nullopt, "Broken", std::nullopt));
}

TEST(AppLibrarySnapshot, TrashReadability)
{
    FakeMac mac;
    const MacPath trash = mac.home().appendingPathComponent(".Trash");
    mac.mkdir(trash.appendingPathComponent("Foo.app"));
    auto [snap, readable] = AppLibrarySnapshot::snapshotTrash(trash);
    EXPECT_TRUE(readable);
    EXPECT_EQ(snap.size(), 1u);

    auto [missing, missingReadable] =
        AppLibrarySnapshot::snapshotTrash("/Users/nobody-here/.Trash"_mac);
    EXPECT_TRUE(missing.empty());
    EXPECT_TRUE(missingReadable);

    ::chmod(mac.host(trash).c_str(), 0700);
    ::chmod(mac.host(mac.home()).c_str(), 0755);
    ::chmod(mac.host("/Users"_mac).c_str(), 0755);
    // Listing is refused to another user: empty and unreadable.
    int rc = veldo::testsupport::runUnprivileged([&] {
        auto [s, r] = AppLibrarySnapshot::snapshotTrash(trash);
        return (s.empty() && !r) ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
}

TEST(AppLibrarySnapshot, InfoStringTrimsEveryWhiteSpaceAndLineBreak)
{
    // Tab, line breaks, every space separator (Zs), and the line and paragraph separators.
    const std::vector<std::string> blanks = {"\t",           "\n",           "\v",
                                             "\f",           "\r",           " ",
                                             "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80",
                                             "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
                                             "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
                                             "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
                                             "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
                                             "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
                                             "\xE3\x80\x80"};
    for (const auto& blank : blanks) {
        const PlistValue info(
            PlistValue::Dictionary{{"Only", blank + blank}, {"Around", blank + "Foo" + blank}});
        EXPECT_EQ(AppLibrarySnapshot::infoString(&info, "Only"), std::nullopt) << "blank " << blank;
        EXPECT_EQ(AppLibrarySnapshot::infoString(&info, "Around"), "Foo") << "blank " << blank;
    }
    // Not white space: a zero-width space and a letter stay.
    const PlistValue info(PlistValue::Dictionary{{"Zero", "\xE2\x80\x8B"}});
    EXPECT_EQ(AppLibrarySnapshot::infoString(&info, "Zero"), "\xE2\x80\x8B");
}
