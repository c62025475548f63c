// WindowOperations: the controller operations a main window and the app delegate start.
//
// One function per operation, each returning at once (an operation that awaits runs as the
// controller's task). of() binds them to a controller; tests replace single members to record
// what the window asked for. An empty member does nothing. GUI thread.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "app/controller/TrashedAppNotice.h"
#include "platform/MacPath.h"

namespace veldo::controller {
class UninstallViewModel;
}

namespace veldo::ui {

struct WindowOperations
{
    std::function<void()> startLibraryWatcher;
    std::function<void()> scanApps;
    // Every URL, unfiltered and in order.
    std::function<void(std::vector<platform::MacPath>)> openApps;
    std::function<void()> undoLastRemoval;
    std::function<void(const controller::TrashedAppNotice&)> reviewTrashedApp;
    std::function<void(const controller::TrashedAppNotice&)> dismissTrashNotice;
    std::function<void(std::vector<platform::MacPath>)> revealAlertURLs;

    // The operations of `model`, which must outlive every call.
    static WindowOperations of(controller::UninstallViewModel& model);

    // Calls `operation` with `arguments` when it is set.
    template <typename Operation, typename... Arguments>
    static void run(const Operation& operation, Arguments&&... arguments)
    {
        if (operation)
            operation(std::forward<Arguments>(arguments)...);
    }
};

} // namespace veldo::ui
