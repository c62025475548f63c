// The General settings tab: switches bound both ways to the stored settings, the statistics and
// their reset confirmation, and the Finder switch's effect on waiting Trash notices.
#include "app/ui/GeneralSettingsTab.h"

#include <atomic>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ShownWindows.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::shownDialog;
using testsupport::titled;
namespace {

using core::CleanupSettings;
using namespace testsupport::literals;
using Property = CleanupSettings::Property;

struct SwitchRow
{
    const char* title;
    std::string_view key;
    bool byDefault;
};

const SwitchRow kSwitches[] = {
    {"Select medium-confidence matches by default", CleanupSettings::kSelectMediumConfidenceKey,
     false},
    {"Select low-confidence matches by default", CleanupSettings::kSelectLowConfidenceKey, false},
    {"Select admin-required items by default", CleanupSettings::kIncludeAdminRequiredByDefaultKey,
     false},
    {"Ask running apps to quit before removing", CleanupSettings::kQuitBeforeRemovingKey, true},
    {"Play a sound when cleanup finishes", CleanupSettings::kPlayCompletionSoundKey, true},
    {"Offer to clean up when I trash an app in Finder", "Veldo.OfferCleanupForTrashedApps", true},
};

class GeneralSettingsTabTest : public testing::Test
{
protected:
    std::unique_ptr<GeneralSettingsTab> makeTab()
    {
        auto tab = std::make_unique<GeneralSettingsTab>(c->settings, *c->model, c->stats);
        tab->resize(560, 560);
        tab->show();
        return tab;
    }

    // A fresh store over the same file: what is on disk.
    std::optional<bool> storedBool(std::string_view key) const
    {
        platform::UserDefaults reread(c->defaults->file());
        const auto value = reread.object(key);
        return value ? value->asBoolean() : std::nullopt;
    }

    static void settle() { QCoreApplication::processEvents(); }

    testsupport::FakeMac mac;
    std::unique_ptr<testsupport::UiController> c = std::make_unique<testsupport::UiController>();
};

TEST_F(GeneralSettingsTabTest, FreshStatisticsReadZeroAndResetIsDisabled)
{
    auto tab = makeTab();
    EXPECT_EQ(child<QLabel>(tab, "spaceValue")->text(), "Zero KB");
    EXPECT_EQ(child<QLabel>(tab, "itemsValue")->text(), "0");
    EXPECT_EQ(child<QLabel>(tab, "appsValue")->text(), "0");
    EXPECT_FALSE(child<QPushButton>(tab, "resetButton")->isEnabled());
}

TEST_F(GeneralSettingsTabTest, CountersAreFormattedWithoutGrouping)
{
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    const struct
    {
        std::int64_t bytes, items, apps;
        const char *space, *itemsText, *appsText;
    } cases[] = {
        {0, 12345, 1, "Zero KB", "12345", "1"},
        {1, 1, 1000, "1 byte", "1", "1000"},
        {2'400'000, 3, 2, "2.4 MB", "3", "2"},
        {kMax, kMax, kMax, "9.22 EB", "9223372036854775807", "9223372036854775807"},
    };
    auto tab = makeTab();
    for (const auto& row : cases) {
        c->stats->setTotalBytesReclaimed(row.bytes);
        c->stats->setTotalItemsRemoved(row.items);
        c->stats->setTotalAppsCleaned(row.apps);
        settle();
        EXPECT_EQ(child<QLabel>(tab, "spaceValue")->text(), row.space) << row.bytes;
        EXPECT_EQ(child<QLabel>(tab, "itemsValue")->text(), row.itemsText);
        EXPECT_EQ(child<QLabel>(tab, "appsValue")->text(), row.appsText);
        EXPECT_TRUE(child<QPushButton>(tab, "resetButton")->isEnabled());
    }
}

TEST_F(GeneralSettingsTabTest, ResetAsksFirstAndCancelChangesNothing)
{
    c->stats->record(48'300'000, 12, 2);
    auto tab = makeTab();
    ASSERT_TRUE(child<QPushButton>(tab, "resetButton")->isEnabled());

    child<QPushButton>(tab, "resetButton")->click();
    QMessageBox* box = shownDialog<QMessageBox>(tab.get(), "resetConfirmation");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "Reset lifetime statistics?");
    EXPECT_EQ(box->informativeText(), "This only clears Veldo's counters. No files are affected.");
    const auto buttons = box->buttons();
    ASSERT_EQ(buttons.size(), 2);
    QAbstractButton* reset = nullptr;
    QAbstractButton* cancel = nullptr;
    for (QAbstractButton* b : buttons)
        (b->text() == "Reset" ? reset : cancel) = b;
    ASSERT_NE(reset, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_EQ(box->buttonRole(reset), QMessageBox::DestructiveRole);

    cancel->click();
    settle();
    EXPECT_EQ(shownDialog<QMessageBox>(tab.get(), "resetConfirmation"), nullptr);
    EXPECT_EQ(child<QLabel>(tab, "itemsValue")->text(), "12");
    EXPECT_EQ(c->stats->totalBytesReclaimed(), 48'300'000);

    child<QPushButton>(tab, "resetButton")->click();
    box = shownDialog<QMessageBox>(tab.get(), "resetConfirmation");
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons())
        if (b->text() == "Reset")
            b->click();
    settle();
    EXPECT_EQ(shownDialog<QMessageBox>(tab.get(), "resetConfirmation"), nullptr);
    EXPECT_EQ(child<QLabel>(tab, "spaceValue")->text(), "Zero KB");
    EXPECT_EQ(child<QLabel>(tab, "itemsValue")->text(), "0");
    EXPECT_EQ(child<QLabel>(tab, "appsValue")->text(), "0");
    EXPECT_FALSE(child<QPushButton>(tab, "resetButton")->isEnabled());
    // The reset is stored.
    EXPECT_EQ(core::CleanupStats(c->defaults).totalItemsRemoved(), 0);
}

