// MainWindow: one main window of the application.
#include "app/ui/MainWindow.h"

#include <algorithm>

#include <QAction>
#include <QEvent>
#include <QToolBar>

#include "app/ui/AppShell.h"
#include "app/ui/ContentView.h"
#include "app/ui/PromptPresenter.h"

namespace veldo::ui {

MainWindow::MainWindow(AppShell& shell, int number) : m_shell(shell)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("main-%1").arg(number));
    setWindowTitle(QStringLiteral("Veldo"));
    setUnifiedTitleAndToolBarOnMac(true);

    m_toolbar = addToolBar(QStringLiteral("Toolbar"));
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->hide();
    m_toolbar->installEventFilter(this);

    m_content = new ContentView(shell, this);
    m_content->setObjectName(QStringLiteral("contentView"));
    setCentralWidget(m_content);
    resize(kDefaultWidth, kDefaultHeight);

    m_prompts = new PromptPresenter(
        shell.model(), shell.operations(), [&shell] { shell.openSettings(); }, this);
    m_prompts->setObjectName(QStringLiteral("prompts"));
    if (shell.content().commands)
        shell.content().commands(shell, *this);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_prompts->start();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Decided once the toolbar has taken the change in: filters see the event first.
    if (watched == m_toolbar &&
        (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionChanged ||
         event->type() == QEvent::ActionRemoved))
        QMetaObject::invokeMethod(
            this,
            [this] {
                const QList<QAction*> actions = m_toolbar->actions();
                m_toolbar->setVisible(std::ranges::any_of(
                    actions, [](const QAction* action) { return action->isVisible(); }));
            },
            Qt::QueuedConnection);
    return QMainWindow::eventFilter(watched, event);
}

} // namespace veldo::ui
