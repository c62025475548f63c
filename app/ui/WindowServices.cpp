// WindowServices: installing the window's services into the controller.
#include "app/ui/WindowServices.h"

#include <QStringList>
#include <QUuid>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppShell.h"
#include "app/ui/FilePanels.h"
#include "app/ui/MainWindow.h"
#include "platform/qt/FileManagerReveal.h"

namespace veldo::ui {

void installWindowServices(controller::UninstallViewModel& model,
                           platform::qt::FileManagerReveal& reveal)
{
    model.installUiServices(
        [&reveal](const std::vector<platform::MacPath>& urls) { reveal.reveal(urls); },
        [](const controller::SavePanelRequest& request, controller::SavePanelAnswer answer) {
            QStringList extensions;
            for (const std::string& extension : request.allowedExtensions)
                extensions << QString::fromStdString(extension);
            FilePanels::chooseSaveLocation(AppShell::findMainWindow(),
                                           {QString::fromStdString(request.title),
                                            QString::fromStdString(request.proposedFileName),
                                            extensions},
                                           std::move(answer));
        },
        [&model](const std::string& message) {
            model.setActiveAlert(controller::NoticeAlert{QUuid::createUuid(), message, {}, {}});
        });
}

} // namespace veldo::ui