TEST_F(GeneralSettingsTabTest, SwitchesShowStoredValuesAndDefaults)
{
    // Two keys written the other way round, one of the wrong type; the rest never written.
    (void)c->defaults->setBool(CleanupSettings::kSelectMediumConfidenceKey, true);
    (void)c->defaults->setBool(CleanupSettings::kQuitBeforeRemovingKey, false);
    (void)c->defaults->setObject(CleanupSettings::kPlayCompletionSoundKey,
                                 platform::PlistValue(std::string("no")));
    c = std::make_unique<testsupport::UiController>();
    auto tab = makeTab();
    for (const SwitchRow& row : kSwitches) {
        QCheckBox* box = titled<QCheckBox>(tab, QString::fromUtf8(row.title));
        ASSERT_NE(box, nullptr) << row.title;
        const bool expected = row.key == CleanupSettings::kSelectMediumConfidenceKey ? true
                              : row.key == CleanupSettings::kQuitBeforeRemovingKey   ? false
                                                                                   : row.byDefault;
        EXPECT_EQ(box->isChecked(), expected) << row.title;
    }
}

TEST_F(GeneralSettingsTabTest, EachSwitchIsStoredAtOnceAndFollowsChangesElsewhere)
{
    auto tab = makeTab();
    for (const SwitchRow& row : kSwitches) {
        QCheckBox* box = titled<QCheckBox>(tab, QString::fromUtf8(row.title));
        ASSERT_NE(box, nullptr);
        box->click();
        EXPECT_EQ(storedBool(row.key), !row.byDefault) << row.title;
        box->click();
        EXPECT_EQ(storedBool(row.key), row.byDefault) << row.title;
    }
    // Changed elsewhere: the switch follows.
    c->settings->setSelectLowConfidence(true);
    c->model->setOfferCleanupForTrashedApps(false);
    settle();
    EXPECT_TRUE(titled<QCheckBox>(tab, "Select low-confidence matches by default")->isChecked());
    EXPECT_FALSE(
        titled<QCheckBox>(tab, "Offer to clean up when I trash an app in Finder")->isChecked());
}

