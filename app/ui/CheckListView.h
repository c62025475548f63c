// CheckListView: the list view of a CheckListModel painted by a CheckListDelegate.
//
// Rows are laid out in batches (QListView::Batched), so the first layout does not ask every row
// for its height at once, and again whenever the width changes. A click on a row's reveal button
// reveals it; a click anywhere else on an item row, or on a checkbox, toggles the row; a click
// on a header outside its checkbox does nothing. Space toggles the current row when it has a
// checkbox and Return reveals it (RowListView, which also makes the rows' parts accessible).
// GUI thread only.
#pragma once

#include "app/ui/RowListView.h"

namespace veldo::ui {

class CheckListDelegate;
class CheckListModel;

class CheckListView final : public RowListView
{
    Q_OBJECT
public:
    // The delegate is set afterwards (it is made with the view).
    explicit CheckListView(CheckListModel* model, QWidget* parent = nullptr);
    void setCheckListDelegate(CheckListDelegate* delegate);

    // What a click at `point` (viewport coordinates) does; the row it lands on, or -1.
    enum class Hit
    {
        nothing,
        toggle,
        reveal
    };
    Hit hitAt(const QPoint& point, int* row = nullptr) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    CheckListModel* m_model;
    CheckListDelegate* m_delegate = nullptr;
    int m_pressedRow = -1;
};

} // namespace veldo::ui
