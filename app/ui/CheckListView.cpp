// Clicks, Space and batched layout of the tool screens' long lists.
#include "app/ui/CheckListView.h"

#include <QMouseEvent>

#include "app/ui/CheckListDelegate.h"
#include "app/ui/CheckListModel.h"

namespace veldo::ui {

CheckListView::CheckListView(CheckListModel* model, QWidget* parent)
    : RowListView(parent), m_model(model)
{
    setModel(model);
    setRowActions(
        [this](int row) {
            if (m_model->hasCheckbox(row))
                m_model->toggle(row);
        },
        [this](int row) { m_model->reveal(row); });
    setLayoutMode(QListView::Batched);
    setBatchSize(64);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(false);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    const auto forget = [this] {
        if (m_delegate)
            m_delegate->forgetHeights();
    };
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, forget);
    connect(model, &QAbstractItemModel::rowsInserted, this, forget);
    connect(model, &QAbstractItemModel::rowsRemoved, this, forget);
}

void CheckListView::setCheckListDelegate(CheckListDelegate* delegate)
{
    m_delegate = delegate;
    setItemDelegate(delegate);
}

CheckListView::Hit CheckListView::hitAt(const QPoint& point, int* row) const
{
    const QModelIndex index = indexAt(point);
    if (row)
        *row = index.isValid() ? index.row() : -1;
    if (!index.isValid() || !m_delegate)
        return Hit::nothing;
    const QRect rect = visualRect(index);
    if (m_delegate->revealRect(rect, index).contains(point))
        return Hit::reveal;
    if (m_delegate->checkboxRect(rect, index).contains(point))
        return Hit::toggle;
    if (m_model->isHeader(index.row()))
        return Hit::nothing;
    return m_model->hasCheckbox(index.row()) ? Hit::toggle : Hit::nothing;
}

void CheckListView::mousePressEvent(QMouseEvent* event)
{
    m_pressedRow = -1;
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) {
            m_pressedRow = index.row();
            setCurrentIndex(index);
        }
    }
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void CheckListView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    int row = -1;
    const Hit hit = hitAt(event->position().toPoint(), &row);
    if (row < 0 || row != m_pressedRow)
        return;
    m_pressedRow = -1;
    if (hit == Hit::reveal)
        m_model->reveal(row);
    else if (hit == Hit::toggle)
        m_model->toggle(row);
}

void CheckListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click is two clicks: the second press toggles back on its release.
    mousePressEvent(event);
}

} // namespace veldo::ui
