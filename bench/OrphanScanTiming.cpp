// Times the orphan scan of a generated Library against `du -s -B1` of the same location folders:
// about 2,000 candidate entries spread over the 19 locations, 200,000 files in all, most of them
// in deep cache trees with some hard links. One untimed warm-up run each, then the best of three,
// the ratio, and how many registry questions one scan asked.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/core/CommandRunner.h"
#include "app/scanners/OrphanLocation.h"
#include "app/scanners/OrphanScanner.h"
#include "bench/BenchMac.h"
#include "bench/DuTiming.h"
#include "bench/TimingSupport.h"

namespace {

using veldo::bench::runDu;
using veldo::bench::seconds;
using veldo::bench::writeFile;
using veldo::platform::MacPath;
namespace OrphanScanner = veldo::scanners::OrphanScanner;
using OrphanScanner::NameStyle;

constexpr int kEntriesPerLocation = 105; // 19 × 105 ≈ 2,000 entries
constexpr int kBigTreesPerCaches = 10;   // in each of the two Caches folders
constexpr int kTreeTop = 7;              // 7 × 7 × 2 folders of 100 files: 9,800 files a tree
constexpr int kTreeMiddle = 7;
constexpr int kTreeBottom = 2;
constexpr int kTreeFiles = 100;
constexpr int kHardLinkEvery = 100;
constexpr int kRuns = 3;

struct Counts
{
    long files = 0;
    long links = 0;
};

std::string identifier(int location, int entry)
{
    // Vendors with an even number are installed: their entries are claimed and never measured.
    return "com.vendor" + std::to_string(entry % 40) + ".app" + std::to_string(location) + "x" +
           std::to_string(entry);
}

bool fill(const std::string& folder, int files, Counts& counts)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return false;
    std::string previous;
    for (int f = 0; f < files; ++f) {
        const std::string path = folder + "/f" + std::to_string(f);
        if (++counts.files % kHardLinkEvery == 0 && !previous.empty()) {
            if (::link(previous.c_str(), path.c_str()) != 0)
                return false;
            ++counts.links;
            continue;
        }
        if (!writeFile(path, static_cast<std::size_t>(counts.files % 9) * 512))
            return false;
        previous = path;
    }
    return true;
}

bool bigTree(const std::string& top, Counts& counts)
{
    for (int a = 0; a < kTreeTop; ++a)
        for (int b = 0; b < kTreeMiddle; ++b)
            for (int c = 0; c < kTreeBottom; ++c) {
                const std::string folder = top + "/Data" + std::to_string(a) + "/Cache" +
                                           std::to_string(b) + "/blocks" + std::to_string(c);
                if (!fill(folder, kTreeFiles, counts))
                    return false;
            }
    return true;
}

bool buildLibrary(const veldo::bench::BenchMac& mac,
                  const std::vector<OrphanScanner::Location>& locations, Counts& counts)
{
    for (std::size_t l = 0; l < locations.size(); ++l) {
        const OrphanScanner::Location& location = locations[l];
        const std::string folder = mac.host(location.url);
        std::filesystem::create_directories(folder);
        const bool caches = location.category == veldo::core::LeftoverCategory::caches;
        for (int e = 0; e < kEntriesPerLocation; ++e) {
            const std::string id = identifier(static_cast<int>(l), e);
            const std::string entry = folder + "/";
            switch (location.style) {
            case NameStyle::bare:
                if (caches && e < 2 * kBigTreesPerCaches && e % 2 == 1) {
                    if (!bigTree(entry + id, counts))
                        return false;
                } else if (!fill(entry + id, 2, counts)) {
                    return false;
                }
                break;
            case NameStyle::groupPrefixed:
                if (!fill(entry + (e % 2 ? "AB12CD34EF." : "group.") + id, 2, counts))
                    return false;
                break;
            case NameStyle::plist:
            case NameStyle::savedState:
            case NameStyle::cookies: {
                const char* suffix = location.style == NameStyle::plist        ? ".plist"
                                     : location.style == NameStyle::savedState ? ".savedState"
                                                                               : ".binarycookies";
                if (location.style == NameStyle::savedState) {
                    if (!fill(entry + id + suffix, 2, counts))
                        return false;
                } else if (!writeFile(entry + id + suffix, 1024)) {
                    return false;
                }
                ++counts.files;
                break;
            }
            case NameStyle::httpStorage:
                if (!fill(entry + id, 2, counts) || !writeFile(entry + id + ".binarycookies", 512))
                    return false;
                ++counts.files;
                break;
            case NameStyle::launchPlist:
                mac.plist(MacPath(location.url.appendingPathComponent(id + ".plist")),
                          veldo::platform::PlistValue(veldo::platform::PlistValue::Dictionary{
                              {"Label", id}, {"Program", "/Applications/Gone.app/x"}}));
                ++counts.files;
                break;
            case NameStyle::helperTool:
                if (!writeFile(entry + id, 4096))
                    return false;
                ++counts.files;
                break;
            }
        }
    }
    return true;
}

} // namespace

