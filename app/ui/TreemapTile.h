// TreemapTile: one tile of the disk-usage map: what it stands for, its size and how it looks.
// Plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <QColor>
#include <QString>

namespace veldo::ui {

struct TreemapTile
{
    // Unique within one map; a tile keeps its button while its id stays.
    std::string id;
    // Shown as it is.
    QString label;
    // Drives the area and the size text; a negative count is taken as 0 for the area and share.
    std::int64_t bytes = 0;
    // The fill, drawn as a gradient of this one colour.
    QColor color;
    // A symbol name drawn beside the label, or alone on small tiles.
    std::optional<std::string> systemImage;
};

} // namespace veldo::ui
