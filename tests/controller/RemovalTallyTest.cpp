// RemovalTally: the steps of a removal add on the pool's threads while the GUI thread takes.
#include "app/controller/RemovalTally.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace veldo::controller {
namespace {

TEST(RemovalTally, EveryAddIsTakenExactlyOnceWhileStepsAddAtOnce)
{
    RemovalTally tally;
    constexpr int kSteps = 4;
    constexpr int kAddsPerStep = 2000;
    std::atomic<int> running{kSteps};
    std::vector<std::jthread> steps;
    for (int s = 0; s < kSteps; ++s)
        steps.emplace_back([&] {
            for (int i = 0; i < kAddsPerStep; ++i)
                tally.add({.bytes = 10, .items = 1, .apps = i % 2});
            --running;
        });
    RemovalTally::Totals taken;
    const auto takeOnce = [&] {
        const RemovalTally::Totals part = tally.take();
        taken.bytes += part.bytes;
        taken.items += part.items;
        taken.apps += part.apps;
    };
    while (running > 0)
        takeOnce();
    steps.clear();
    takeOnce();
    EXPECT_EQ(taken, (RemovalTally::Totals{.bytes = 10 * kSteps * kAddsPerStep,
                                           .items = kSteps * kAddsPerStep,
                                           .apps = kSteps * kAddsPerStep / 2}));
    EXPECT_EQ(tally.take(), RemovalTally::Totals{}) << "a take starts again from nothing";
}

} // namespace
} // namespace veldo::controller
