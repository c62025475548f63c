// CheckListDelegate: the painter of a CheckListModel's rows, telling CheckListView where a row's
// checkbox and reveal button lie. Row heights may depend on the width (wrapped text); the
// delegate keeps them per width and forgets them when the model changes. GUI thread only.
#pragma once

#include <QHash>
#include <QStyledItemDelegate>

#include "app/ui/RowParts.h"

class QAbstractItemView;

namespace veldo::ui {

class CheckListDelegate : public QStyledItemDelegate, public RowPartsDelegate
{
    Q_OBJECT
public:
    explicit CheckListDelegate(QAbstractItemView* view);

    // The checkbox's rectangle in a row painted into `rowRect`; empty without one.
    virtual QRect checkboxRect(const QRect& rowRect, const QModelIndex& index) const = 0;
    // The reveal button's rectangle; empty without one.
    virtual QRect revealRect(const QRect& rowRect, const QModelIndex& index) const = 0;
    // The lock's rectangle; empty without one (unless a delegate says, rows have none).
    virtual QRect lockRect(const QRect& rowRect, const QModelIndex& index) const;
    // The checkbox (inside its hit area), the lock and the reveal button.
    QRect partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                   RowPart part) const final;
    // The help text at `point` in a row painted into `rowRect`; none unless a delegate says.
    virtual QString toolTipAt(const QRect& rowRect, const QModelIndex& index,
                              const QPoint& point) const;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const final;
    // Forgets every height (the model changed, or the font did).
    void forgetHeights();

protected:
    // The row's height when painted `width` wide.
    virtual int rowHeight(const QModelIndex& index, int width) const = 0;
    // Answers a tooltip event over a row with toolTipAt() at the pointer, hiding the tooltip
    // where it gives none; any other event gets the default handling.
    bool answerToolTip(QHelpEvent* event, QAbstractItemView* view,
                       const QStyleOptionViewItem& option, const QModelIndex& index);
    // The platform checkbox of the row `index` in `rect`, with the focus ring while the view has
    // the focus on that row.
    void paintCheckbox(QPainter& painter, const QRect& rect, bool checked,
                       const QModelIndex& index) const;
    // The width rows are laid out at: the view's viewport.
    int rowWidth() const;
    QAbstractItemView* view() const { return m_view; }

private:
    QAbstractItemView* m_view;
    mutable int m_cachedWidth = -1;
    mutable QHash<int, int> m_heights;
};

} // namespace veldo::ui
