// FilePanels::chooseFolder: the folder panel, as a Mac app asks for a folder to export into.
//
// Opens a non-native QFileDialog in directory mode window-modal over `parent` with open() and
// returns at once; no nested event loop runs. The panel starts in the host folder of the Mac home;
// its title is the message, its accept button reads the prompt. Exactly one answer follows, on
// the GUI thread: the chosen folder as a Mac path, or none when the user cancelled. A folder
// outside the Mac root is refused with the file panels' alert and answered none once the alert is
// closed. GUI thread only.
#pragma once

#include <QString>

#include "app/ui/FilePanels.h"

namespace veldo::ui::FilePanels {

struct FolderRequest
{
    QString prompt;  // the accept button ("Export Here")
    QString message; // shown as the panel's title
};

QFileDialog* chooseFolder(QWidget* parent, const FolderRequest& request, SaveAnswer answer);

} // namespace veldo::ui::FilePanels
