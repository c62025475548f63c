// StandardWindowContent: the screens this build of the application puts into its windows.
#include "app/ui/BatchDetailView.h"
#include "app/ui/HelpView.h"
#include "app/ui/PreferencesView.h"
#include "app/ui/WindowContent.h"

namespace veldo::ui {

WindowContent WindowContent::standard()
{
    WindowContent content;
    content.batch = [](controller::UninstallViewModel& model, QWidget* parent) -> QWidget* {
        return new BatchDetailView(model, nullptr, parent);
    };
    content.help = [](AppShell&, QWidget* window) -> QWidget* { return new HelpView(window); };
    content.settings = settingsWindowContent;
    return content;
}

} // namespace veldo::ui
