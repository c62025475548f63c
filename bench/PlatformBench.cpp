// Throughput of the Mac-path layer's hot calls.
#include <benchmark/benchmark.h>

#include "platform/MacPath.h"
#include "platform/Unicode.h"

using veldo::platform::MacPath;

static void BM_StandardizePath(benchmark::State& state)
{
    const MacPath p("/Users/someone/Library/./Application Support/../Caches//com.example.app/");
    for (auto _ : state)
        benchmark::DoNotOptimize(p.standardized());
}
BENCHMARK(BM_StandardizePath);

static void BM_FoldForComparison(benchmark::State& state)
{
    const std::string s = "/Users/J\xC3\xBCrgen/Library/Application Support/Some App";
    for (auto _ : state)
        benchmark::DoNotOptimize(veldo::platform::foldForComparison(s));
}
BENCHMARK(BM_FoldForComparison);
