// Comparing layouts in tests: readable pairs, and rectangles equal to a relative tolerance.
#pragma once

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "app/treemap/TreemapLayout.h"

namespace veldo::treemap {

inline void PrintTo(const Rect& r, std::ostream* os)
{
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

inline void PrintTo(const PlacedTile& p, std::ostream* os)
{
    *os << "tile " << p.index << " at ";
    PrintTo(p.rect, os);
}

// Checks that `actual` places the same tiles in the same order as `expected`, every coordinate
// within 1e-9 of the expected one relative to its size (absolute below 1).
inline void expectLayout(const std::vector<PlacedTile>& actual,
                         const std::vector<PlacedTile>& expected)
{
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    const auto near = [](double a, double e) {
        return std::abs(a - e) <= 1e-9 * std::max(1.0, std::abs(e));
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Rect& a = actual[i].rect;
        const Rect& e = expected[i].rect;
        EXPECT_TRUE(actual[i].index == expected[i].index && near(a.x, e.x) && near(a.y, e.y) &&
                    near(a.width, e.width) && near(a.height, e.height))
            << "pair " << i << ": " << ::testing::PrintToString(actual[i]) << ", expected "
            << ::testing::PrintToString(expected[i]);
    }
}

} // namespace veldo::treemap
