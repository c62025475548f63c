#include "app/ui/MessageBoxUserDriver.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "platform/UrlOpener.h"

namespace veldo::ui {

MessageBoxUserDriver::MessageBoxUserDriver(std::function<QWidget*()> window)
    : m_window(std::move(window))
{
}

QMessageBox* MessageBoxUserDriver::makeBox(const QString& text,
                                           const QString& informativeText) const
{
    QWidget* parent = m_window ? m_window() : QApplication::activeWindow();
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->setWindowTitle(QStringLiteral("Software Update"));
    // The message in bold above its explanation, which wraps at a readable width.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"
                                      "QLabel#qt_msgbox_informativelabel { min-width: 300px; }"));
    box->setText(text);
    box->setInformativeText(informativeText);
    return box;
}

void MessageBoxUserDriver::showUpToDate(const QString& installedVersion)
{
    QMessageBox* box = makeBox(QString::fromUtf8("You\u2019re up to date!"),
                               QStringLiteral("Veldo %1 is currently the newest version available.")
                                   .arg(installedVersion));
    box->setIcon(QMessageBox::Information);
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    box->open();
}

void MessageBoxUserDriver::showUpdateFound(const platform::AppcastItem& update,
                                           const QString& installedVersion)
{
    QMessageBox* box =
        makeBox(QStringLiteral("A new version of Veldo is available!"),
                QString::fromUtf8("Veldo %1 is now available\u2009\u2014\u2009you have %2.")
                    .arg(update.shortVersionString, installedVersion));
    box->setIcon(QMessageBox::Information);
    if (update.link.isEmpty()) {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    } else {
        QPushButton* open =
            box->addButton(QString::fromUtf8("Open Download Page"), QMessageBox::AcceptRole);
        QPushButton* later = box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
        box->setDefaultButton(open);
        box->setEscapeButton(later);
        const std::string link = update.link.toStdString();
        QObject::connect(open, &QPushButton::clicked, box, [link] { platform::openUrl(link); });
    }
    box->open();
}

void MessageBoxUserDriver::showUpdaterError(const QString& sentence)
{
    QMessageBox* box = makeBox(QStringLiteral("Update Error!"), sentence);
    box->setIcon(QMessageBox::Warning);
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(QMessageBox::Ok);
    box->open();
}

} // namespace veldo::ui
