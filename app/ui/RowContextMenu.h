// RowContextMenu: right-clicks on an item view's rows that show the row's menu and change nothing
// else.
//
// installRowContextMenu(view, menuFor) filters the view's events: right-button presses, releases
// and double clicks never reach the view, so its selection and current row stay as they were
// (Qt's own right-press selects the row). The context-menu event that follows a right press opens
// menuFor(row) at the pointer for the row under it; the menu key opens it beside the current row.
// The menu belongs to the caller's menuFor (it deletes itself on close, say); none shows nothing.
// Without menuFor only the right button is kept from the view. GUI thread.
#pragma once

#include <functional>

class QAbstractItemView;
class QMenu;

namespace veldo::ui {

void installRowContextMenu(QAbstractItemView* view, std::function<QMenu*(int row)> menuFor = {});

} // namespace veldo::ui
