// Cleanup settings and lifetime statistics over a preferences store in a fake Mac.
#include "app/core/CleanupSettings.h"

#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/CleanupStats.h"
#include "platform/UserDefaults.h"
#include "tests/support/FakeMac.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::platform::UserDefaults;
using veldo::testsupport::FakeMac;

namespace {

constexpr auto kMax = std::numeric_limits<std::int64_t>::max();

class SettingsTest : public ::testing::Test
{
protected:
    std::shared_ptr<UserDefaults> reopen() const { return std::make_shared<UserDefaults>(m_file); }

    FakeMac m_mac;
    const MacPath m_file{"/Users/Shared/settings.plist"};
    std::shared_ptr<UserDefaults> m_defaults = reopen();
};

using Property = CleanupSettings::Property;
using Counter = CleanupStats::Counter;

} // namespace

TEST_F(SettingsTest, MissingKeysGiveTheDefaults)
{
    CleanupSettings s(m_defaults);
    EXPECT_FALSE(s.selectMediumConfidence());
    EXPECT_FALSE(s.selectLowConfidence());
    EXPECT_FALSE(s.includeAdminRequiredByDefault());
    EXPECT_TRUE(s.quitBeforeRemoving());
    EXPECT_TRUE(s.playCompletionSound());
    EXPECT_FALSE(s.usePrivilegedHelper());
}

TEST_F(SettingsTest, OnlyStoredBooleansAreTaken)
{
    ASSERT_TRUE(m_defaults->setObject("Veldo.QuitBeforeRemoving", PlistValue("no")));
    ASSERT_TRUE(m_defaults->setObject("Veldo.UsePrivilegedHelper", PlistValue("yes")));
    ASSERT_TRUE(m_defaults->setObject("Veldo.PlayCompletionSound", PlistValue(0)));
    ASSERT_TRUE(m_defaults->setObject("Veldo.SelectLowConfidenceByDefault", PlistValue(1)));
    ASSERT_TRUE(m_defaults->setBool("Veldo.SelectMediumConfidenceByDefault", true));
    ASSERT_TRUE(m_defaults->setBool("Veldo.IncludeAdminRequiredByDefault", true));
    CleanupSettings s(reopen());
    EXPECT_TRUE(s.quitBeforeRemoving());
    EXPECT_FALSE(s.usePrivilegedHelper());
    EXPECT_TRUE(s.playCompletionSound());
    EXPECT_FALSE(s.selectLowConfidence());
    EXPECT_TRUE(s.selectMediumConfidence());
    EXPECT_TRUE(s.includeAdminRequiredByDefault());
}

TEST_F(SettingsTest, EverySetIsWrittenButOnlyChangesAreAnnounced)
{
    CleanupSettings s(m_defaults);
    std::vector<Property> heard;
    s.addObserver([&](Property p) { heard.push_back(p); });

    s.setQuitBeforeRemoving(true); // already the value: written, not announced
    EXPECT_EQ(m_defaults->object("Veldo.QuitBeforeRemoving"), PlistValue(true));
    s.setUsePrivilegedHelper(true);
    s.setUsePrivilegedHelper(true);
    s.setPlayCompletionSound(false);
    s.setSelectMediumConfidence(true);
    s.setSelectLowConfidence(true);
    s.setIncludeAdminRequiredByDefault(true);
    EXPECT_EQ(heard, (std::vector<Property>{
                         Property::usePrivilegedHelper, Property::playCompletionSound,
                         Property::selectMediumConfidence, Property::selectLowConfidence,
                         Property::includeAdminRequiredByDefault}));

    CleanupSettings again(reopen());
    EXPECT_TRUE(again.usePrivilegedHelper());
    EXPECT_FALSE(again.playCompletionSound());
    EXPECT_TRUE(again.selectMediumConfidence());
    EXPECT_TRUE(again.selectLowConfidence());
    EXPECT_TRUE(again.includeAdminRequiredByDefault());
    EXPECT_TRUE(again.quitBeforeRemoving());
}

