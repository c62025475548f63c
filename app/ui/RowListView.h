// RowListView: a list view whose rows a delegate paints with controls inside them (a checkbox,
// the orange lock, a reveal button), reachable from the keyboard and by assistive technology.
//
// Keyboard: Space toggles the current row, Return (or Enter) reveals it; what toggling and
// revealing mean is given with setRowActions().
//
// Accessibility: the list is a List element whose children are its rows (ListItem, named by the
// row's Qt::AccessibleTextRole, checkable when the row has a check state). A row's children are
// the parts it shows, in this order: the checkbox (CheckBox: the row's accessible text, its
// toggle action), the lock (Graphic, named by RowPartRoles::kLockLabel) and the reveal button
// (Button, named by RowPartRoles::kRevealName, its press action). Rectangles come from a delegate
// that implements RowPartsDelegate. The elements are made on first use and dropped when the rows
// change (reset, insertions, removals, moves, layout changes); a change of check state is
// reported as a state change of the row and its checkbox. GUI thread only.
#pragma once

#include <functional>
#include <vector>

#include <QAccessible>
#include <QHash>
#include <QListView>

#include "app/ui/RowParts.h"

namespace veldo::ui {

class RowListView : public QListView
{
    Q_OBJECT
public:
    explicit RowListView(QWidget* parent = nullptr);
    ~RowListView() override;

    using RowAction = std::function<void(int row)>;
    // What toggling and revealing a row do; nothing until given.
    void setRowActions(RowAction toggle, RowAction reveal);
    void toggleRow(int row) const;
    void revealRow(int row) const;

    // The parts the row shows, in their order.
    std::vector<RowPart> partsOf(int row) const;
    // Where the part lies, in viewport coordinates: the delegate's answer, the row's rectangle
    // when the delegate gives none.
    QRect partRect(int row, RowPart part) const;

    // The accessible element of a row, or of one of its parts; null out of range.
    QAccessibleInterface* rowAccessible(int row) const;
    QAccessibleInterface* partAccessible(int row, RowPart part) const;

    void setModel(QAbstractItemModel* model) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QAccessibleInterface* cachedAccessible(int row, int slot) const;
    void forgetAccessibles();
    void checkStatesChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                            const QList<int>& roles);

    RowAction m_toggle;
    RowAction m_reveal;
    QList<QMetaObject::Connection> m_modelConnections;
    // Row × 4 + slot (0 the row, 1 + the part) → the element's id.
    mutable QHash<qint64, QAccessible::Id> m_accessibles;
};

} // namespace veldo::ui
