// Laying out the disk-usage map: the squarified layout against recomputing every row at every
// step, and the shape of its tiles against slice-and-dice.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/treemap/TreemapLayout.h"
#include "tests/treemap/support/StraightLayout.h"

using veldo::treemap::layoutTreemap;
using veldo::treemap::PlacedTile;
using veldo::treemap::Rect;

namespace {

// A map a little larger than the window gives it.
constexpr Rect kBounds{0, 0, 1200, 800};

enum class Sizes
{
    random,
    equal,
    powerLaw,
    halfZero
};

std::vector<std::int64_t> sizes(Sizes kind, std::size_t count)
{
    std::mt19937_64 rng(count * 31 + static_cast<std::size_t>(kind));
    std::uniform_int_distribution<std::int64_t> spread(1, 1'000'000'000);
    std::uniform_real_distribution<double> unit(1e-12, 1.0);
    std::vector<std::int64_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        switch (kind) {
        case Sizes::random:
            out[i] = spread(rng);
            break;
        case Sizes::equal:
            out[i] = 1 << 20;
            break;
        case Sizes::powerLaw:
            // Pareto with an exponent of 1.16, the 80/20 rule: a few large caches, many small.
            out[i] = static_cast<std::int64_t>(4096 / std::pow(unit(rng), 1 / 1.16));
            break;
        case Sizes::halfZero:
            out[i] = i % 2 == 0 ? spread(rng) : 0;
            break;
        }
    }
    if (kind == Sizes::halfZero)
        std::shuffle(out.begin(), out.end(), rng);
    return out;
}

// Cuts each tile in turn off what is left, down the side for even tiles and across the top for
// odd ones; the last tile takes the rest.
std::vector<Rect> sliceAndDice(const std::vector<std::int64_t>& bytes, Rect bounds)
{
    double left = 0;
    for (const std::int64_t b : bytes)
        left += static_cast<double>(std::max<std::int64_t>(b, 0));
    std::vector<Rect> out;
    Rect free = bounds;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const double b = static_cast<double>(std::max<std::int64_t>(bytes[i], 0));
        const double share = i + 1 == bytes.size() || left <= 0 ? 1.0 : std::min(b / left, 1.0);
        left -= b;
        if (i % 2 == 0) {
            const double w = free.width * share;
            out.push_back({free.x, free.y, w, free.height});
            free = {free.x + w, free.y, free.width - w, free.height};
        } else {
            const double h = free.height * share;
            out.push_back({free.x, free.y, free.width, h});
            free = {free.x, free.y + h, free.width, free.height - h};
        }
    }
    return out;
}

struct Ratios
{
    double mean = 0;
    double worst = 0;
};

// Longer side over shorter side, over the tiles that have an area.
Ratios aspectRatios(const std::vector<Rect>& rects)
{
    Ratios r;
    std::size_t counted = 0;
    for (const Rect& rect : rects) {
        if (!(rect.width > 0 && rect.height > 0))
            continue;
        const double ratio = std::max(rect.width / rect.height, rect.height / rect.width);
        r.mean += ratio;
        r.worst = std::max(r.worst, ratio);
        ++counted;
    }
    if (counted > 0)
        r.mean /= static_cast<double>(counted);
    return r;
}

void BM_Squarified(benchmark::State& state, Sizes kind)
{
    const auto bytes = sizes(kind, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(layoutTreemap(bytes, kBounds));
    state.SetComplexityN(state.range(0));

    std::vector<Rect> squarified;
    for (const PlacedTile& p : layoutTreemap(bytes, kBounds))
        squarified.push_back(p.rect);
    const Ratios ours = aspectRatios(squarified);
    const Ratios sliced = aspectRatios(sliceAndDice(bytes, kBounds));
    state.counters["mean_ratio"] = ours.mean;
    state.counters["worst_ratio"] = ours.worst;
    state.counters["slice_mean"] = sliced.mean;
    state.counters["slice_worst"] = sliced.worst;
}

void BM_Recomputed(benchmark::State& state, Sizes kind)
{
    const auto bytes = sizes(kind, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(veldo::treemap::testing::straightLayout(bytes, kBounds));
}

// Tile counts from 16 to `largest`.
benchmark::internal::Benchmark* withTileCounts(benchmark::internal::Benchmark* b,
                                               std::int64_t largest)
{
    for (const std::int64_t count : {16, 100, 1000, 10'000, 100'000})
        if (count <= largest)
            b->Arg(count);
    return b->Unit(benchmark::kMicrosecond);
}

// Each kind of sizes with the recomputation right below it. The recomputation, whose long rows cost
// it the square of their length, stops at 10,000 tiles.
const bool kRegistered = [] {
    const std::pair<const char*, Sizes> kinds[] = {{"random", Sizes::random},
                                                   {"equal", Sizes::equal},
                                                   {"power_law", Sizes::powerLaw},
                                                   {"half_zero", Sizes::halfZero}};
    for (const auto& [name, kind] : kinds) {
        withTileCounts(benchmark::RegisterBenchmark((std::string("BM_Squarified/") + name).c_str(),
                                                    BM_Squarified, kind),
                       100'000)
            ->Complexity(benchmark::oNLogN);
        withTileCounts(benchmark::RegisterBenchmark((std::string("BM_Recomputed/") + name).c_str(),
                                                    BM_Recomputed, kind),
                       10'000);
    }
    return true;
}();

} // namespace
