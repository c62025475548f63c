// The destructive-action confirmation box.
#include "app/ui/ConfirmationBox.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace veldo::ui {

ConfirmationBox makeConfirmationBox(QWidget* parent, const QString& title, const QString& message,
                                    const QString& actionTitle)
{
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->setIcon(QMessageBox::Warning);
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"
                                      "QLabel#qt_msgbox_informativelabel { min-width: 320px; }"));
    box->setTextFormat(Qt::PlainText);
    box->setText(title);
    setPlainInformativeText(box, message);
    QPushButton* action = box->addButton(actionTitle, QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    // Return confirms nothing: neither button is the default.
    action->setAutoDefault(false);
    cancel->setAutoDefault(false);
    box->setEscapeButton(cancel);
    return {box, action, cancel};
}

void setPlainInformativeText(QMessageBox* box, const QString& message)
{
    box->setInformativeText(message);
    if (auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
}

} // namespace veldo::ui
