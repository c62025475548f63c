// The layout on random input: equal to the plain row-by-row recomputation, inside its bounds, and
// filling them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "app/treemap/TreemapLayout.h"
#include "tests/treemap/support/LayoutAssertions.h"
#include "tests/treemap/support/StraightLayout.h"

namespace veldo::treemap {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::int64_t between(std::mt19937_64& rng, std::int64_t low, std::int64_t high)
{
    return std::uniform_int_distribution<std::int64_t>(low, high)(rng);
}

double realBetween(std::mt19937_64& rng, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(rng);
}

// Sizes of many shapes: spread out, few distinct values (ties), heavy-tailed, all equal, near the
// largest count, the largest beside the smallest, and half of them zero. `smallest` is the lowest
// size drawn (0 lets zeros in).
std::vector<std::int64_t> randomSizes(std::mt19937_64& rng, std::int64_t smallest)
{
    const int band = static_cast<int>(between(rng, 0, 19));
    const std::size_t count = static_cast<std::size_t>(band < 14   ? between(rng, 1, 40)
                                                       : band < 19 ? between(rng, 41, 200)
                                                                   : between(rng, 201, 600));
    std::vector<std::int64_t> sizes(count);
    const std::int64_t equal = between(rng, std::max<std::int64_t>(smallest, 1), 1'000'000'000);
    const int shape = static_cast<int>(between(rng, 0, 6));
    for (std::int64_t& s : sizes) {
        switch (shape) {
        case 0:
            s = between(rng, smallest, 1'000'000'000'000);
            break;
        case 1:
            s = between(rng, smallest, 5);
            break;
        case 2: {
            // Pareto with an exponent of 1.16, the 80/20 rule.
            const double u = realBetween(rng, 1e-12, 1.0);
            s = std::max<std::int64_t>(smallest,
                                       static_cast<std::int64_t>(4096 / std::pow(u, 1 / 1.16)));
            break;
        }
        case 3:
            s = equal;
            break;
        case 4:
            s = between(rng, kMax - 1'000'000, kMax);
            break;
        case 5:
            s = between(rng, 0, 1) == 0 ? std::max<std::int64_t>(smallest, 1) : kMax;
            break;
        default:
            s = between(rng, 0, 1) == 0 ? smallest : between(rng, 1, 1'000'000);
            break;
        }
    }
    return sizes;
}

// Wide, tall and square spaces, from a few millionths of a point to hundreds of thousands, some
// far from the origin.
Rect randomBounds(std::mt19937_64& rng, double smallestSide)
{
    Rect r;
    const int shape = static_cast<int>(between(rng, 0, 4));
    const double largestSide = shape == 3 ? 1e6 : shape == 4 ? std::max(smallestSide, 0.01) : 4000;
    r.width = realBetween(rng, smallestSide, largestSide);
    r.height = shape == 2 ? r.width : realBetween(rng, smallestSide, largestSide);
    if (between(rng, 0, 1) == 1) {
        r.x = realBetween(rng, -10'000.0, 10'000.0);
        r.y = realBetween(rng, -10'000.0, 10'000.0);
    }
    return r;
}

TEST(TreemapLayoutProperty, RunningRowEqualsRecomputingEveryRow)
{
    std::mt19937_64 rng(20261210);
    for (int i = 0; i < 10'000; ++i) {
        const std::vector<std::int64_t> sizes = randomSizes(rng, 0);
        Rect bounds = randomBounds(rng, 1e-6);
        if (i % 10 == 0 && std::isfinite(bounds.width * bounds.height * 1e300)) {
            // So large that squared sums overflow and the ratios compare as not-a-number, with the
            // area itself still a double (beyond that there is no layout).
            bounds.width *= 1e150;
            bounds.height *= 1e150;
        }
        const std::vector<PlacedTile> placed = layoutTreemap(sizes, bounds);
        const std::vector<PlacedTile> straight = testing::straightLayout(sizes, bounds);
        // Exactly equal: the running sums add the same areas in the same order.
        ASSERT_EQ(placed, straight) << "input " << i << ": " << ::testing::PrintToString(sizes)
                                    << " in " << ::testing::PrintToString(bounds);
    }
}

TEST(TreemapLayoutProperty, PositiveSizesFillTheBoundsAndStayInside)
{
    std::mt19937_64 rng(42);
    for (int i = 0; i < 3'000; ++i) {
        const std::vector<std::int64_t> sizes = randomSizes(rng, 1);
        const Rect bounds = randomBounds(rng, 1);
        const std::vector<PlacedTile> placed = layoutTreemap(sizes, bounds);
        SCOPED_TRACE(::testing::Message()
                     << "input " << i << ": " << ::testing::PrintToString(sizes) << " in "
                     << ::testing::PrintToString(bounds));

        // Rounding, and the 0.0001 floor of the divisors: a row along a side of the free space
        // shorter than that is 0.0001 long.
        const double slack = 1e-4 + 1e-9 * std::max({bounds.width, bounds.height,
                                                     std::abs(bounds.x), std::abs(bounds.y)});
        std::vector<bool> seen(sizes.size());
        double area = 0;
        for (const PlacedTile& p : placed) {
            ASSERT_LT(p.index, sizes.size());
            ASSERT_FALSE(seen[p.index]) << "tile " << p.index << " placed twice";
            seen[p.index] = true;
            const Rect& r = p.rect;
            ASSERT_TRUE(r.width >= 0 && r.height >= 0 && r.x >= bounds.x - slack &&
                        r.y >= bounds.y - slack &&
                        r.x + r.width <= bounds.x + bounds.width + slack &&
                        r.y + r.height <= bounds.y + bounds.height + slack)
                << ::testing::PrintToString(p);
            area += r.width * r.height;
        }
        EXPECT_NEAR(area, bounds.width * bounds.height, 1e-6 * bounds.width * bounds.height);
    }
}

TEST(TreemapLayoutProperty, ZeroTilesComeLastWithoutArea)
{
    std::mt19937_64 rng(7);
    for (int i = 0; i < 3'000; ++i) {
        const std::vector<std::int64_t> sizes = randomSizes(rng, 0);
        const Rect bounds = randomBounds(rng, 1);
        const std::vector<PlacedTile> placed = layoutTreemap(sizes, bounds);
        SCOPED_TRACE(::testing::Message()
                     << "input " << i << ": " << ::testing::PrintToString(sizes) << " in "
                     << ::testing::PrintToString(bounds));
        bool zeroSeen = false;
        for (const PlacedTile& p : placed) {
            if (sizes[p.index] == 0) {
                zeroSeen = true;
                ASSERT_TRUE(p.rect.width == 0 || p.rect.height == 0) << ::testing::PrintToString(p);
            } else {
                ASSERT_FALSE(zeroSeen) << "a sized tile after a zero one";
            }
        }
    }
}

} // namespace
} // namespace veldo::treemap
