// Walking a list's accessible rows.
#include "tests/ui/AccessibleRows.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessibleInterface>

namespace veldo::testsupport {

namespace {

QAccessibleInterface* rowElement(QAbstractItemView* list, int row)
{
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(list);
    if (!view || row < 0 || row >= view->childCount())
        return nullptr;
    return view->child(row);
}

std::string line(QAccessibleInterface* element)
{
    QString kind;
    switch (element->role()) {
    case QAccessible::ListItem:
        kind = QStringLiteral("row");
        break;
    case QAccessible::CheckBox:
        kind = QStringLiteral("checkbox");
        break;
    case QAccessible::Graphic:
        kind = QStringLiteral("lock");
        break;
    case QAccessible::Button:
        kind = QStringLiteral("button");
        break;
    default:
        kind = QStringLiteral("role %1").arg(element->role());
    }
    QString text = kind + QLatin1Char(' ') + element->text(QAccessible::Name);
    if (element->state().checked)
        text += QStringLiteral(" (checked)");
    return text.toStdString();
}

} // namespace

std::vector<std::string> accessibleRow(QAbstractItemView* list, int row)
{
    QAccessibleInterface* element = rowElement(list, row);
    if (!element)
        return {};
    std::vector<std::string> lines{line(element)};
    EXPECT_EQ(element->parent(), QAccessible::queryAccessibleInterface(list));
    EXPECT_EQ(element->parent()->indexOfChild(element), row);
    for (int i = 0; i < element->childCount(); ++i) {
        QAccessibleInterface* part = element->child(i);
        lines.push_back(line(part));
        EXPECT_EQ(part->parent(), element);
        EXPECT_EQ(element->indexOfChild(part), i);
        const QPoint middle = part->rect().center();
        EXPECT_EQ(element->childAt(middle.x(), middle.y()), part) << lines.back();
    }
    return lines;
}

bool doAccessibleAction(QAbstractItemView* list, int row, QAccessible::Role role,
                        const QString& action)
{
    QAccessibleInterface* element = rowElement(list, row);
    for (int i = 0; element && i < element->childCount(); ++i) {
        QAccessibleInterface* part = element->child(i);
        if (part->role() != role)
            continue;
        QAccessibleActionInterface* actions = part->actionInterface();
        if (!actions || !actions->actionNames().contains(action))
            return false;
        actions->doAction(action);
        return true;
    }
    return false;
}

} // namespace veldo::testsupport
