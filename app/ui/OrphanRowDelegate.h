// OrphanRowDelegate: paints the Orphaned Files list: OrphanGroupSection's header (group checkbox,
// name, confidence badge, detail line, size) and OrphanRow (checkbox, tinted category symbol,
// name, the orange lock, badge, abbreviated path, the reason wrapped onto as many lines as it
// needs, size, reveal button) on the group's rounded card, with a divider inset 38 points under
// every row but the group's last.
//
// Row heights follow the reason's wrapping at the current width; tooltips name the element under
// the pointer (category, lock, badge, reveal), else the row's reason. GUI thread only.
#pragma once

#include "app/ui/CheckListDelegate.h"

namespace veldo::ui {

class OrphanListModel;

class OrphanRowDelegate final : public CheckListDelegate
{
    Q_OBJECT
public:
    static constexpr int kListInset = 20;
    static constexpr int kGroupSpacing = 14;

    // Where each element of a row lies; empty rectangles for what the row does not show.
    struct Geometry
    {
        QRect checkbox;
        QRect symbol; // category symbol (item rows)
        QRect name;
        QRect lock;
        QRect badge;
        QRect detail; // group detail line, or the item's path
        QRect reason;
        QRect size;
        QRect reveal;
        QRect card; // the item row's part of its group's card
    };

    explicit OrphanRowDelegate(QAbstractItemView* view);

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
    const OrphanListModel& model(const QModelIndex& index) const;
    void paintHeader(QPainter& painter, const QRect& rect, const QModelIndex& index) const;
    void paintItem(QPainter& painter, const QRect& rect, const QModelIndex& index) const;
};

} // namespace veldo::ui
