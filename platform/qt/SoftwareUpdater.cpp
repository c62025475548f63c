// The update checker.
#include "platform/qt/SoftwareUpdater.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <QTimeZone>

#include "base/BuildNumber.h"
#include "platform/qt/Appcast.h"
#include "platform/qt/FeedDownload.h"
#include "platform/qt/UpdateFeed.h"

namespace veldo::platform {

namespace {

constexpr const char* kLastCheckTimeKey = "SULastCheckTime";
constexpr const char* kAutomaticChecksKey = "SUEnableAutomaticChecks";
constexpr const char* kAutomaticallyUpdateKey = "SUAutomaticallyUpdate";
constexpr const char* kCheckIntervalKey = "SUScheduledCheckInterval";

std::size_t indexOf(SoftwareUpdater::Flag which)
{
    return static_cast<std::size_t>(which);
}

std::optional<bool> boolValue(const std::optional<PlistValue>& value)
{
    if (!value)
        return std::nullopt;
    return value->asBoolean();
}

std::optional<PlistValue> infoValue(const std::optional<PlistValue>& info, const char* key)
{
    if (!info || !info->asDictionary())
        return std::nullopt;
    const auto it = info->asDictionary()->find(key);
    if (it == info->asDictionary()->end())
        return std::nullopt;
    return it->second;
}

// A positive whole number of seconds, from an integer or a real.
std::optional<std::chrono::milliseconds> intervalValue(const std::optional<PlistValue>& value)
{
    if (!value)
        return std::nullopt;
    double seconds = 0;
    if (auto integer = value->asInteger())
        seconds = static_cast<double>(*integer);
    else if (auto real = value->asReal())
        seconds = *real;
    else
        return std::nullopt;
    // Beyond ten years the schedule means "never"; keep the arithmetic in range.
    if (!std::isfinite(seconds) || seconds < 1 || seconds > 10.0 * 365 * 86'400)
        return std::nullopt;
    return std::chrono::milliseconds(static_cast<qint64>(seconds * 1000));
}

} // namespace

SoftwareUpdater::Observation& SoftwareUpdater::Observation::operator=(Observation&& other) noexcept
{
    if (this != &other) {
        if (m_cancel)
            m_cancel();
        m_cancel = std::exchange(other.m_cancel, {});
    }
    return *this;
}

SoftwareUpdater::Observation::~Observation()
{
    if (m_cancel)
        m_cancel();
}

SoftwareUpdater::SoftwareUpdater(std::shared_ptr<UpdaterUserDriver> driver, Options options,
                                 QObject* parent)
    : QObject(parent), m_driver(std::move(driver)), m_options(std::move(options)),
      m_defaults(m_options.defaults ? m_options.defaults : UserDefaults::standard()),
      m_info(bundleInfo()), m_feedUrl(configuredFeedUrl(m_info)),
      m_ownBuild(infoString(m_info, "CFBundleVersion").trimmed()),
      m_ownShortVersion(infoString(m_info, "CFBundleShortVersionString").trimmed())
{
    m_publishedFlags[indexOf(Flag::canCheckForUpdates)] = false;
    m_publishedFlags[indexOf(Flag::allowsAutomaticUpdates)] = false;
    m_publishedFlags[indexOf(Flag::automaticallyChecksForUpdates)] =
        automaticallyChecksForUpdates();
    m_publishedFlags[indexOf(Flag::automaticallyDownloadsUpdates)] =
        automaticallyDownloadsUpdates();
    m_publishedDate = lastUpdateCheckDate();

    m_schedule.setSingleShot(true);
    connect(&m_schedule, &QTimer::timeout, this, [this] {
        if (!m_checking)
            runCheck(CheckKind::background);
    });
    // The store calls on the thread that changed it; the updater reads on its own.
    m_defaultsObserver = m_defaults->addObserver([this](const std::string& key) {
        if (key == kLastCheckTimeKey || key == kAutomaticChecksKey ||
            key == kAutomaticallyUpdateKey || key == kCheckIntervalKey)
            QMetaObject::invokeMethod(this, &SoftwareUpdater::defaultsChanged,
                                      Qt::QueuedConnection);
    });
}

SoftwareUpdater::~SoftwareUpdater()
{
    m_defaults->removeObserver(m_defaultsObserver);
    delete m_download;
}

void SoftwareUpdater::start()
{
    if (m_started)
        return;
    m_started = true;
    publishFlag(Flag::canCheckForUpdates, false);
    reschedule();
}

bool SoftwareUpdater::canCheckForUpdates() const
{
    return m_started && !m_checking;
}

std::optional<QDateTime> SoftwareUpdater::lastUpdateCheckDate() const
{
    const auto value = m_defaults->object(kLastCheckTimeKey);
    if (!value || value->type() != PlistValue::Type::date)
        return std::nullopt;
    const double seconds = value->asDate()->secondsSince1970;
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e12)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000), QTimeZone::utc());
}

