// shownPaths(list): the paths a PathList shows, one per paragraph of its text view, a line break
// inside a path read back as "\n"; empty when the view shows no text.
#pragma once

#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include "app/ui/PathList.h"
#include "tests/ui/ChildLookup.h"

namespace veldo::testsupport {

inline QStringList shownPaths(const ui::PathList& list)
{
    const QTextEdit* view = child<QTextEdit>(list, "textView");
    if (!view || view->document()->isEmpty())
        return {};
    QStringList shown;
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
        shown << b.text().replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    return shown;
}

} // namespace veldo::testsupport
