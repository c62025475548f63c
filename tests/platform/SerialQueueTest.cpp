// The serial queue: order, delays, cancelling, sync, and teardown with work pending.
#include "platform/SerialQueue.h"

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using veldo::platform::SerialQueue;
using namespace std::chrono_literals;

TEST(SerialQueue, RunsWorkInOrderOfSubmissionAndDueTime)
{
    SerialQueue queue("test.order");
    std::vector<std::string> ran; // touched only on the queue
    std::promise<void> late;
    queue.asyncAfter(30ms, [&] {
        ran.push_back("late");
        late.set_value();
    });
    for (int i = 0; i < 3; ++i)
        queue.async([&, i] { ran.push_back("now" + std::to_string(i)); });
    queue.asyncAfter(-5s, [&] { ran.push_back("negative delay runs as now"); });
    ASSERT_EQ(late.get_future().wait_for(5s), std::future_status::ready);
    queue.sync([] {});
    EXPECT_EQ(ran, (std::vector<std::string>{"now0", "now1", "now2", "negative delay runs as now",
                                             "late"}));
}

TEST(SerialQueue, CancelDropsOnlyWorkNotYetStarted)
{
    SerialQueue queue("test.cancel");
    std::promise<void> started;
    std::promise<void> proceed;
    auto proceedFuture = proceed.get_future().share();
    std::vector<int> ran;
    const auto running = queue.async([&] {
        started.set_value();
        proceedFuture.wait();
        ran.push_back(1);
    });
    const auto waiting = queue.async([&] { ran.push_back(2); });
    queue.async([&] { ran.push_back(3); });
    started.get_future().wait();
    queue.cancel(running); // already running: no effect
    queue.cancel(waiting);
    queue.cancel(9999); // unknown: no effect
    proceed.set_value();
    queue.sync([] {});
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

TEST(SerialQueue, SyncRunsOnTheQueueAndInlineFromIt)
{
    SerialQueue queue("test.sync");
    EXPECT_FALSE(queue.isCurrent());
    bool onQueue = false;
    bool nestedRan = false;
    queue.sync([&] {
        onQueue = queue.isCurrent();
        queue.sync([&] { nestedRan = queue.isCurrent(); }); // inline, no deadlock
    });
    EXPECT_TRUE(onQueue);
    EXPECT_TRUE(nestedRan);
    EXPECT_EQ(queue.label(), "test.sync");
}

TEST(SerialQueue, DestructionWaitsForRunningWorkAndDropsTheRest)
{
    auto queue = std::make_unique<SerialQueue>("test.teardown");
    std::promise<void> started;
    std::mutex mutex;
    bool finished = false;
    bool droppedRan = false;
    queue->async([&] {
        started.set_value();
        std::this_thread::sleep_for(50ms); // still running when the destructor starts
        std::lock_guard lock(mutex);
        finished = true;
    });
    queue->async([&] { droppedRan = true; });
    started.get_future().wait();
    queue.reset();
    EXPECT_TRUE(finished) << "the destructor returns after the running work";
    EXPECT_FALSE(droppedRan);
}

TEST(SerialQueue, TheLastOwnerMayGoAwayOnTheQueueItself)
{
    auto queue = std::make_shared<SerialQueue>("test.self");
    std::promise<void> done;
    queue->async([&done, queue]() mutable {
        queue.reset(); // may be the last owner
        done.set_value();
    });
    queue.reset();
    EXPECT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
}
