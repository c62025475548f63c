// CategoryBadge: a widget showing one category's badge (CategoryBadgePainter) of a given size,
// in the appearance of its palette.
#pragma once

#include <QWidget>

#include "app/core/LeftoverCategory.h"

namespace veldo::ui {

class CategoryBadge final : public QWidget
{
    Q_OBJECT
public:
    CategoryBadge(core::LeftoverCategory category, qreal size, QWidget* parent = nullptr);

    qreal badgeSize() const { return m_size; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    core::LeftoverCategory m_category;
    qreal m_size;
};

} // namespace veldo::ui
