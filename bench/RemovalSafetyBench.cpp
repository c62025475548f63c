// Throughput of the removal-safety check over 100,000 mixed paths on a fake Mac whose parent
// folders exist (so resolving parent links reads the disk), without disk inspection.
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <stdlib.h>

#include <benchmark/benchmark.h>

#include "common/RemovalSafety.h"
#include "platform/MacRoot.h"

namespace fs = std::filesystem;
using veldo::common::removalRefusal;
using veldo::platform::MacPath;
namespace RemovalSafety = veldo::common::RemovalSafety;

namespace {

constexpr int kPathCount = 100'000;
const std::string kHome = "/Users/bench";

// A temporary Mac root with /var, /tmp and /etc linked into /private, removed at the end.
class BenchMac
{
public:
    BenchMac()
    {
        std::string tmpl = (fs::temp_directory_path() / "veldo-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        m_root = tmpl;
        for (const char* dir : {"/private/var", "/private/tmp", "/private/etc"})
            fs::create_directories(m_root + dir);
        fs::create_symlink("private/var", m_root + "/var");
        fs::create_symlink("private/tmp", m_root + "/tmp");
        fs::create_symlink("private/etc", m_root + "/etc");
        veldo::platform::testing::setMacRoot(m_root);
    }
    ~BenchMac()
    {
        veldo::platform::testing::setMacRoot("");
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    BenchMac(const BenchMac&) = delete;
    BenchMac& operator=(const BenchMac&) = delete;

    void makeFolder(const MacPath& path) const { fs::create_directories(m_root + path.path()); }

private:
    std::string m_root;
};

// Leftover-like paths that pass, with protected ones mixed in (about one in four is refused).
std::vector<MacPath> mixedPaths()
{
    std::vector<MacPath> paths;
    paths.reserve(kPathCount);
    for (int i = 0; i < kPathCount; ++i) {
        const std::string n = std::to_string(i % 500);
        switch (i % 16) {
        case 0:
            paths.emplace_back(kHome + "/Library/Caches/com.vendor.app" + n);
            break;
        case 1:
            paths.emplace_back(kHome + "/Library/Preferences/com.vendor.app" + n + ".plist");
            break;
        case 2:
            paths.emplace_back(kHome + "/Library/Application Support/Vendor " + n);
            break;
        case 3:
            paths.emplace_back("/Library/LaunchAgents/com.vendor.agent" + n + ".plist");
            break;
        case 4:
            paths.emplace_back("/Library/Application Support/Vendor " + n);
            break;
        case 5:
            paths.emplace_back("/Applications/App" + n + ".app");
            break;
        case 6:
            paths.emplace_back(kHome + "/Documents");
            break;
        case 7:
            paths.emplace_back("/System/Library/Frameworks/F" + n + ".framework");
            break;
        case 8:
            paths.emplace_back("/var/folders/ab/cd/C/com.vendor.app" + n);
            break;
        case 9:
            paths.emplace_back("/private/var/db/receipts/com.vendor.pkg" + n + ".bom");
            break;
        case 10:
            paths.emplace_back("/Users/other/Library/Keychains/k" + n);
            break;
        case 11:
            paths.emplace_back(kHome + "/Library/Containers/com.vendor.app" + n);
            break;
        case 12:
            paths.emplace_back("/Applications/Folder " + n);
            break;
        case 13:
            paths.emplace_back("/usr/local/bin/tool" + n);
            break;
        case 14:
            paths.emplace_back("/Library/Caches");
            break;
        default:
            paths.emplace_back(kHome + "/Library/Group Containers/group.com.vendor" + n);
            break;
        }
    }
    return paths;
}

// Argument: the number of installed apps in the context. With `prepared`, the context is
// prepared once for all the checks, as a scan or a Trash run does.
void refuseMixedPaths(benchmark::State& state, bool prepared)
{
    BenchMac mac;
    const std::vector<MacPath> paths = mixedPaths();
    std::set<MacPath> parents;
    for (const MacPath& p : paths)
        parents.insert(p.deletingLastPathComponent());
    for (const MacPath& p : parents)
        mac.makeFolder(p);

    RemovalSafety::Context context{MacPath(kHome), {MacPath("/Applications/Veldo.app")}, {}, false};
    for (int64_t k = 0; k < state.range(0); ++k)
        context.installedApps.emplace_back("/Applications/Installed " + std::to_string(k) + ".app");

    int64_t refused = 0;
    for (auto _ : state) {
        refused = 0;
        if (prepared) {
            const RemovalSafety::PreparedContext once(context);
            for (const MacPath& p : paths)
                refused += removalRefusal(p, once).has_value() ? 1 : 0;
        } else {
            for (const MacPath& p : paths)
                refused += removalRefusal(p, context).has_value() ? 1 : 0;
        }
        benchmark::DoNotOptimize(refused);
    }
    state.SetItemsProcessed(state.iterations() * kPathCount);
    state.counters["refused"] = static_cast<double>(refused);
}

void BM_RemovalRefusalMixedPaths(benchmark::State& state)
{
    refuseMixedPaths(state, false);
}
BENCHMARK(BM_RemovalRefusalMixedPaths)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_RemovalRefusalPreparedContext(benchmark::State& state)
{
    refuseMixedPaths(state, true);
}
BENCHMARK(BM_RemovalRefusalPreparedContext)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace
