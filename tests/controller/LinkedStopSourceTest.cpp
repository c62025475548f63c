// The linked stop source: its own stop and its parent's reach its token, never the reverse.
#include "app/controller/LinkedStopSource.h"

#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace veldo::controller {
namespace {

TEST(LinkedStopSource, OwnStopStaysBelowTheParent)
{
    std::stop_source parent;
    LinkedStopSource linked(parent.get_token());
    const std::stop_token token = linked.token();
    EXPECT_FALSE(token.stop_requested());
    linked.requestStop();
    EXPECT_TRUE(token.stop_requested());
    EXPECT_FALSE(parent.stop_requested());
}

TEST(LinkedStopSource, AParentStopOnAnotherThreadReachesEveryChild)
{
    std::stop_source parent;
    std::vector<std::unique_ptr<LinkedStopSource>> children;
    for (int i = 0; i < 8; ++i)
        children.push_back(std::make_unique<LinkedStopSource>(parent.get_token()));
    std::atomic<int> seen{0};
    std::vector<std::thread> workers;
    for (const auto& child : children)
        workers.emplace_back([token = child->token(), &seen] {
            while (!token.stop_requested())
                std::this_thread::yield();
            ++seen;
        });
    // One child goes away while the parent stops; the others must all hear it.
    std::thread stopper([&parent] { parent.request_stop(); });
    stopper.join();
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(seen.load(), 8);

    // A child linked to a parent that has already stopped starts stopped.
    LinkedStopSource late(parent.get_token());
    EXPECT_TRUE(late.stopRequested());
}

TEST(LinkedStopSource, DestroyedWhileTheParentStops)
{
    for (int round = 0; round < 200; ++round) {
        std::stop_source parent;
        auto child = std::make_unique<LinkedStopSource>(parent.get_token());
        std::thread stopper([&parent] { parent.request_stop(); });
        child.reset();
        stopper.join();
        EXPECT_TRUE(parent.stop_requested());
    }
}

} // namespace
} // namespace veldo::controller
