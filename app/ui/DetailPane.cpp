// DetailPane: routing the detail pane.
#include "app/ui/DetailPane.h"

#include <QTimer>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/WelcomeView.h"

namespace veldo::ui {

DetailPane::DetailPane(controller::UninstallViewModel& model, WindowContent content,
                       QWidget* parent)
    : QWidget(parent), m_model(model), m_content(std::move(content))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    using VM = controller::UninstallViewModel;
    for (auto signal : {&VM::selectedAppIDsChanged, &VM::selectedAppIDChanged, &VM::appsChanged,
                        &VM::detailAppChanged})
        connect(&m_model, signal, this, &DetailPane::scheduleRefresh);
    m_key = detailRouteKey(m_model);
    m_screen = makeScreen(m_key);
    layout->addWidget(m_screen);
}

void DetailPane::scheduleRefresh()
{
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        if (m_refreshQueued)
            refresh();
    });
}

void DetailPane::refresh()
{
    m_refreshQueued = false;
    DetailRouteKey key = detailRouteKey(m_model);
    if (key == m_key && m_screen)
        return;
    m_key = std::move(key);
    delete m_screen;
    m_screen = makeScreen(m_key);
    layout()->addWidget(m_screen);
}

QWidget* DetailPane::makeScreen(const DetailRouteKey& key)
{
    QWidget* screen = nullptr;
    switch (key.route) {
    case DetailRoute::developer:
        if (m_content.developer)
            screen = m_content.developer(m_model, this);
        break;
    case DetailRoute::orphans:
        if (m_content.orphans)
            screen = m_content.orphans(m_model, this);
        break;
    case DetailRoute::batch:
        if (m_content.batch)
            screen = m_content.batch(m_model, this);
        break;
    case DetailRoute::appDetail:
        if (m_content.appDetail)
            if (const std::optional<core::InstalledApp> app = m_model.selectedApp())
                screen = m_content.appDetail(m_model, *app, this);
        break;
    case DetailRoute::welcome:
        break;
    }
    if (screen == nullptr)
        screen = new WelcomeView(&m_model, this);
    screen->setObjectName(QStringLiteral("screen"));
    return screen;
}

} // namespace veldo::ui
