// MainWindow: one main window of the application.
#include "app/ui/MainWindow.h"

#include <QEvent>
#include <QToolBar>

#include "app/ui/AppShell.h"
#include "app/ui/ContentView.h"
#include "app/ui/PromptPresenter.h"

namespace veldo::ui {

MainWindow::MainWindow(AppShell& shell, int number)
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
    setCentralWidget(m_content);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kDefaultWidth, kDefaultHeight);

    m_prompts = new PromptPresenter(
        shell.model(), shell.operations(), [&shell] { shell.openSettings(); }, this);
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
    if (watched == m_toolbar &&
        (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionRemoved)) {
        const bool hasItems =
            event->type() == QEvent::ActionAdded || m_toolbar->actions().size() > 1;
        m_toolbar->setVisible(hasItems);
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace veldo::ui
