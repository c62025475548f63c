// MessageBoxUserDriver: shows the updater's answers as window-modal message boxes.
//
// Each answer opens one box with open() (never exec(), so no nested event loop runs) over the
// window that `window` names when the answer arrives, and the box deletes itself when closed:
// - up to date: "You’re up to date!", naming the installed version;
// - an update: "A new version of Veldo is available!", naming both versions, with a button that
//   opens the release's page through platform::openUrl (only when the feed gave one) and one that
//   closes the box;
// - a failed check: "Update Error!" with the updater's sentence.
// Without a window (none given, or it returns none) the box has no parent and is modal to the
// application. GUI thread only.
#pragma once

#include <functional>

#include <QString>

#include "platform/qt/UpdaterUserDriver.h"

class QMessageBox;
class QWidget;

namespace veldo::ui {

class MessageBoxUserDriver : public platform::UpdaterUserDriver
{
public:
    // `window` names the window the boxes belong to; QApplication::activeWindow() when empty.
    explicit MessageBoxUserDriver(std::function<QWidget*()> window = {});

    void showUpToDate(const QString& installedVersion) override;
    void showUpdateFound(const platform::AppcastItem& update,
                         const QString& installedVersion) override;
    void showUpdaterError(const QString& sentence) override;

private:
    QMessageBox* makeBox(const QString& text, const QString& informativeText) const;

    std::function<QWidget*()> m_window;
};

} // namespace veldo::ui
