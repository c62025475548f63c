// The orphan scan over one composite fake Mac: its filters, measurements, notes, grouping and
// order; unreadable and missing locations; the entry point; and stopping.
#include "app/scanners/OrphanScanner.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/scanners/OrphanMeasure.h"
#include "platform/PlistValue.h"
#include "tests/support/FakeApplicationRegistry.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using namespace veldo::scanners;
using namespace veldo::scanners::OrphanScanner;
using veldo::core::Date;
using veldo::core::LeftoverCategory;
using veldo::core::MatchConfidence;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;
using Set = std::unordered_set<std::string>;

namespace {

constexpr auto kOld = 40 * 24h;

// Sets the modification time of `path` and of everything below it (links themselves) to `age`
// before now.
void age(const FakeMac& mac, const MacPath& path, std::chrono::seconds age)
{
    const auto when = std::chrono::system_clock::now() - age;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch());
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(ns.count() / 1'000'000'000),
                                       static_cast<long>(ns.count() % 1'000'000'000)}};
    const std::filesystem::path top = mac.host(path);
    ASSERT_EQ(::utimensat(AT_FDCWD, top.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << top;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(top)))
        return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top))
        ASSERT_EQ(::utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::int64_t onDisk(const FakeMac& mac, const MacPath& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(mac.host(path).c_str(), &st), 0);
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

OrphanScanEnvironment environmentOf(const FakeMac& mac)
{
    OrphanScanEnvironment env;
    env.home = mac.home();
    env.systemLibrary = "/Library"_mac;
    env.loadedLaunchdLabels = Set{};
    env.isRegisteredWithLaunchServices = [](std::string_view) { return false; };
    env.isCommandInstalled = [](std::string_view) { return false; };
    env.protectedBundles = {"/Applications/Veldo.app"_mac};
    env.now = std::chrono::system_clock::now();
    return env;
}

std::vector<std::string> bundleIDs(const std::vector<OrphanGroup>& groups)
{
    std::vector<std::string> ids;
    for (const OrphanGroup& g : groups)
        ids.push_back(g.bundleID);
    return ids;
}

const OrphanGroup* groupOf(const OrphanScanResult& result, std::string_view bundleID)
{
    for (const OrphanGroup& g : result.groups) {
        if (g.bundleID == bundleID)
            return &g;
    }
    return nullptr;
}

std::string sentence(std::string_view id)
{
    return "No installed app has the identifier " + std::string(id) + ".";
}

// The composite Mac: removed, installed and vendor-sibling apps in the user's and the system's
// Library, launch jobs still in use and gone, app bundles inside findings, hard and symbolic
// links, and a running program.
struct CompositeMac
{
    FakeMac mac;
    MacPath library = mac.home().appendingPathComponent("Library");

    MacPath in(std::string_view relative) const { return library.appendingPathComponent(relative); }

    void file(const MacPath& path, std::size_t bytes) const
    {
        mac.write(path, std::string(bytes, 'x'));
    }

    CompositeMac()
    {
        file(in("Application Support/com.removed.app.helper/data"), 4096);
        file(in("Caches/com.removed.app/blob"), 16384);
        file(in("Caches/com.removed.app.fetcher/blob"), 32768);
        file(in("Preferences/com.removed.app.plist"), 8192);
        file(in("HTTPStorages/com.removed.app/store"), 4096);
        file(in("HTTPStorages/com.removed.app.binarycookies"), 4096);
        file(in("Caches/com.installed.app/blob"), 4096);
        file(in("Caches/com.smallvendor.viewer/blob"), 5 * 4096);
        file(in("Caches/com.removed.apphelper/blob"), 8192);
        file(in("Application Support/com.linked.app/a"), 8192);
        mac.hardlink(in("Application Support/com.linked.app/a"),
                     in("Application Support/com.linked.app/b"));
        mac.symlink(in("Caches/com.symlink.app"), in("Caches/com.removed.app/blob").path());
        mac.mkdir(in("Caches/.hidden.vendor.app"));
        mac.mkdir(in("Caches/NotAnIdentifier"));

        file("/Applications/Tool.app/Contents/MacOS/tool"_mac, 10);
        mac.writePlist(in("LaunchAgents/com.gone.agent.plist"),
                       PlistValue(PlistValue::Dictionary{
                           {"Label", "com.gone.agent"},
                           {"Program", "/Applications/Tool.app/Contents/MacOS/tool"}}));
        mac.writePlist(in("LaunchAgents/com.gone.assoc.plist"),
                       PlistValue(PlistValue::Dictionary{
                           {"Label", "com.gone.assoc"},
                           {"Program", "/Applications/Gone.app/Contents/MacOS/gone"},
                           {"AssociatedBundleIdentifiers", PlistValue::Array{"Com.Running.App"}}}));
        mac.writePlist(in("LaunchAgents/com.gone.orphan.plist"),
                       PlistValue(PlistValue::Dictionary{{"Label", " com.gone.Orphan\n"}}));

        file(in("Containers/com.appholder.old/Data/Wrapper/Something.app/Contents/x"), 4 * 4096);
        file(in("Containers/com.appholder.fresh/Something.app/Contents/x"), 3 * 4096);
        file(in("Application Support/com.runner.app/bin/runner"), 4096);

        file("/Library/Application Support/com.removed.sys/f"_mac, 4096);
        file("/Library/Application Support/com.installed.app/f"_mac, 4096);
        mac.writePlist("/Library/LaunchDaemons/com.vendor.daemon.plist"_mac,
                       PlistValue(PlistValue::Dictionary{
                           {"Label", "com.vendor.daemon"},
                           {"Program", "/Library/PrivilegedHelperTools/com.vendor.helper"}}));
        file("/Library/PrivilegedHelperTools/com.vendor.helper"_mac, 4096);
        file("/Library/PrivilegedHelperTools/com.gone.helper"_mac, 2 * 4096);
        file("/Library/Logs/com.removed.log/x.log"_mac, 4096);

        age(mac, library, kOld);
        age(mac, "/Library"_mac, kOld);
        age(mac, in("Containers/com.appholder.fresh"), 0s);
    }

    OrphanScanEnvironment environment() const
    {
        OrphanScanEnvironment env = environmentOf(mac);
        env.installedBundleIDs = {"com.installed.app", "com.smallvendor.editor"};
        env.runningBundleIDs = {"com.running.app"};
        env.runningExecutablePaths = {in("Application Support/COM.RUNNER.APP/bin/runner").path()};
        return env;
    }
};

} // namespace

TEST(OrphanScan, CompositeMac)
{
    const CompositeMac c;
    ASSERT_EQ(::rmdir(c.mac.host("/Library/Caches"_mac).c_str()), 0);
    const OrphanScanResult result = scan(c.environment());

    EXPECT_FALSE(result.wasCancelled);
    EXPECT_TRUE(result.unreadableLocations.empty()); // "/Library/Caches" is missing: not reported
    EXPECT_EQ(bundleIDs(result.groups),
              (std::vector<std::string>{
                  // Medium, larger first; equal sizes in the order their keys were met.
                  "com.removed.app", "com.linked.app", "com.removed.apphelper", "com.removed.sys",
                  "com.removed.log", "com.symlink.app",
                  // Low, larger first.
                  "com.smallvendor.viewer", "com.appholder.old", "com.appholder.fresh",
                  "com.gone.helper", "com.gone.Orphan"}));

    // One group for the app and its helper, whichever was found first; findings by category,
    // then larger first.
    const OrphanGroup* removed = groupOf(result, "com.removed.app");
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->displayName, "Removed");
    std::vector<std::pair<MacPath, LeftoverCategory>> items;
    for (const OrphanFinding& f : removed->findings)
        items.emplace_back(f.item.url, f.item.category);
    EXPECT_EQ(
        items,
        (std::vector<std::pair<MacPath, LeftoverCategory>>{
            {c.in("Application Support/com.removed.app.helper"), LeftoverCategory::supportFiles},
            {c.in("Caches/com.removed.app.fetcher"), LeftoverCategory::caches},
            {c.in("Caches/com.removed.app"), LeftoverCategory::caches},
            {c.in("Preferences/com.removed.app.plist"), LeftoverCategory::preferences},
            {c.in("HTTPStorages/com.removed.app.binarycookies"), LeftoverCategory::cookies},
            {c.in("HTTPStorages/com.removed.app"), LeftoverCategory::webData},
        }));
    const OrphanFinding& fetcher = removed->findings[1];
    EXPECT_EQ(fetcher.item.sizeBytes, onDisk(c.mac, c.in("Caches/com.removed.app.fetcher/blob")));
    EXPECT_EQ(fetcher.item.confidence, MatchConfidence::medium);
    EXPECT_FALSE(fetcher.item.requiresAdmin);
    EXPECT_EQ(fetcher.reason, sentence("com.removed.app.fetcher"));
    ASSERT_TRUE(fetcher.lastModified);
    EXPECT_LT(*fetcher.lastModified, std::chrono::system_clock::now() - 39 * 24h);

