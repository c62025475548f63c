// Cost of the helper's inventory file and of a descriptor walk beneath the Mac root.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "common/HelperFileAccess.h"
#include "common/HelperItemInventory.h"

using veldo::common::HelperItemInventory;
using veldo::common::HelperPathDigest;

namespace {

HelperItemInventory inventoryOf(std::int64_t count)
{
    HelperItemInventory inventory;
    for (std::int64_t i = 0; i < count; ++i) {
        HelperItemInventory::Entry e;
        e.pathHash = HelperPathDigest::of("Folder/item " + std::to_string(i));
        e.uid = 501;
        e.gid = 20;
        e.mode = 0100644;
        e.links = 1;
        inventory.entries[static_cast<std::uint64_t>(i) * 7 + 1000] = e;
    }
    return inventory;
}

} // namespace

static void BM_InventoryEncode(benchmark::State& state)
{
    const HelperItemInventory inventory = inventoryOf(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(inventory.encoded());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_InventoryEncode)->Arg(10000)->Arg(100000);

static void BM_InventoryDecode(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes = inventoryOf(state.range(0)).encoded();
    for (auto _ : state)
        benchmark::DoNotOptimize(HelperItemInventory::fromBytes(bytes));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_InventoryDecode)->Arg(10000)->Arg(100000);

static void BM_PathDigest(benchmark::State& state)
{
    const std::string path = "Contents/Resources/en.lproj/Localizable.strings";
    for (auto _ : state)
        benchmark::DoNotOptimize(HelperPathDigest::of(path));
}
BENCHMARK(BM_PathDigest);

// A walk of six folders from a root descriptor, with and without a per-folder check.
static void BM_OpenPathBeneath(benchmark::State& state)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "veldo-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    std::filesystem::create_directories(tmpl + "/Users/u/Library/Caches/com.example/data");
    auto root = veldo::common::openHelperRoot(tmpl);
    const veldo::common::HelperFolderCheck check = [](const veldo::common::HelperStat& st,
                                                      const veldo::common::SharedDescriptor&) {
        return st.isDirectory();
    };
    for (auto _ : state) {
        auto d = veldo::common::openPathBeneath(*root, "/Users/u/Library/Caches/com.example/data",
                                                {}, state.range(0) ? check : nullptr);
        benchmark::DoNotOptimize(d);
    }
    std::filesystem::remove_all(tmpl);
}
BENCHMARK(BM_OpenPathBeneath)->Arg(0)->Arg(1);
