// Painting of the tinted pill.
#include "app/ui/TintedPillPainter.h"

#include <algorithm>

#include "app/ui/ColorMix.h"

namespace veldo::ui {

void TintedPillPainter::paintBackground(QPainter& painter, const QRectF& frame, const Style& style)
{
    QColor fill = style.tint;
    fill.setAlphaF(
        static_cast<float>(std::clamp(style.fillOpacity, 0.0, 1.0) * style.tint.alphaF()));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    const qreal radius = frame.height() / 2;
    painter.drawRoundedRect(frame, radius, radius);
    painter.restore();
}

QColor TintedPillPainter::foreground(const Style& style)
{
    return pillForeground(style.tint, style.scheme, style.contrast);
}

void TintedPillPainter::paint(QPainter& painter, const QRectF& frame, const Style& style,
                              const QString& text, const QFont& font)
{
    paintBackground(painter, frame, style);
    painter.save();
    painter.setFont(font);
    painter.setPen(foreground(style));
    painter.drawText(frame, Qt::AlignCenter, text);
    painter.restore();
}

} // namespace veldo::ui
