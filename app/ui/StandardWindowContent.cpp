// StandardWindowContent: the screens this build of the application puts into its windows.
#include "app/ui/AppDetailView.h"
#include "app/ui/AppListView.h"
#include "app/ui/WindowContent.h"

namespace veldo::ui {

WindowContent WindowContent::standard()
{
    WindowContent content;
    content.sidebar = [](controller::UninstallViewModel& model, QWidget* parent) -> QWidget* {
        return new AppListView(&model, parent);
    };
    content.appDetail = [](controller::UninstallViewModel& model, const core::InstalledApp& app,
                           QWidget* parent) -> QWidget* {
        return new AppDetailView(&model, app, parent);
    };
    return content;
}

} // namespace veldo::ui
