// Times allocatedSize against `du -s -B1` over one generated tree of 200,000 files in 10,000
// folders with hard links: one untimed warm-up run each, then the best of three, and the ratio;
// then the same over a small tree of 200 files in 10 folders (best of 50), where the cost of
// starting du dominates and allocatedSize must stay on the calling thread.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/core/AllocatedSize.h"
#include "base/SystemCalls.h"
#include "bench/TimingSupport.h"
#include "platform/MacRoot.h"

extern char** environ; // NOLINT(readability-identifier-naming): the C library's name

namespace {

using veldo::bench::seconds;
using veldo::bench::writeFile;

struct TreeShape
{
    int topFolders;
    int subfoldersPerTop;
    int filesPerFolder;
    int runs;

    int folders() const { return topFolders * (1 + subfoldersPerTop); }
    int files() const { return folders() * filesPerFolder; }
};
// 100 + 100 × 99 = 10,000 folders of 20 files: 200,000 files.
constexpr TreeShape kLargeTree{100, 99, 20, 3};
// 10 folders of 20 files.
constexpr TreeShape kSmallTree{10, 0, 20, 50};
constexpr int kHardLinkEvery = 100; // every 100th file is a hard link to an earlier one

// Builds the tree; returns the number of hard links made, or -1 on failure.
int buildTree(const std::string& tree, const TreeShape& shape)
{
    std::vector<std::string> folders;
    for (int t = 0; t < shape.topFolders; ++t) {
        const std::string top = tree + "/top" + std::to_string(t);
        folders.push_back(top);
        for (int s = 0; s < shape.subfoldersPerTop; ++s)
            folders.push_back(top + "/sub" + std::to_string(s));
    }
    if (::mkdir(tree.c_str(), 0755) != 0)
        return -1;
    int links = 0;
    int index = 0;
    std::string previousFile;
    for (const auto& folder : folders) {
        if (::mkdir(folder.c_str(), 0755) != 0)
            return -1;
        for (int f = 0; f < shape.filesPerFolder; ++f, ++index) {
            const std::string path = folder + "/file" + std::to_string(f) + ".dat";
            if (index % kHardLinkEvery == 0 && !previousFile.empty()) {
                if (::link(previousFile.c_str(), path.c_str()) != 0)
                    return -1;
                ++links;
                continue;
            }
            if (!writeFile(path, static_cast<std::size_t>(index % 8) * 512))
                return -1;
            previousFile = path;
        }
    }
    return links;
}

// Runs `du -s -B1 <tree>` and answers its byte count; -1 on failure.
long long runDu(const std::string& tree)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::string du = "du", s = "-s", b = "-B1", path = tree;
    char* argv[] = {du.data(), s.data(), b.data(), path.data(), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, "du", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    // du prints one short line; an answer that cannot be read counts as none (0 bytes).
    const std::string out = veldo::base::readAll(pipeFds[0], 1 << 20).value_or({});
    ::close(pipeFds[0]);
    if (rc != 0)
        return -1;
    int status = 0;
    if (veldo::base::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); }) < 0)
        return -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::atoll(out.c_str());
}

// Builds `shape` in `base`, times both and prints the figures; false on failure.
bool compare(const std::string& base, const std::string& name, const TreeShape& shape)
{
    const std::string tree = base + "/" + name;
    const int links = buildTree(tree, shape);
    if (links < 0) {
        std::perror("building the tree");
        return false;
    }
    const veldo::platform::MacPath macTree("/" + name);
    std::int64_t ours = veldo::core::allocatedSize(macTree); // warm-up
    long long theirs = runDu(tree);                          // warm-up
    double bestOurs = 1e9;
    double bestDu = 1e9;
    for (int run = 0; run < shape.runs && theirs >= 0; ++run) {
        bestOurs = std::min(bestOurs, seconds([&] { ours = veldo::core::allocatedSize(macTree); }));
        bestDu = std::min(bestDu, seconds([&] { theirs = runDu(tree); }));
    }
    if (theirs < 0) {
        std::fprintf(stderr, "du failed\n");
        return false;
    }
    std::printf("tree: %d files (%d hard links) in %d folders\n", shape.files(), links,
                shape.folders());
    std::printf("allocatedSize: %8.3f ms  %lld bytes (files only)\n", bestOurs * 1e3,
                static_cast<long long>(ours));
    std::printf("du -s -B1:     %8.3f ms  %lld bytes (folders included)\n", bestDu * 1e3, theirs);
    std::printf("ratio allocatedSize / du: %.3f (best of %d, after one warm-up each)\n",
                bestOurs / bestDu, shape.runs);
    return true;
}

} // namespace

int main()
{
    std::string tmpl = "/tmp/veldo-size-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = tmpl;
    veldo::platform::testing::setMacRoot(base);
    const bool ok = compare(base, "tree", kLargeTree) && compare(base, "small", kSmallTree);
    veldo::platform::testing::setMacRoot("");
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return ok ? 0 : 1;
}
