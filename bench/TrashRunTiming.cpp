// Times a Trash run of 10,000 small files in one folder against `mv` of the same files into a
// Trash folder (one process): the tree is rebuilt before each run, one untimed warm-up each,
// then the best of three, and the ratio.
#include <algorithm>
#include <cerrno>
#include <chrono>
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
#include "platform/Home.h"
#include "platform/MacRoot.h"

extern char** environ; // NOLINT(readability-identifier-naming): the C library's name

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;
constexpr int kRuns = 3;

std::string fileName(int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "cache-%05d.dat", index);
    return name;
}

// A fresh folder of kFiles small files and an empty Trash folder beside it.
bool buildTree(const std::string& folder, const std::string& trash)
{
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::remove_all(trash, ec);
    fs::create_directories(folder, ec);
    if (ec || !fs::create_directories(trash, ec))
        return false;
    ::chmod(trash.c_str(), 0700);
    static const std::string kData(200, 'v');
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = folder + "/" + fileName(i);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const bool ok =
            ::write(fd, kData.data(), kData.size()) == static_cast<ssize_t>(kData.size());
        if (::close(fd) != 0 || !ok)
            return false;
    }
    return true;
}

// `mv -t <trash> <every file>` as one process; true when it exited 0.
bool runMv(const std::string& folder, const std::string& trash)
{
    std::vector<std::string> arguments{"mv", "-t", trash};
    for (int i = 0; i < kFiles; ++i)
        arguments.push_back(folder + "/" + fileName(i));
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "mv", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

template <typename F>
double seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main()
{
    using veldo::platform::MacPath;
    std::string tmpl = "/tmp/veldo-trash-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = tmpl;
    veldo::platform::testing::setMacRoot(base);
    const MacPath home = veldo::platform::homeDirectory();
    const MacPath folder = home.appendingPathComponent("Library/Caches/Bench");
    const MacPath trash = home.appendingPathComponent(".Trash");
    const std::string hostFolder = base + folder.path();
    const std::string hostTrash = base + trash.path();
    const std::string mvFolder = base + "/mv-source";
    const std::string mvTrash = base + "/mv-trash";

    std::vector<veldo::core::LeftoverItem> items;
    for (int i = 0; i < kFiles; ++i)
        items.push_back({.url = folder.appendingPathComponent(fileName(i)),
                         .category = veldo::core::LeftoverCategory::caches});
    const veldo::common::RemovalSafety::Context context{
        home, {MacPath("/Applications/Veldo.app")}, {}, false};

    int status = 0;
    double bestTrash = 1e9;
    double bestMv = 1e9;
    for (int run = 0; run <= kRuns && status == 0; ++run) {
        if (!buildTree(hostFolder, hostTrash)) {
            std::perror("building the tree");
            status = 1;
            break;
        }
        std::size_t trashed = 0;
        const double t = seconds([&] {
            trashed =
                veldo::removal::TrashExecutor::runUninstall(items, context, {}).trashed.size();
        });
        if (trashed != static_cast<std::size_t>(kFiles)) {
            std::fprintf(stderr, "the Trash run moved %zu of %d files\n", trashed, kFiles);
            status = 1;
            break;
        }
        if (!buildTree(mvFolder, mvTrash)) {
            std::perror("building the tree");
            status = 1;
            break;
        }
        bool moved = false;
        const double m = seconds([&] { moved = runMv(mvFolder, mvTrash); });
        if (!moved) {
            std::fprintf(stderr, "mv failed\n");
            status = 1;
            break;
        }
        if (run > 0) { // run 0 is the warm-up
            bestTrash = std::min(bestTrash, t);
            bestMv = std::min(bestMv, m);
        }
    }
    if (status == 0) {
        std::printf("%d small files in one folder, moved into an empty Trash folder\n", kFiles);
        std::printf("Trash run (safety check, attributes, no-replace rename): %8.1f ms\n",
                    bestTrash * 1e3);
        std::printf("mv -t <trash> <files> (one process):                   %8.1f ms\n",
                    bestMv * 1e3);
        std::printf("ratio Trash run / mv: %.2f (best of %d, after one warm-up each)\n",
                    bestTrash / bestMv, kRuns);
    }
    veldo::platform::testing::setMacRoot("");
    std::error_code ec;
    fs::remove_all(base, ec);
    return status;
}