TEST_F(SettingsTest, RecordAddsAndPersists)
{
    CleanupStats stats(m_defaults);
    std::vector<Counter> heard;
    stats.addObserver([&](Counter c) { heard.push_back(c); });
    stats.record(1000, 3, 1);
    stats.record(24, 1, 0); // apps unchanged: not announced
    EXPECT_EQ(stats.totalBytesReclaimed(), 1024);
    EXPECT_EQ(stats.totalItemsRemoved(), 4);
    EXPECT_EQ(stats.totalAppsCleaned(), 1);
    EXPECT_EQ(heard, (std::vector<Counter>{Counter::totalBytesReclaimed, Counter::totalItemsRemoved,
                                           Counter::totalAppsCleaned, Counter::totalBytesReclaimed,
                                           Counter::totalItemsRemoved}));

    CleanupStats reloaded(reopen());
    EXPECT_EQ(reloaded.totalBytesReclaimed(), 1024);
    EXPECT_EQ(reloaded.totalItemsRemoved(), 4);
    EXPECT_EQ(reloaded.totalAppsCleaned(), 1);
}

TEST_F(SettingsTest, RecordIgnoresEmptyRemovalsAndNegativeCounts)
{
    CleanupStats stats(m_defaults);
    int notifications = 0;
    stats.addObserver([&](Counter) { ++notifications; });

    stats.record(500, 0, 1); // no items: nothing at all, not even a write
    EXPECT_EQ(notifications, 0);
    EXPECT_FALSE(m_defaults->object("Veldo.Stats.TotalAppsCleaned").has_value());

    stats.record(100, 2, -5);
    EXPECT_EQ(stats.totalBytesReclaimed(), 100);
    EXPECT_EQ(stats.totalItemsRemoved(), 2);
    EXPECT_EQ(stats.totalAppsCleaned(), 0);

    // Negative bytes count as nothing reclaimed rather than shrinking the total.
    stats.record(-4000, 1, 0);
    EXPECT_EQ(stats.totalBytesReclaimed(), 100);
    EXPECT_EQ(stats.totalItemsRemoved(), 3);
    EXPECT_EQ(m_defaults->integer("Veldo.Stats.TotalItemsRemoved"), 3);
}

TEST_F(SettingsTest, SubtractFloorsAtZeroAndAnnouncesOnlyChanges)
{
    CleanupStats stats(m_defaults);
    stats.record(100, 5, 2);
    std::vector<Counter> heard;
    stats.addObserver([&](Counter c) { heard.push_back(c); });

    stats.subtract(30, 0, -1); // items unchanged, negative apps counts as 0
    EXPECT_EQ(stats.totalBytesReclaimed(), 70);
    EXPECT_EQ(stats.totalItemsRemoved(), 5);
    EXPECT_EQ(stats.totalAppsCleaned(), 2);
    EXPECT_EQ(heard, std::vector<Counter>{Counter::totalBytesReclaimed});

    stats.subtract(1000, 50, 9);
    EXPECT_EQ(stats.totalBytesReclaimed(), 0);
    EXPECT_EQ(stats.totalItemsRemoved(), 0);
    EXPECT_EQ(stats.totalAppsCleaned(), 0);
    EXPECT_EQ(m_defaults->integer("Veldo.Stats.TotalBytesReclaimed"), 0);
    EXPECT_EQ(m_defaults->integer("Veldo.Stats.TotalItemsRemoved"), 0);
}

TEST_F(SettingsTest, CountersSaturateInsteadOfWrapping)
{
    ASSERT_TRUE(m_defaults->setInteger("Veldo.Stats.TotalBytesReclaimed", kMax - 10));
    ASSERT_TRUE(m_defaults->setInteger("Veldo.Stats.TotalItemsRemoved", kMax));
    CleanupStats stats(reopen());
    stats.record(100, kMax, kMax);
    EXPECT_EQ(stats.totalBytesReclaimed(), kMax);
    EXPECT_EQ(stats.totalItemsRemoved(), kMax);
    EXPECT_EQ(stats.totalAppsCleaned(), kMax);

    stats.reset();
    stats.subtract(std::numeric_limits<std::int64_t>::min(), -1, 0); // taking off a negative adds
    EXPECT_EQ(stats.totalBytesReclaimed(), kMax);
    EXPECT_EQ(stats.totalItemsRemoved(), 1);
}

TEST_F(SettingsTest, StoredCountersLoadAsNonNegativeIntegers)
{
    ASSERT_TRUE(m_defaults->setInteger("Veldo.Stats.TotalBytesReclaimed", -50));
    ASSERT_TRUE(m_defaults->setObject("Veldo.Stats.TotalItemsRemoved", PlistValue("12")));
    ASSERT_TRUE(m_defaults->setObject("Veldo.Stats.TotalAppsCleaned", PlistValue(true)));
    CleanupStats stats(reopen());
    EXPECT_EQ(stats.totalBytesReclaimed(), 0);
    EXPECT_EQ(stats.totalItemsRemoved(), 12);
    EXPECT_EQ(stats.totalAppsCleaned(), 1);
}

