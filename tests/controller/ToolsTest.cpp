// The developer-footprint and orphan actions: selections and their sizes, removals through the
// real Trash run on a fake Mac, and the package scan and uninstall with scripted or stand-in
// package managers.
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include <QSignalSpy>

#include "app/core/AppProtection.h"
#include "app/leftovers/CaskInfo.h"
#include "platform/SystemError.h"
#include "tests/controller/RemovalFixture.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"

namespace veldo::controller {
namespace {

using core::DevPackage;
using core::LeftoverCategory;
using core::LeftoverItem;
using core::PackageManagerKind;
using core::ToolchainGroup;
using core::ToolchainItem;
using platform::MacPath;
using platform::SystemError;
using scanners::OrphanFinding;
using scanners::OrphanGroup;
using testsupport::FakeFileManager;
using testsupport::RemovalFixture;
using namespace veldo::testsupport::literals;
using Call = FakeFileManager::Call;

class Tools : public RemovalFixture
{
protected:
    ToolchainItem toolchainItem(const std::string& relative, std::int64_t bytes)
    {
        ToolchainItem item;
        item.url = m_mac.write(inHome(relative), "x");
        item.sizeBytes = bytes;
        return item;
    }

    static OrphanFinding finding(const MacPath& url, std::int64_t bytes)
    {
        OrphanFinding found;
        found.item = item(url.path(), bytes, LeftoverCategory::caches);
        found.item.confidence = core::MatchConfidence::medium;
        return found;
    }

    static DevPackage package(PackageManagerKind manager, std::string name, std::int64_t bytes = 0)
    {
        return DevPackage{manager, std::move(name), "1.0", bytes};
    }

