// The application's updater controller.
#include "app/ui/UpdaterController.h"

#include <QCoreApplication>
#include <QPointer>

namespace veldo::ui {

namespace {

using platform::SoftwareUpdater;
using Flag = SoftwareUpdater::Flag;

std::shared_ptr<platform::UpdaterUserDriver>& installedDriver()
{
    static std::shared_ptr<platform::UpdaterUserDriver> driver;
    return driver;
}

bool isWritable(Flag which)
{
    return which == Flag::automaticallyChecksForUpdates ||
           which == Flag::automaticallyDownloadsUpdates;
}

} // namespace

UpdaterController::LaunchSigns UpdaterController::LaunchSigns::ofThisProcess()
{
    return {QProcessEnvironment::systemEnvironment(), QCoreApplication::arguments()};
}

bool UpdaterController::LaunchSigns::isTestRun() const
{
    return environment.contains(QStringLiteral("XCTestConfigurationFilePath")) ||
           arguments.contains(QStringLiteral("-VeldoUITesting"));
}

UpdaterController::UpdaterController(const LaunchSigns& signs,
                                     std::shared_ptr<platform::UpdaterUserDriver> driver,
                                     SoftwareUpdater::Options options, QObject* parent)
    : QObject(parent)
{
    if (signs.isTestRun())
        return;
    m_controller = std::make_unique<platform::StandardUpdaterController>(std::move(driver),
                                                                         std::move(options));
    SoftwareUpdater* updater = m_controller->updater();

    subscribe(Flag::canCheckForUpdates);
    m_observations.push_back(updater->observeLastUpdateCheckDate(
        [self = QPointer<UpdaterController>(this)](std::optional<QDateTime> value) {
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self.data(),
                [self, value] {
                    if (self)
                        self->receiveDate(value);
                },
                Qt::QueuedConnection);
        }));
    subscribe(Flag::automaticallyChecksForUpdates);
    subscribe(Flag::automaticallyDownloadsUpdates);
    subscribe(Flag::allowsAutomaticUpdates);

    setMirror(Flag::canCheckForUpdates, updater->canCheckForUpdates());
    setLastUpdateCheckDate(updater->lastUpdateCheckDate());
    setMirror(Flag::allowsAutomaticUpdates, updater->allowsAutomaticUpdates());
    setAutomaticallyChecksForUpdates(updater->automaticallyChecksForUpdates());
    setAutomaticallyDownloadsUpdates(updater->automaticallyDownloadsUpdates());
}

UpdaterController::~UpdaterController() = default;

UpdaterController& UpdaterController::shared()
{
    static UpdaterController* const instance =
        new UpdaterController(LaunchSigns::ofThisProcess(), installedDriver());
    return *instance;
}

void UpdaterController::installUserDriver(std::shared_ptr<platform::UpdaterUserDriver> driver)
{
    installedDriver() = std::move(driver);
}

void UpdaterController::setAutomaticallyChecksForUpdates(bool on)
{
    setMirror(Flag::automaticallyChecksForUpdates, on);
    writeBack(Flag::automaticallyChecksForUpdates);
}

void UpdaterController::setAutomaticallyDownloadsUpdates(bool on)
{
    setMirror(Flag::automaticallyDownloadsUpdates, on);
    writeBack(Flag::automaticallyDownloadsUpdates);
}

void UpdaterController::checkForUpdates()
{
    if (m_controller)
        m_controller->checkForUpdates();
}

void UpdaterController::subscribe(Flag which)
{
    m_observations.push_back(m_controller->updater()->observe(
        which, [self = QPointer<UpdaterController>(this), which](bool value) {
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self.data(),
                [self, which, value] {
                    if (self)
                        self->receive(which, value);
                },
                Qt::QueuedConnection);
        }));
}

void UpdaterController::receive(Flag which, bool value)
{
    if (setMirror(which, value))
        writeBack(which);
}

void UpdaterController::receiveDate(std::optional<QDateTime> value)
{
    setLastUpdateCheckDate(std::move(value));
}

bool UpdaterController::setMirror(Flag which, bool value)
{
    bool* mirror = nullptr;
    void (UpdaterController::*changed)() = nullptr;
    switch (which) {
    case Flag::canCheckForUpdates:
        mirror = &m_canCheckForUpdates;
        changed = &UpdaterController::canCheckForUpdatesChanged;
        break;
    case Flag::allowsAutomaticUpdates:
        mirror = &m_allowsAutomaticUpdates;
        changed = &UpdaterController::allowsAutomaticUpdatesChanged;
        break;
    case Flag::automaticallyChecksForUpdates:
        mirror = &m_automaticallyChecksForUpdates;
        changed = &UpdaterController::automaticallyChecksForUpdatesChanged;
        break;
    case Flag::automaticallyDownloadsUpdates:
        mirror = &m_automaticallyDownloadsUpdates;
        changed = &UpdaterController::automaticallyDownloadsUpdatesChanged;
        break;
    }
    if (!mirror)
        return false;
    if (*mirror == value)
        return false;
    *mirror = value;
    emit(this->*changed)();
    return true;
}

void UpdaterController::setLastUpdateCheckDate(std::optional<QDateTime> value)
{
    if (value == m_lastUpdateCheckDate)
        return;
    m_lastUpdateCheckDate = std::move(value);
    emit lastUpdateCheckDateChanged();
}

void UpdaterController::writeBack(Flag which)
{
    if (!isWritable(which) || !m_controller || !m_controller->updater())
        return;
    SoftwareUpdater* updater = m_controller->updater();
    const bool mirror = which == Flag::automaticallyChecksForUpdates
                            ? m_automaticallyChecksForUpdates
                            : m_automaticallyDownloadsUpdates;
    if (updater->flag(which) == mirror)
        return;
    if (which == Flag::automaticallyChecksForUpdates)
        updater->setAutomaticallyChecksForUpdates(mirror);
    else
        updater->setAutomaticallyDownloadsUpdates(mirror);
}

} // namespace veldo::ui
