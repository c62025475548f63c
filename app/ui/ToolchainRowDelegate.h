// ToolchainRowDelegate: paints the Disk Usage list: ToolchainSection's header (a 30-point DevBadge
// of the kind's symbol and colour, title over detail, the group total) and ToolchainRow
// (checkbox, middle-elided title, kind badge, the orange lock, abbreviated path, size, reveal
// button) on the group's card, with a divider inset 42 points under every row but the last.
// Tooltips: the lock's and the reveal button's help texts. GUI thread only.
#pragma once

#include "app/ui/CheckListDelegate.h"

namespace veldo::ui {

class ToolchainListModel;

class ToolchainRowDelegate final : public CheckListDelegate
{
    Q_OBJECT
public:
    struct Geometry
    {
        QRect checkbox;
        QRect badge; // the DevBadge (headers) or the kind badge (rows)
        QRect title;
        QRect lock;
        QRect detail; // the kind's detail (headers) or the path (rows)
        QRect size;
        QRect reveal;
        QRect card;
    };

    explicit ToolchainRowDelegate(QAbstractItemView* view);

    Geometry geometry(const QRect& rowRect, const QModelIndex& index) const;
    QRect checkboxRect(const QRect& rowRect, const QModelIndex& index) const override;
    QRect revealRect(const QRect& rowRect, const QModelIndex& index) const override;
    QRect lockRect(const QRect& rowRect, const QModelIndex& index) const override;
    QString toolTipAt(const QRect& rowRect, const QModelIndex& index,
                      const QPoint& point) const override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    int rowHeight(const QModelIndex& index, int width) const override;

private:
    const ToolchainListModel& model(const QModelIndex& index) const;
};

} // namespace veldo::ui
