// System Settings panes, the Full Disk Access probe and the scoped access store.
#include "app/core/SystemSettings.h"

#include <optional>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/core/ScopedAccessStore.h"
#include "platform/SecurityScopedAccess.h"
#include "platform/UrlOpener.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using Status = SystemSettings::FullDiskAccessStatus;
using namespace veldo::testsupport::literals;

namespace {

const MacPath kTcc("/Library/Application Support/com.apple.TCC/TCC.db");

enum class Item
{
    missing,
    readable,
    unreadable
};

} // namespace

TEST(SystemSettings, OpensOnlyWhatParsesAsAURL)
{
    veldo::platform::testing::UrlRecorder recorder;
    SystemSettings::open(SystemSettings::kAppManagementURL);
    SystemSettings::open(SystemSettings::kFullDiskAccessURL);
    SystemSettings::open("https://example.com/a%20b?x=1#frag");
    for (const char* bad : {"", "no scheme here", ":nothing", "1abc:x", "x-apple:has space",
                            "x:bad%zz", "x:cut%4", "x:tab\there"})
        SystemSettings::open(bad);
    EXPECT_EQ(recorder.urls(),
              (std::vector<std::string>{
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_AppBundles",
                  "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles",
                  "https://example.com/a%20b?x=1#frag"}));
}

TEST(SystemSettings, FullDiskAccessProbe)
{
    // Run as an unprivileged user, since root reads everything.
    const struct
    {
        Item tcc;
        Item safari;
        Status expected;
    } cases[] = {
        {Item::missing, Item::missing, Status::unknown},
        {Item::missing, Item::readable, Status::granted},
        {Item::missing, Item::unreadable, Status::denied},
        {Item::readable, Item::missing, Status::granted},
        {Item::readable, Item::unreadable, Status::granted},
        {Item::unreadable, Item::readable, Status::granted},
        {Item::unreadable, Item::unreadable, Status::denied},
        {Item::unreadable, Item::missing, Status::denied},
    };
    for (const auto& c : cases) {
        FakeMac mac;
        const MacPath home = mac.home();
        if (c.tcc != Item::missing)
            mac.write(kTcc, "SQLite format 3", c.tcc == Item::readable ? 0644 : 0600);
        if (c.safari != Item::missing)
            mac.mkdir(home.appendingPathComponent("Library/Safari"),
                      c.safari == Item::readable ? 0755 : 0700);
        const int got = veldo::testsupport::runUnprivileged(
            [&] { return static_cast<int>(SystemSettings::fullDiskAccessStatus(home)); });
        EXPECT_EQ(got, static_cast<int>(c.expected))
            << "tcc " << static_cast<int>(c.tcc) << ", safari " << static_cast<int>(c.safari);
    }
}

TEST(SystemSettings, ProbeFollowsLinksInsideTheRoot)
{
    FakeMac mac;
    // An absolute link target is taken inside the fake Mac, never on the host.
    mac.mkdir("/Library/Real/Safari"_mac);
    mac.symlink(mac.home().appendingPathComponent("Library/Safari"), "/Library/Real/Safari");
    EXPECT_EQ(SystemSettings::fullDiskAccessStatus(mac.home()), Status::granted);
}

TEST(ScopedAccessStore, ReleaseStopsEveryActiveAccess)
{
    namespace scoped = veldo::platform;
    FakeMac mac;
    const MacPath apps("/Applications");
    const MacPath library = mac.home().appendingPathComponent("Library");
    const MacPath untouched("/Library");
    ASSERT_TRUE(scoped::startAccessingSecurityScopedResource(apps));
    ASSERT_TRUE(scoped::startAccessingSecurityScopedResource(library));
    ASSERT_TRUE(scoped::startAccessingSecurityScopedResource(untouched));
    {
        ScopedAccessStore store(std::string(ScopedAccessStore::kDefaultsKey), nullptr);
        EXPECT_EQ(store.defaultsKey(), "Veldo.SecurityScopedBookmarks.v1");
        EXPECT_TRUE(store.activeURLs().empty());
        store.activeURLs()[AccessRootKind::applications] = apps;
        store.activeURLs()[AccessRootKind::userLibrary] = library;
    }
    EXPECT_EQ(scoped::testing::activeSecurityScopedAccesses(apps), 0u);
    EXPECT_EQ(scoped::testing::activeSecurityScopedAccesses(library), 0u);
    EXPECT_EQ(scoped::testing::activeSecurityScopedAccesses(untouched), 1u);
    scoped::stopAccessingSecurityScopedResource(untouched);

    {
        scoped::SecurityScopedAccess access(apps);
        EXPECT_TRUE(access.isAccessing());
        EXPECT_EQ(scoped::testing::activeSecurityScopedAccesses(apps), 1u);
    }
    EXPECT_EQ(scoped::testing::activeSecurityScopedAccesses(apps), 0u);
}
