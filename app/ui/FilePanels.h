// FilePanels: the save panel, as a Mac app asks where to save a file.
//
// chooseSaveLocation() opens a non-native QFileDialog window-modal over `parent` with open()
// and returns at once; no nested event loop runs. The panel starts in the host folder of the
// Mac home and proposes the given name; folders may be created in it. Exactly one answer
// follows, on the GUI thread: the chosen file as a Mac path, or none when the user cancelled.
// A choice outside the Mac root is refused with an alert ("The file couldn’t be saved because
// that folder isn’t on this Mac.") and answered none once the alert is closed. Choosing a file
// that exists asks, again window-modal, whether to replace it; "Cancel" returns to the panel.
// GUI thread only.
#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

#include "platform/MacPath.h"

class QFileDialog;
class QWidget;

namespace veldo::ui {

namespace FilePanels {

struct SaveRequest
{
    QString title;        // the panel's title
    QString proposedName; // the file name filled in
    // Extensions without the dot ("json"); the panel lists only such files and adds the first
    // to a name that has none. Empty allows any.
    QStringList allowedExtensions;
};

using SaveAnswer = std::function<void(std::optional<platform::MacPath>)>;

// The refusal of a folder outside the Mac root.
QString outsideMacMessage();

// The panel's file-type filter: "JSON (*.json)" for {"json"}; "All Files (*)" for none.
QString nameFilter(const QStringList& allowedExtensions);

// Opens the panel; the returned dialog is owned by `parent` and deletes itself once answered.
QFileDialog* chooseSaveLocation(QWidget* parent, const SaveRequest& request, SaveAnswer answer);

// The host folder the panel starts in: the Mac home's, or the root's when the home is missing.
QString startFolder();

} // namespace FilePanels

} // namespace veldo::ui
