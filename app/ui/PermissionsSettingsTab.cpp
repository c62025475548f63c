#include "app/ui/PermissionsSettingsTab.h"

#include <utility>

#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/FormSection.h"
#include "app/ui/PermissionRow.h"
#include "app/ui/ScrollPage.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "platform/Home.h"

namespace veldo::ui {

namespace {

const QString kOpenSettings = QString::fromUtf8("Open Settings\u2026");

} // namespace

PermissionsSettingsTab::PermissionsSettingsTab(controller::UninstallViewModel& model,
                                               QThreadPool& workPool, Probe probe, QWidget* parent)
    : QWidget(parent), m_model(model), m_pool(workPool), m_probe(std::move(probe))
{
    if (!m_probe)
        m_probe = [home = platform::homeDirectory()] {
            return core::SystemSettings::fullDiskAccessStatus(home);
        };

    QWidget* form = scrollPage(this);
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(6);

    column->addWidget(formHeader(QStringLiteral("Privacy & Security"), form));
    auto* privacy = new FormSection(form);
    privacy->setObjectName(QStringLiteral("privacySection"));
    m_fullDiskAccessRow = new PermissionRow(
        QStringLiteral("Full Disk Access"), statusText(m_fullDiskAccess),
        QString::fromUtf8("Lets Veldo find leftovers in locations macOS otherwise hides (Safari "
                          "and Mail data, cookies, other apps\u2019 containers), and notice apps "
                          "you drag to the Trash in Finder."),
        kOpenSettings, [] { core::SystemSettings::open(core::SystemSettings::kFullDiskAccessURL); },
        privacy);
    m_fullDiskAccessRow->setObjectName(QStringLiteral("fullDiskAccessRow"));
    m_appManagementRow = new PermissionRow(
        QStringLiteral("App Management"), std::nullopt,
        QString::fromUtf8("Lets Veldo move other apps to the Trash. macOS doesn\u2019t report this "
                          "setting; when it blocks a removal, Veldo tells you. With it on, "
                          "removing apps needs no administrator password."),
        kOpenSettings, [] { core::SystemSettings::open(core::SystemSettings::kAppManagementURL); },
        privacy);
    m_appManagementRow->setObjectName(QStringLiteral("appManagementRow"));
    privacy->rows()->addWidget(m_fullDiskAccessRow);
    privacy->rows()->addWidget(m_appManagementRow);
    column->addWidget(privacy);
    column->addWidget(formFooter(
        QStringLiteral("After changing either permission, quit and reopen Veldo."), form));
    column->addSpacing(14);

    m_trash = new FormSection(form);
    m_trash->setObjectName(QStringLiteral("trashSection"));
    auto* warning = new QHBoxLayout;
    warning->setSpacing(8);
    auto* symbol = new QLabel(m_trash);
    const QColor secondary =
        SystemColors::color(SystemColor::secondaryLabel, SystemColors::colorScheme(palette()));
    symbol->setPixmap(SymbolImage::icon("trash.slash", secondary, 18).pixmap(18, 18));
    warning->addWidget(symbol, 0, Qt::AlignTop);
    warning->addWidget(
        wrappedSecondary(QString::fromUtf8("Veldo can\u2019t read your Trash, so an app you drag "
                                           "there is noticed only as gone from Applications. Full "
                                           "Disk Access fixes this."),
                         TextStyle::callout, m_trash),
        1);
    m_trash->rows()->addLayout(warning);
    column->addWidget(m_trash);
    column->addStretch(1);

    auto showTrashWarning = [this] { m_trash->setVisible(!m_model.canReadTrash()); };
    connect(&m_model, &controller::UninstallViewModel::canReadTrashChanged, this, showTrashWarning);
    showTrashWarning();
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this,
                &PermissionsSettingsTab::applicationStateChanged);
}

QString PermissionsSettingsTab::statusText(FullDiskAccessStatus status)
{
    switch (status) {
    case FullDiskAccessStatus::granted:
        return QStringLiteral("On");
    case FullDiskAccessStatus::denied:
        return QStringLiteral("Off");
    case FullDiskAccessStatus::unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

void PermissionsSettingsTab::applicationStateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive && isVisible())
        refreshFullDiskAccess();
}

void PermissionsSettingsTab::refreshFullDiskAccess()
{
    const std::uint64_t number = ++m_probesStarted;
    // The watcher is the tab's child: a tab closed meanwhile takes it along, and the answer is
    // dropped.
    auto* watcher = new QFutureWatcher<FullDiskAccessStatus>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, number] {
        watcher->deleteLater();
        if (number != m_probesStarted || watcher->future().resultCount() == 0)
            return;
        m_fullDiskAccess = watcher->result();
        m_fullDiskAccessRow->setStatus(statusText(m_fullDiskAccess));
        emit fullDiskAccessChanged();
    });
    watcher->setFuture(QtConcurrent::run(&m_pool, m_probe));
}

void PermissionsSettingsTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshFullDiskAccess();
}

} // namespace veldo::ui
