// Painting of the category badge.
#include "app/ui/CategoryBadgePainter.h"

#include <QLinearGradient>
#include <QPainterPath>

#include "app/ui/CategoryTint.h"
#include "app/ui/SymbolImage.h"

namespace veldo::ui {

CategoryBadgePainter::Geometry CategoryBadgePainter::geometry(qreal size)
{
    return {0.28 * size, 0.5 * size};
}

void CategoryBadgePainter::paint(QPainter& painter, const QRectF& frame,
                                 core::LeftoverCategory category, ColorScheme scheme)
{
    const Geometry g = geometry(frame.width());
    const QColor tint = SystemColors::color(categoryTint(category), scheme);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // A shadow of radius 3, one point down, at 0.35 opacity: three widening layers.
    for (int layer = 3; layer >= 1; --layer) {
        QColor shade = tint;
        shade.setAlphaF(0.35f / 3.0f);
        const qreal grow = layer;
        painter.setBrush(shade);
        painter.drawRoundedRect(frame.translated(0, 1).adjusted(-grow, -grow, grow, grow),
                                g.cornerRadius + grow, g.cornerRadius + grow);
    }

    QLinearGradient gradient(frame.topLeft(), frame.bottomLeft());
    gradient.setColorAt(0, tint.lighter(112));
    gradient.setColorAt(1, tint);
    painter.setBrush(gradient);
    painter.drawRoundedRect(frame, g.cornerRadius, g.cornerRadius);
    painter.restore();

    SymbolImage::paint(painter, frame, core::symbolName(category), Qt::white,
                       SymbolImage::font(qRound(g.symbolPointSize), QFont::DemiBold));
}

} // namespace veldo::ui
