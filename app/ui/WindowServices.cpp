// WindowServices: installing the window's services into the controller.
#include "app/ui/WindowServices.h"

#include <QUuid>

#include "app/controller/UninstallViewModel.h"
#include "platform/qt/FileManagerReveal.h"

namespace veldo::ui {

void installWindowServices(controller::UninstallViewModel& model,
                           platform::qt::FileManagerReveal& reveal)
{
    model.installUiServices(
        [&reveal](const std::vector<platform::MacPath>& urls) { reveal.reveal(urls); }, {},
        [&model](const std::string& message) {
            model.setActiveAlert(controller::NoticeAlert{QUuid::createUuid(), message, {}, {}});
        });
}

} // namespace veldo::ui