int main()
{
    const veldo::bench::BenchMac mac("orphan-bench", {"/Library"});
    const auto locations = OrphanScanner::locations(mac.home(), MacPath("/Library"));
    Counts counts;
    if (!buildLibrary(mac, locations, counts)) {
        std::perror("building the Library");
        return 1;
    }

    veldo::scanners::OrphanScanEnvironment env = veldo::scanners::OrphanScanEnvironment::build({});
    for (int v = 0; v < 40; v += 2)
        env.installedBundleIDs.insert("com.vendor" + std::to_string(v) + ".app");
    // Installed identifiers claim only their own children; make each vendor's apps distinct.
    for (std::size_t l = 0; l < locations.size(); ++l)
        for (int e = 0; e < kEntriesPerLocation; ++e)
            if ((e % 40) % 2 == 0)
                env.installedBundleIDs.insert(identifier(static_cast<int>(l), e));
    std::atomic<long> registryCalls = 0;
    env.isRegisteredWithLaunchServices =
        [&registryCalls, ask = env.isRegisteredWithLaunchServices](std::string_view id) {
            ++registryCalls;
            return ask(id);
        };

    std::vector<std::string> paths;
    for (const auto& location : locations)
        paths.push_back(mac.host(location.url));

    auto result = OrphanScanner::scan(env); // warm-up
    long long theirs = runDu(paths);        // warm-up
    const long callsPerScan = registryCalls.exchange(0);
    double bestScan = 1e9;
    double bestDu = 1e9;
    for (int run = 0; run < kRuns && theirs >= 0; ++run) {
        bestScan = std::min(bestScan, seconds([&] { result = OrphanScanner::scan(env); }));
        bestDu = std::min(bestDu, seconds([&] { theirs = runDu(paths); }));
    }
    if (theirs < 0) {
        std::fprintf(stderr, "du failed\n");
        return 1;
    }
    std::size_t findings = 0;
    for (const auto& group : result.groups)
        findings += group.findings.size();
    std::printf("library: %ld files (%ld hard links), %zu entries in %zu locations\n", counts.files,
                counts.links, locations.size() * kEntriesPerLocation, locations.size());
    std::printf("orphan scan: %8.1f ms  %zu findings in %zu groups, %lld bytes\n", bestScan * 1e3,
                findings, result.groups.size(),
                static_cast<long long>(veldo::scanners::OrphanGroup::totalBytes(result.groups)));
    std::printf("du -s -B1:   %8.1f ms  %lld bytes (all entries, folders included)\n", bestDu * 1e3,
                theirs);
    std::printf("ratio scan / du: %.2f (best of %d, after one warm-up each)\n", bestScan / bestDu,
                kRuns);
    std::printf("registry calls in one scan: %ld\n", callsPerScan);
    return 0;
}
