// WindowOperations: the window's calls bound to the controller.
#include "app/ui/WindowOperations.h"

#include "app/controller/UninstallViewModel.h"

namespace veldo::ui {

WindowOperations WindowOperations::of(controller::UninstallViewModel& model)
{
    WindowOperations operations;
    operations.startLibraryWatcher = [&model] { model.startLibraryWatcher(); };
    operations.scanApps = [&model] { (void)model.scanApps(); };
    operations.openApps = [&model](std::vector<platform::MacPath> urls) {
        (void)model.openApps(std::move(urls));
    };
    operations.reviewTrashedApp = [&model](const controller::TrashedAppNotice& notice) {
        (void)model.reviewTrashedApp(notice);
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
