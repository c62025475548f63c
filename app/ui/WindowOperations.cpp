// WindowOperations: the window's calls bound to the controller.
#include "app/ui/WindowOperations.h"

#include "app/controller/UninstallViewModel.h"

namespace veldo::ui {

WindowOperations WindowOperations::of(controller::UninstallViewModel& model)
{
    WindowOperations operations;
    operations.scanApps = [&model] { (void)model.scanApps(); };
    return operations;
}

} // namespace veldo::ui
