// A rectangle of the map, in points, with the origin at the top-left corner.
#pragma once

namespace veldo::treemap {

struct Rect
{
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const Rect&) const = default;
};

} // namespace veldo::treemap
