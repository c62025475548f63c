// The Permissions settings tab: the Full Disk Access probe shown without user action, probed
// again on activation, a late older answer never overwriting a newer one; the Trash warning; the
// rows' accessible names and the panes they open.
#include "app/ui/PermissionsSettingsTab.h"

#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include "app/ui/FormSection.h"
#include "app/ui/PermissionRow.h"
#include "platform/UrlOpener.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
namespace {

using Status = core::SystemSettings::FullDiskAccessStatus;

class PermissionsSettingsTabTest : public testing::Test
{
protected:
    PermissionsSettingsTabTest()
    {
        pool.setMaxThreadCount(2);
        // The application is active before any tab shows, so no activation arrives meanwhile
        // (in a fresh process the first window shown makes it active).
        anchor.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&anchor));
        QCoreApplication::processEvents();
    }
    ~PermissionsSettingsTabTest() override { pool.waitForDone(); }

    // Probes that answer `answer` and count their calls.
    PermissionsSettingsTab::Probe countingProbe()
    {
        return [this] {
            ++probes;
            return answer.load();
        };
    }

    static void waitForAnswer(PermissionsSettingsTab& tab)
    {
        QSignalSpy shown(&tab, &PermissionsSettingsTab::fullDiskAccessChanged);
        ASSERT_TRUE(shown.wait(5000));
    }

    QWidget anchor;
    testsupport::FakeMac mac;
    testsupport::UiController c;
    QThreadPool pool;
    std::atomic<Status> answer{Status::granted};
    std::atomic<int> probes{0};
};

TEST_F(PermissionsSettingsTabTest, ShowsUnknownThenTheProbesAnswerWithoutUserAction)
{
    answer = Status::denied;
    PermissionsSettingsTab tab(*c.model, pool, countingProbe());
    EXPECT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->status(), "Unknown");
    EXPECT_EQ(probes.load(), 0) << "nothing is probed before the tab is shown";
    tab.show();
    EXPECT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->status(), "Unknown");
    waitForAnswer(tab);
    EXPECT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->status(), "Off");
    EXPECT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->accessibleName(),
              "Full Disk Access: Off");
}

TEST_F(PermissionsSettingsTabTest, AnActivationProbesAgainOnlyWhileShown)
{
    answer = Status::denied;
    PermissionsSettingsTab tab(*c.model, pool, countingProbe());
    tab.show();
    waitForAnswer(tab);
    ASSERT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->status(), "Off");

    // The user granted access in System Settings and came back.
    answer = Status::granted;
    tab.applicationStateChanged(Qt::ApplicationInactive);
    tab.applicationStateChanged(Qt::ApplicationActive);
    waitForAnswer(tab);
    EXPECT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->status(), "On");
    EXPECT_EQ(probes.load(), 2);

    tab.hide();
    tab.applicationStateChanged(Qt::ApplicationActive);
    pool.waitForDone();
    EXPECT_EQ(probes.load(), 2);
}

TEST_F(PermissionsSettingsTabTest, AnOlderProbeFinishingLateNeverOverwritesANewerAnswer)
{
    std::vector<std::shared_ptr<std::promise<Status>>> gates;
    std::mutex mutex;
    std::atomic<int> started{0};
    auto probe = [&] {
        std::shared_future<Status> gate;
        {
            std::lock_guard lock(mutex);
            gates.push_back(std::make_shared<std::promise<Status>>());
            gate = gates.back()->get_future().share();
        }
        ++started;
        return gate.get();
    };
    PermissionsSettingsTab tab(*c.model, pool, probe);
    // Each probe running before the next is asked for, so the gates are in probe order.
    tab.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load() == 1; }, 5000));
    tab.applicationStateChanged(Qt::ApplicationActive);
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.load() == 2; }, 5000));

    {
        std::lock_guard lock(mutex);
        gates[1]->set_value(Status::granted);
    }
    waitForAnswer(tab);
    EXPECT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->status(), "On");
    {
        std::lock_guard lock(mutex);
        gates[0]->set_value(Status::denied);
    }
    pool.waitForDone();
    QTest::qWait(20);
    EXPECT_EQ(child<PermissionRow>(tab, "fullDiskAccessRow")->status(), "On")
        << "the older answer came last and is dropped";
}

