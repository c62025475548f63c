// A batch of leftover scans over a generated Mac of 300 apps (20 leftovers each across the
// Library folders, some with helpers and with copies in ~/Applications), each app scanned in
// turn with the system application registry and the folder readings shared by the batch (and,
// for comparison, each scan on its own); and the installed-app inventory of 300 bundles
// of 2,000 files each, measured with their sizes.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <benchmark/benchmark.h>

#include "app/core/AllocatedSize.h"
#include "app/core/InstalledAppInventory.h"
#include "app/leftovers/LeftoverScanner.h"
#include "bench/BenchMac.h"
#include "platform/ApplicationRegistry.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "platform/PropertyList.h"

namespace fs = std::filesystem;
using namespace veldo;
using platform::MacPath;
namespace LeftoverScanner = leftovers::LeftoverScanner;

namespace {

constexpr int kApps = 300;
constexpr int kBundleFiles = 2000;

// The generated Mac of these benchmarks, with a user Applications folder.
class BenchMac : public bench::BenchMac
{
public:
    BenchMac() : bench::BenchMac("batch-bench", {"/System/Applications"})
    {
        folder(home().appendingPathComponent("Applications"));
    }
    // Sets a folder's modification time to now, as adding or removing an entry would.
    void touch(const MacPath& path) const { ::utimensat(AT_FDCWD, host(path).c_str(), nullptr, 0); }
};

std::string identifierOf(int i)
{
    return "com.vendor" + std::to_string(i) + ".app" + std::to_string(i);
}
std::string nameOf(int i)
{
    return "Product " + std::to_string(i);
}

// 300 apps, every tenth with a login-item helper, every twentieth with a second copy in
// ~/Applications, and 20 leftovers of each across the user and system Library folders.
class ScanMac
{
public:
    ScanMac()
    {
        using D = platform::PlistValue::Dictionary;
        const MacPath lib = m_mac.library();
        for (int i = 0; i < kApps; ++i) {
            const std::string id = identifierOf(i);
            const std::string name = nameOf(i);
            const MacPath app("/Applications/" + name + ".app");
            const D info{{"CFBundleIdentifier", id}, {"CFBundleName", name}};
            m_mac.plist(app.appendingPathComponent("Contents/Info.plist"), info);
            m_mac.file(app.appendingPathComponent("Contents/MacOS/" + name), "binary");
            if (i % 10 == 0)
                m_mac.plist(app.appendingPathComponent("Contents/Library/LoginItems/" + name +
                                                       " Helper.app/Contents/Info.plist"),
                            D{{"CFBundleIdentifier", id + ".helper"}});
            if (i % 20 == 0)
                m_mac.plist(m_mac.home().appendingPathComponent("Applications/" + name +
                                                                ".app/Contents/Info.plist"),
                            info);
            for (const std::string& leftover :
                 {"Preferences/" + id + ".plist", "Preferences/ByHost/" + id + ".HOST.plist",
                  "Caches/" + id + "/Cache.db", "Application Support/" + name + "/db",
                  "Containers/" + id + "/Data/x",
                  "Group Containers/TEAM" + std::to_string(i) + "." + id + "/p",
                  "Saved Application State/" + id + ".savedState/w.plist",
                  "HTTPStorages/" + id + "/s", "WebKit/" + id + "/w",
                  "Application Scripts/" + id + "/a", "Cookies/" + id + ".binarycookies",
                  "Logs/" + name + "/log.txt", "LaunchAgents/" + id + ".agent.plist"})
                m_mac.file(lib.appendingPathComponent(leftover), "x");
            for (const std::string& leftover :
                 {"/Library/Application Support/" + name + "/db", "/Library/Caches/" + id + "/c",
                  "/Library/Preferences/" + id + ".plist", "/Library/Logs/" + name + "/log.txt",
                  "/Library/LaunchAgents/" + id + ".plist",
                  "/Library/LaunchDaemons/" + id + ".helper.plist",
                  "/Library/PrivilegedHelperTools/" + id + ".helper"})
                m_mac.file(MacPath(leftover), "x");
        }
        const std::vector<core::ScopedAccessRoot> roots{
            {core::AccessRootKind::applications, platform::MacPath("/Applications")},
            {core::AccessRootKind::userApplications,
             m_mac.home().appendingPathComponent("Applications")}};
        m_apps = core::InstalledAppInventory::scan(roots, false).value();
        m_roots = roots;
        m_roots.push_back({core::AccessRootKind::userLibrary, lib});
        m_roots.push_back({core::AccessRootKind::systemLibrary, platform::MacPath("/Library")});
    }