    static std::vector<std::string> sorted(const IdSet& ids)
    {
        std::vector<std::string> out(ids.begin(), ids.end());
        std::ranges::sort(out);
        return out;
    }
};

TEST_F(Tools, ARemovalWithOneFailureKeepsThatItemListedAndSelected)
{
    auto vm = removalController();
    const ToolchainItem a1 = toolchainItem("Library/Caches/node/a1", 100);
    const ToolchainItem a2 = toolchainItem("Library/Caches/node/a2", 20);
    const ToolchainItem b1 = toolchainItem(".conda/pkgs/b1", 3);
    vm->setToolchainGroups({ToolchainGroup{core::ToolchainKind::node, {a1, a2}},
                            ToolchainGroup{core::ToolchainKind::conda, {b1}}});
    vm->selectAllToolchainItems();
    EXPECT_EQ(vm->selectedToolchainIDs().size(), 3u);
    m_files.injectFailure(Call::trash, a2.url, SystemError::posix(EIO));

    Task<void> removal = vm->removeToolchains();
    ASSERT_TRUE(finish(removal));
    ASSERT_EQ(vm->toolchainGroups().size(), 1u);
    EXPECT_EQ(vm->toolchainGroups()[0].kind, core::ToolchainKind::node);
    EXPECT_EQ(vm->toolchainGroups()[0].items, std::vector<ToolchainItem>{a2});
    EXPECT_EQ(vm->selectedToolchainIDs(), IdSet{a2.id()});
    EXPECT_FALSE(exists(a1.url));
    EXPECT_TRUE(exists(a2.url));

    ASSERT_TRUE(vm->lastOutcome());
    EXPECT_EQ(vm->lastOutcomeSource(), OutcomeSource::toolchain);
    EXPECT_TRUE(vm->showResultBanner());
    EXPECT_EQ(vm->lastOutcome()->failed.size(), 1u);
    for (const LeftoverItem& trashed : vm->lastOutcome()->trashed) {
        EXPECT_EQ(trashed.category, LeftoverCategory::caches);
        EXPECT_EQ(trashed.confidence, core::MatchConfidence::certain);
    }
    EXPECT_EQ(m_stats->totalBytesReclaimed(), 103);
    EXPECT_EQ(m_stats->totalItemsRemoved(), 2);
    EXPECT_EQ(m_stats->totalAppsCleaned(), 0);
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Funk"});
    EXPECT_FALSE(vm->isRemoving());
}

TEST_F(Tools, NothingIsRemovedWhileBusyOrWithoutASelection)
{
    auto vm = removalController();
    const ToolchainItem cache = toolchainItem("Library/Caches/node/a", 1);
    vm->setToolchainGroups({ToolchainGroup{core::ToolchainKind::node, {cache}}});
    vm->setOrphanResult({{OrphanGroup{"com.gone", "Gone", {finding(cache.url, 1)}}}, {}, false});
    vm->setPackageGroups({{PackageManagerKind::npm, {package(PackageManagerKind::npm, "x")}}});
    int removals = 0;

    // Nothing selected.
    for (Task<void> task : {vm->removeToolchains(), vm->removeOrphans(), vm->removePackages()})
        EXPECT_TRUE(task.isDone());

    vm->selectAllToolchainItems();
    vm->toggleOrphanGroup(vm->orphanResult().groups[0], true);
    vm->selectAllPackages();
    for (const bool undoing : {true, false}) {
        vm->setIsUndoing(undoing);
        vm->setIsRemoving(!undoing);
        for (Task<void> task : {vm->removeToolchains(), vm->removeOrphans(), vm->removePackages()})
            EXPECT_TRUE(task.isDone());
    }
    EXPECT_EQ(m_trashRuns, removals);
    EXPECT_TRUE(exists(cache.url));
    EXPECT_FALSE(vm->lastPackageResult());
    EXPECT_FALSE(vm->lastOutcome());
}

TEST_F(Tools, OrphanGroupTogglesAndTheSizeOfTheSelection)
{
    auto vm = removalController();
    const MacPath folder = m_mac.mkdir(inHome("Library/Caches/com.gone"));
    const MacPath inner = m_mac.write(inHome("Library/Caches/com.gone/inner"), "i");
    const MacPath other = m_mac.write(inHome("Library/Logs/com.gone.log"), "l");
    const MacPath refused = m_mac.write("/System/Library/Caches/com.gone"_mac, "s");
    const OrphanGroup group{
        "com.gone",
        "Gone",
        {finding(folder, 1000), finding(inner, 10), finding(other, 5), finding(refused, 7)}};
    vm->setOrphanResult({{group}, {}, false});
    QSignalSpy changes(vm.get(), &UninstallViewModel::selectedOrphanIDsChanged);

    vm->toggleOrphan(group.findings[2]);
    EXPECT_EQ(vm->selectedOrphanBytes(), 5);
    vm->toggleOrphanGroup(group, false);
    EXPECT_TRUE(vm->selectedOrphanIDs().empty());
    vm->toggleOrphanGroup(group, true);
    vm->toggleOrphanGroup(group, true);
    EXPECT_EQ(vm->selectedOrphanIDs().size(), 4u); // the refused one too
    EXPECT_EQ(changes.count(), 4);
    // Neither the refused system file nor the file inside the folder counts.
    EXPECT_EQ(vm->selectedOrphanBytes(), 1005);
    EXPECT_EQ(vm->selectedOrphans().size(), 4u);
    vm->toggleOrphan(group.findings[0]);
    EXPECT_EQ(vm->selectedOrphanBytes(), 15);
}

TEST_F(Tools, RemovingOrphansCountsANestedItemGoneAndPrunesInPlace)
{
    auto vm = removalController();
    const MacPath folder = m_mac.mkdir(inHome("Library/Caches/com.gone"));
    const MacPath inner = m_mac.write(inHome("Library/Caches/com.gone/inner"), "i");
    const MacPath kept = m_mac.write(inHome("Library/Logs/com.kept.log"), "k");
    const OrphanGroup gone{"com.gone", "Gone", {finding(folder, 1000), finding(inner, 10)}};
    const OrphanGroup stays{"com.kept", "Kept", {finding(kept, 5)}};
    const std::vector<MacPath> unreadable{"/Library/Unreadable"_mac};
    vm->setOrphanResult({{gone, stays}, unreadable, false});
    vm->setHasScannedDeveloper(true);
    vm->toggleOrphanGroup(gone, true);

    Task<void> removal = vm->removeOrphans();
    ASSERT_TRUE(finish(removal));
    ASSERT_EQ(vm->orphanResult().groups.size(), 1u);
    EXPECT_EQ(vm->orphanResult().groups[0], stays);
    EXPECT_EQ(vm->orphanResult().unreadableLocations, unreadable);
    EXPECT_TRUE(vm->selectedOrphanIDs().empty());
    EXPECT_FALSE(vm->hasScannedDeveloper());
    EXPECT_EQ(vm->lastOutcomeSource(), OutcomeSource::orphans);
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Glass"});
    EXPECT_FALSE(exists(folder));
}

TEST_F(Tools, RemovingOrphansWhereEverythingFailsKeepsTheScreen)
{
    auto vm = removalController();
    const MacPath a = m_mac.write(inHome("Library/Caches/a"), "a");
    const MacPath b = m_mac.write(inHome("Library/Caches/b"), "b");
    const OrphanGroup group{"com.a", "A", {finding(a, 1), finding(b, 2)}};
    vm->setOrphanResult({{group}, {}, false});
    vm->setHasScannedDeveloper(true);
    vm->toggleOrphanGroup(group, true);
    m_files.injectFailure(Call::trash, a, SystemError::posix(EIO));
    m_files.injectFailure(Call::trash, b, SystemError::posix(EIO));

    Task<void> removal = vm->removeOrphans();
    ASSERT_TRUE(finish(removal));
    EXPECT_EQ(vm->orphanResult().groups, std::vector<OrphanGroup>{group});
    EXPECT_EQ(vm->selectedOrphanIDs().size(), 2u);
    EXPECT_TRUE(vm->hasScannedDeveloper());
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Funk"});
    EXPECT_EQ(m_stats->totalItemsRemoved(), 0);
}

class Packages : public Tools
{
protected:
    // Package scans answer m_lists[n] for the n-th call once the test opened n; removals answer
    // m_removal. Every scan and removal call is logged in order.
    std::unique_ptr<UninstallViewModel> scriptedController()
    {
        ControllerServices services;
        services.packageScan = [this](std::stop_token stop) {
            std::unique_lock lock(m_mutex);
            const int call = static_cast<int>(m_log.size());
            m_log.push_back("scan packages");
            m_changed.wait(lock, stop, [&] { return m_opened.contains(call); });
            const auto found = m_lists.find(call);
            return found == m_lists.end() ? std::vector<core::PackageGroup>{} : found->second;
        };
        services.packageRemoval = [this](const std::vector<DevPackage>& packages, std::stop_token) {
            std::lock_guard lock(m_mutex);
            m_log.push_back("remove " + std::to_string(packages.size()));
            return m_removal;
        };
        services.appScan = [this](const std::vector<core::ScopedAccessRoot>&, bool,
                                  std::stop_token) -> Result<std::vector<core::InstalledApp>> {
            std::lock_guard lock(m_mutex);
            m_log.push_back("scan apps");
            return std::vector<core::InstalledApp>{};
        };
        return removalController(std::move(services));
    }

