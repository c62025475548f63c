// WindowOperations: the window's calls bound to the controller.
#include "app/ui/WindowOperations.h"

#include "app/controller/UninstallViewModel.h"

namespace veldo::ui {

WindowOperations WindowOperations::of(controller::UninstallViewModel& model)
{
    WindowOperations operations;
    operations.startLibraryWatcher = [&model] { model.startLibraryWatcher(); };
    operations.scanApps = [&model] { model.scanApps().detach(); };
    operations.openApps = [&model](std::vector<platform::MacPath> urls) {
        model.openApps(std::move(urls)).detach();
    };
    operations.undoLastRemoval = [&model] { model.undoLastRemoval().detach(); };
    operations.reviewTrashedApp = [&model](const controller::TrashedAppNotice& notice) {
        model.reviewTrashedApp(notice).detach();
    };
    operations.dismissTrashNotice = [&model](const controller::TrashedAppNotice& notice) {
        model.dismissTrashNotice(notice);
    };
    operations.revealAlertURLs = [&model](std::vector<platform::MacPath> urls) {
        model.revealAlertURLs(std::move(urls));
    };
    return operations;
}

} // namespace veldo::ui