    const BenchMac& mac() const { return m_mac; }
    const std::vector<core::InstalledApp>& apps() const { return m_apps; }
    const std::vector<core::ScopedAccessRoot>& roots() const { return m_roots; }

private:
    BenchMac m_mac;
    std::vector<core::InstalledApp> m_apps;
    std::vector<core::ScopedAccessRoot> m_roots;
};

// How the scans of one batch read the Library folders.
enum class Listings
{
    shared, // one reading per folder for the whole batch, as the batch screen scans
    perScan // each scan reads the folders for itself, as a scan of one app does
};

// Scans every app in turn. With `changed`, an app folder is touched before each batch
// (untimed), so an application registry that keeps an index rebuilds it.
void scanBatch(benchmark::State& state, bool changed, Listings listings)
{
    const ScanMac mac;
    const auto perUser = LeftoverScanner::darwinUserDirectories();
    std::size_t items = 0;
    for (auto _ : state) {
        if (changed) {
            state.PauseTiming();
            mac.mac().touch(MacPath("/Applications"));
            state.ResumeTiming();
        }
        items = 0;
        leftovers::FolderListingCache batch;
        for (const core::InstalledApp& app : mac.apps()) {
            const auto& registry = platform::systemApplicationRegistry();
            auto found =
                listings == Listings::shared
                    ? LeftoverScanner::scan(app, mac.roots(), perUser,
                                            LeftoverScanner::receiptLeftovers, registry, batch)
                    : LeftoverScanner::scan(app, mac.roots(), perUser,
                                            LeftoverScanner::receiptLeftovers, registry);
            items += found.value().size();
        }
        benchmark::DoNotOptimize(items);
    }
    state.counters["apps"] = static_cast<double>(mac.apps().size());
    state.counters["items"] = static_cast<double>(items);
}

void BM_ScanEveryApp(benchmark::State& state)
{
    scanBatch(state, false, Listings::shared);
}
BENCHMARK(BM_ScanEveryApp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ScanEveryAppAfterAFolderChanged(benchmark::State& state)
{
    scanBatch(state, true, Listings::shared);
}
BENCHMARK(BM_ScanEveryAppAfterAFolderChanged)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The same batch with nothing shared between the scans, for comparison in the same run.
void BM_ScanEveryAppEachOnItsOwn(benchmark::State& state)
{
    scanBatch(state, false, Listings::perScan);
}
BENCHMARK(BM_ScanEveryAppEachOnItsOwn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The inventory of 300 bundles of 2,000 files each (in 40 folders), then each bundle's size.
void BM_InventoryWithSizes(benchmark::State& state)
{
    BenchMac mac;
    using D = platform::PlistValue::Dictionary;
    for (int i = 0; i < kApps; ++i) {
        const MacPath app("/Applications/" + nameOf(i) + ".app");
        mac.plist(app.appendingPathComponent("Contents/Info.plist"),
                  D{{"CFBundleIdentifier", identifierOf(i)}, {"CFBundleName", nameOf(i)}});
        for (int f = 0; f < kBundleFiles; ++f)
            mac.file(app.appendingPathComponent("Contents/Resources/r" + std::to_string(f % 40) +
                                                "/f" + std::to_string(f)),
                     std::string(static_cast<std::size_t>(100 + f % 5000), 'x'));
    }
    const std::vector<core::ScopedAccessRoot> roots{
        {core::AccessRootKind::applications, platform::MacPath("/Applications")}};
    std::int64_t total = 0;
    std::size_t count = 0;
    for (auto _ : state) {
        auto apps = core::InstalledAppInventory::scan(roots, false).value();
        total = 0;
        for (auto& app : apps) {
            app.sizeBytes = core::allocatedSize(app.url);
            total += app.sizeBytes;
        }
        count = apps.size();
        benchmark::DoNotOptimize(apps);
    }
    state.counters["apps"] = static_cast<double>(count);
    state.counters["MB"] = static_cast<double>(total) / 1e6;
}
BENCHMARK(BM_InventoryWithSizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