    // A hard-linked file counts once; a link is measured as the link.
    const OrphanGroup* linked = groupOf(result, "com.linked.app");
    ASSERT_TRUE(linked);
    EXPECT_EQ(linked->findings.at(0).item.sizeBytes,
              onDisk(c.mac, c.in("Application Support/com.linked.app/a")));
    const OrphanGroup* symlink = groupOf(result, "com.symlink.app");
    ASSERT_TRUE(symlink);
    EXPECT_EQ(symlink->findings.at(0).item.sizeBytes,
              onDisk(c.mac, c.in("Caches/com.symlink.app")));
    EXPECT_LT(symlink->findings.at(0).item.sizeBytes, 16384);

    const OrphanGroup* sys = groupOf(result, "com.removed.sys");
    ASSERT_TRUE(sys);
    EXPECT_EQ(sys->findings.at(0).item.url, "/Library/Application Support/com.removed.sys"_mac);
    EXPECT_TRUE(sys->findings.at(0).item.requiresAdmin);

    // Notes: a vendor sibling, app bundles (only on a finding still medium), background items.
    const auto reasonOf = [&](std::string_view id) {
        const OrphanGroup* g = groupOf(result, id);
        return g && g->findings.size() == 1 ? g->findings[0].reason : std::string("<none>");
    };
    EXPECT_EQ(reasonOf("com.smallvendor.viewer"),
              sentence("com.smallvendor.viewer") +
                  " Review first: another app from the same vendor is installed.");
    EXPECT_EQ(reasonOf("com.appholder.old"),
              sentence("com.appholder.old") + " Review first: it contains an app bundle.");
    EXPECT_EQ(reasonOf("com.appholder.fresh"),
              sentence("com.appholder.fresh") + " Review first: changed today.");
    EXPECT_EQ(reasonOf("com.gone.Orphan"),
              sentence("com.gone.Orphan") + " Review first: background item.");
    EXPECT_EQ(reasonOf("com.gone.helper"),
              sentence("com.gone.helper") + " Review first: background item.");
    EXPECT_EQ(groupOf(result, "com.gone.Orphan")->findings[0].item.category,
              LeftoverCategory::launchAgents);
    for (const OrphanGroup& g : result.groups) {
        if (g.confidence() == MatchConfidence::low) {
            EXPECT_TRUE(g.suggestedItems().empty()) << g.bundleID;
        }
    }
}