TEST_F(SettingsTest, ResetAnnouncesOnlyNonZeroCountersAndAlwaysWrites)
{
    CleanupStats stats(m_defaults);
    std::vector<Counter> heard;
    stats.addObserver([&](Counter c) { heard.push_back(c); });
    stats.reset();
    EXPECT_TRUE(heard.empty());
    for (auto key : {"Veldo.Stats.TotalBytesReclaimed", "Veldo.Stats.TotalItemsRemoved",
                     "Veldo.Stats.TotalAppsCleaned"})
        EXPECT_EQ(m_defaults->object(key), PlistValue(0)) << key;

    stats.record(10, 1, 0);
    heard.clear();
    stats.reset();
    EXPECT_EQ(heard,
              (std::vector<Counter>{Counter::totalBytesReclaimed, Counter::totalItemsRemoved}));
    EXPECT_EQ(m_defaults->integer("Veldo.Stats.TotalBytesReclaimed"), 0);
}

TEST_F(SettingsTest, DirectSetsStayInMemory)
{
    CleanupStats stats(m_defaults);
    int notifications = 0;
    stats.addObserver([&](Counter) { ++notifications; });
    stats.setTotalAppsCleaned(7);
    stats.setTotalAppsCleaned(7);
    stats.setTotalItemsRemoved(-3);
    EXPECT_EQ(stats.totalAppsCleaned(), 7);
    EXPECT_EQ(stats.totalItemsRemoved(), 0);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(m_defaults->object("Veldo.Stats.TotalAppsCleaned").has_value());
}

// A write that fails keeps the value for this run and leaves one line in the log per save,
// naming the key and the errno but no path.
TEST_F(SettingsTest, FailedWritesAreLogged)
{
    m_mac.write(MacPath("/Users/Shared/blocked"), "a file where a folder should be");
    auto unwritable = std::make_shared<UserDefaults>(MacPath("/Users/Shared/blocked/s.plist"));
    CleanupSettings settings(unwritable);
    CleanupStats stats(unwritable);

    ::testing::internal::CaptureStderr();
    settings.setQuitBeforeRemoving(false);
    stats.record(100, 2, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "veldo: [settings] The setting Veldo.QuitBeforeRemoving couldn’t be saved; it holds "
              "until Veldo quits (ENOTDIR)\n"
              "veldo: [statistics] The cleanup statistics couldn’t be saved; they hold until "
              "Veldo quits (ENOTDIR)\n");
    EXPECT_FALSE(settings.quitBeforeRemoving());
    EXPECT_EQ(stats.totalItemsRemoved(), 2);

    CleanupSettings writable(m_defaults);
    CleanupStats counted(m_defaults);
    ::testing::internal::CaptureStderr();
    writable.setQuitBeforeRemoving(false);
    counted.record(100, 2, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "a write that succeeds logs nothing";
}

TEST(SharedSettings, BelongToTheCurrentMacRoot)
{
    {
        FakeMac mac;
        auto settings = CleanupSettings::shared();
        EXPECT_EQ(settings, CleanupSettings::shared());
        settings->setUsePrivilegedHelper(true);
        CleanupStats::shared()->record(10, 1, 1);
        EXPECT_EQ(UserDefaults::standard()->integer("Veldo.Stats.TotalItemsRemoved"), 1);
    }
    FakeMac fresh;
    EXPECT_FALSE(CleanupSettings::shared()->usePrivilegedHelper());
    EXPECT_EQ(CleanupStats::shared()->totalItemsRemoved(), 0);
    EXPECT_EQ(CleanupSettings::shared()->defaults(), UserDefaults::standard());
}

#ifndef NDEBUG
TEST_F(SettingsTest, UseFromASecondThreadAbortsDebugBuilds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CleanupSettings settings(reopen());
    CleanupStats stats(reopen());
    EXPECT_TRUE(settings.quitBeforeRemoving()); // binds both to this thread
    EXPECT_EQ(stats.totalAppsCleaned(), 0);
    EXPECT_DEATH(std::thread([&] { settings.setPlayCompletionSound(false); }).join(),
                 "CleanupSettings used off the thread");
    EXPECT_DEATH(std::thread([&] { stats.record(1, 1, 1); }).join(),
                 "CleanupStats used off the thread");
}
#endif
