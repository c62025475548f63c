// AppShell: the application's windows.
#include "app/ui/AppShell.h"

#include <QApplication>
#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWidget>

#include "app/core/SystemSettings.h"
#include "app/ui/MainWindow.h"

namespace veldo::ui {

AppShell::AppShell(controller::UninstallViewModel& model, WindowOperations operations,
                   WindowContent content, Options options, QObject* parent)
    : QObject(parent), m_model(model), m_operations(std::move(operations)),
      m_content(std::move(content)), m_options(std::move(options))
{
    m_workPool.setMaxThreadCount(kWorkThreads);
    if (!m_options.quit)
        m_options.quit = [] { QCoreApplication::quit(); };
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { m_workPool.waitForDone(); });
}

AppShell::AppShell(controller::UninstallViewModel& model, WindowOperations operations,
                   WindowContent content)
    : AppShell(model, std::move(operations), std::move(content), Options{})
{
}

AppShell::~AppShell()
{
    m_workPool.waitForDone();
    delete m_help;
    delete m_settings;
}

QWidget* AppShell::openWindow(const QString& id)
{
    if (id == QStringLiteral("main"))
        return openMainWindow();
    if (id == QStringLiteral("help"))
        return openSingleWindow(m_help, m_content.help, QStringLiteral("help"),
                                QStringLiteral("Veldo Help"), QSize(720, 680));
    return nullptr;
}

QWidget* AppShell::openSettings()
{
    return openSingleWindow(m_settings, m_content.settings, QStringLiteral("settings"),
                            QStringLiteral("Settings"), QSize());
}

MainWindow* AppShell::openMainWindow()
{
    auto* window = new MainWindow(*this, m_nextMainWindow++);
    ++m_mainWindows;
    connect(window, &QObject::destroyed, this, &AppShell::mainWindowGone);
    window->show();
    return window;
}

QWidget* AppShell::openSingleWindow(QPointer<QWidget>& slot, const WindowContent::MakeWindow& make,
                                    const QString& id, const QString& title, QSize size)
{
    if (!slot) {
        if (!make)
            return nullptr;
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName(id);
        window->setWindowTitle(title);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        if (QWidget* content = make(*this, window))
            layout->addWidget(content);
        window->resize(size.isValid() ? size : window->sizeHint());
        slot = window;
    }
    if (slot->isMinimized())
        slot->setWindowState(slot->windowState() & ~Qt::WindowMinimized);
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

MainWindow* AppShell::findMainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<MainWindow*>(widget);
        if (window && window->objectName().startsWith(QStringLiteral("main-")) &&
            (window->isVisible() || window->isMinimized()))
            return window;
    }
    return nullptr;
}

void AppShell::showMainWindow()
{
    MainWindow* window = findMainWindow();
    if (!window) {
        openWindow(QStringLiteral("main"));
        return;
    }
    if (window->isMinimized())
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

void AppShell::mainWindowGone()
{
    if (--m_mainWindows > 0)
        return;
    if (m_help)
        m_help->close();
    if (m_settings)
        m_settings->close();
    m_options.quit();
}

void openAppManagementSettings()
{
    core::SystemSettings::open(core::SystemSettings::kAppManagementURL);
}

} // namespace veldo::ui
