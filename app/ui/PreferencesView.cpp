#include "app/ui/PreferencesView.h"

#include <utility>

#include <QTabWidget>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AdministratorSettingsTab.h"
#include "app/ui/AppShell.h"
#include "app/ui/GeneralSettingsTab.h"
#include "app/ui/HelperClientRunner.h"
#include "app/ui/PermissionsSettingsTab.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/UpdaterController.h"
#include "app/ui/UpdatesSettingsTab.h"
#include "base/RawValue.h"

namespace veldo::ui {

using controller::SettingsTab;

PreferencesView::PreferencesView(std::shared_ptr<core::CleanupSettings> settings,
                                 controller::UninstallViewModel& model, Services services,
                                 QWidget* parent)
    : QWidget(parent), m_model(model)
{
    setFixedSize(560, 560);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDocumentMode(true);
    layout->addWidget(m_tabs);

    m_general = new GeneralSettingsTab(settings, model, model.stats(), m_tabs);
    m_general->setObjectName(QStringLiteral("general"));
    m_permissions = new PermissionsSettingsTab(model, services.workPool, {}, m_tabs);
    m_permissions->setObjectName(QStringLiteral("permissions"));
    m_administrator = new AdministratorSettingsTab(settings, services.helper, m_tabs);
    m_administrator->setObjectName(QStringLiteral("administrator"));
    m_updates = new UpdatesSettingsTab(services.updater, m_tabs);
    m_updates->setObjectName(QStringLiteral("updates"));
    const QColor tint =
        SystemColors::color(SystemColor::accent, SystemColors::colorScheme(palette()));
    const std::pair<SettingsTab, QWidget*> pages[] = {{SettingsTab::general, m_general},
                                                      {SettingsTab::permissions, m_permissions},
                                                      {SettingsTab::administrator, m_administrator},
                                                      {SettingsTab::updates, m_updates}};
    for (const auto& [tab, page] : pages)
        m_tabs->addTab(page, SymbolImage::icon(symbol(tab), tint, 16), label(tab));

    showTab(model.settingsTab());
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < 4)
            m_model.setSettingsTab(base::allCases<SettingsTab>()[static_cast<std::size_t>(index)]);
        retitleWindow();
    });
    connect(&m_model, &controller::UninstallViewModel::settingsTabChanged, this,
            [this] { showTab(m_model.settingsTab()); });
}

QString PreferencesView::label(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::general:
        return QStringLiteral("General");
    case SettingsTab::permissions:
        return QStringLiteral("Permissions");
    case SettingsTab::administrator:
        return QStringLiteral("Administrator");
    case SettingsTab::updates:
        break;
    }
    return QStringLiteral("Updates");
}

const char* PreferencesView::symbol(SettingsTab tab)
{
    switch (tab) {
    case SettingsTab::general:
        return "gearshape";
    case SettingsTab::permissions:
        return "lock.shield";
    case SettingsTab::administrator:
        return "person.badge.key";
    case SettingsTab::updates:
        break;
    }
    return "arrow.triangle.2.circlepath";
}

SettingsTab PreferencesView::currentTab() const
{
    const int index = m_tabs->currentIndex();
    return base::allCases<SettingsTab>()[static_cast<std::size_t>(index < 0 ? 0 : index)];
}

void PreferencesView::showTab(SettingsTab tab)
{
    m_tabs->setCurrentIndex(static_cast<int>(tab));
    retitleWindow();
}

void PreferencesView::retitleWindow()
{
    window()->setWindowTitle(label(currentTab()));
}

void PreferencesView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    retitleWindow();
}

QWidget* settingsWindowContent(AppShell& shell, QWidget* window)
{
    auto* runner = shell.findChild<HelperClientRunner*>(QString(), Qt::FindDirectChildrenOnly);
    if (!runner)
        runner = new HelperClientRunner(removal::PrivilegedHelperClient::shared(),
                                        shell.model().shutdownToken(), &shell);
    return new PreferencesView(shell.model().settings(), shell.model(),
                               {*runner, UpdaterController::shared(), shell.workPool()}, window);
}

} // namespace veldo::ui