TEST_F(GeneralSettingsTabTest, ASwitchReachesTheControllersNextSelection)
{
    auto medium = testsupport::uiItem("/Users/me/Library/Application Support/Quill", 10);
    medium.confidence = core::MatchConfidence::medium;
    auto tab = makeTab();
    EXPECT_TRUE(c->model->defaultLeftoverSelection({medium}).empty());
    titled<QCheckBox>(tab, "Select medium-confidence matches by default")->click();
    EXPECT_EQ(c->model->defaultLeftoverSelection({medium}).size(), 1u);
}

TEST_F(GeneralSettingsTabTest, TheQuitSwitchReachesTheNextBatchRemoval)
{
    // A running app: asked to quit only while the switch is on; it never quits.
    std::atomic<int> quitRequests{0};
    std::atomic<int> trashRuns{0};
    controller::ControllerServices services;
    services.runningStatus = [](const core::InstalledApp&) {
        core::RunningAppStatus status;
        status.isRunning = true;
        return status;
    };
    services.requestQuit = [&](const core::InstalledApp&) { ++quitRequests; };
    services.trashRun = [&](const std::vector<core::LeftoverItem>& items,
                            const common::RemovalSafety::Context&,
                            const std::vector<core::ScopedAccessRoot>&, std::stop_token) {
        ++trashRuns;
        removal::UninstallOutcome outcome;
        outcome.trashed = items;
        return outcome;
    };
    services.durations.quitWaitTimeout = std::chrono::milliseconds(50);
    services.durations.quitWaitInterval = std::chrono::milliseconds(10);
    controller::UninstallViewModel model(c->settings, c->stats, c->defaults, services);
    const platform::MacPath bundle = mac.makeApp("/Applications/Quill.app"_mac, {});
    controller::BatchAppResult quill;
    quill.app.url = bundle;
    quill.app.name = "Quill";
    quill.isRunning = true;
    quill.defaultSelected = {
        testsupport::uiItem(bundle.path(), 1'000, false, core::LeftoverCategory::application)};
    const auto removeOnce = [&] {
        model.setBatchResults({quill});
        model.setBatchIncludedIDs({quill.app.id()});
        model.removeBatch().detach();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isRemoving(); }, 5000));
    };
    GeneralSettingsTab tab(c->settings, model, c->stats);
    QCheckBox* quit = titled<QCheckBox>(tab, "Ask running apps to quit before removing");
    ASSERT_TRUE(quit->isChecked());
    removeOnce();
    EXPECT_EQ(quitRequests.load(), 1);
    EXPECT_EQ(trashRuns.load(), 0) << "an app that keeps running keeps its files";

    quit->click();
    removeOnce();
    EXPECT_EQ(quitRequests.load(), 1);
    EXPECT_EQ(trashRuns.load(), 1);
}

TEST_F(GeneralSettingsTabTest, TurningTheFinderOfferOffEmptiesWaitingNoticesForGood)
{
    controller::TrashedAppNotice notice;
    notice.id = "/Applications/Quill.app";
    notice.app.name = "Quill";
    c->model->setTrashNotices({notice});
    auto tab = makeTab();
    QCheckBox* offer = titled<QCheckBox>(tab, "Offer to clean up when I trash an app in Finder");
    ASSERT_TRUE(offer->isChecked());
    offer->click();
    EXPECT_TRUE(c->model->trashNotices().empty());
    offer->click();
    EXPECT_TRUE(c->model->offerCleanupForTrashedApps());
    EXPECT_TRUE(c->model->trashNotices().empty());
}

TEST_F(GeneralSettingsTabTest, ADamagedDefaultsFileShowsDefaultsAndTheNextSwitchRewritesIt)
{
    mac.write(c->defaults->file(), "bplist00\x01\x02 damaged");
    c = std::make_unique<testsupport::UiController>();
    auto tab = makeTab();
    for (const SwitchRow& row : kSwitches)
        EXPECT_EQ(titled<QCheckBox>(tab, QString::fromUtf8(row.title))->isChecked(), row.byDefault)
            << row.title;
    titled<QCheckBox>(tab, "Select low-confidence matches by default")->click();
    EXPECT_EQ(storedBool(CleanupSettings::kSelectLowConfidenceKey), true);
}

} // namespace
} // namespace veldo::ui
