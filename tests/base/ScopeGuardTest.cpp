// The scope guard runs its action once when the scope is left, and not at all once dismissed.
#include "base/ScopeGuard.h"

#include <stdexcept>

#include <gtest/gtest.h>

using veldo::base::ScopeGuard;

TEST(ScopeGuard, RunsOnceOnEveryWayOutUnlessDismissed)
{
    int runs = 0;
    {
        ScopeGuard guard([&] { ++runs; });
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 1);

    try {
        ScopeGuard guard([&] { ++runs; });
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(runs, 2);

    {
        ScopeGuard guard([&] { ++runs; });
        guard.dismiss();
    }
    EXPECT_EQ(runs, 2);
}
