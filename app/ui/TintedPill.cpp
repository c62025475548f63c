// The tinted pill widget.
#include "app/ui/TintedPill.h"

#include <utility>

#include <QPainter>

#include "app/ui/TintedPillPainter.h"

namespace veldo::ui {

TintedPill::TintedPill(QString text, QColor tint, double fillOpacity, QMargins padding,
                       QWidget* parent)
    : QWidget(parent), m_text(std::move(text)), m_tint(std::move(tint)), m_fillOpacity(fillOpacity),
      m_padding(padding)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(m_text);
}

QSize TintedPill::sizeHint() const
{
    const QSize text = fontMetrics().size(Qt::TextSingleLine, m_text);
    return text.grownBy(m_padding);
}

void TintedPill::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    TintedPillPainter::paint(painter, rect(),
                             {m_tint, m_fillOpacity, SystemColors::colorScheme(palette()),
                              SystemColors::contrast(palette())},
                             m_text, font());
}

} // namespace veldo::ui
