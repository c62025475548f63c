// The welcome screen and the lifetime statistics strip.
#include "app/ui/WelcomeView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>

#include "app/ui/LifetimeStatsView.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
namespace {

void nextTurn()
{
    QCoreApplication::processEvents();
}

TEST(LifetimeStatsView, ZeroKbAndPlainDigitsFollowingTheCounters)
{
    testsupport::FakeMac mac;
    testsupport::UiController c;
    LifetimeStatsView view(c.stats);
    EXPECT_EQ(child<QLabel>(view, "spaceValue")->text(), QStringLiteral("Zero KB"));
    EXPECT_EQ(child<QLabel>(view, "itemsValue")->text(), QStringLiteral("0"));
    EXPECT_EQ(child<QLabel>(view, "appsValue")->text(), QStringLiteral("0"));

    c.stats->setTotalBytesReclaimed(1'500'000'000);
    c.stats->setTotalItemsRemoved(1'234'567);
    c.stats->setTotalAppsCleaned(12'000);
    EXPECT_EQ(child<QLabel>(view, "itemsValue")->text(), QStringLiteral("0"))
        << "refreshed once per turn, not per change";
    nextTurn();
    EXPECT_EQ(child<QLabel>(view, "spaceValue")->text(), QStringLiteral("1.5 GB"));
    EXPECT_EQ(child<QLabel>(view, "itemsValue")->text(), QStringLiteral("1234567"));
    EXPECT_EQ(child<QLabel>(view, "appsValue")->text(), QStringLiteral("12000"));
}

TEST(WelcomeView, StatisticsOnlyOnceAnItemWasRemovedAndScanningFollowsTheController)
{
    testsupport::FakeMac mac;
    testsupport::UiController c;
    c.stats->setTotalBytesReclaimed(5'000'000);
    c.stats->setTotalAppsCleaned(2);
    WelcomeView view(c.model.get());
    // Shown as far as the view decides: the view itself is not on screen.
    const auto* statistics = child<LifetimeStatsView>(view, "statistics");
    const auto* scanning = child<QWidget>(view, "scanningLine");
    EXPECT_TRUE(statistics->isHidden());
    EXPECT_TRUE(scanning->isHidden());

    c.stats->setTotalItemsRemoved(1);
    nextTurn();
    EXPECT_FALSE(statistics->isHidden());
    EXPECT_EQ(child<QLabel>(statistics, "spaceValue")->text(), QStringLiteral("5 MB"));
    c.stats->setTotalItemsRemoved(0);
    nextTurn();
    EXPECT_TRUE(statistics->isHidden());

    c.model->setIsScanningApps(true);
    EXPECT_FALSE(scanning->isHidden());
    c.model->setIsScanningApps(false);
    EXPECT_TRUE(scanning->isHidden());
}

} // namespace
} // namespace veldo::ui
