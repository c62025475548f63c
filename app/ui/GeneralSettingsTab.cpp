#include "app/ui/GeneralSettingsTab.h"

#include <utility>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/ConfirmationBox.h"
#include "app/ui/FormSection.h"
#include "app/ui/ScrollPage.h"
#include "app/ui/SystemColors.h"
#include "platform/ByteCountFormatter.h"

namespace veldo::ui {

namespace {

using Property = core::CleanupSettings::Property;

void setSetting(core::CleanupSettings& settings, Property property, bool on)
{
    switch (property) {
    case Property::selectMediumConfidence:
        settings.setSelectMediumConfidence(on);
        break;
    case Property::selectLowConfidence:
        settings.setSelectLowConfidence(on);
        break;
    case Property::includeAdminRequiredByDefault:
        settings.setIncludeAdminRequiredByDefault(on);
        break;
    case Property::quitBeforeRemoving:
        settings.setQuitBeforeRemoving(on);
        break;
    case Property::playCompletionSound:
        settings.setPlayCompletionSound(on);
        break;
    case Property::usePrivilegedHelper:
        settings.setUsePrivilegedHelper(on);
        break;
    }
}

bool setting(const core::CleanupSettings& settings, Property property)
{
    switch (property) {
    case Property::selectMediumConfidence:
        return settings.selectMediumConfidence();
    case Property::selectLowConfidence:
        return settings.selectLowConfidence();
    case Property::includeAdminRequiredByDefault:
        return settings.includeAdminRequiredByDefault();
    case Property::quitBeforeRemoving:
        return settings.quitBeforeRemoving();
    case Property::playCompletionSound:
        return settings.playCompletionSound();
    case Property::usePrivilegedHelper:
        return settings.usePrivilegedHelper();
    }
    return false;
}

// A row: the title, and the value on the trailing side.
QLabel* valueRow(FormSection* section, const QString& title, const QString& name)
{
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(section);
    label->setTextFormat(Qt::PlainText);
    label->setText(title);
    auto* value = new QLabel(section);
    value->setObjectName(name);
    value->setTextFormat(Qt::PlainText);
    row->addWidget(label);
    row->addStretch(1);
    row->addWidget(value);
    section->rows()->addLayout(row);
    return value;
}

} // namespace

GeneralSettingsTab::GeneralSettingsTab(std::shared_ptr<core::CleanupSettings> settings,
                                       controller::UninstallViewModel& model,
                                       std::shared_ptr<core::CleanupStats> stats, QWidget* parent)
    : QWidget(parent), m_settings(std::move(settings)), m_model(model), m_stats(std::move(stats))
{
    // The form scrolls when the window is too short for it.
    QWidget* form = scrollPage(this);
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(6);
    auto addSwitch = [this](FormSection* section, const char* title, Property property) {
        auto* box = new QCheckBox(QString::fromUtf8(title), section);
        section->rows()->addWidget(box);
        m_switches.push_back({box, property});
        connect(box, &QCheckBox::toggled, this, [this, property](bool on) {
            if (!m_refreshing && m_settings)
                setSetting(*m_settings, property, on);
        });
    };
    auto endSection = [column](QLabel* footer) {
        if (footer)
            column->addWidget(footer);
        column->addSpacing(14);
    };

    column->addWidget(formHeader(QStringLiteral("Default Selection"), form));
    auto* defaults = new FormSection(form);
    addSwitch(defaults, "Select medium-confidence matches by default",
              Property::selectMediumConfidence);
    addSwitch(defaults, "Select low-confidence matches by default", Property::selectLowConfidence);
    addSwitch(defaults, "Select admin-required items by default",
              Property::includeAdminRequiredByDefault);
    column->addWidget(defaults);
    endSection(formFooter(QStringLiteral("Certain and high-confidence matches are selected by "
                                         "default. Medium, low, and admin-required items are "
                                         "safer to review manually unless enabled here."),
                          form));

    column->addWidget(formHeader(QStringLiteral("Removal"), form));
    auto* removal = new FormSection(form);
    addSwitch(removal, "Ask running apps to quit before removing", Property::quitBeforeRemoving);
    addSwitch(removal, "Play a sound when cleanup finishes", Property::playCompletionSound);
    column->addWidget(removal);
    endSection(nullptr);

    column->addWidget(formHeader(QStringLiteral("Finder"), form));
    auto* finder = new FormSection(form);
    m_offerCleanup =
        new QCheckBox(QStringLiteral("Offer to clean up when I trash an app in Finder"), finder);
    finder->rows()->addWidget(m_offerCleanup);
    connect(m_offerCleanup, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            m_model.setOfferCleanupForTrashedApps(on);
    });
    column->addWidget(finder);
    endSection(formFooter(
        QStringLiteral("When an app leaves the Applications folder while Veldo is open, Veldo "
                       "looks for the files it left behind and offers to review them. Nothing is "
                       "removed without your confirmation."),
        form));

