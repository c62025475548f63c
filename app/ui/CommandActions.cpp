#include "app/ui/CommandActions.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppShell.h"
#include "app/ui/CheckForUpdatesButton.h"
#include "app/ui/MainWindow.h"
#include "app/ui/SearchField.h"
#include "app/ui/UpdaterController.h"

namespace veldo::ui {

namespace {

const std::string kDeveloperID = "veldo://developer";
const std::string kOrphansID = "veldo://orphans";

bool selectionIsExactly(const controller::IdSet& selection, const std::string& id)
{
    return selection.size() == 1 && selection.contains(id);
}

} // namespace

CommandActions::CommandActions(AppShell& shell, UpdaterController& updater, QObject* parent)
    : QObject(parent), m_shell(shell), m_model(shell.model())
{
    auto make = [this](const char* name, const QString& title, QKeySequence key = {}) {
        auto* action = new QAction(title, this);
        action->setObjectName(QLatin1String(name));
        action->setMenuRole(QAction::NoRole);
        if (!key.isEmpty())
            action->setShortcut(key);
        return action;
    };
    m_checkForUpdates = new CheckForUpdatesButton(updater, this);
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdates"));
    m_checkForUpdates->setMenuRole(QAction::NoRole);
    m_settings = make("settings", QString::fromUtf8("Settings\u2026"),
                      QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_quit = make("quit", QStringLiteral("Quit Veldo"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_close = make("close", QStringLiteral("Close"), QKeySequence(Qt::CTRL | Qt::Key_W));
    m_undo = make("undo", QString(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
    m_findApps = make("findApps", QStringLiteral("Find Apps"), QKeySequence(Qt::CTRL | Qt::Key_F));
    m_showMainWindow =
        make("showMainWindow", QStringLiteral("Veldo"), QKeySequence(Qt::CTRL | Qt::Key_0));
    m_help = make("help", QStringLiteral("Veldo Help"));
    // "?" is typed with Shift on most layouts; both forms open Help.
    m_help->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Question),
                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Question)});
    m_rescan = make("rescan", QString(), QKeySequence(Qt::CTRL | Qt::Key_R));
    m_reload = make("reload", QStringLiteral("Reload Applications"),
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));

    connect(m_settings, &QAction::triggered, this, [this] { m_shell.openSettings(); });
    connect(m_quit, &QAction::triggered, this, [] { QApplication::closeAllWindows(); });
    connect(m_close, &QAction::triggered, this, [] {
        if (QWidget* window = QApplication::activeWindow())
            window->close();
    });
    connect(m_undo, &QAction::triggered, this,
            [this] { WindowOperations::run(m_shell.operations().undoLastRemoval); });
    connect(m_findApps, &QAction::triggered, this, [this] {
        m_shell.showMainWindow();
        QTimer::singleShot(0, this, &CommandActions::focusSearchField);
    });
    connect(m_showMainWindow, &QAction::triggered, this, [this] { m_shell.showMainWindow(); });
    connect(m_help, &QAction::triggered, this,
            [this] { m_shell.openWindow(QStringLiteral("help")); });
    connect(m_rescan, &QAction::triggered, this,
            [this] { rescanSelection(m_model.taskScope(), &m_model).detach(); });
    connect(m_reload, &QAction::triggered, this, [this] { m_model.scanApps().detach(); });

    using VM = controller::UninstallViewModel;
    for (auto changed : {&VM::selectedAppIDsChanged, &VM::developerTabChanged,
                         &VM::lastOutcomeChanged, &VM::isUndoingChanged, &VM::isRemovingChanged,
                         &VM::isScanningAppsChanged, &VM::grantedAccessChanged, &VM::appsChanged,
                         &VM::selectedAppIDChanged, &VM::detailAppChanged})
        connect(&m_model, changed, this, &CommandActions::refresh);
    refresh();
}

CommandActions& CommandActions::of(AppShell& shell)
{
    if (auto* actions = shell.findChild<CommandActions*>(QString(), Qt::FindDirectChildrenOnly))
        return *actions;
    return *new CommandActions(shell, UpdaterController::shared(), &shell);
}

QMenuBar* CommandActions::attach(QMainWindow& window)
{
    auto* bar = new QMenuBar(&window);
    QMenu* app = bar->addMenu(QStringLiteral("Veldo"));
    app->addAction(m_checkForUpdates);
    app->addSeparator();
    app->addAction(m_settings);
    app->addSeparator();
    app->addAction(m_quit);

    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->addAction(m_close);

    QMenu* edit = bar->addMenu(QStringLiteral("Edit"));
    edit->addSeparator();
    edit->addAction(m_undo);
    edit->addSeparator();
    edit->addAction(m_findApps);

    QMenu* view = bar->addMenu(QStringLiteral("View"));
    view->addAction(m_rescan);
    view->addAction(m_reload);
    view->addSeparator();

    QMenu* windows = bar->addMenu(QStringLiteral("Window"));
    connect(windows, &QMenu::aboutToShow, windows, [this, windows] { fillWindowMenu(windows); });
    fillWindowMenu(windows);

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->addAction(m_help);

    window.setMenuBar(bar);
    return bar;
}

QList<QAction*> CommandActions::windowActions() const
{
    return {m_settings,       m_quit, m_close,  m_undo,  m_findApps,
            m_showMainWindow, m_help, m_rescan, m_reload};
}

void CommandActions::fillWindowMenu(QMenu* menu)
{
    menu->clear();
    menu->addAction(m_showMainWindow);
    menu->addSeparator();
    // The open windows, each raised by its item; the active one ticked.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isWindow() || (!window->isVisible() && !window->isMinimized()) ||
            window->windowTitle().isEmpty() || qobject_cast<QMenu*>(window))
            continue;
        QAction* item = menu->addAction(window->windowTitle());
        item->setCheckable(true);
        item->setChecked(window == QApplication::activeWindow());
        QPointer<QWidget> target = window;
        connect(item, &QAction::triggered, item, [target] {
            if (!target)
                return;
            if (target->isMinimized())
                target->setWindowState(target->windowState() & ~Qt::WindowMinimized);
            target->show();
            target->raise();
            target->activateWindow();
        });
    }
}

