// A row's worst aspect ratio and its placement in the free space.
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/treemap/TreemapLayout.h"
#include "app/treemap/TreemapRow.h"
#include "tests/treemap/support/LayoutAssertions.h"

namespace veldo::treemap {
namespace {

constexpr double kWorst = std::numeric_limits<double>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TreemapRow rowOf(std::initializer_list<double> areas)
{
    TreemapRow row;
    std::size_t index = 0;
    for (const double area : areas)
        row.append({index++, area});
    return row;
}

TEST(TreemapRow, MeasureKeepsSumAndExtremesInAnyOrder)
{
    const TreemapRow row = rowOf({3, 8, 0.5, 4});
    EXPECT_EQ(row.measure().count, 4u);
    EXPECT_EQ(row.measure().sum, 15.5);
    EXPECT_EQ(row.measure().smallest, 0.5);
    EXPECT_EQ(row.measure().largest, 8);

    const TreemapRow::Measure joined = row.measure().adding(9);
    EXPECT_EQ(joined.count, 5u);
    EXPECT_EQ(joined.sum, 24.5);
    EXPECT_EQ(joined.smallest, 0.5);
    EXPECT_EQ(joined.largest, 9);
    EXPECT_EQ(row.measure().count, 4u) << "measuring with one more entry leaves the row alone";

    TreemapRow cleared = row;
    cleared.clear();
    cleared.append({7, 2});
    EXPECT_EQ(cleared.measure().sum, 2);
    EXPECT_EQ(cleared.measure().smallest, 2);
    EXPECT_EQ(cleared.measure().largest, 2);
    ASSERT_EQ(cleared.entries().size(), 1u);
    EXPECT_EQ(cleared.entries()[0].index, 7u);
}

TEST(TreemapRow, WorstAspectRatio)
{
    const struct
    {
        std::string name;
        TreemapRow row;
        double side;
        double expected;
    } cases[] = {
        {"a square", rowOf({9}), 3, 1},
        {"deeper than the side", rowOf({4}), 1, 4},
        {"shallower than the side", rowOf({1}), 4, 16},
        {"largest decides", rowOf({6, 6}), 6, 1.5},
        {"smallest decides", rowOf({8, 2}), 4, 3.125},
        {"empty row", TreemapRow{}, 5, kWorst},
        {"zero side", rowOf({4}), 0, kWorst},
        {"negative side", rowOf({4}), -2, kWorst},
        {"not-a-number side", rowOf({4}), kNaN, kWorst},
        {"a zero area", rowOf({4, 0}), 2, kWorst},
    };
    for (const auto& c : cases)
        EXPECT_EQ(worstAspectRatio(c.row.measure(), c.side), c.expected) << c.name;
}

TEST(TreemapRow, PlacesAColumnInAWideOrSquareSpaceAndAStripInATallOne)
{
    const struct
    {
        std::string name;
        TreemapRow row;
        Rect free;
        std::vector<PlacedTile> expected;
        Rect left;
    } cases[] = {
        {"wide",
         rowOf({30000, 10000}),
         {0, 0, 300, 200},
         {{0, {0, 0, 200, 150}}, {1, {0, 150, 200, 50}}},
         {200, 0, 100, 200}},
        {"square",
         rowOf({2000, 3000}),
         {5, 5, 100, 100},
         {{0, {5, 5, 50, 40}}, {1, {5, 45, 50, 60}}},
         {55, 5, 50, 100}},
        {"tall",
         rowOf({5000, 3000}),
         {10, 20, 100, 300},
         {{0, {10, 20, 62.5, 80}}, {1, {72.5, 20, 37.5, 80}}},
         {10, 100, 100, 220}},
        // A row larger than the space leaves no width rather than a negative one.
        {"overfull", rowOf({200}), {0, 0, 10, 10}, {{0, {0, 0, 20, 10}}}, {20, 0, 0, 10}},
        // A thickness below 0.0001 divides as 0.0001: the entries come out shorter.
        {"thin row",
         rowOf({0.0001, 0.0001}),
         {0, 0, 1000, 10},
         {{0, {0, 0, 0.00002, 1}}, {1, {0, 1, 0.00002, 1}}},
         {0.00002, 0, 1000 - 0.00002, 10}},
        // So does a free height below 0.0001: the column comes out thinner and taller.
        {"flat space",
         rowOf({0.0005}),
         {0, 0, 10, 0.00005},
         {{0, {0, 0, 5, 0.0001}}},
         {5, 0, 5, 0.00005}},
        // Zero areas give rectangles of zero size where there is room for them.
        {"zero areas",
         rowOf({0, 0}),
         {3, 4, 10, 5},
         {{0, {3, 4, 0, 0}}, {1, {3, 4, 0, 0}}},
         {3, 4, 10, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PlacedTile> placed{{99, {1, 2, 3, 4}}};
        const Rect left = placeRow(c.row, c.free, placed);
        ASSERT_FALSE(placed.empty());
        EXPECT_EQ(placed.front(), (PlacedTile{99, {1, 2, 3, 4}})) << "earlier pairs stay";
        expectLayout(std::vector<PlacedTile>(placed.begin() + 1, placed.end()), c.expected);
        expectLayout({{0, left}}, {{0, c.left}});
    }
}

TEST(TreemapRow, PlacingInNoSpaceOrAnEmptyRowDoesNothing)
{
    const struct
    {
        std::string name;
        TreemapRow row;
        Rect free;
    } cases[] = {
        {"empty row", TreemapRow{}, {0, 0, 100, 100}},
        {"no width", rowOf({5}), {7, 0, 0, 100}},
        {"no height", rowOf({5}), {0, 7, 100, 0}},
        {"negative height", rowOf({5}), {0, 0, 100, -1}},
        {"not-a-number width", rowOf({5}), {0, 0, kNaN, 100}},
    };
    for (const auto& c : cases) {
        std::vector<PlacedTile> placed;
        const Rect left = placeRow(c.row, c.free, placed);
        EXPECT_TRUE(placed.empty()) << c.name;
        EXPECT_EQ(left.x, c.free.x) << c.name;
        EXPECT_EQ(left.y, c.free.y) << c.name;
        EXPECT_TRUE(left.width == c.free.width ||
                    (std::isnan(left.width) && std::isnan(c.free.width)))
            << c.name;
        EXPECT_EQ(left.height, c.free.height) << c.name;
    }
}

} // namespace
} // namespace veldo::treemap