    column->addWidget(formHeader(QStringLiteral("Lifetime Statistics"), form));
    auto* statistics = new FormSection(form);
    m_space =
        valueRow(statistics, QStringLiteral("Space cleaned up"), QStringLiteral("spaceValue"));
    m_items = valueRow(statistics, QStringLiteral("Items removed"), QStringLiteral("itemsValue"));
    m_apps = valueRow(statistics, QStringLiteral("Apps cleaned"), QStringLiteral("appsValue"));
    m_reset = new QPushButton(QStringLiteral("Reset Statistics"), statistics);
    m_reset->setObjectName(QStringLiteral("resetButton"));
    m_reset->setAutoDefault(false);
    QPalette red = m_reset->palette();
    const QColor destructive =
        SystemColors::color(SystemColor::red, SystemColors::colorScheme(palette()));
    red.setColor(QPalette::Active, QPalette::ButtonText, destructive);
    red.setColor(QPalette::Inactive, QPalette::ButtonText, destructive);
    m_reset->setPalette(red);
    statistics->rows()->addWidget(m_reset, 0, Qt::AlignLeft);
    connect(m_reset, &QPushButton::clicked, this, &GeneralSettingsTab::askToReset);
    column->addWidget(statistics);
    column->addWidget(formFooter(QStringLiteral("Counts files moved to the Trash and packages "
                                                "uninstalled. Trashed files free their space once "
                                                "you empty the Trash."),
                                 form));
    column->addStretch(1);

    connect(&m_model, &controller::UninstallViewModel::offerCleanupForTrashedAppsChanged, this,
            &GeneralSettingsTab::refreshSwitches);
    // Observers may be told inside a setter: the view refreshes once, on the next turn.
    if (m_settings)
        m_settingsObserver = m_settings->addObserver([this](Property) {
            if (std::exchange(m_switchesQueued, true))
                return;
            QTimer::singleShot(0, this, [this] {
                m_switchesQueued = false;
                refreshSwitches();
            });
        });
    if (m_stats)
        m_statsObserver = m_stats->addObserver([this](core::CleanupStats::Counter) {
            if (std::exchange(m_statisticsQueued, true))
                return;
            QTimer::singleShot(0, this, [this] {
                m_statisticsQueued = false;
                refreshStatistics();
            });
        });
    refreshSwitches();
    refreshStatistics();
}

GeneralSettingsTab::~GeneralSettingsTab()
{
    if (m_settings)
        m_settings->removeObserver(m_settingsObserver);
    if (m_stats)
        m_stats->removeObserver(m_statsObserver);
}

QString GeneralSettingsTab::spaceCleanedText(std::int64_t bytes)
{
    return QString::fromStdString(platform::sizeText(bytes));
}

QString GeneralSettingsTab::counterText(std::int64_t count)
{
    return QString::number(count);
}

void GeneralSettingsTab::refreshSwitches()
{
    m_refreshing = true;
    for (const Switch& s : m_switches)
        s.box->setChecked(m_settings ? setting(*m_settings, s.property)
                                     : core::CleanupSettings::defaultValue(s.property));
    m_offerCleanup->setChecked(m_model.offerCleanupForTrashedApps());
    m_refreshing = false;
}

void GeneralSettingsTab::refreshStatistics()
{
    const std::int64_t bytes = m_stats ? m_stats->totalBytesReclaimed() : 0;
    const std::int64_t items = m_stats ? m_stats->totalItemsRemoved() : 0;
    const std::int64_t apps = m_stats ? m_stats->totalAppsCleaned() : 0;
    m_space->setText(spaceCleanedText(bytes));
    m_items->setText(counterText(items));
    m_apps->setText(counterText(apps));
    m_reset->setEnabled(items >= 1);
}

void GeneralSettingsTab::askToReset()
{
    if (m_confirmation)
        return;
    const ConfirmationBox confirmation = makeConfirmationBox(
        this, QStringLiteral("Reset lifetime statistics?"),
        QStringLiteral("This only clears Veldo's counters. No files are affected."),
        QStringLiteral("Reset"));
    confirmation.box->setObjectName(QStringLiteral("resetConfirmation"));
    m_confirmation = confirmation.box;
    connect(confirmation.action, &QPushButton::clicked, this, [this] {
        if (m_stats)
            m_stats->reset();
    });
    confirmation.box->open();
}

} // namespace veldo::ui
