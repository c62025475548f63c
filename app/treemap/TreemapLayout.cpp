// The squarified treemap layout.
#include "app/treemap/TreemapLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veldo::treemap {

namespace {

constexpr double kSmallestDivisor = 0.0001;

double atLeastSmallestDivisor(double v)
{
    return v <= kSmallestDivisor ? kSmallestDivisor : v;
}

// A rectangle the layout can fill: positive sides, and every coordinate, the far edges and the
// area finite, so that no area or rectangle of the result can be infinite or not-a-number.
bool isUsable(const Rect& r)
{
    return r.width > 0 && r.height > 0 && std::isfinite(r.x) && std::isfinite(r.y) &&
           std::isfinite(r.width) && std::isfinite(r.height) && std::isfinite(r.x + r.width) &&
           std::isfinite(r.y + r.height) && std::isfinite(r.width * r.height);
}

} // namespace

double worstAspectRatio(const TreemapRow::Measure& row, double side)
{
    constexpr double kWorst = std::numeric_limits<double>::max();
    if (row.count == 0 || !(side > 0) || !(row.smallest > 0))
        return kWorst;
    const double side2 = side * side;
    const double sum2 = row.sum * row.sum;
    return std::max(side2 * row.largest / sum2, sum2 / (side2 * row.smallest));
}

Rect placeRow(const TreemapRow& row, Rect freeSpace, std::vector<PlacedTile>& placed)
{
    if (row.empty() || !(freeSpace.width > 0) || !(freeSpace.height > 0))
        return freeSpace;
    const double sum = row.measure().sum;
    if (freeSpace.height <= freeSpace.width) {
        const double thickness = sum / atLeastSmallestDivisor(freeSpace.height);
        const double divisor = atLeastSmallestDivisor(thickness);
        double y = freeSpace.y;
        for (const TreemapEntry& entry : row.entries()) {
            const double h = entry.area / divisor;
            placed.push_back({entry.index, {freeSpace.x, y, thickness, h}});
            y += h;
        }
        return {freeSpace.x + thickness, freeSpace.y, std::max(freeSpace.width - thickness, 0.0),
                freeSpace.height};
    }
    const double thickness = sum / atLeastSmallestDivisor(freeSpace.width);
    const double divisor = atLeastSmallestDivisor(thickness);
    double x = freeSpace.x;
    for (const TreemapEntry& entry : row.entries()) {
        const double w = entry.area / divisor;
        placed.push_back({entry.index, {x, freeSpace.y, w, thickness}});
        x += w;
    }
    return {freeSpace.x, freeSpace.y + thickness, freeSpace.width,
            std::max(freeSpace.height - thickness, 0.0)};
}

std::vector<PlacedTile> layoutTreemap(std::span<const std::int64_t> bytes, Rect bounds)
{
    std::vector<PlacedTile> placed;
    if (bytes.empty() || !isUsable(bounds))
        return placed;

    // Sizes are never negative: a negative count would shrink the total and push the other tiles
    // out of the map.
    const auto size = [](std::int64_t b) {
        return static_cast<double>(std::max<std::int64_t>(b, 0));
    };
    double total = 0;
    for (const std::int64_t b : bytes)
        total += size(b);
    if (!(total > 0))
        return placed;

    const double space = bounds.width * bounds.height;
    std::vector<TreemapEntry> entries;
    entries.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        entries.push_back({i, space * (size(bytes[i]) / total)});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TreemapEntry& a, const TreemapEntry& b) { return a.area > b.area; });

    placed.reserve(entries.size());
    TreemapRow row;
    Rect freeSpace = bounds;
    for (std::size_t next = 0; next < entries.size();) {
        const TreemapEntry& candidate = entries[next];
        if (row.empty()) {
            row.append(candidate);
            ++next;
            continue;
        }
        const double side = freeSpace.height < freeSpace.width ? freeSpace.height : freeSpace.width;
        const double current = worstAspectRatio(row.measure(), side);
        const double joined = worstAspectRatio(row.measure().adding(candidate.area), side);
        // Not-a-number compares false and places the row.
        if (joined <= current) {
            row.append(candidate);
            ++next;
        } else {
            freeSpace = placeRow(row, freeSpace, placed);
            row.clear();
        }
    }
    placeRow(row, freeSpace, placed);
    return placed;
}

} // namespace veldo::treemap
