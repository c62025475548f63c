// Rows' context menus that keep the view's selection.
#include "app/ui/RowContextMenu.h"

#include <utility>

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

namespace veldo::ui {

namespace {

class RowContextMenuFilter final : public QObject
{
public:
    RowContextMenuFilter(QAbstractItemView* view, std::function<QMenu*(int)> menuFor)
        : QObject(view), m_view(view), m_menuFor(std::move(menuFor))
    {
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        if (m_menuFor)
            view->setContextMenuPolicy(Qt::DefaultContextMenu);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return watched == m_view->viewport() &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
        case QEvent::ContextMenu:
            return m_menuFor && showMenu(watched, *static_cast<QContextMenuEvent*>(event));
        default:
            return false;
        }
    }

private:
    // A mouse's menu arrives at the viewport, the menu key's at the view (the focus widget).
    bool showMenu(QObject* watched, const QContextMenuEvent& event)
    {
        QModelIndex index;
        QPoint at;
        if (event.reason() == QContextMenuEvent::Mouse && watched == m_view->viewport()) {
            index = m_view->indexAt(event.pos());
            at = event.globalPos();
        } else if (event.reason() != QContextMenuEvent::Mouse && watched == m_view) {
            index = m_view->currentIndex();
            const QRect row = m_view->visualRect(index);
            at = m_view->viewport()->mapToGlobal(QPoint(row.left() + row.height(), row.bottom()));
        } else {
            return false;
        }
        if (index.isValid())
            if (QMenu* menu = m_menuFor(index.row()))
                menu->popup(at);
        return true;
    }

    QAbstractItemView* m_view;
    std::function<QMenu*(int)> m_menuFor;
};

} // namespace

void installRowContextMenu(QAbstractItemView* view, std::function<QMenu*(int row)> menuFor)
{
    new RowContextMenuFilter(view, std::move(menuFor));
}

} // namespace veldo::ui
