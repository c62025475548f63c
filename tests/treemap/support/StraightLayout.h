// The squarified layout written the plain way, every row measured afresh at every step: the yard-
// stick that the layout's running row must match rectangle for rectangle, and its speed beside it.
// Sizes are taken as they come (no negative count allowed) and the bounds must be finite.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "app/treemap/TreemapLayout.h"

namespace veldo::treemap::testing {

struct StraightEntry
{
    std::size_t index = 0;
    double area = 0;
};

inline double straightWorstAspectRatio(const std::vector<StraightEntry>& row, double w)
{
    if (row.empty() || !(w > 0))
        return std::numeric_limits<double>::max();
    double s = 0;
    double rmax = row.front().area;
    double rmin = row.front().area;
    for (const StraightEntry& e : row) {
        s += e.area;
        rmax = std::max(rmax, e.area);
        rmin = std::min(rmin, e.area);
    }
    if (!(rmin > 0))
        return std::numeric_limits<double>::max();
    return std::max(w * w * rmax / (s * s), s * s / (w * w * rmin));
}

inline double straightAtLeast(double v)
{
    return v <= 0.0001 ? 0.0001 : v;
}

inline void straightPlaceRow(const std::vector<StraightEntry>& row, Rect& free,
                             std::vector<PlacedTile>& out)
{
    if (row.empty() || !(free.width > 0) || !(free.height > 0))
        return;
    double s = 0;
    for (const StraightEntry& e : row)
        s += e.area;
    if (free.height <= free.width) {
        const double t = s / straightAtLeast(free.height);
        double y = free.y;
        for (const StraightEntry& e : row) {
            const double h = e.area / straightAtLeast(t);
            out.push_back({e.index, {free.x, y, t, h}});
            y += h;
        }
        free = {free.x + t, free.y, std::max(free.width - t, 0.0), free.height};
    } else {
        const double t = s / straightAtLeast(free.width);
        double x = free.x;
        for (const StraightEntry& e : row) {
            const double w = e.area / straightAtLeast(t);
            out.push_back({e.index, {x, free.y, w, t}});
            x += w;
        }
        free = {free.x, free.y + t, free.width, std::max(free.height - t, 0.0)};
    }
}

inline std::vector<PlacedTile> straightLayout(std::span<const std::int64_t> bytes, Rect rect)
{
    std::vector<PlacedTile> out;
    if (bytes.empty())
        return out;
    double total = 0;
    for (const std::int64_t b : bytes)
        total += static_cast<double>(b);
    if (!(total > 0) || !(rect.width > 0) || !(rect.height > 0))
        return out;
    std::vector<StraightEntry> remaining;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        remaining.push_back(
            {i, rect.width * rect.height * (static_cast<double>(bytes[i]) / total)});
    std::stable_sort(
        remaining.begin(), remaining.end(),
        [](const StraightEntry& a, const StraightEntry& b) { return a.area > b.area; });

    std::vector<StraightEntry> row;
    Rect free = rect;
    std::size_t first = 0;
    while (first < remaining.size()) {
        const StraightEntry c = remaining[first];
        const double side = free.height < free.width ? free.height : free.width;
        if (row.empty()) {
            row.push_back(c);
            ++first;
            continue;
        }
        const double current = straightWorstAspectRatio(row, side);
        row.push_back(c);
        const double candidate = straightWorstAspectRatio(row, side);
        row.pop_back();
        if (candidate <= current) {
            row.push_back(c);
            ++first;
        } else {
            straightPlaceRow(row, free, out);
            row.clear();
        }
    }
    straightPlaceRow(row, free, out);
    return out;
}

} // namespace veldo::treemap::testing
