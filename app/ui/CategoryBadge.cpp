// The category badge widget.
#include "app/ui/CategoryBadge.h"

#include <cmath>

#include <QPainter>

#include "app/ui/CategoryBadgePainter.h"

namespace veldo::ui {

CategoryBadge::CategoryBadge(core::LeftoverCategory category, qreal size, QWidget* parent)
    : QWidget(parent), m_category(category), m_size(size)
{
    setFixedSize(sizeHint());
    setAccessibleName(QString::fromUtf8(core::title(category).data(),
                                        static_cast<qsizetype>(core::title(category).size())));
}

QSize CategoryBadge::sizeHint() const
{
    const int edge = static_cast<int>(std::ceil(m_size + 2 * CategoryBadgePainter::kShadowMargin));
    return {edge, edge};
}

void CategoryBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF frame((width() - m_size) / 2, (height() - m_size) / 2, m_size, m_size);
    CategoryBadgePainter::paint(painter, frame, m_category, SystemColors::colorScheme(palette()));
}

} // namespace veldo::ui
