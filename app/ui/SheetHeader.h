// sheetHeader: the head of the removal sheets: the app's file-manager icon at 52 points beside
// a title (title-2, semibold) over a secondary line, then flexible space. GUI thread.
#pragma once

#include <QString>

#include "platform/MacPath.h"

class QLabel;
class QWidget;

namespace veldo::platform::qt {
class AppIconProvider;
}

namespace veldo::ui {

struct SheetHeader
{
    QWidget* widget;
    QLabel* title;
    QLabel* subtitle;
};

SheetHeader sheetHeader(platform::qt::AppIconProvider* icons, const platform::MacPath& app,
                        const QString& title, const QString& subtitle, QWidget* parent);

} // namespace veldo::ui
