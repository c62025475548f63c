// StandardWindowContent: the screens this build of the application puts into its windows.
#include "app/ui/AppDetailView.h"
#include "app/ui/AppListView.h"
#include "app/ui/AppShell.h"
#include "app/ui/BatchDetailView.h"
#include "app/ui/CommandActions.h"
#include "app/ui/DeveloperView.h"
#include "app/ui/HelpView.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OrphanFilesView.h"
#include "app/ui/PreferencesView.h"
#include "app/ui/WindowContent.h"

namespace veldo::ui {

WindowContent WindowContent::standard()
{
    WindowContent content;
    content.orphans = [](controller::UninstallViewModel& model, QWidget* parent) -> QWidget* {
        auto* window = qobject_cast<MainWindow*>(parent->window());
        if (!window)
            return nullptr;
        return new OrphanFilesView(&model, &window->shell().workPool(), {}, parent);
    };
    content.developer = [](controller::UninstallViewModel& model, QWidget* parent) -> QWidget* {
        return new DeveloperView(&model, parent);
    };
    content.sidebar = [](controller::UninstallViewModel& model, QWidget* parent) -> QWidget* {
        return new AppListView(&model, parent);
    };
    content.appDetail = [](controller::UninstallViewModel& model, const core::InstalledApp& app,
                           QWidget* parent) -> QWidget* {
        return new AppDetailView(&model, app, parent);
    };
    content.batch = [](controller::UninstallViewModel& model, QWidget* parent) -> QWidget* {
        return new BatchDetailView(model, nullptr, parent);
    };
    content.commands = [](AppShell& shell, MainWindow& window) {
        CommandActions::of(shell).attach(window);
    };
    // The Help and Settings windows have no menu bar; the commands' keys work there too.
    content.help = [](AppShell& shell, QWidget* window) -> QWidget* {
        window->addActions(CommandActions::of(shell).windowActions());
        return new HelpView(window);
    };
    content.settings = [](AppShell& shell, QWidget* window) -> QWidget* {
        window->addActions(CommandActions::of(shell).windowActions());
        return settingsWindowContent(shell, window);
    };
    return content;
}

} // namespace veldo::ui
