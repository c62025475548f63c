#include "app/ui/AdministratorSettingsTab.h"

#include <utility>

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ui/BusyIndicator.h"
#include "app/ui/FormSection.h"
#include "app/ui/HelperClientRunner.h"
#include "app/ui/HelperStatusPresentation.h"
#include "app/ui/ScrollPage.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

AdministratorSettingsTab::AdministratorSettingsTab(std::shared_ptr<core::CleanupSettings> settings,
                                                   HelperClientRunner& runner, QWidget* parent)
    : QWidget(parent), m_settings(std::move(settings)), m_runner(runner),
      m_client(runner.sharedClient())
{
    QWidget* form = scrollPage(this);
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(6);

    auto* about = new FormSection(form);
    about->rows()->addWidget(wrappedText(
        QString::fromUtf8("Some leftovers belong to the system: files in /Library, background "
                          "services, installer records. Your account can\u2019t move them, so by "
                          "default macOS asks for an administrator password each time Veldo "
                          "removes them."),
        TextStyle::callout, false, about));
    about->rows()->addWidget(wrappedSecondary(
        QStringLiteral("Instead, Veldo can install a small background helper that you approve "
                       "once in System Settings. The helper only moves files to your Trash and "
                       "puts them back on Undo; it never deletes anything, and Veldo still shows "
                       "you exactly what will be moved before every removal. It runs only while "
                       "Veldo uses it. The trade-off: while it is on, Veldo can change system "
                       "files after your confirmation in Veldo, without a password."),
        TextStyle::callout, about));
    column->addWidget(about);
    column->addSpacing(14);

    column->addWidget(formHeader(QStringLiteral("Administrator Access"), form));
    auto* access = new FormSection(form);
    m_toggle = new QCheckBox(
        QString::fromUtf8("Use background helper so removals don\u2019t ask for your password"),
        access);
    m_toggle->setObjectName(QStringLiteral("helperToggle"));
    access->rows()->addWidget(m_toggle);

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(QStringLiteral("Status"), access));
    statusRow->addStretch(1);
    auto* status = new QHBoxLayout;
    status->setSpacing(6);
    m_spinner = new BusyIndicator(16, access);
    m_spinner->setObjectName(QStringLiteral("spinner"));
    m_symbol = new QLabel(access);
    m_symbol->setObjectName(QStringLiteral("statusSymbol"));
    m_symbol->setFixedSize(18, 18);
    m_label = new QLabel(access);
    m_label->setObjectName(QStringLiteral("statusLabel"));
    m_label->setTextFormat(Qt::PlainText);
    status->addWidget(m_spinner, 0, Qt::AlignVCenter);
    status->addWidget(m_symbol, 0, Qt::AlignVCenter);
    status->addWidget(m_label, 0, Qt::AlignVCenter);
    statusRow->addLayout(status);
    access->rows()->addLayout(statusRow);

    m_explanation = wrappedSecondary(QString(), TextStyle::caption, access);
    m_explanation->setObjectName(QStringLiteral("explanation"));
    access->rows()->addWidget(m_explanation);

    m_loginItems = sheetButton(QStringLiteral("Open Login Items Settings"), access);
    m_loginItems->setObjectName(QStringLiteral("loginItemsButton"));
    access->rows()->addWidget(m_loginItems, 0, Qt::AlignLeft);
    m_reregister = sheetButton(QStringLiteral("Re-register Helper"), access);
    m_reregister->setObjectName(QStringLiteral("reregisterButton"));
    access->rows()->addWidget(m_reregister, 0, Qt::AlignLeft);

    m_errorRow = new QWidget(access);
    auto* errorLine = new QHBoxLayout(m_errorRow);
    errorLine->setContentsMargins(0, 0, 0, 0);
    errorLine->setSpacing(6);
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QColor red = SystemColors::color(SystemColor::red, scheme);
    auto* errorSymbol = new QLabel(m_errorRow);
    errorSymbol->setPixmap(
        SymbolImage::icon("exclamationmark.triangle.fill", red, 14).pixmap(14, 14));
    errorLine->addWidget(errorSymbol, 0, Qt::AlignTop);
    m_error = wrappedText(QString(), TextStyle::caption, false, m_errorRow);
    m_error->setObjectName(QStringLiteral("errorLabel"));
    QPalette redText = m_error->palette();
    redText.setColor(QPalette::WindowText, red);
    m_error->setPalette(redText);
    errorLine->addWidget(m_error, 1);
    access->rows()->addWidget(m_errorRow);
    column->addWidget(access);
    column->addWidget(formFooter(QStringLiteral("Turning this off removes the helper. Veldo then "
                                                "asks for your password again when it needs "
                                                "administrator rights."),
                                 form));
    column->addStretch(1);

    connect(m_toggle, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_updating)
            m_runner.setEnabled(on, m_settings);
    });
    connect(m_loginItems, &QPushButton::clicked, this, [this] {
        if (const auto services = m_client->services().serviceManager)
            services->openSystemSettingsLoginItems();
    });
    connect(m_reregister, &QPushButton::clicked, this, [this] {
        if (!m_client->isWorking())
            m_runner.reregister();
    });
    m_clientObserver = m_client->addObserver(
        [this](removal::PrivilegedHelperClient::Property) { scheduleUpdate(); });
    if (m_settings)
        m_settingsObserver = m_settings->addObserver([this](core::CleanupSettings::Property p) {
            if (p == core::CleanupSettings::Property::usePrivilegedHelper)
                scheduleUpdate();
        });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this,
                &AdministratorSettingsTab::applicationStateChanged);
    refreshView();
}

AdministratorSettingsTab::~AdministratorSettingsTab()
{
    m_client->removeObserver(m_clientObserver);
    if (m_settings)
        m_settings->removeObserver(m_settingsObserver);
}

void AdministratorSettingsTab::applicationStateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive && isVisible())
        m_runner.refresh();
}

void AdministratorSettingsTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_runner.refresh();
}

void AdministratorSettingsTab::scheduleUpdate()
{
    if (std::exchange(m_updateQueued, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_updateQueued = false;
        refreshView();
    });
}

void AdministratorSettingsTab::refreshView()
{
    const HelperState state = HelperState::of(*m_client);
    const bool use = m_settings ? m_settings->usePrivilegedHelper()
                                : core::CleanupSettings::defaultValue(
                                      core::CleanupSettings::Property::usePrivilegedHelper);
    m_updating = true;
    m_toggle->setChecked(use);
    m_updating = false;
    m_toggle->setEnabled(!state.isWorking);

    m_spinner->setVisible(state.isWorking);
    m_symbol->setVisible(!state.isWorking);
    m_shownSymbol = state.isWorking ? std::string() : helperStatusSymbol(state);
    if (!state.isWorking) {
        const QColor tint =
            SystemColors::color(helperStatusColor(state), SystemColors::colorScheme(palette()));
        m_symbol->setPixmap(SymbolImage::icon(m_shownSymbol, tint, 16).pixmap(16, 16));
    }
    m_label->setText(helperStatusLabel(state, use));
    m_explanation->setText(helperStatusExplanation(state));
    m_loginItems->setVisible(state.status == removal::PrivilegedHelperStatus::requiresApproval);
    m_reregister->setVisible(state.versionMismatch);
    m_reregister->setEnabled(!state.isWorking);
    m_errorRow->setVisible(state.lastError.has_value());
    m_error->setText(QString::fromStdString(state.lastError.value_or(std::string())));
}

} // namespace veldo::ui
