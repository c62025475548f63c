// UpdaterController: the one object through which the application uses the updater.
//
// It makes and starts the updater (StandardUpdaterController), unless the process is a test
// run: the environment holds "XCTestConfigurationFilePath" (whatever its value) or a launch
// argument equals "-VeldoUITesting". It mirrors five properties of the updater as Qt
// properties for the views, each notifying only when its value changes:
// canCheckForUpdates, lastUpdateCheckDate, allowsAutomaticUpdates (read-only mirrors) and
// automaticallyChecksForUpdates, automaticallyDownloadsUpdates (also set by views, and written
// back to the updater). The updater's values arrive through subscriptions that send the current
// value first, then each change, always in a later event-loop turn and without keeping this
// object alive. Write-back: after a view sets a writable mirror (even to the same value), and
// after a subscription changes one, the updater's property is set to the mirror when the two
// differ, so a value that came from the updater never goes back and a view's value reaches the
// updater once. Without an updater the check does nothing, every mirror keeps its initial value
// (false, none) unless a view sets it, and setting one changes only the mirror.
//
// GUI-thread confined. shared() is made on first use, with this process's environment and
// arguments and the user driver installed before; it is never destroyed.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QDateTime>
#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>

#include "platform/qt/StandardUpdaterController.h"

namespace veldo::ui {

class UpdaterController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(std::optional<QDateTime> lastUpdateCheckDate READ lastUpdateCheckDate NOTIFY
                   lastUpdateCheckDateChanged)
    Q_PROPERTY(bool allowsAutomaticUpdates READ allowsAutomaticUpdates NOTIFY
                   allowsAutomaticUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(bool automaticallyDownloadsUpdates READ automaticallyDownloadsUpdates WRITE
                   setAutomaticallyDownloadsUpdates NOTIFY automaticallyDownloadsUpdatesChanged)

public:
    // What tells a test run from a real one.
    struct LaunchSigns
    {
        QProcessEnvironment environment;
        QStringList arguments;

        // This process's environment and QCoreApplication::arguments().
        static LaunchSigns ofThisProcess();
        bool isTestRun() const;
    };

    // Makes the updater unless `signs` say this is a test run; the updater shows its answers
    // through `driver` and takes `options` (its settings store, limits and interval).
    explicit UpdaterController(const LaunchSigns& signs,
                               std::shared_ptr<platform::UpdaterUserDriver> driver = nullptr,
                               platform::SoftwareUpdater::Options options = {},
                               QObject* parent = nullptr);
    ~UpdaterController() override;

    // The process's instance, made on first use (needs a QCoreApplication).
    static UpdaterController& shared();
    // The driver shared() gives its updater; install it before the first use of shared().
    static void installUserDriver(std::shared_ptr<platform::UpdaterUserDriver> driver);

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    std::optional<QDateTime> lastUpdateCheckDate() const { return m_lastUpdateCheckDate; }
    bool allowsAutomaticUpdates() const { return m_allowsAutomaticUpdates; }
    bool automaticallyChecksForUpdates() const { return m_automaticallyChecksForUpdates; }
    void setAutomaticallyChecksForUpdates(bool on);
    bool automaticallyDownloadsUpdates() const { return m_automaticallyDownloadsUpdates; }
    void setAutomaticallyDownloadsUpdates(bool on);

    // A check the user asked for, through the updater's own interface; nothing without one.
    void checkForUpdates();

    // The updater's controller; none in a test run.
    platform::StandardUpdaterController* controller() const { return m_controller.get(); }

signals:
    void canCheckForUpdatesChanged();
    void lastUpdateCheckDateChanged();
    void allowsAutomaticUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();
    void automaticallyDownloadsUpdatesChanged();

private:
    using Flag = platform::SoftwareUpdater::Flag;

    void subscribe(Flag which);
    void receive(Flag which, bool value);
    void receiveDate(std::optional<QDateTime> value);
    bool setMirror(Flag which, bool value);
    void setLastUpdateCheckDate(std::optional<QDateTime> value);
    void writeBack(Flag which);

    bool m_canCheckForUpdates = false;
    std::optional<QDateTime> m_lastUpdateCheckDate;
    bool m_allowsAutomaticUpdates = false;
    bool m_automaticallyChecksForUpdates = false;
    bool m_automaticallyDownloadsUpdates = false;
    std::unique_ptr<platform::StandardUpdaterController> m_controller;
    std::vector<platform::SoftwareUpdater::Observation> m_observations;
};

} // namespace veldo::ui
