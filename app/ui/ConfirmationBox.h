// ConfirmationBox: the window-modal confirmation of a destructive action: its title as the box's
// text in bold, a wrapped message, the action's button (destructive role) and "Cancel" (Esc; no
// button takes Return). The box deletes itself when closed; the caller opens it with open().
// GUI thread.
#pragma once

#include <QString>

class QMessageBox;
class QPushButton;
class QWidget;

namespace veldo::ui {

struct ConfirmationBox
{
    QMessageBox* box;
    QPushButton* action;
    QPushButton* cancel;
};

// A box over `parent`'s window; not yet open.
ConfirmationBox makeConfirmationBox(QWidget* parent, const QString& title, const QString& message,
                                    const QString& actionTitle);

// Sets a box's informative text, never read as markup (names may hold "<" or "&"). Qt makes the
// informative label on the first non-empty text, with automatic format detection.
void setPlainInformativeText(QMessageBox* box, const QString& message);

} // namespace veldo::ui
