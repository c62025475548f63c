// Times Trash runs against `mv` of the same items into a Trash folder (one process): 10,000
// small files in one folder, and 500 folders of 20 small files each. The tree is rebuilt before
// each run, one untimed warm-up each, then the best of three, and the ratio.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/removal/TrashExecutor.h"
#include "bench/TimingSupport.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"

extern char** environ; // NOLINT(readability-identifier-naming): the C library's name

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;

// What one scenario moves: `items` entries at the top of its folder, each a small file, or a
// folder of `filesPerFolder` small files when that is not 0.
struct Scenario
{
    const char* title;
    int items;
    int filesPerFolder;
};

constexpr Scenario kScenarios[] = {
    {"10000 small files in one folder", 10000, 0},
    {"500 folders of 20 small files each", 500, 20},
};

std::string itemName(const Scenario& scenario, int index)
{
    char name[32];
    std::snprintf(name, sizeof name, scenario.filesPerFolder ? "folder-%05d" : "cache-%05d.dat",
                  index);
    return name;
}

bool writeSmallFile(const std::string& path)
{
    static const std::string kData(200, 'v');
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, kData.data(), kData.size()) == static_cast<ssize_t>(kData.size());
    return ::close(fd) == 0 && ok;
}

// A fresh folder holding the scenario's items and an empty Trash folder beside it.
bool buildTree(const Scenario& scenario, const std::string& folder, const std::string& trash)
{
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::remove_all(trash, ec);
    fs::create_directories(folder, ec);
    if (ec || !fs::create_directories(trash, ec))
        return false;
    ::chmod(trash.c_str(), 0700);
    for (int i = 0; i < scenario.items; ++i) {
        const std::string path = folder + "/" + itemName(scenario, i);
        if (scenario.filesPerFolder == 0) {
            if (!writeSmallFile(path))
                return false;
            continue;
        }
        if (::mkdir(path.c_str(), 0755) != 0)
            return false;
        for (int f = 0; f < scenario.filesPerFolder; ++f) {
            if (!writeSmallFile(path + "/file-" + std::to_string(f) + ".dat"))
                return false;
        }
    }
    return true;
}

// `mv -t <trash> <every item>` as one process; true when it exited 0.
bool runMv(const Scenario& scenario, const std::string& folder, const std::string& trash)
{
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(scenario.items));
    for (int i = 0; i < scenario.items; ++i)
        paths.push_back(folder + "/" + itemName(scenario, i));
    return veldo::bench::runMv(trash, paths);
}

// Runs one scenario in the Mac root at `base`; false on a failure, which it has reported.
bool runScenario(const Scenario& scenario, const std::string& base)
{
    using veldo::platform::MacPath;
    const MacPath home = veldo::platform::homeDirectory();
    const MacPath folder = home.appendingPathComponent("Library/Caches/Bench");
    const MacPath trash = home.appendingPathComponent(".Trash");
    const std::string hostFolder = base + folder.path();
    const std::string hostTrash = base + trash.path();
    const std::string mvFolder = base + "/mv-source";
    const std::string mvTrash = base + "/mv-trash";

    std::vector<veldo::core::LeftoverItem> items;
    for (int i = 0; i < scenario.items; ++i)
        items.push_back({.url = folder.appendingPathComponent(itemName(scenario, i)),
                         .category = veldo::core::LeftoverCategory::caches});
    const veldo::common::RemovalSafety::Context context{
        home, {MacPath("/Applications/Veldo.app")}, {}, false};

    double bestTrash = 1e9;
    double bestMv = 1e9;
    for (int run = 0; run <= kRuns; ++run) {
        if (!buildTree(scenario, hostFolder, hostTrash)) {
            std::perror("building the tree");
            return false;
        }
        std::size_t trashed = 0;
        const double t = veldo::bench::seconds([&] {
            trashed =
                veldo::removal::TrashExecutor::runUninstall(items, context, {}).trashed.size();
        });
        if (trashed != items.size()) {
            std::fprintf(stderr, "the Trash run moved %zu of %zu items\n", trashed, items.size());
            return false;
        }
        if (!buildTree(scenario, mvFolder, mvTrash)) {
            std::perror("building the tree");
            return false;
        }
        bool moved = false;
        const double m = veldo::bench::seconds([&] { moved = runMv(scenario, mvFolder, mvTrash); });
        if (!moved) {
            std::fprintf(stderr, "mv failed\n");
            return false;
        }
        if (run > 0) { // run 0 is the warm-up
            bestTrash = std::min(bestTrash, t);
            bestMv = std::min(bestMv, m);
        }
    }
    std::printf("%s, moved into an empty Trash folder\n", scenario.title);
    std::printf("Trash run (safety check, attributes, no-replace rename): %8.1f ms\n",
                bestTrash * 1e3);
    std::printf("mv -t <trash> <items> (one process):                   %8.1f ms\n", bestMv * 1e3);
    std::printf("ratio Trash run / mv: %.2f (best of %d, after one warm-up each)\n",
                bestTrash / bestMv, kRuns);
    return true;
}

} // namespace

int main()
{
    std::string tmpl = "/tmp/veldo-trash-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = tmpl;
    veldo::platform::testing::setMacRoot(base);
    int status = 0;
    for (const Scenario& scenario : kScenarios) {
        if (!runScenario(scenario, base)) {
            status = 1;
            break;
        }
    }
    veldo::platform::testing::setMacRoot("");
    std::error_code ec;
    fs::remove_all(base, ec);
    return status;
}
