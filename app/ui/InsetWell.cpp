// The inset well's painting.
#include "app/ui/InsetWell.h"

#include <QPainter>

#include "app/ui/SystemColors.h"

namespace veldo::ui {

InsetWell::InsetWell(QWidget* parent) : QWidget(parent)
{
}

QColor InsetWell::fillColor(const QPalette& palette)
{
    QColor fill = SystemColors::color(SystemColor::label, SystemColors::colorScheme(palette));
    fill.setAlphaF(0.10 * 0.5);
    return fill;
}

void InsetWell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fillColor(palette()));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

} // namespace veldo::ui
