// Row heights kept per width.
#include "app/ui/CheckListDelegate.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>

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
    ++m_heightsComputed;
    const int height = rowHeight(index, width);
    m_heights.insert(index.row(), height);
    return {width, height};
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
