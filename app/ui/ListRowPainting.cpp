// The list delegates' shared painting.
#include "app/ui/ListRowPainting.h"

#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include "app/ui/SymbolImage.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui::ListRowPainting {

namespace {
constexpr double kCardRadius = 10;
}

QColor cardFill(ColorScheme scheme)
{
    QColor c = SystemColors::color(SystemColor::label, scheme);
    c.setAlpha(255);
    c.setAlphaF(0.10f * 0.40f * (scheme == ColorScheme::dark ? 1.6f : 1.0f));
    return c;
}

QColor secondary(ColorScheme scheme)
{
    return SystemColors::color(SystemColor::secondaryLabel, scheme);
}

QColor tertiary(ColorScheme scheme)
{
    QColor c = SystemColors::color(SystemColor::label, scheme);
    c.setAlphaF(scheme == ColorScheme::dark ? 0.45f : 0.42f);
    return c;
}

QString sizeString(std::int64_t bytes)
{
    return QString::fromStdString(platform::sizeText(bytes));
}

void paintCard(QPainter& painter, const QRect& card, bool first, bool last, int dividerInset,
               ColorScheme scheme)
{
    const QRectF c(card);
    QPainterPath shape;
    shape.addRoundedRect(c.adjusted(0, first ? 0 : -kCardRadius * 2, 0, last ? 0 : kCardRadius * 2),
                         kCardRadius, kCardRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(card);
    painter.fillPath(shape, cardFill(scheme));
    painter.restore();
    if (!last) {
        painter.save();
        painter.setPen(QPen(SystemColors::color(SystemColor::separator, scheme), 1));
        painter.drawLine(QPointF(c.left() + dividerInset, c.bottom() + 0.5),
                         QPointF(c.right(), c.bottom() + 0.5));
        painter.restore();
    }
}

void paintCheckbox(QPainter& painter, const QRect& rect, bool checked, bool focused,
                   QWidget* widget)
{
    QStyleOptionButton box;
    box.rect = rect;
    box.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    if (focused)
        box.state |= QStyle::State_HasFocus;
    widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, widget);
}

void paintReveal(QPainter& painter, const QRect& rect, const QFont& base, ColorScheme scheme)
{
    SymbolImage::paint(painter, rect, "arrow.up.forward.app", secondary(scheme),
                       SymbolImage::font(QFontInfo(base).pixelSize()));
}

} // namespace veldo::ui::ListRowPainting
