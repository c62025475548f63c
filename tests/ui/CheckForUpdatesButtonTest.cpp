// The menu's "Check for Updates…" action: its title, its enabled state and what it runs.
#include "app/ui/CheckForUpdatesButton.h"

#include "tests/ui/UpdaterFixture.h"

using namespace veldo;
using Kind = testsupport::RecordingUserDriver::Shown::Kind;

namespace {
using CheckForUpdatesButtonTest = testsupport::UpdaterFixture;
} // namespace

TEST_F(CheckForUpdatesButtonTest, FollowsWhetherACheckCanStartAndRunsIt)
{
    auto controller = makeController(signs());
    ui::CheckForUpdatesButton button(*controller);
    EXPECT_EQ(button.text(), QString::fromUtf8("Check for Updates\u2026"));
    EXPECT_TRUE(button.isEnabled());

    std::vector<bool> enabled;
    QObject::connect(&button, &QAction::changed, [&] { enabled.push_back(button.isEnabled()); });
    button.trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !driver->shown.empty(); }, 5'000));
    settle();
    EXPECT_EQ(driver->shown[0].kind, Kind::update);
    EXPECT_EQ(enabled, (std::vector<bool>{false, true}));
}

TEST_F(CheckForUpdatesButtonTest, StaysDisabledWithoutAnUpdater)
{
    auto controller = makeController(signs({"veldo", "-VeldoUITesting"}));
    ui::CheckForUpdatesButton button(*controller);
    EXPECT_FALSE(button.isEnabled());
    button.trigger();
    settle();
    EXPECT_TRUE(driver->shown.empty());
}
