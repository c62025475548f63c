// The save panel over the Mac root.
#include "app/ui/FilePanels.h"

#include <memory>
#include <utility>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "platform/Home.h"
#include "platform/MacRoot.h"

namespace veldo::ui {

namespace {

// Asks before replacing an existing file; the panel stays open until the answer.
class SavePanel final : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (m_confirmed || files.isEmpty() || !QFileInfo(files.front()).isFile()) {
            QFileDialog::accept();
            return;
        }
        auto* box =
            new QMessageBox(QMessageBox::Warning, windowTitle(),
                            QStringLiteral("“%1” already exists. Do you want to replace it?")
                                .arg(QFileInfo(files.front()).fileName()),
                            QMessageBox::Cancel, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QPushButton* replace = box->addButton(QStringLiteral("Replace"), QMessageBox::AcceptRole);
        box->setDefaultButton(QMessageBox::Cancel);
        connect(box, &QMessageBox::finished, this, [this, box, replace] {
            if (box->clickedButton() != replace)
                return;
            m_confirmed = true;
            QFileDialog::accept();
        });
        box->open();
    }

private:
    bool m_confirmed = false;
};

void refuse(QWidget* parent, const QString& title, const FilePanels::SaveAnswer& answer)
{
    auto* box = new QMessageBox(QMessageBox::Warning, title, FilePanels::outsideMacMessage(),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, box, [answer] { answer(std::nullopt); });
    box->open();
}

} // namespace

namespace FilePanels {

QString outsideMacMessage()
{
    return QStringLiteral("The file couldn’t be saved because that folder isn’t on this Mac.");
}

QString nameFilter(const QStringList& allowedExtensions)
{
    if (allowedExtensions.isEmpty())
        return QStringLiteral("All Files (*)");
    QStringList patterns;
    for (const QString& extension : allowedExtensions)
        patterns << QStringLiteral("*.") + extension;
    return allowedExtensions.front().toUpper() + QStringLiteral(" (") + patterns.join(u' ') +
           QStringLiteral(")");
}

QString startFolder()
{
    QString home = QString::fromStdString(platform::hostPath(platform::homeDirectory()));
    if (QFileInfo(home).isDir())
        return home;
    return QString::fromStdString(platform::hostPath(platform::MacPath("/")));
}

QFileDialog* chooseSaveLocation(QWidget* parent, const SaveRequest& request, SaveAnswer answer)
{
    auto* panel = new SavePanel(parent, request.title, startFolder());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setOption(QFileDialog::DontConfirmOverwrite, true);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setNameFilter(nameFilter(request.allowedExtensions));
    if (!request.allowedExtensions.isEmpty())
        panel->setDefaultSuffix(request.allowedExtensions.front());
    panel->setWindowModality(Qt::WindowModal);
    panel->selectFile(request.proposedName);

    // One answer whatever closes the panel: accepted, cancelled or closed.
    auto answered = std::make_shared<bool>(false);
    QObject::connect(
        panel, &QFileDialog::finished, panel,
        [panel, parent, title = request.title, answer = std::move(answer), answered](int result) {
            if (std::exchange(*answered, true))
                return;
            const QStringList files = panel->selectedFiles();
            if (result != QDialog::Accepted || files.isEmpty()) {
                answer(std::nullopt);
                return;
            }
            const QString host = QFileInfo(files.front()).absoluteFilePath();
            auto mac = platform::macPathForHost(QDir::cleanPath(host).toStdString());
            if (!mac) {
                refuse(parent, title, answer);
                return;
            }
            answer(std::move(mac));
        });
    panel->open();
    return panel;
}

} // namespace FilePanels

} // namespace veldo::ui
