// The updater controller: when it makes the updater, how its mirrors follow the updater, and
// the write-back that sends a view's value to the updater exactly once.
#include "app/ui/UpdaterController.h"

#include <QSignalSpy>

#include "tests/ui/UpdaterFixture.h"

using namespace veldo;
using ui::UpdaterController;
using Flag = platform::SoftwareUpdater::Flag;
using Kind = testsupport::RecordingUserDriver::Shown::Kind;

namespace {

class UpdaterControllerTest : public testsupport::UpdaterFixture
{
protected:
    // Counts every value the updater publishes for `which` (the initial one included).
    platform::SoftwareUpdater::Observation countSets(UpdaterController& controller, Flag which,
                                                     int& count)
    {
        return controller.controller()->updater()->observe(which, [&count](bool) { ++count; });
    }
};

} // namespace

TEST_F(UpdaterControllerTest, OnlyTheExactSignsOfATestRunKeepTheUpdaterAway)
{
    QProcessEnvironment emptyValue;
    emptyValue.insert("XCTestConfigurationFilePath", "");
    QProcessEnvironment otherVariable;
    otherVariable.insert("XCTestConfiguration", "/tmp/x");
    struct Case
    {
        const char* what;
        UpdaterController::LaunchSigns signs;
        bool makesUpdater;
    } cases[] = {
        {"plain launch", signs(), true},
        {"test variable with an empty value", signs({"veldo"}, emptyValue), false},
        {"another variable", signs({"veldo"}, otherVariable), true},
        {"the exact argument", signs({"veldo", "-NSDocumentRevisionsDebugMode", "-VeldoUITesting"}),
         false},
        {"the argument inside a longer one", signs({"veldo", "-VeldoUITesting=YES"}), true},
        {"the argument with another prefix", signs({"veldo", "--VeldoUITesting"}), true},
        {"the argument in another case", signs({"veldo", "-veldouitesting"}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.signs.isTestRun(), !c.makesUpdater);
        auto controller = makeController(c.signs);
        EXPECT_EQ(controller->controller() != nullptr, c.makesUpdater);
        EXPECT_EQ(controller->canCheckForUpdates(), c.makesUpdater);
    }
}

TEST_F(UpdaterControllerTest, WithoutAnUpdaterNothingIsCheckedAndSettingsStayMirrors)
{
    ASSERT_TRUE(defaults->setBool("SUEnableAutomaticChecks", true));
    auto controller = makeController(signs({"veldo", "-VeldoUITesting"}));
    EXPECT_FALSE(controller->canCheckForUpdates());
    EXPECT_FALSE(controller->lastUpdateCheckDate());
    EXPECT_FALSE(controller->allowsAutomaticUpdates());
    EXPECT_FALSE(controller->automaticallyChecksForUpdates());
    EXPECT_FALSE(controller->automaticallyDownloadsUpdates());

    controller->checkForUpdates();
    controller->setAutomaticallyDownloadsUpdates(true);
    settle();
    EXPECT_TRUE(driver->shown.empty());
    EXPECT_TRUE(controller->automaticallyDownloadsUpdates());
    EXPECT_FALSE(defaults->object("SUAutomaticallyUpdate"));
}

TEST_F(UpdaterControllerTest, TakesTheUpdatersValuesAtOnceAndIgnoresTheirEcho)
{
    // A recent last check, so that the automatic checks have nothing due.
    const qint64 when = QDateTime::currentSecsSinceEpoch() - 60;
    ASSERT_TRUE(
        defaults->setObject("SULastCheckTime", platform::PlistDate{static_cast<double>(when)}));
    ASSERT_TRUE(defaults->setBool("SUEnableAutomaticChecks", true));
    ASSERT_TRUE(defaults->setBool("SUAutomaticallyUpdate", true));
    auto controller = makeController(signs());

    EXPECT_TRUE(controller->canCheckForUpdates());
    ASSERT_TRUE(controller->lastUpdateCheckDate());
    EXPECT_EQ(controller->lastUpdateCheckDate()->toSecsSinceEpoch(), when);
    EXPECT_FALSE(controller->allowsAutomaticUpdates());
    EXPECT_TRUE(controller->automaticallyChecksForUpdates());
    EXPECT_TRUE(controller->automaticallyDownloadsUpdates());

    // The subscriptions' first values arrive later and equal the mirrors: no notification.
    QSignalSpy checks(controller.get(), &UpdaterController::automaticallyChecksForUpdatesChanged);
    QSignalSpy dates(controller.get(), &UpdaterController::lastUpdateCheckDateChanged);
    QSignalSpy canCheck(controller.get(), &UpdaterController::canCheckForUpdatesChanged);
    settle();
    EXPECT_EQ(checks.count(), 0);
    EXPECT_EQ(dates.count(), 0);
    EXPECT_EQ(canCheck.count(), 0);
}

TEST_F(UpdaterControllerTest, AChangeByTheUpdaterIsMirroredOnceAndNeverWrittenBack)
{
    auto controller = makeController(signs());
    settle();
    int sets = 0;
    auto counting = countSets(*controller, Flag::automaticallyChecksForUpdates, sets);
    QSignalSpy changed(controller.get(), &UpdaterController::automaticallyChecksForUpdatesChanged);

    // Twice the same value from the updater, then a change of its stored setting from outside.
    controller->controller()->updater()->setAutomaticallyChecksForUpdates(true);
    controller->controller()->updater()->setAutomaticallyChecksForUpdates(true);
    EXPECT_FALSE(controller->automaticallyChecksForUpdates()); // mirrored in a later turn
    settle();
    EXPECT_TRUE(controller->automaticallyChecksForUpdates());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(sets, 3); // the initial value and the two sets: nothing came back

    ASSERT_TRUE(defaults->setBool("SUEnableAutomaticChecks", false));
    settle();
    EXPECT_FALSE(controller->automaticallyChecksForUpdates());
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(sets, 4);
}

TEST_F(UpdaterControllerTest, AViewsValueReachesTheUpdaterOnce)
{
    auto controller = makeController(signs());
    settle();
    int sets = 0;
    auto counting = countSets(*controller, Flag::automaticallyDownloadsUpdates, sets);
    QSignalSpy changed(controller.get(), &UpdaterController::automaticallyDownloadsUpdatesChanged);

    controller->setAutomaticallyDownloadsUpdates(true);
    EXPECT_TRUE(controller->controller()->updater()->automaticallyDownloadsUpdates());
    settle();
    EXPECT_EQ(sets, 2);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(defaults->object("SUAutomaticallyUpdate")->asBoolean(), true);

    // Setting the value it already has notifies nobody and writes nothing.
    controller->setAutomaticallyDownloadsUpdates(true);
    settle();
    EXPECT_EQ(sets, 2);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(UpdaterControllerTest, ACheckIsMirroredAndSetsTheFirstDate)
{
    auto controller = makeController(signs());
    settle();
    EXPECT_FALSE(controller->lastUpdateCheckDate());
    std::vector<bool> canCheck;
    QObject::connect(controller.get(), &UpdaterController::canCheckForUpdatesChanged,
                     [&] { canCheck.push_back(controller->canCheckForUpdates()); });
    QSignalSpy dates(controller.get(), &UpdaterController::lastUpdateCheckDateChanged);

    controller->checkForUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !driver->shown.empty(); }, 5'000));
    settle();
    ASSERT_EQ(driver->shown.size(), 1u);
    EXPECT_EQ(driver->shown[0].kind, Kind::update);
    EXPECT_EQ(driver->shown[0].update.version, "28");
    EXPECT_EQ(canCheck, (std::vector<bool>{false, true}));
    EXPECT_EQ(dates.count(), 1);
    EXPECT_TRUE(controller->lastUpdateCheckDate());
}

TEST_F(UpdaterControllerTest, ValuesStillQueuedWhenTheControllerGoesAreDropped)
{
    auto controller = makeController(signs());
    controller->controller()->updater()->setAutomaticallyChecksForUpdates(true);
    controller.reset();
    settle();
    SUCCEED();
}

TEST(UpdaterControllerShared, IsMadeWithoutAnUpdaterUnderTheTestRunArgument)
{
    ASSERT_TRUE(QCoreApplication::arguments().contains("-VeldoUITesting"));
    UpdaterController& shared = UpdaterController::shared();
    EXPECT_EQ(&shared, &UpdaterController::shared());
    EXPECT_EQ(shared.controller(), nullptr);
    EXPECT_FALSE(shared.canCheckForUpdates());
}
