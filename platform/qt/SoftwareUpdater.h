// SoftwareUpdater: Veldo's update checker, looking for newer builds in an appcast feed.
//
// It offers five observable properties:
// - canCheckForUpdates: the updater is started and no check runs;
// - lastUpdateCheckDate: the user default "SULastCheckTime", set when a check has read the feed
//   (a failed check leaves it); none when never set or not a date;
// - allowsAutomaticUpdates: always false, because installing updates is not built here;
// - automaticallyChecksForUpdates: the user default "SUEnableAutomaticChecks" (a Boolean),
//   else the Info.plist key of the same name, else false;
// - automaticallyDownloadsUpdates: the user default "SUAutomaticallyUpdate", else false.
// The two writable ones are stored in the user defaults and nowhere else, so a change of those
// defaults (from any thread) is a change of the property, heard in a later event-loop turn.
//
// Observers are called with the current value when they subscribe, then with every later value
// on the updater's thread: after every set of a writable property (also one that sets the same
// value, as key-value observing does) and after every other change.
//
// The feed and Veldo's own build number come from the Info.plist (UpdateFeed.h), read when the
// updater is made. checkForUpdates() runs a check the user asked for: its answer goes to the
// user driver (up to date, an update, or the error sentence). While automatic checks are on,
// background checks run at start() and on a timer whenever the last check (or failed attempt)
// is older than the check interval ("SUScheduledCheckInterval" in the user defaults, else in
// the Info.plist, else one day); they show only an update. Every check reads the feed once
// (FeedDownload.h has the network rules); the newest item by build number is an update when
// newer than Veldo's "CFBundleVersion". Nothing throws; nothing blocks the event loop but the
// read of a file feed. Confined to the thread that made it, which needs an event loop.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "platform/ObserverList.h"
#include "platform/PlistValue.h"
#include "platform/UserDefaults.h"
#include "platform/qt/UpdateCheckError.h"
#include "platform/qt/UpdaterUserDriver.h"

namespace veldo::platform {

class FeedDownload;
struct FeedBytes;

inline constexpr std::chrono::milliseconds kUpdateRequestTimeout{30'000};
inline constexpr qint64 kMaxUpdateFeedBytes = 1024 * 1024;
inline constexpr std::chrono::seconds kDefaultUpdateCheckInterval{86'400};

struct SoftwareUpdaterOptions
{
    // The store of the updater's settings; the standard user defaults when none.
    std::shared_ptr<UserDefaults> defaults;
    std::chrono::milliseconds requestTimeout = kUpdateRequestTimeout;
    qint64 maxFeedBytes = kMaxUpdateFeedBytes;
    // Replaces the configured check interval (tests).
    std::optional<std::chrono::milliseconds> checkInterval;
};

class SoftwareUpdater : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRequestTimeout = kUpdateRequestTimeout;
    static constexpr qint64 kMaxFeedBytes = kMaxUpdateFeedBytes;
    static constexpr std::chrono::seconds kDefaultCheckInterval = kDefaultUpdateCheckInterval;
    using Options = SoftwareUpdaterOptions;

    enum class Flag
    {
        canCheckForUpdates,
        allowsAutomaticUpdates,
        automaticallyChecksForUpdates,
        automaticallyDownloadsUpdates
    };

    // A subscription: the observer is called until this is destroyed. Outliving the updater
    // is harmless. Move-only.
    class Observation
    {
    public:
        Observation() = default;
        explicit Observation(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
        Observation(Observation&& other) noexcept : m_cancel(std::exchange(other.m_cancel, {})) {}
        Observation& operator=(Observation&& other) noexcept;
        Observation(const Observation&) = delete;
        Observation& operator=(const Observation&) = delete;
        ~Observation();

    private:
        std::function<void()> m_cancel;
    };

    // `driver` shows the answers of checks; without one, nothing is shown.
    explicit SoftwareUpdater(std::shared_ptr<UpdaterUserDriver> driver, Options options = {},
                             QObject* parent = nullptr);
    ~SoftwareUpdater() override;

    // Starts the updater: checks become possible and the background schedule begins.
    void start();

    bool canCheckForUpdates() const;
    std::optional<QDateTime> lastUpdateCheckDate() const;
    bool allowsAutomaticUpdates() const { return false; }
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool on);
    bool flag(Flag which) const;

    // The feed address as configured (it may be one that a check refuses).
    QString feedUrl() const { return m_feedUrl; }
    std::chrono::milliseconds checkInterval() const;

    // A check the user asked for; does nothing unless canCheckForUpdates.
    void checkForUpdates();

    [[nodiscard]] Observation observe(Flag which, std::function<void(bool)> observer);
    [[nodiscard]] Observation
    observeLastUpdateCheckDate(std::function<void(std::optional<QDateTime>)> observer);

private:
    enum class CheckKind
    {
        userInitiated,
        background
    };
    struct Observers
    {
        std::array<ObserverList<bool>, 4> flags;
        ObserverList<std::optional<QDateTime>> date;
    };

    void setFlag(Flag which, const char* key, bool on);
    void publishFlag(Flag which, bool always);
    void publishDate();
    void defaultsChanged();
    void runCheck(CheckKind kind);
    void feedLoaded(CheckKind kind, FeedBytes result);
    void completeWithError(CheckKind kind, UpdateCheckError error);
    void endCheck();
    void reschedule();
    QString installedVersion() const;

    std::shared_ptr<UpdaterUserDriver> m_driver;
    Options m_options;
    std::shared_ptr<UserDefaults> m_defaults;
    std::optional<PlistValue> m_info;
    QString m_feedUrl;
    QString m_ownBuild;
    QString m_ownShortVersion;

    bool m_started = false;
    bool m_checking = false;
    std::optional<QDateTime> m_lastAttempt;
    QPointer<FeedDownload> m_download;
    QTimer m_schedule;

    std::shared_ptr<Observers> m_observers = std::make_shared<Observers>();
    std::array<bool, 4> m_publishedFlags{};
    std::optional<QDateTime> m_publishedDate;
    UserDefaults::ObserverId m_defaultsObserver = 0;
};

} // namespace veldo::platform
