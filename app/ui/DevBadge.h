// DevBadge: the square symbol badge that opens the toolchain and package section headers: a
// rounded square (corner radius 0.28 of its size) filled with a gradient of the tint, the symbol
// centred in white at 0.46 of the size, semibold, over a soft shadow of the tint. GUI thread.
#pragma once

#include <string_view>

#include <QColor>
#include <QRectF>

class QPainter;

namespace veldo::ui::DevBadge {

// Paints the badge into the square `frame`.
void paint(QPainter& painter, const QRectF& frame, std::string_view systemImage,
           const QColor& tint);

} // namespace veldo::ui::DevBadge