TEST(OrphanScan, UnreadableLocationIsReportedAndTheOthersStillScanned)
{
    const CompositeMac c;
    if (!veldo::testsupport::unprivilegedCanSearch(c.mac.root()))
        GTEST_SKIP() << "the unprivileged user can't reach the fake Mac";
    c.file("/Library/Caches/com.closed.app/blob"_mac, 4096);
    ASSERT_EQ(::chmod(c.mac.host("/Library/Caches"_mac).c_str(), 0700), 0);
    const OrphanScanEnvironment env = c.environment();
    const int status = veldo::testsupport::runUnprivileged([&] {
        const OrphanScanResult result = scan(env);
        const bool reported =
            result.unreadableLocations == std::vector<MacPath>{"/Library/Caches"_mac};
        const bool othersScanned = groupOf(result, "com.removed.log") != nullptr &&
                                   groupOf(result, "com.gone.helper") != nullptr &&
                                   groupOf(result, "com.closed.app") == nullptr;
        return reported && othersScanned && !result.wasCancelled ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(OrphanScan, UnreadableItemsMeasureAsNothingAndUnreadableFoldersArePassedOver)
{
    FakeMac mac;
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the unprivileged user can't reach the fake Mac";
    const MacPath library = mac.home().appendingPathComponent("Library");
    // Caches can be listed but its entries can't be looked at; in Logs one subfolder is closed.
    const MacPath hidden = library.appendingPathComponent("Caches/com.unseen.app");
    mac.write(hidden.appendingPathComponent("blob"), std::string(8192, 'x'));
    const MacPath logs = library.appendingPathComponent("Logs/com.partly.app");
    mac.write(logs.appendingPathComponent("open.log"), std::string(4096, 'x'));
    mac.write(logs.appendingPathComponent("closed/secret.log"), std::string(8192, 'x'));
    age(mac, library, kOld);
    const std::int64_t openBytes = onDisk(mac, logs.appendingPathComponent("open.log"));
    ASSERT_EQ(::chmod(mac.host(library.appendingPathComponent("Caches")).c_str(), 0744), 0);
    ASSERT_EQ(::chmod(mac.host(logs.appendingPathComponent("closed")).c_str(), 0700), 0);
    const OrphanScanEnvironment env = environmentOf(mac);

    const int status = veldo::testsupport::runUnprivileged([&] {
        const OrphanScanResult result = scan(env);
        const OrphanGroup* unseen = groupOf(result, "com.unseen.app");
        const OrphanGroup* partly = groupOf(result, "com.partly.app");
        if (!unseen || !partly || unseen->findings.size() != 1 || partly->findings.size() != 1)
            return 1;
        const OrphanFinding& u = unseen->findings[0];
        const OrphanFinding& p = partly->findings[0];
        const bool unseenOk = u.item.sizeBytes == 0 && !u.lastModified &&
                              u.item.confidence == MatchConfidence::low &&
                              u.reason == sentence("com.unseen.app") +
                                              " Review first: its last change date is unknown.";
        const bool partlyOk = p.item.sizeBytes == openBytes &&
                              p.item.confidence == MatchConfidence::medium &&
                              p.reason == sentence("com.partly.app");
        return unseenOk && partlyOk ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST(OrphanScan, AnItemReachedThroughTwoLocationsIsOfferedOnce)
{
    FakeMac mac;
    const MacPath library = mac.home().appendingPathComponent("Library");
    mac.write(library.appendingPathComponent("Caches/com.twice.app/blob"), "x");
    std::filesystem::remove_all(mac.host(library.appendingPathComponent("Logs")));
    mac.symlink(library.appendingPathComponent("Logs"), "Caches");
    age(mac, library, kOld);
    const OrphanScanResult result = scan(environmentOf(mac));
    ASSERT_EQ(bundleIDs(result.groups), std::vector<std::string>{"com.twice.app"});
    ASSERT_EQ(result.groups[0].findings.size(), 1u);
    EXPECT_EQ(result.groups[0].findings[0].item.url,
              library.appendingPathComponent("Caches/com.twice.app"));
}

TEST(OrphanScan, EntryListsTheInstalledAppsWhenGivenNone)
{
    FakeMac mac;
    mac.makeApp("/Applications/Listed.app"_mac,
                PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.listed.App"}}));
    const MacPath caches = mac.home().appendingPathComponent("Library/Caches");
    mac.write(caches.appendingPathComponent("com.listed.app.cache/blob"), "x");
    mac.write(caches.appendingPathComponent("com.given.app/blob"), "x");
    mac.write(caches.appendingPathComponent("com.gone.app/blob"), "x");
    const veldo::testsupport::FakeApplicationRegistry registry;
    const OrphanScanEnvironment::Sources sources{&registry, nullptr, nullptr};

    const OrphanScanResult listed = scan(std::nullopt, {}, sources);
    EXPECT_EQ(bundleIDs(listed.groups),
              (std::vector<std::string>{"com.gone.app", "com.given.app"}));

    veldo::core::InstalledApp given;
    given.url = "/Applications/Given.app"_mac;
    given.bundleID = "com.given.app";
    const OrphanScanResult withList = scan(std::vector{given}, {}, sources);
    EXPECT_EQ(bundleIDs(withList.groups),
              (std::vector<std::string>{"com.gone.app", "com.listed.app.cache"}));
}

TEST(OrphanScan, StopBeforeTheCallGivesTheCancelledEmptyResult)
{
    FakeMac mac;
    mac.write(mac.home().appendingPathComponent("Library/Caches/com.gone.app/blob"), "x");
    std::stop_source stop;
    stop.request_stop();
    const OrphanScanResult result = scan(std::nullopt, stop.get_token());
    EXPECT_TRUE(result.groups.empty());
    EXPECT_TRUE(result.unreadableLocations.empty());
    EXPECT_TRUE(result.wasCancelled);
    EXPECT_EQ(scan(environmentOf(mac), stop.get_token()), result);
    EXPECT_EQ(OrphanScanResult::empty, OrphanScanResult{});
}

TEST(OrphanScan, StopDuringALargeMeasurementEndsItWithinTheNext256Objects)
{
    FakeMac mac(FakeMac::Storage::memory);
    const MacPath support = mac.home().appendingPathComponent("Library/Application Support");
    mac.write(support.appendingPathComponent("com.aaa.first/blob"), "x");
    mac.wideTree(support.appendingPathComponent("com.big.tree"), 40, 100);
    mac.write(support.appendingPathComponent("com.zzz.after/blob"), "x");
    age(mac, support, kOld);

    constexpr std::uint64_t kStopAt = 1000;
    std::stop_source stop;
    std::promise<void> reached;
    std::promise<void> requested;
    std::shared_future<void> requestedFuture = requested.get_future().share();
    std::uint64_t lastCount = 0;
    OrphanScanner::testing::setObjectHook([&](std::uint64_t objects) {
        if (objects == kStopAt) {
            reached.set_value();
            requestedFuture.wait();
        }
        if (objects >= kStopAt)
            lastCount = objects;
    });

    OrphanScanResult result;
    std::thread scanner([&] { result = scan(environmentOf(mac), stop.get_token()); });
    reached.get_future().wait();
    const auto requestedAt = std::chrono::steady_clock::now();
    stop.request_stop();
    requested.set_value();
    scanner.join();
    const auto delay = std::chrono::steady_clock::now() - requestedAt;
    OrphanScanner::testing::setObjectHook({});
    std::printf("stop to return: %.3f ms, %llu objects after the request\n",
                std::chrono::duration<double, std::milli>(delay).count(),
                static_cast<unsigned long long>(lastCount - kStopAt));

    EXPECT_LE(lastCount - kStopAt, 256u);
    EXPECT_TRUE(result.wasCancelled);
    EXPECT_EQ(bundleIDs(result.groups), std::vector<std::string>{"com.aaa.first"});
}

TEST(OrphanGroup, HelpersOverFindings)
{
    const auto finding = [](const char* path, std::int64_t bytes, MatchConfidence confidence,
                            std::optional<Date> date) {
        return OrphanFinding{
            {MacPath(path), LeftoverCategory::caches, bytes, false, confidence}, date, "r"};
    };
    const Date t(1'700'000'000s);
    const OrphanGroup first{"com.Vendor.App",
                            "App",
                            {finding("/a/Caches/x", 100, MatchConfidence::low, t),
                             finding("/a/Caches/x/inner", 10, MatchConfidence::medium, t + 1h),
                             finding("/a/Caches/x", 100, MatchConfidence::low, std::nullopt),
                             finding("/a/Caches/y", 1, MatchConfidence::medium, std::nullopt)}};
    const OrphanGroup second{
        "com.vendor.other", "Other", {finding("/a/Caches/y/deep", 1000, MatchConfidence::low, t)}};

    EXPECT_EQ(first.id(), "com.vendor.app");
    EXPECT_EQ(first.items().size(), 4u);
    EXPECT_EQ(first.items()[1].url, "/a/Caches/x/inner"_mac);
    EXPECT_EQ(first.totalBytes(), 101); // the nested item and the repeat are not counted
    EXPECT_EQ(first.confidence(), MatchConfidence::medium);
    EXPECT_EQ(second.confidence(), MatchConfidence::low);
    EXPECT_EQ(OrphanGroup{}.confidence(), MatchConfidence::low);
    const auto suggested = first.suggestedItems();
    ASSERT_EQ(suggested.size(), 2u);
    EXPECT_EQ(suggested[0].url, "/a/Caches/x/inner"_mac);
    EXPECT_EQ(suggested[1].url, "/a/Caches/y"_mac);
    EXPECT_EQ(first.lastModified(), t + 1h);
    EXPECT_EQ(OrphanGroup{}.lastModified(), std::nullopt);

    const std::vector<OrphanGroup> both{first, second};
    EXPECT_EQ(OrphanGroup::allItems(both).size(), 5u);
    EXPECT_EQ(OrphanGroup::allItems(both).back().url, "/a/Caches/y/deep"_mac);
    EXPECT_EQ(second.totalBytes(), 1000);
    EXPECT_EQ(OrphanGroup::totalBytes(both), 101); // /a/Caches/y holds the other group's item
}

TEST(OrphanGroup, GroupingByKeyPrefixWithADot)
{
    const auto found = [](const char* id, std::int64_t bytes, MatchConfidence confidence) {
        auto c = candidate(id, NameStyle::bare);
        EXPECT_TRUE(c) << id;
        return FoundOrphan{c.value_or(Candidate{}),
                           OrphanFinding{{MacPath("/c/").appendingPathComponent(id),
                                          LeftoverCategory::caches, bytes, false, confidence},
                                         std::nullopt,
                                         "r"}};
    };
    const auto groups = group({
        found("com.vendor.App.helper", 5, MatchConfidence::low),
        found("com.vendor.apphelper", 5, MatchConfidence::low),
        found("com.vendor.app", 5, MatchConfidence::low),
        found("com.small.x", 1, MatchConfidence::medium),
        found("com.same.a", 7, MatchConfidence::low),
        found("com.same.b", 7, MatchConfidence::low),
    });
    // Medium first; then larger first; equal ones in the order their keys were met (shorter
    // first, then as found).
    EXPECT_EQ(bundleIDs(groups),
              (std::vector<std::string>{"com.small.x", "com.vendor.app", "com.same.a", "com.same.b",
                                        "com.vendor.apphelper"}));
    EXPECT_EQ(groups[1].findings.size(), 2u);
    EXPECT_EQ(groups[1].displayName, "Vendor");
}

TEST(OrphanMeasure, TreeDeeperThanTheHeldFoldersIsMeasuredWhole)
{
    FakeMac mac(FakeMac::Storage::memory);
    const MacPath top = "/Users/Shared/deep"_mac;
    MacPath folder = top;
    std::int64_t expected = 0;
    for (int depth = 0; depth < 150; ++depth) {
        // Each level's side folder is made before the way down, so that it is often listed (and
        // walked) after it: reached again from far below.
        if (depth % 10 == 0)
            expected += onDisk(
                mac, mac.write(folder.appendingPathComponent("side/f"), std::string(4096, 'x')));
        folder = folder.appendingPathComponent("down");
    }
    mac.write(folder.appendingPathComponent("Last.APP/Contents/x"), "");

    const auto measured = measure(top);
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->bytes, expected);
    EXPECT_TRUE(measured->containsAppBundle);
    EXPECT_TRUE(measured->lastModified);
}
