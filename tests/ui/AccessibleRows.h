// AccessibleRows: what assistive technology finds in the rows of a list, for the window tests.
#pragma once

#include <string>
#include <vector>

#include <QAccessible>
#include <QString>

class QAbstractItemView;

namespace veldo::testsupport {

// The row's element and its children as lines: "row <name>" (" (checked)" when checked), then
// per child "checkbox <name>" (likewise), "lock <name>" or "button <name>". Checks on the way that
// every child names its row as parent and the row its list, and that each child is found at the
// middle of its rectangle.
std::vector<std::string> accessibleRow(QAbstractItemView* list, int row);

// Runs `action` on the row's child of `role`; false when there is none or it lacks the action.
bool doAccessibleAction(QAbstractItemView* list, int row, QAccessible::Role role,
                        const QString& action);

} // namespace veldo::testsupport
