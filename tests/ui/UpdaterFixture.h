// A fake Mac with Veldo 1.4 (27) installed, whose feed is a file offering 1.5 (28), a settings
// store of its own and a recording user driver: what the updater controller tests build on.
#pragma once

#include <memory>

#include <gtest/gtest.h>

#include <QTest>

#include "app/ui/UpdaterController.h"
#include "tests/platform/qt/UpdaterTestSupport.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

namespace veldo::testsupport {

class UpdaterFixture : public ::testing::Test
{
protected:
    UpdaterFixture()
    {
        using namespace literals;
        mac.write("/Library/Veldo/appcast.xml"_mac,
                  appcastXml({{"28", "1.5", "https://example.com/1.5"}}).toStdString());
        mac.makeApp(
            "/Applications/Veldo.app"_mac,
            platform::PlistValue::Dictionary{{"CFBundleVersion", "27"},
                                             {"CFBundleShortVersionString", "1.4"},
                                             {"SUFeedURL", "file:///Library/Veldo/appcast.xml"}});
    }

    static ui::UpdaterController::LaunchSigns signs(QStringList arguments = {"veldo"},
                                                    QProcessEnvironment environment = {})
    {
        return {std::move(environment), std::move(arguments)};
    }

    std::unique_ptr<ui::UpdaterController>
    makeController(const ui::UpdaterController::LaunchSigns& s)
    {
        platform::SoftwareUpdater::Options options;
        options.defaults = defaults;
        return std::make_unique<ui::UpdaterController>(s, driver, options);
    }

    static void settle() { QTest::qWait(30); }

    FakeMac mac;
    std::shared_ptr<platform::UserDefaults> defaults =
        std::make_shared<platform::UserDefaults>(platform::MacPath("/Users/Shared/updater.plist"));
    std::shared_ptr<RecordingUserDriver> driver = std::make_shared<RecordingUserDriver>();
};

} // namespace veldo::testsupport
