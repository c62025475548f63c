// The developer sections' symbol badge.
#include "app/ui/DevBadge.h"

#include <cmath>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/ui/SymbolImage.h"

namespace veldo::ui::DevBadge {

void paint(QPainter& painter, const QRectF& frame, std::string_view systemImage, const QColor& tint)
{
    const double size = frame.width();
    const double radius = size * 0.28;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // The shadow: the tint at 35 %, 1 point down, softened over 3 points.
    for (int step = 3; step >= 1; --step) {
        QColor shadow = tint;
        shadow.setAlphaF(0.35f / 3.0f);
        QPainterPath blur;
        blur.addRoundedRect(
            frame.translated(0, 1).adjusted(-step * 0.5, -step * 0.5 + 0.5, step * 0.5, step * 0.5),
            radius + step * 0.5, radius + step * 0.5);
        painter.fillPath(blur, shadow);
    }
    QLinearGradient gradient(frame.topLeft(), frame.bottomLeft());
    gradient.setColorAt(0, tint.lighter(118));
    gradient.setColorAt(1, tint);
    QPainterPath path;
    path.addRoundedRect(frame, radius, radius);
    painter.fillPath(path, gradient);
    SymbolImage::paint(
        painter, frame, systemImage, Qt::white,
        SymbolImage::font(static_cast<int>(std::lround(size * 0.46)), QFont::DemiBold));
    painter.restore();
}

} // namespace veldo::ui::DevBadge
