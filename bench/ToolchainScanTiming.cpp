// Times the toolchain scan of a generated home holding about 500,000 files spread over a dozen
// developer-tool locations (nvm versions among them) against `du -s -B1` of the same locations:
// one untimed warm-up run each, then the best of three, and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "app/core/CommandRunner.h"
#include "app/scanners/ToolchainScanner.h"
#include "bench/DuTiming.h"
#include "bench/TimingSupport.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"

namespace {

using veldo::bench::runDu;
using veldo::bench::seconds;
using veldo::bench::writeFile;

using veldo::platform::MacPath;

// Relative to the home; the expanded ones get kChildren children each.
struct Location
{
    const char* path;
    bool expanded;
};
constexpr Location kLocations[] = {
    {"Library/Caches/Homebrew", false},
    {".npm/_cacache", false},
    {".nvm/versions/node", true},
    {"Library/Caches/pip", false},
    {".pyenv/versions", true},
    {".gradle/caches", false},
    {".m2/repository", false},
    {".cargo/registry", false},
    {"go/pkg", false},
    {"Library/Developer/Xcode/DerivedData", false},
    {"Library/Caches/JetBrains", true},
    {".rustup/toolchains", true},
};
constexpr int kChildren = 4;
constexpr int kFoldersPerLocation = 834; // 12 × 834 × 50 ≈ 500,000 files
constexpr int kFilesPerFolder = 50;
constexpr int kRuns = 3;

// Builds the locations under the host folder of the home; the number of files, or -1.
long buildHome(const std::string& home)
{
    long files = 0;
    for (const auto& location : kLocations) {
        for (int folder = 0; folder < kFoldersPerLocation; ++folder) {
            std::string dir = home + "/" + location.path;
            if (location.expanded)
                dir += "/v" + std::to_string(folder % kChildren) + ".0.0";
            dir += "/d" + std::to_string(folder / 30) + "/e" + std::to_string(folder % 30);
            std::error_code ec;
            std::filesystem::create_directories(dir, ec);
            if (ec)
                return -1;
            for (int f = 0; f < kFilesPerFolder; ++f, ++files) {
                if (!writeFile(dir + "/f" + std::to_string(f),
                               static_cast<std::size_t>(files % 9) * 1024))
                    return -1;
            }
        }
    }
    return files;
}

} // namespace

int main()
{
    std::string tmpl = "/tmp/veldo-toolchain-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = tmpl;
    veldo::platform::testing::setMacRoot(root);
    const MacPath home = veldo::platform::homeDirectory();
    const std::string hostHome = veldo::platform::hostPath(home);
    int status = 0;

    const long files = buildHome(hostHome);
    if (files < 0) {
        std::perror("building the home");
        status = 1;
    } else {
        std::vector<std::string> paths;
        for (const auto& location : kLocations)
            paths.push_back(hostHome + "/" + location.path);
        namespace ToolchainScanner = veldo::scanners::ToolchainScanner;
        auto groups = ToolchainScanner::scan(home); // warm-up
        long long theirs = runDu(paths);            // warm-up
        double bestScan = 1e9;
        double bestDu = 1e9;
        for (int run = 0; run < kRuns && theirs >= 0; ++run) {
            bestScan = std::min(bestScan, seconds([&] { groups = ToolchainScanner::scan(home); }));
            bestDu = std::min(bestDu, seconds([&] { theirs = runDu(paths); }));
        }
        long long ours = 0;
        std::size_t items = 0;
        for (const auto& group : groups) {
            for (const auto& item : group.items) {
                ours += item.sizeBytes;
                ++items;
            }
        }
        if (theirs < 0) {
            std::fprintf(stderr, "du failed\n");
            status = 1;
        } else {
            std::printf("home: %ld files in %zu locations, %zu items found\n", files,
                        std::size(kLocations), items);
            std::printf("toolchain scan: %8.1f ms  %lld bytes (files only)\n", bestScan * 1e3,
                        ours);
            std::printf("du -s -B1:      %8.1f ms  %lld bytes (folders included)\n", bestDu * 1e3,
                        theirs);
            std::printf("ratio scan / du: %.2f (best of %d, after one warm-up each)\n",
                        bestScan / bestDu, kRuns);
        }
    }
    veldo::platform::testing::setMacRoot("");
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return status;
}
