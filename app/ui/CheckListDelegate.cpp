// Row heights kept per width.
#include "app/ui/CheckListDelegate.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

#include "app/ui/ListRowPainting.h"

namespace veldo::ui {

CheckListDelegate::CheckListDelegate(QAbstractItemView* view)
    : QStyledItemDelegate(view), m_view(view)
{
}

QSize CheckListDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const int width = rowWidth();
    if (width != m_cachedWidth) {
        m_heights.clear();
        m_cachedWidth = width;
    }
    if (const auto known = m_heights.constFind(index.row()); known != m_heights.constEnd())
        return {width, *known};
    const int height = rowHeight(index, width);
    m_heights.insert(index.row(), height);
    return {width, height};
}

QRect CheckListDelegate::lockRect(const QRect&, const QModelIndex&) const
{
    return {};
}

QRect CheckListDelegate::partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                                  RowPart part) const
{
    switch (part) {
    case RowPart::checkbox:
        return ListRowPainting::checkboxOfHitArea(checkboxRect(option.rect, index));
    case RowPart::lock:
        return lockRect(option.rect, index);
    case RowPart::reveal:
        return revealRect(option.rect, index);
    }
    return {};
}

QString CheckListDelegate::toolTipAt(const QRect&, const QModelIndex&, const QPoint&) const
{
    return {};
}

bool CheckListDelegate::answerToolTip(QHelpEvent* event, QAbstractItemView* view,
                                      const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString tip = toolTipAt(option.rect, index, event->pos());
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), tip, view->viewport());
    return true;
}

void CheckListDelegate::paintCheckbox(QPainter& painter, const QRect& rect, bool checked,
                                      const QModelIndex& index) const
{
    ListRowPainting::paintCheckbox(painter, rect, checked,
                                   m_view->hasFocus() && m_view->currentIndex() == index, m_view);
}

void CheckListDelegate::forgetHeights()
{
    m_heights.clear();
    m_cachedWidth = -1;
}

int CheckListDelegate::rowWidth() const
{
    return std::max(1, m_view->viewport()->width());
}

} // namespace veldo::ui