void CommandActions::refresh()
{
    m_undo->setText(QString::fromStdString(m_model.undoTitle()));
    m_undo->setEnabled(m_model.canUndo());
    m_rescan->setText(rescanTitle(rescanKind(m_model)));
    m_rescan->setEnabled(!m_model.isRemoving() && !m_model.isUndoing());
    m_reload->setEnabled(!reloadDisabled(m_model));
}

CommandActions::Rescan CommandActions::rescanKind(const controller::UninstallViewModel& model)
{
    const controller::IdSet& selection = model.selectedAppIDs();
    if (selectionIsExactly(selection, kDeveloperID))
        return model.developerTab() == core::DeveloperTab::packages ? Rescan::packages
                                                                    : Rescan::developer;
    if (selectionIsExactly(selection, kOrphansID))
        return Rescan::orphans;
    if (model.selectedApps().size() >= 2)
        return Rescan::selectedApps;
    if (model.selectedApp())
        return Rescan::leftovers;
    return Rescan::applications;
}

QString CommandActions::rescanTitle(Rescan rescan)
{
    switch (rescan) {
    case Rescan::packages:
        return QStringLiteral("Rescan Packages");
    case Rescan::developer:
        return QStringLiteral("Rescan Developer Footprint");
    case Rescan::orphans:
        return QStringLiteral("Scan for Orphaned Files");
    case Rescan::selectedApps:
        return QStringLiteral("Rescan Selected Apps");
    case Rescan::leftovers:
        return QStringLiteral("Rescan Leftovers");
    case Rescan::applications:
        break;
    }
    return QStringLiteral("Rescan Applications");
}

bool CommandActions::reloadDisabled(const controller::UninstallViewModel& model)
{
    return model.isScanningApps() ||
           (!model.hasGrantedAccess(core::AccessRootKind::applications) &&
            !model.hasGrantedAccess(core::AccessRootKind::userApplications));
}

controller::Task<void> CommandActions::rescanSelection(controller::TaskScope&,
                                                       controller::UninstallViewModel* model)
{
    switch (rescanKind(*model)) {
    case Rescan::packages:
        co_await model->scanPackages();
        break;
    case Rescan::developer:
        co_await model->scanDeveloper();
        break;
    case Rescan::orphans:
        co_await model->scanOrphans();
        break;
    case Rescan::selectedApps:
        co_await model->scanApps();
        co_await model->scanBatch();
        break;
    case Rescan::leftovers:
        co_await model->scanLeftovers();
        break;
    case Rescan::applications:
        co_await model->scanApps();
        break;
    }
}

QWidget* CommandActions::firstSearchField(QWidget* root)
{
    if (!root)
        return nullptr;
    if (qobject_cast<SearchField*>(root) && !root->isHidden())
        return root;
    for (QObject* child : root->children())
        if (auto* widget = qobject_cast<QWidget*>(child))
            if (QWidget* found = firstSearchField(widget))
                return found;
    return nullptr;
}

void CommandActions::focusSearchField()
{
    MainWindow* window = AppShell::findMainWindow();
    if (!window)
        return;
    if (QWidget* field = firstSearchField(window))
        field->setFocus(Qt::ShortcutFocusReason);
}

} // namespace veldo::ui
