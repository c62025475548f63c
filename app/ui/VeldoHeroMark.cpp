// Painting of the application's mark.
#include "app/ui/VeldoHeroMark.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace veldo::ui {

QImage veldoHeroMark(int edge)
{
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(edge / 100.0, edge / 100.0);

    const QRectF tile(6, 6, 88, 88);
    QLinearGradient sky(tile.topLeft(), tile.bottomRight());
    sky.setColorAt(0, QColor(64, 156, 255));
    sky.setColorAt(1, QColor(94, 92, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(tile, 22, 22);

    // An open box: the app going away, its lid lifted.
    const QColor white(255, 255, 255, 240);
    p.setBrush(white);
    QPainterPath box;
    box.moveTo(28, 48);
    box.lineTo(72, 48);
    box.lineTo(67, 80);
    box.lineTo(33, 80);
    box.closeSubpath();
    p.drawPath(box);
    p.save();
    p.translate(50, 42);
    p.rotate(-14);
    p.drawRoundedRect(QRectF(-25, -4, 50, 8), 3, 3);
    p.restore();
    QPen stripe(QColor(94, 92, 230, 200), 3, Qt::SolidLine, Qt::RoundCap);
    p.setPen(stripe);
    p.drawLine(QPointF(42, 56), QPointF(43, 72));
    p.drawLine(QPointF(58, 56), QPointF(57, 72));

    // Sparkles: what is left behind, swept up.
    p.setPen(Qt::NoPen);
    p.setBrush(white);
    const auto sparkle = [&p](QPointF c, qreal r) {
        QPainterPath s;
        s.moveTo(c.x(), c.y() - r);
        s.quadTo(c, QPointF(c.x() + r, c.y()));
        s.quadTo(c, QPointF(c.x(), c.y() + r));
        s.quadTo(c, QPointF(c.x() - r, c.y()));
        s.quadTo(c, QPointF(c.x(), c.y() - r));
        p.drawPath(s);
    };
    sparkle(QPointF(72, 24), 8);
    sparkle(QPointF(82, 38), 4.5);
    sparkle(QPointF(60, 18), 3.5);
    return image;
}

} // namespace veldo::ui