    void open(int call)
    {
        std::lock_guard lock(m_mutex);
        m_opened.insert(call);
        m_changed.notify_all();
    }

    std::vector<std::string> log()
    {
        std::lock_guard lock(m_mutex);
        return m_log;
    }

    // Selects `packages` in a controller listing them.
    static void select(UninstallViewModel& vm, const std::vector<DevPackage>& packages)
    {
        vm.setPackageGroups({core::PackageGroup{PackageManagerKind::npm, packages}});
        vm.selectAllPackages();
    }

    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::set<int> m_opened;
    std::map<int, std::vector<core::PackageGroup>> m_lists;
    std::vector<std::string> m_log;
    scanners::PackageRemover::Result m_removal;
};

TEST_F(Packages, OnlyTheSecondOfTwoQuickScansIsApplied)
{
    const core::PackageGroup first{PackageManagerKind::npm,
                                   {package(PackageManagerKind::npm, "a")}};
    const core::PackageGroup second{PackageManagerKind::pip,
                                    {package(PackageManagerKind::pip, "b")}};
    m_lists = {{0, {first}}, {1, {second}}};
    auto vm = scriptedController();
    QSignalSpy resets(vm.get(), &UninstallViewModel::packageGroupsChanged);

    Task<void> one = vm->scanPackages();
    ASSERT_TRUE(waitFor([&] { return log().size() == 1; }));
    Task<void> two = vm->scanPackages();
    EXPECT_EQ(resets.count(), 2); // the reset notifies even when the list was empty
    ASSERT_TRUE(waitFor([&] { return log().size() == 2; }));
    open(1);
    ASSERT_TRUE(finish(two));
    EXPECT_EQ(vm->packageGroups(), std::vector<core::PackageGroup>{second});
    EXPECT_FALSE(vm->isScanningPackages());
    open(0);
    ASSERT_TRUE(finish(one));
    EXPECT_EQ(vm->packageGroups(), std::vector<core::PackageGroup>{second});
    EXPECT_TRUE(vm->hasScannedPackages());

    // Once scanned, the tab's visit reuses the list.
    Task<void> again = vm->scanPackagesIfNeeded();
    EXPECT_TRUE(again.isDone());
    EXPECT_EQ(log().size(), 2u);
}

TEST_F(Packages, OneSuccessfulUninstallRaisesNoAlertAndIsCounted)
{
    const DevPackage pad = package(PackageManagerKind::npm, "left-pad", 2'000'000);
    m_removal.removed = {pad};
    auto vm = scriptedController();
    select(*vm, {pad});
    vm->setLeftoverCache({{"/Applications/X.app", {}}});

    Task<void> removal = vm->removePackages();
    EXPECT_TRUE(vm->isRemoving());
    ASSERT_TRUE(waitFor([&] { return log().size() == 2; }));
    open(1);
    ASSERT_TRUE(finish(removal));
    EXPECT_EQ(log(), (std::vector<std::string>{"remove 1", "scan packages"}));
    EXPECT_FALSE(vm->activeAlert());
    EXPECT_EQ(vm->lastPackageResult(), m_removal);
    EXPECT_EQ(UninstallViewModel::packageSummary(m_removal), "Uninstalled 1 package \u00B7 2 MB");
    EXPECT_EQ(m_stats->totalBytesReclaimed(), 2'000'000);
    EXPECT_EQ(m_stats->totalItemsRemoved(), 1);
    EXPECT_TRUE(vm->leftoverCache().empty());
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Glass"});
}

TEST_F(Packages, FailuresAreListedInTheAlert)
{
    std::vector<DevPackage> ten;
    for (int i = 0; i < 10; ++i) {
        ten.push_back(package(PackageManagerKind::npm, "p" + std::to_string(i)));
        m_removal.failed.emplace_back(ten.back(), "Timed out");
    }
    m_removal.failed[1].first.name = "left pad";
    m_removal.failed[2].first.name = "café";
    auto vm = scriptedController();
    select(*vm, ten);

    Task<void> removal = vm->removePackages();
    ASSERT_TRUE(waitFor([&] { return log().size() == 2; }));
    open(1);
    ASSERT_TRUE(finish(removal));
    ASSERT_TRUE(vm->activeAlert());
    EXPECT_EQ(vm->activeAlert()->title, "Couldn’t Uninstall");
    EXPECT_EQ(vm->activeAlert()->message,
              "Uninstalled 0 packages. 10 couldn’t be uninstalled:\n"
              "\u2022 p0 \u2014 Timed out\n\u2022 left pad \u2014 Timed out\n"
              "\u2022 café \u2014 Timed out\n\u2022 p3 \u2014 Timed out\n"
              "\u2022 p4 \u2014 Timed out\n\u2022 p5 \u2014 Timed out\n"
              "\u2022 p6 \u2014 Timed out\n\u2022 p7 \u2014 Timed out\n"
              "\u2026 and 2 more.");
    EXPECT_TRUE(vm->activeAlert()->revealURLs.empty());
    EXPECT_EQ(m_stats->totalItemsRemoved(), 0);
    EXPECT_EQ(m_sounds.names(), std::vector<std::string>{"Funk"});

    scanners::PackageRemover::Result partly;
    partly.removed = {package(PackageManagerKind::gem, "rake", 1500)};
    partly.failed = {{package(PackageManagerKind::gem, "bundler"), "Protected"}};
    const NoticeAlert alert = UninstallViewModel::packageFailureAlert(partly);
    EXPECT_EQ(alert.title, "Partly Uninstalled");
    EXPECT_EQ(alert.message, "Uninstalled 1 package \u00B7 2 KB. 1 couldn’t be uninstalled:\n"
                             "\u2022 bundler \u2014 Protected");
}

TEST_F(Packages, ARemovedCaskReloadsTheAppListBeforeThePackages)
{
    const DevPackage cask = package(PackageManagerKind::brewCask, "firefox");
    m_removal.removed = {cask};
    auto vm = scriptedController();
    vm->setPackageGroups({core::PackageGroup{PackageManagerKind::brewCask, {cask}}});
    vm->togglePackage(cask);
    EXPECT_TRUE(vm->isPackageSelected(cask));

    Task<void> removal = vm->removePackages();
    ASSERT_TRUE(waitFor([&] { return log().size() == 3; }));
    open(2);
    ASSERT_TRUE(finish(removal));
    EXPECT_EQ(log(), (std::vector<std::string>{"remove 1", "scan apps", "scan packages"}));
}

TEST_F(Packages, TheCaskOfAProtectedListedAppIsRefusedBeforeBrewRuns)
{
    testsupport::StandInBrew brew(m_mac);
    const core::InstalledApp safari =
        makeApp("/Applications/Safari.app"_mac, "Safari", "com.apple.Safari");
    const core::InstalledApp firefox =
        makeApp("/Applications/Firefox.app"_mac, "Firefox", "org.mozilla.firefox");
    leftovers::CaskInfo safariCask;
    safariCask.token = "safari";
    safariCask.appNames = {"Safari.app"};
    leftovers::CaskInfo firefoxCask;
    firefoxCask.token = "firefox";
    firefoxCask.appNames = {"Firefox.app"};

    ControllerServices services;
    services.packageScan = [](std::stop_token) { return std::vector<core::PackageGroup>{}; };
    auto vm = removalController(std::move(services));
    vm->setApps({safari, firefox});
    vm->setCaskIndex({{"Safari.app", safariCask}, {"Firefox.app", firefoxCask}});
    select(*vm, {package(PackageManagerKind::brewCask, "safari"),
                 package(PackageManagerKind::brewCask, "firefox")});

    Task<void> removal = vm->removePackages();
    ASSERT_TRUE(waitLong([&] { return removal.isDone(); }));
    ASSERT_TRUE(vm->lastPackageResult());
    const auto& failed = vm->lastPackageResult()->failed;
    ASSERT_FALSE(failed.empty());
    EXPECT_EQ(failed[0].first.name, "safari");
    EXPECT_EQ(failed[0].second, core::appProtectionReason(safari).reason.value());
    const std::vector<std::string> calls = brew.calls();
    for (const std::string& call : calls)
        EXPECT_EQ(call.find("safari"), std::string::npos) << call;
    EXPECT_NE(std::ranges::find(calls, "[uninstall][--cask][firefox]"), calls.end());
}

} // namespace
} // namespace veldo::controller
