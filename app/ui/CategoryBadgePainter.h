// CategoryBadgePainter: paints a category's rounded badge (tinted gradient, white symbol, soft
// shadow of the tint) into any painter, so list delegates and the badge widget share it.
// GUI thread (fonts).
#pragma once

#include <QPainter>
#include <QRectF>

#include "app/core/LeftoverCategory.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui {

class CategoryBadgePainter
{
public:
    struct Geometry
    {
        qreal cornerRadius;    // 0.28 × size
        qreal symbolPointSize; // 0.5 × size
    };

    // The shadow reaches this far beyond the badge's frame (radius 3, one point down).
    static constexpr qreal kShadowMargin = 4;

    static Geometry geometry(qreal size);

    // Paints the badge in the square `frame` (its edge is the size), shadow around it.
    static void paint(QPainter& painter, const QRectF& frame, core::LeftoverCategory category,
                      ColorScheme scheme);
};

} // namespace veldo::ui
