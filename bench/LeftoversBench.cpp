// Throughput of the bill-of-materials reader on a large package and on crafted parent chains.
#include <cstdio>

#include <benchmark/benchmark.h>

#include "app/leftovers/BOMReader.h"
#include "tests/leftovers/support/BomWriter.h"

using namespace veldo::testsupport;
namespace BOMReader = veldo::leftovers::BOMReader;

namespace {

// 200,000 paths: an app bundle's resources in 1,000 folders of 199 files, plus their folders.
const std::string& largePackage()
{
    static const std::string file = [] {
        std::vector<std::string> paths;
        char name[128];
        for (int folder = 0; folder < 1'000; ++folder) {
            std::snprintf(name, sizeof name, "Applications/Big.app/Contents/Resources/group-%03d/",
                          folder);
            paths.emplace_back(name);
            for (int item = 0; item < 199; ++item) {
                std::snprintf(name, sizeof name,
                              "Applications/Big.app/Contents/Resources/group-%03d/item-%03d.dat",
                              folder, item);
                paths.emplace_back(name);
            }
        }
        return bomFileWith(paths, 256);
    }();
    return file;
}

// One chain of 100,000 records, every name ".", and a named record at the bottom of each
// 4,096: walking each identifier's chain on its own would take about 4×10^8 lookups.
const std::string& deepChains()
{
    static const std::string file = [] {
        std::vector<BomPath> records;
        for (std::uint32_t id = 1; id <= 100'000; ++id)
            records.push_back(BomPath{id, id - 1, id % 4'096 == 0 ? "deep" : ".", true, 0});
        BomWriter writer;
        addBomPathsTree(writer, records, 512);
        return writer.build();
    }();
    return file;
}

void BM_BomReader_200kPaths(benchmark::State& state)
{
    const std::string& file = largePackage();
    std::size_t count = 0;
    for (auto _ : state) {
        auto entries = BOMReader::entries(file);
        count = entries.size();
        benchmark::DoNotOptimize(entries);
    }
    state.counters["paths"] = static_cast<double>(count);
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_BomReader_200kPaths)->Unit(benchmark::kMillisecond);

void BM_BomReader_100kRecordChain(benchmark::State& state)
{
    const std::string& file = deepChains();
    std::size_t count = 0;
    for (auto _ : state) {
        auto entries = BOMReader::entries(file);
        count = entries.size();
        benchmark::DoNotOptimize(entries);
    }
    state.counters["paths"] = static_cast<double>(count);
}
BENCHMARK(BM_BomReader_100kRecordChain)->Unit(benchmark::kMillisecond);

} // namespace