bool SoftwareUpdater::automaticallyChecksForUpdates() const
{
    if (auto stored = boolValue(m_defaults->object(kAutomaticChecksKey)))
        return *stored;
    return boolValue(infoValue(m_info, kAutomaticChecksKey)).value_or(false);
}

void SoftwareUpdater::setAutomaticallyChecksForUpdates(bool on)
{
    setFlag(Flag::automaticallyChecksForUpdates, kAutomaticChecksKey, on);
    reschedule();
}

bool SoftwareUpdater::automaticallyDownloadsUpdates() const
{
    return boolValue(m_defaults->object(kAutomaticallyUpdateKey)).value_or(false);
}

void SoftwareUpdater::setAutomaticallyDownloadsUpdates(bool on)
{
    setFlag(Flag::automaticallyDownloadsUpdates, kAutomaticallyUpdateKey, on);
}

bool SoftwareUpdater::flag(Flag which) const
{
    switch (which) {
    case Flag::canCheckForUpdates:
        return canCheckForUpdates();
    case Flag::allowsAutomaticUpdates:
        return allowsAutomaticUpdates();
    case Flag::automaticallyChecksForUpdates:
        return automaticallyChecksForUpdates();
    case Flag::automaticallyDownloadsUpdates:
        return automaticallyDownloadsUpdates();
    }
    return false;
}

std::chrono::milliseconds SoftwareUpdater::checkInterval() const
{
    if (m_options.checkInterval)
        return *m_options.checkInterval;
    if (auto stored = intervalValue(m_defaults->object(kCheckIntervalKey)))
        return *stored;
    if (auto configured = intervalValue(infoValue(m_info, kCheckIntervalKey)))
        return *configured;
    return kDefaultCheckInterval;
}

void SoftwareUpdater::checkForUpdates()
{
    if (canCheckForUpdates())
        runCheck(CheckKind::userInitiated);
}

SoftwareUpdater::Observation SoftwareUpdater::observe(Flag which,
                                                      std::function<void(bool)> observer)
{
    observer(flag(which));
    const auto id = m_observers->flags[indexOf(which)].add(std::move(observer));
    return Observation([weak = std::weak_ptr<Observers>(m_observers), which, id] {
        if (auto observers = weak.lock())
            observers->flags[indexOf(which)].remove(id);
    });
}

SoftwareUpdater::Observation
SoftwareUpdater::observeLastUpdateCheckDate(std::function<void(std::optional<QDateTime>)> observer)
{
    observer(lastUpdateCheckDate());
    const auto id = m_observers->date.add(std::move(observer));
    return Observation([weak = std::weak_ptr<Observers>(m_observers), id] {
        if (auto observers = weak.lock())
            observers->date.remove(id);
    });
}

void SoftwareUpdater::setFlag(Flag which, const char* key, bool on)
{
    if (auto written = m_defaults->setBool(key, on); !written)
        qWarning("The updater's setting %s couldn't be saved.", key);
    publishFlag(which, true);
}

void SoftwareUpdater::publishFlag(Flag which, bool always)
{
    const bool value = flag(which);
    bool& published = m_publishedFlags[indexOf(which)];
    if (!always && value == published)
        return;
    published = value;
    m_observers->flags[indexOf(which)].notify(value);
}

