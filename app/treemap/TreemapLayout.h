// The squarified treemap layout: one rectangle per tile, its area proportional to the tile's bytes.
//
// Pure functions of their arguments: no shared state, callable from any thread. Nothing is cached;
// the map lays itself out afresh on every redraw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "app/treemap/Rect.h"
#include "app/treemap/TreemapRow.h"

namespace veldo::treemap {

// One placed tile: its index in the list given to layoutTreemap and its rectangle.
struct PlacedTile
{
    std::size_t index = 0;
    Rect rect;

    bool operator==(const PlacedTile&) const = default;
};

// Lays out tiles of the given byte counts in `bounds`, largest first, in rows kept as close to
// square as the squarified method allows. A negative count is taken as 0. Each tile's area is
// bounds' area × bytes ÷ total, the total being the counts converted to doubles and added in the
// given order. Tiles of equal area keep the given order. A row grows while adding the next tile
// does not make its worst aspect ratio larger (an equal ratio lets the tile join, ratios that do
// not compare, on spaces so large that squared areas overflow, do not); in a wide or square free
// space a row is a column at the left edge, in a tall one a strip along the top.
//
// The pairs come in placement order. A tile of 0 bytes sorts last and gets a rectangle of zero
// size, or none when the free space has already shrunk to nothing. No pairs at all when there are
// no tiles, the total is 0, or `bounds` is not a usable rectangle: a width or height not greater
// than 0, or any coordinate, its area or its far edges not finite. Rectangles stay inside
// `bounds`, up to rounding and one exception: a row laid along a side of the free space shorter
// than 0.0001 point is 0.0001 long, and so stands out by less than that.
//
// Each step costs the same however long the row grows, so the whole layout is linear after the
// sort.
std::vector<PlacedTile> layoutTreemap(std::span<const std::int64_t> bytes, Rect bounds);

// The worse of the aspect ratios of a row's largest and smallest rectangle when the row is laid
// along a side of length `side`: the larger of side² × largest ÷ sum² and sum² ÷ (side² ×
// smallest). The largest finite double for an empty row, a side not greater than 0 (not-a-number
// included), or a smallest area not greater than 0.
double worstAspectRatio(const TreemapRow::Measure& row, double side);

// Places `row` in `freeSpace`, appends one pair per entry in row order to `placed`, and returns
// the free space left. In a wide or square space (height ≤ width) the row is a column along the
// left edge, as thick as its sum ÷ the height, each entry as tall as its area ÷ that thickness;
// in a tall space it is a strip along the top, the same turned round. Divisors below 0.0001 count
// as 0.0001. The free space loses the column's thickness on its left (or the strip's on its top),
// never going below 0. Nothing happens, and `freeSpace` comes back as it was, when the row is
// empty or the space's width or height is not greater than 0.
Rect placeRow(const TreemapRow& row, Rect freeSpace, std::vector<PlacedTile>& placed);

} // namespace veldo::treemap