TEST_F(PermissionsSettingsTabTest, ClosingTheTabWhileAProbeRunsDropsItsAnswer)
{
    std::promise<Status> gate;
    auto future = gate.get_future().share();
    std::atomic<bool> running{false};
    auto tab = std::make_unique<PermissionsSettingsTab>(*c.model, pool, [&] {
        running = true;
        return future.get();
    });
    tab->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return running.load(); }, 5000));
    tab.reset();
    gate.set_value(Status::granted);
    pool.waitForDone();
    QTest::qWait(20);
}

TEST_F(PermissionsSettingsTabTest, TheTrashWarningIsASecondSectionWhileTheTrashIsUnreadable)
{
    // The sections on screen, in the order the tab made them.
    auto shownSections = [](const PermissionsSettingsTab& tab) {
        QStringList names;
        for (const FormSection* section : tab.findChildren<FormSection*>())
            if (section->isVisible())
                names.push_back(section->objectName());
        return names;
    };
    const QStringList privacyOnly{QStringLiteral("privacySection")};
    const QStringList both{QStringLiteral("privacySection"), QStringLiteral("trashSection")};
    PermissionsSettingsTab tab(*c.model, pool, countingProbe());
    tab.show();
    EXPECT_EQ(shownSections(tab), privacyOnly);
    c.model->setCanReadTrash(false);
    EXPECT_EQ(shownSections(tab), both);
    c.model->setCanReadTrash(true);
    EXPECT_EQ(shownSections(tab), privacyOnly);

    c.model->setCanReadTrash(false);
    PermissionsSettingsTab unreadable(*c.model, pool, countingProbe());
    unreadable.show();
    EXPECT_EQ(shownSections(unreadable), both);
}

TEST_F(PermissionsSettingsTabTest, RowsNameTheirButtonsAndOpenTheirPanes)
{
    // Not shown: no probe changes the status while the names are read.
    PermissionsSettingsTab tab(*c.model, pool, countingProbe());
    const struct
    {
        PermissionRow* row;
        const char* accessible;
        const char* rowName;
        const char* url;
    } rows[] = {
        {child<PermissionRow>(tab, "fullDiskAccessRow"), "Open Full Disk Access Settings",
         "Full Disk Access: Unknown",
         "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"},
        {child<PermissionRow>(tab, "appManagementRow"), "Open App Management Settings",
         "App Management",
         "x-apple.systempreferences:com.apple.preference.security?Privacy_AppBundles"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(child<QPushButton>(r.row, "button")->text(),
                  QString::fromUtf8("Open Settings\u2026"));
        EXPECT_EQ(child<QPushButton>(r.row, "button")->accessibleName(), r.accessible);
        EXPECT_EQ(r.row->accessibleName(), r.rowName);
        platform::testing::UrlRecorder recorder;
        child<QPushButton>(r.row, "button")->click();
        EXPECT_EQ(recorder.urls(), std::vector<std::string>{r.url});
    }
    EXPECT_FALSE(child<PermissionRow>(tab, "appManagementRow")->status().has_value());
    EXPECT_TRUE(
        child<QLabel>(child<PermissionRow>(tab, "appManagementRow"), "statusLabel")->isHidden());
    tab.show();
    waitForAnswer(tab);
    EXPECT_FALSE(child<PermissionRow>(tab, "appManagementRow")->status().has_value());
    EXPECT_EQ(child<PermissionRow>(tab, "appManagementRow")->accessibleName(), "App Management");
}

} // namespace
} // namespace veldo::ui
