// The folder panel over the Mac root.
#include "app/ui/FolderPanel.h"

#include <memory>
#include <utility>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "platform/MacRoot.h"

namespace veldo::ui::FilePanels {

QFileDialog* chooseFolder(QWidget* parent, const FolderRequest& request, SaveAnswer answer)
{
    auto* panel = new QFileDialog(parent, request.message, startFolder());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::Directory);
    panel->setLabelText(QFileDialog::Accept, request.prompt);
    panel->setWindowModality(Qt::WindowModal);

    // One answer whatever closes the panel: accepted, cancelled or closed.
    auto answered = std::make_shared<bool>(false);
    QObject::connect(
        panel, &QFileDialog::finished, panel,
        [panel, parent, title = request.message, answer = std::move(answer), answered](int result) {
            if (std::exchange(*answered, true))
                return;
            const QStringList folders = panel->selectedFiles();
            if (result != QDialog::Accepted || folders.isEmpty()) {
                answer(std::nullopt);
                return;
            }
            const QString host = QDir::cleanPath(QFileInfo(folders.front()).absoluteFilePath());
            auto mac = platform::macPathForHost(host.toStdString());
            if (!mac) {
                auto* box = new QMessageBox(QMessageBox::Warning, title, outsideMacMessage(),
                                            QMessageBox::Ok, parent);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->setWindowModality(Qt::WindowModal);
                QObject::connect(box, &QMessageBox::finished, box,
                                 [answer] { answer(std::nullopt); });
                box->open();
                return;
            }
            answer(std::move(mac));
        });
    panel->open();
    return panel;
}

} // namespace veldo::ui::FilePanels
