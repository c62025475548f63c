#include "app/ui/UpdatesSettingsTab.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/DatePattern.h"
#include "app/ui/FormSection.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/UpdaterController.h"
#include "platform/qt/UpdateFeed.h"

namespace veldo::ui {

namespace {

const QString kMissing = QString::fromUtf8("\u2014");

QString textOr(const std::optional<platform::PlistValue>& info, const char* key)
{
    if (!info || !info->asDictionary())
        return kMissing;
    const auto& dictionary = *info->asDictionary();
    const auto it = dictionary.find(key);
    if (it == dictionary.end() || !it->second.asString())
        return kMissing;
    return QString::fromStdString(*it->second.asString());
}

} // namespace

UpdatesSettingsTab::UpdatesSettingsTab(UpdaterController& updater, QWidget* parent)
    : UpdatesSettingsTab(updater, platform::bundleInfo(), parent)
{
}

UpdatesSettingsTab::UpdatesSettingsTab(UpdaterController& updater,
                                       const std::optional<platform::PlistValue>& info,
                                       QWidget* parent)
    : QWidget(parent), m_updater(updater)
{

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(6);

    m_header = new QLabel(QStringLiteral("Software Update"), this);
    m_header->setFont(textFont(TextStyle::headline, font()));
    column->addWidget(m_header);

    auto* updates = new FormSection(this);
    m_checkToggle = new QCheckBox(QStringLiteral("Automatically check for updates"), updates);
    m_downloadToggle =
        new QCheckBox(QStringLiteral("Automatically download and install updates"), updates);
    updates->rows()->addWidget(m_checkToggle);
    updates->rows()->addWidget(m_downloadToggle);
    auto* checkRow = new QHBoxLayout;
    m_checkNow = new QPushButton(QStringLiteral("Check Now"), updates);
    m_lastChecked = new QLabel(updates);
    m_lastChecked->setFont(textFont(TextStyle::caption, font()));
    checkRow->addWidget(m_checkNow, 0, Qt::AlignVCenter);
    checkRow->addStretch(1);
    checkRow->addWidget(m_lastChecked, 0, Qt::AlignVCenter);
    updates->rows()->addLayout(checkRow);
    column->addWidget(updates);

    m_footer = new QLabel(
        QString::fromUtf8("Veldo contacts %1 to look for a newer version. The request includes "
                          "Veldo\u2019s version and may include your macOS version; nothing else "
                          "about your Mac is sent. Updates are verified with Veldo\u2019s "
                          "signature before they are installed.")
            .arg(feedHost(info)),
        this);
    m_footer->setWordWrap(true);
    m_footer->setFont(textFont(TextStyle::caption, font()));
    column->addWidget(m_footer);
    column->addSpacing(14);

    auto* about = new FormSection(this);
    auto* versionRow = new QHBoxLayout;
    versionRow->addWidget(new QLabel(QStringLiteral("Version"), about));
    versionRow->addStretch(1);
    m_version = new QLabel(appVersionString(info), about);
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    versionRow->addWidget(m_version);
    about->rows()->addLayout(versionRow);
    column->addWidget(about);
    column->addStretch(1);

    connect(m_checkToggle, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            m_updater.setAutomaticallyChecksForUpdates(on);
    });
    connect(m_downloadToggle, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            m_updater.setAutomaticallyDownloadsUpdates(on);
    });
    connect(m_checkNow, &QPushButton::clicked, this, [this] { m_updater.checkForUpdates(); });
    for (auto changed : {&UpdaterController::canCheckForUpdatesChanged,
                         &UpdaterController::lastUpdateCheckDateChanged,
                         &UpdaterController::allowsAutomaticUpdatesChanged,
                         &UpdaterController::automaticallyChecksForUpdatesChanged,
                         &UpdaterController::automaticallyDownloadsUpdatesChanged})
        connect(&m_updater, changed, this, &UpdatesSettingsTab::refresh);

    applyColors();
    refresh();
}

QString UpdatesSettingsTab::feedHost(const std::optional<platform::PlistValue>& info)
{
    const QString host = QUrl(platform::configuredFeedUrl(info)).host();
    return host.isEmpty() ? QStringLiteral("this Mac") : host;
}

QString UpdatesSettingsTab::appVersionString(const std::optional<platform::PlistValue>& info)
{
    return QStringLiteral("%1 (%2)").arg(textOr(info, "CFBundleShortVersionString"),
                                         textOr(info, "CFBundleVersion"));
}

QString UpdatesSettingsTab::lastCheckedText(const QDateTime& date, const QLocale& locale)
{
    // The locale's short time, to the minute (some locales' short form carries seconds).
    QString time = locale.timeFormat(QLocale::ShortFormat);
    time.remove(QRegularExpression(QStringLiteral("[:.]s{1,2}")));
    const QDateTime local = date.toLocalTime();
    return QStringLiteral("Last checked %1, %2")
        .arg(locale.toString(local.date(), abbreviatedDatePattern(locale)),
             locale.toString(local.time(), time));
}

void UpdatesSettingsTab::refresh()
{
    m_refreshing = true;
    m_checkToggle->setChecked(m_updater.automaticallyChecksForUpdates());
    m_downloadToggle->setChecked(m_updater.automaticallyDownloadsUpdates());
    m_refreshing = false;
    m_downloadToggle->setEnabled(m_updater.automaticallyChecksForUpdates() &&
                                 m_updater.allowsAutomaticUpdates());
    m_checkNow->setEnabled(m_updater.canCheckForUpdates());
    const std::optional<QDateTime> last = m_updater.lastUpdateCheckDate();
    m_lastChecked->setText(last ? lastCheckedText(*last) : QString());
    m_lastChecked->setVisible(last.has_value());
}

void UpdatesSettingsTab::applyColors()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    for (QLabel* label : {m_lastChecked, m_footer}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, SystemColors::color(SystemColor::secondaryLabel, scheme));
        label->setPalette(p);
    }
}

void UpdatesSettingsTab::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

} // namespace veldo::ui
