// The squarified layout on maps worked out by hand, and on input it must not trust.
#include "app/treemap/TreemapLayout.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/treemap/support/LayoutAssertions.h"

namespace veldo::treemap {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct HandCase
{
    std::string name;
    std::vector<std::int64_t> bytes;
    Rect bounds;
    std::vector<PlacedTile> expected;
};

// Seven tiles of 6, 6, 4, 3, 2, 2 and 1 bytes: 10,000 square points a byte in 600 × 400.
const std::vector<PlacedTile> kSevenTiles = {
    {0, {0, 0, 300, 200}},
    {1, {0, 200, 300, 200}},
    {2, {300, 0, 1200.0 / 7, 700.0 / 3}},
    {3, {3300.0 / 7, 0, 900.0 / 7, 700.0 / 3}},
    {4, {300, 700.0 / 3, 120, 500.0 / 3}},
    {5, {420, 700.0 / 3, 120, 500.0 / 3}},
    {6, {540, 700.0 / 3, 60, 500.0 / 3}},
};

std::vector<HandCase> handCases()
{
    return {
        {"SevenTilesInAWideSpace", {6, 6, 4, 3, 2, 2, 1}, {0, 0, 600, 400}, kSevenTiles},
        // The same tiles given as G, F, B, E, A, D, C: equal tiles keep the given order, so B now
        // comes before A and F before E.
        {"SevenTilesGivenInAnotherOrder",
         {1, 2, 6, 2, 6, 3, 4},
         {0, 0, 600, 400},
         {{2, kSevenTiles[0].rect},
          {4, kSevenTiles[1].rect},
          {6, kSevenTiles[2].rect},
          {5, kSevenTiles[3].rect},
          {1, kSevenTiles[4].rect},
          {3, kSevenTiles[5].rect},
          {0, kSevenTiles[6].rect}}},
        // Turned round into a tall space (no free space on the way is square), moved by (10, 20):
        // every row becomes a strip on top where it was a column on the left.
        {"SevenTilesInATallSpaceAwayFromTheOrigin",
         {6, 6, 4, 3, 2, 2, 1},
         {10, 20, 400, 600},
         {{0, {10, 20, 200, 300}},
          {1, {210, 20, 200, 300}},
          {2, {10, 320, 700.0 / 3, 1200.0 / 7}},
          {3, {10, 20 + 3300.0 / 7, 700.0 / 3, 900.0 / 7}},
          {4, {10 + 700.0 / 3, 320, 500.0 / 3, 120}},
          {5, {10 + 700.0 / 3, 440, 500.0 / 3, 120}},
          {6, {10 + 700.0 / 3, 560, 500.0 / 3, 60}}}},
        {"TwoEqualTiles",
         {1, 1},
         {0, 0, 200, 100},
         {{0, {0, 0, 100, 100}}, {1, {100, 0, 100, 100}}}},
        // 7,500 and 2,500 square points: a square counts as wide, so the first row is a column.
        {"SquareSpaceStartsWithAColumn",
         {3, 1},
         {0, 0, 100, 100},
         {{0, {0, 0, 75, 100}}, {1, {75, 0, 25, 100}}}},
        {"TallSpaceStartsWithAStrip",
         {3, 1},
         {0, 0, 100, 200},
         {{0, {0, 0, 100, 150}}, {1, {0, 150, 100, 50}}}},
        // Two in a column, then the right half: a strip of one in a tall space, and a column of
        // one in the square left at the bottom right.
        {"FourEqualTilesInASquare",
         {1, 1, 1, 1},
         {0, 0, 100, 100},
         {{0, {0, 0, 50, 50}}, {1, {0, 50, 50, 50}}, {2, {50, 0, 50, 50}}, {3, {50, 50, 50, 50}}}},
        // Eight tiles of 6 square points along a side of 6: the row of two and the row of three
        // are both 1.5 at worst, so the third tile joins; the fourth would make it 8/3.
        {"EqualWorstRatioLetsTheTileJoin",
         {1, 1, 1, 1, 1, 1, 1, 1},
         {0, 0, 8, 6},
         {{0, {0, 0, 3, 2}},
          {1, {0, 2, 3, 2}},
          {2, {0, 4, 3, 2}},
          {3, {3, 0, 2.5, 2.4}},
          {4, {5.5, 0, 2.5, 2.4}},
          {5, {3, 2.4, 10.0 / 3, 1.8}},
          {6, {3, 4.2, 10.0 / 3, 1.8}},
          {7, {19.0 / 3, 2.4, 5.0 / 3, 3.6}}}},
        // The zero tiles sort last, into a row of their own, when the space is already used up.
        {"ZeroTilesGetNoRectangleOnceTheSpaceIsFull",
         {5, 0, 3, 0},
         {0, 0, 300, 200},
         {{0, {0, 0, 187.5, 200}}, {2, {187.5, 0, 112.5, 200}}}},
        // Two thirds, then one third taken from what the first left (0.33333333333333337, a hair
        // more than its own area): the strip is a hair short of the height, and the zero tile gets
        // a rectangle of zero size in the sliver below it.
        {"ZeroTileGetsAnEmptyRectangleInASliverLeftOver",
         {2, 1, 0},
         {0, 0, 1, 1},
         {{0, {0, 0, 2.0 / 3, 1}}, {1, {2.0 / 3, 0, 1.0 / 3, 1}}, {2, {2.0 / 3, 1, 0, 0}}}},
        // Areas of 2.5e299 square the sums past the largest double: every worst ratio is
        // not-a-number, so no tile joins a row. (Joining would stack all four in one column.)
        {"NotANumberRatioPlacesTheRow",
         {1, 1, 1, 1},
         {0, 0, 1e150, 1e150},
         {{0, {0, 0, 2.5e149, 1e150}},
          {1, {2.5e149, 0, 7.5e149, 1e150 / 3}},
          {2, {2.5e149, 1e150 / 3, 3.75e149, 2e150 / 3}},
          {3, {6.25e149, 1e150 / 3, 3.75e149, 2e150 / 3}}}},
        {"OneTileFillsTheSpace", {42}, {10, 20, 300, 200}, {{0, {10, 20, 300, 200}}}},
        {"OneTileAmongZerosFillsTheSpace", {0, 7, 0}, {0, 0, 30, 50}, {{1, {0, 0, 30, 50}}}},
    };
}

TEST(TreemapLayout, MatchesMapsWorkedOutByHand)
{
    for (const HandCase& c : handCases()) {
        SCOPED_TRACE(c.name);
        expectLayout(layoutTreemap(c.bytes, c.bounds), c.expected);
    }
}

TEST(TreemapLayout, NothingToLayOutGivesNoRectangles)
{
    const struct
    {
        std::string name;
        std::vector<std::int64_t> bytes;
        Rect bounds;
    } cases[] = {
        {"no tiles", {}, {0, 0, 600, 400}},
        {"all zero", {0, 0, 0}, {0, 0, 600, 400}},
        {"all negative", {-1, -5}, {0, 0, 600, 400}},
        {"zero width", {1, 2}, {0, 0, 0, 400}},
        {"zero height", {1, 2}, {0, 0, 600, 0}},
        {"negative width", {1, 2}, {0, 0, -600, 400}},
        {"not-a-number width", {1, 2}, {0, 0, kNaN, 400}},
        {"not-a-number height", {1, 2}, {0, 0, 600, kNaN}},
        {"not-a-number x", {1, 2}, {kNaN, 0, 600, 400}},
        {"infinite width", {1, 2}, {0, 0, kInf, 400}},
        {"infinite height", {1, 2}, {0, 0, 600, kInf}},
        {"infinite y", {1, 2}, {0, kInf, 600, 400}},
        {"minus infinite x", {1, 2}, {-kInf, 0, 600, 400}},
        {"area beyond doubles", {1, 2}, {0, 0, 1e200, 1e200}},
        {"right edge beyond doubles", {1, 2}, {1e308, 0, 1e308, 1}},
        {"bottom edge beyond doubles", {1, 2}, {0, 1e308, 1, 1e308}},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(layoutTreemap(c.bytes, c.bounds).empty()) << c.name;
}

TEST(TreemapLayout, NegativeSizesCountAsZero)
{
    const Rect bounds{0, 0, 300, 200};
    const std::vector<std::int64_t> negative{5, -3, 3, std::numeric_limits<std::int64_t>::min()};
    EXPECT_EQ(layoutTreemap(negative, bounds),
              layoutTreemap(std::vector<std::int64_t>{5, 0, 3, 0}, bounds));

    // Taken as they come, -5 would halve the total and make the first tile twice the map.
    expectLayout(layoutTreemap(std::vector<std::int64_t>{10, -5}, bounds), {{0, {0, 0, 300, 200}}});
    // And -10 would leave a negative total and no map at all.
    expectLayout(layoutTreemap(std::vector<std::int64_t>{-10, 5}, bounds), {{1, {0, 0, 300, 200}}});
}

TEST(TreemapLayout, LargestSizesDoNotOverflow)
{
    // Two halves; the single byte between them is far below what the map can show and finds the
    // space used up.
    expectLayout(layoutTreemap(std::vector<std::int64_t>{kMax, 1, kMax}, {0, 0, 200, 100}),
                 {{0, {0, 0, 100, 100}}, {2, {100, 0, 100, 100}}});

    // A thousand of them: a total near 1e22, each tile a thousandth of the map.
    const std::vector<std::int64_t> many(1000, kMax);
    const Rect bounds{0, 0, 1000, 500};
    const auto placed = layoutTreemap(many, bounds);
    ASSERT_EQ(placed.size(), many.size());
    for (const PlacedTile& p : placed) {
        EXPECT_NEAR(p.rect.width * p.rect.height, 500.0, 1e-6) << testing::PrintToString(p);
        EXPECT_TRUE(p.rect.x >= 0 && p.rect.y >= 0 && p.rect.x + p.rect.width <= 1000 + 1e-9 &&
                    p.rect.y + p.rect.height <= 500 + 1e-9)
            << testing::PrintToString(p);
    }
}

TEST(TreemapLayout, HundredThousandTilesMostlyZero)
{
    // One row holds every zero tile: the longest row there can be.
    std::vector<std::int64_t> bytes(100'000, 0);
    bytes[50'000] = 1;
    bytes[70'000] = 3;
    const auto placed = layoutTreemap(bytes, {0, 0, 400, 100});
    expectLayout(placed, {{70'000, {0, 0, 300, 100}}, {50'000, {300, 0, 100, 100}}});
}

} // namespace
} // namespace veldo::treemap
