// Windows as the user sees them, found by the object names the views give them:
// - shownDialog<T>(parent, "name"): the dialog of that name among `parent`'s descendants that is
//   on screen now, as a T. A dialog that closed but waits for its deferred deletion is hidden and
//   counts as gone. Null when none is shown; two shown end the run.
// - topLevelWindow("name"): the top-level widget of that name, shown or not; null when there is
//   none; two end the run.
// - mainWindowCount(): the main windows that exist, shown, hidden or minimised.
// GUI thread; needs a QApplication.
#pragma once

#include <algorithm>

#include <QApplication>
#include <QList>
#include <QObject>
#include <QString>
#include <QWidget>

#include "app/ui/MainWindow.h"

namespace veldo::testsupport {

template <typename T>
T* shownDialog(const QObject* parent, const char* name)
{
    const QList<T*> dialogs = parent ? parent->findChildren<T*>(QLatin1String(name)) : QList<T*>();
    const auto onScreen = [](const T* dialog) { return dialog->isVisible(); };
    if (std::ranges::count_if(dialogs, onScreen) > 1)
        qFatal("%s shows two dialogs named %s", parent->metaObject()->className(), name);
    const auto shown = std::ranges::find_if(dialogs, onScreen);
    return shown == dialogs.end() ? nullptr : *shown;
}

inline QWidget* topLevelWindow(const char* name)
{
    QWidget* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() != QLatin1String(name))
            continue;
        if (found)
            qFatal("two top-level windows named %s", name);
        found = widget;
    }
    return found;
}

inline int mainWindowCount()
{
    int count = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<const ui::MainWindow*>(widget) ? 1 : 0;
    return count;
}

} // namespace veldo::testsupport
