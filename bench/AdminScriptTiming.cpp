// Times the administrator script's move of 50 and of 500 root-owned folders (20 files each) into
// the Trash and its put-back, through the stand-in osascript on a generated Mac, against `mv` of
// the same folders there and back. Each check of an item clause starts its own stat, mktemp or
// perl; here stat and the other tools are stand-in shell scripts over the host's tools, which
// start more programs than a Mac's own tools do. Runs as root (the stand-in runs scripts only in
// a Mac whose system folders are root's). Not a Google Benchmark program: bench/admin_script.sh
// runs it, with the folder counts as arguments (default 50 and 500).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TimingSupport.h"
#include "app/removal/AdminMover.h"
#include "app/removal/AdminRestorer.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "tests/support/writers/MacTree.h"

extern char** environ; // NOLINT(readability-identifier-naming): the C library's name

namespace {

namespace fs = std::filesystem;
using veldo::platform::MacPath;
using veldo::testsupport::MacTree;

constexpr int kFilesPerFolder = 20;
constexpr std::string_view kTree = "/Library/Application Support/Veldo Bench";

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The Mac: its shape, the stand-in osascript and tools (root's), and `count` folders of the
// bench tree plus as many for `mv` beside it.
bool makeMac(const MacTree& mac, const MacPath& home, int count)
{
    if (!mac.makeShape(home))
        return false;
    const std::string standIns = VELDO_STAND_INS_DIR;
    bool ok = static_cast<bool>(
        mac.write(MacPath("/usr/bin/osascript"), fileBytes(VELDO_OSASCRIPT_STAND_IN), 0755));
    for (const char* tool : {"stat", "env", "perl", "mktemp"})
        ok = ok && mac.write(MacPath("/usr/bin").appendingPathComponent(tool),
                             fileBytes(standIns + "/" + tool), 0755);
    ok = ok && mac.write(MacPath("/bin/rmdir"), fileBytes(standIns + "/rmdir"), 0755) &&
         mac.write(MacPath("/bin/launchctl"), fileBytes(standIns + "/launchctl"), 0755) &&
         mac.mkdir(MacPath("/private/var/osascript-stand-in"), 0755) &&
         mac.mkdir(MacPath("/private/var/launchctl-stand-in"), 0777);
    for (int at = 0; ok && at < count; ++at) {
        for (const std::string& folder :
             {std::string(kTree) + "/a" + std::to_string(at), "/Mv Bench/m" + std::to_string(at)})
            for (int f = 0; ok && f < kFilesPerFolder; ++f)
                ok = static_cast<bool>(
                    mac.write(MacPath(folder + "/f" + std::to_string(f)), "admin script bench"));
    }
    return ok;
}

int runFolders(int count)
{
    std::string tmpl = "/tmp/veldo-admin-bench-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string root = tmpl;
    ::chmod(root.c_str(), 0755);
    veldo::platform::testing::setMacRoot(root);
    const MacPath home = veldo::platform::homeDirectory();
    const MacTree mac(root);
    int status = 0;
    if (!makeMac(mac, home, count)) {
        std::fprintf(stderr, "couldn't make the Mac at %s\n", root.c_str());
        status = 1;
    }

    std::vector<MacPath> items;
    std::vector<std::string> mvSources;
    std::vector<std::string> mvInTrash;
    for (int at = 0; at < count; ++at) {
        items.emplace_back(std::string(kTree) + "/a" + std::to_string(at));
        mvSources.push_back(root + "/Mv Bench/m" + std::to_string(at));
        mvInTrash.push_back(mac.host(home) + "/.Trash/m" + std::to_string(at));
    }
    const veldo::common::RemovalSafety::Context context{
        home, {MacPath("/Applications/Veldo.app")}, {}, false};

    veldo::removal::AdminRemover::MoveResult moved;
    double moveSeconds = 0;
    if (status == 0) {
        moveSeconds = veldo::bench::seconds(
            [&] { moved = veldo::removal::AdminRemover::runMoveScript(items, context); });
        if (moved.moved.size() != items.size()) {
            std::fprintf(stderr, "the script moved %zu of %d folders (%zu failures)\n",
                         moved.moved.size(), count, moved.failures.size());
            status = 1;
        }
    }
    std::vector<veldo::removal::RestorePoint> points;
    for (const auto& move : moved.moved)
        points.push_back(veldo::removal::RestorePoint{
            .item = {.url = move.source},
            .trashURL = move.destination,
            .needsAdmin = true,
            .ownerID = move.ownerID,
            .groupID = move.groupID,
            .itemDevice = move.device,
            .itemInode = move.inode,
            .parentDevice = move.parentDevice,
            .parentInode = move.parentInode,
            .parentOwnerID = move.parentOwnerID,
        });
    double restoreSeconds = 0;
    if (status == 0) {
        std::size_t restored = 0;
        restoreSeconds = veldo::bench::seconds([&] {
            restored =
                veldo::removal::AdminRemover::runRestoreScript(points, home).restoredIDs.size();
        });
        if (restored != points.size()) {
            std::fprintf(stderr, "the script put back %zu of %zu folders\n", restored,
                         points.size());
            status = 1;
        }
    }
    double mvSeconds = 0;
    double mvBackSeconds = 0;
    if (status == 0) {
        bool ok = false;
        mvSeconds = veldo::bench::seconds(
            [&] { ok = veldo::bench::runMv(mac.host(home) + "/.Trash", mvSources); });
        mvBackSeconds = veldo::bench::seconds(
            [&] { ok = ok && veldo::bench::runMv(root + "/Mv Bench", mvInTrash); });
        if (!ok) {
            std::fprintf(stderr, "mv failed\n");
            status = 1;
        }
    }
    if (status == 0) {
        std::printf("%d root-owned folders of %d files each, through the administrator script\n",
                    count, kFilesPerFolder);
        std::printf("  move:     %9.1f ms (%6.1f ms an item); mv %7.1f ms, ratio %.0f\n",
                    moveSeconds * 1e3, moveSeconds * 1e3 / count, mvSeconds * 1e3,
                    moveSeconds / mvSeconds);
        std::printf("  put-back: %9.1f ms (%6.1f ms an item); mv %7.1f ms, ratio %.0f\n",
                    restoreSeconds * 1e3, restoreSeconds * 1e3 / count, mvBackSeconds * 1e3,
                    restoreSeconds / mvBackSeconds);
    }
    veldo::platform::testing::setMacRoot("");
    std::error_code ec;
    fs::remove_all(root, ec);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (::geteuid() != 0) {
        std::fprintf(stderr, "admin_script_timing runs the stand-in osascript: run it as root\n");
        return 0;
    }
    std::vector<int> counts;
    for (int at = 1; at < argc; ++at)
        counts.push_back(std::atoi(argv[at]));
    if (counts.empty())
        counts = {50, 500};
    int status = 0;
    for (int count : counts)
        status |= runFolders(std::max(count, 1));
    return status;
}
