// veldo: the application. One instance runs per user and Mac root; a second start hands the
// items it was given to it and ends.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <QApplication>
#include <QWidget>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppShell.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageBoxUserDriver.h"
#include "app/ui/SingleInstance.h"
#include "app/ui/UpdaterController.h"
#include "app/ui/VeldoAppDelegate.h"
#include "app/ui/WindowContent.h"
#include "app/ui/WindowOperations.h"
#include "app/ui/WindowServices.h"
#include "platform/SystemError.h"
#include "platform/qt/FileManagerReveal.h"

namespace {

std::string workingFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

} // namespace

int main(int argc, char** argv)
{
    using namespace veldo;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veldo"));
    QApplication::setQuitOnLastWindowClosed(false);

    // QApplication took its own options out of argv.
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    const ui::VeldoAppDelegate::OpenedItems items =
        ui::VeldoAppDelegate::itemsForArguments(arguments, workingFolder());

    const Result<QString> name = ui::SingleInstance::serverName();
    if (!name) {
        std::fprintf(
            stderr, "veldo: no private folder for the instance socket (%s)\n",
            platform::SystemError::posix(name.error().systemErrno).localizedDescription().c_str());
        return 1;
    }
    ui::SingleInstance instance(*name);
    switch (instance.start(ui::VeldoAppDelegate::toMessage(items))) {
    case ui::SingleInstance::Start::handedOver:
        return 0;
    case ui::SingleInstance::Start::failed:
        std::fprintf(stderr,
                     "veldo: another Veldo holds this Mac's instance socket but did not answer.\n");
        return 1;
    case ui::SingleInstance::Start::serving:
        break;
    }

    controller::UninstallViewModel& model = controller::UninstallViewModel::shared();
    platform::qt::FileManagerReveal reveal;
    ui::installWindowServices(model, reveal);

    ui::AppShell shell(model, ui::WindowOperations::of(model), ui::WindowContent::standard());
    ui::UpdaterController::installUserDriver(std::make_shared<ui::MessageBoxUserDriver>(
        [] { return static_cast<QWidget*>(ui::AppShell::findMainWindow()); }));
    (void)ui::UpdaterController::shared();

    ui::VeldoAppDelegate delegate(shell);
    app.installEventFilter(&delegate);
    QObject::connect(&instance, &ui::SingleInstance::pathsReceived, &delegate,
                     [&delegate](const QStringList& message) {
                         delegate.openItems(ui::VeldoAppDelegate::fromMessage(message));
                     });

    shell.openWindow(QStringLiteral("main"));
    if (!items.empty())
        delegate.openItems(items);
    const int status = QApplication::exec();
    return status;
}