void SoftwareUpdater::publishDate()
{
    const auto value = lastUpdateCheckDate();
    if (value == m_publishedDate)
        return;
    m_publishedDate = value;
    m_observers->date.notify(value);
}

void SoftwareUpdater::defaultsChanged()
{
    publishDate();
    publishFlag(Flag::automaticallyChecksForUpdates, false);
    publishFlag(Flag::automaticallyDownloadsUpdates, false);
    reschedule();
}

void SoftwareUpdater::runCheck(CheckKind kind)
{
    m_schedule.stop();
    m_checking = true;
    m_lastAttempt = QDateTime::currentDateTimeUtc();
    publishFlag(Flag::canCheckForUpdates, false);

    const FeedAddress address = checkFeedAddress(m_feedUrl);
    std::optional<UpdateCheckError> refusal = address.refusal;
    if (!refusal && !base::isValidBuildNumber(m_ownBuild.toStdString()))
        refusal = UpdateCheckError::unreadableOwnVersion;
    if (refusal) {
        // Like every answer, a refusal arrives in a later turn of the event loop.
        QMetaObject::invokeMethod(
            this, [this, kind, error = *refusal] { completeWithError(kind, error); },
            Qt::QueuedConnection);
        return;
    }
    const QByteArray userAgent = QStringLiteral("Veldo/%1").arg(installedVersion()).toUtf8();
    m_download = new FeedDownload(
        address.url, userAgent, {m_options.requestTimeout, m_options.maxFeedBytes},
        [this, kind](FeedBytes result) { feedLoaded(kind, std::move(result)); }, this);
}

void SoftwareUpdater::feedLoaded(CheckKind kind, FeedBytes result)
{
    if (m_download) {
        m_download->deleteLater();
        m_download = nullptr;
    }
    if (result.error) {
        completeWithError(kind, *result.error);
        return;
    }
    const auto items = parseAppcast(result.bytes);
    if (!items) {
        completeWithError(kind, UpdateCheckError::unreadableFeed);
        return;
    }

    if (auto written = m_defaults->setObject(
            kLastCheckTimeKey,
            PlistDate{static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0});
        !written)
        qWarning("The time of the last update check couldn't be saved.");
    publishDate();
    endCheck();

    const auto newest = newestAppcastItem(*items);
    const bool isUpdate =
        newest && base::compareBuilds(newest->version.toStdString(), m_ownBuild.toStdString()) > 0;
    if (m_driver) {
        if (isUpdate)
            m_driver->showUpdateFound(*newest, installedVersion());
        else if (kind == CheckKind::userInitiated)
            m_driver->showUpToDate(installedVersion());
    }
}

void SoftwareUpdater::completeWithError(CheckKind kind, UpdateCheckError error)
{
    endCheck();
    if (m_driver && kind == CheckKind::userInitiated)
        m_driver->showUpdaterError(updateCheckErrorSentence(error));
}

void SoftwareUpdater::endCheck()
{
    m_checking = false;
    publishFlag(Flag::canCheckForUpdates, false);
    reschedule();
}

void SoftwareUpdater::reschedule()
{
    m_schedule.stop();
    if (!m_started || m_checking || !automaticallyChecksForUpdates())
        return;
    const qint64 interval = checkInterval().count();
    std::optional<QDateTime> last = lastUpdateCheckDate();
    if (m_lastAttempt && (!last || *m_lastAttempt > *last))
        last = m_lastAttempt;
    qint64 delay = 0;
    if (last) {
        const qint64 sinceLast = last->msecsTo(QDateTime::currentDateTimeUtc());
        // A last check in the future (a clock set back) waits one interval at most.
        delay = std::clamp<qint64>(interval - sinceLast, 0, interval);
    }
    m_schedule.start(static_cast<int>(std::min<qint64>(delay, INT_MAX)));
}

QString SoftwareUpdater::installedVersion() const
{
    return m_ownShortVersion.isEmpty() ? m_ownBuild : m_ownShortVersion;
}

} // namespace veldo::platform
