// ControllerFixture: a fake Mac, its defaults and controllers over them.
#include "tests/controller/ControllerFixture.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace veldo::testsupport {

ControllerFixture::ControllerFixture()
    : m_defaults(std::make_shared<platform::UserDefaults>(
          m_mac.home().appendingPathComponent("Library/Preferences/test.plist"))),
      m_settings(std::make_shared<core::CleanupSettings>(m_defaults)),
      m_stats(std::make_shared<core::CleanupStats>(m_defaults))
{
}

std::unique_ptr<controller::UninstallViewModel>
ControllerFixture::makeController(controller::ControllerServices services)
{
    return std::make_unique<controller::UninstallViewModel>(m_settings, m_stats, m_defaults,
                                                            std::move(services));
}

void ControllerFixture::processEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
}

core::InstalledApp ControllerFixture::app(std::string path, std::string name,
                                          std::optional<std::string> bundleID)
{
    core::InstalledApp a;
    a.url = platform::MacPath(std::move(path));
    a.name = std::move(name);
    a.bundleID = std::move(bundleID);
    return a;
}

core::LeftoverItem ControllerFixture::item(std::string path, std::int64_t bytes,
                                           core::LeftoverCategory category)
{
    core::LeftoverItem i;
    i.url = platform::MacPath(std::move(path));
    i.sizeBytes = bytes;
    i.category = category;
    return i;
}

} // namespace veldo::testsupport
