// The reading thread of an event stream: order, end of stream, and a stop that waits for it.
#include "app/controller/StreamReader.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

namespace veldo::controller {
namespace {

using namespace std::chrono_literals;

struct Received
{
    void add(int value)
    {
        std::lock_guard lock(mutex);
        values.push_back(value);
        changed.notify_all();
    }
    bool waitForCount(std::size_t count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return values.size() >= count; });
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return values.size();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> values;
};

TEST(StreamReader, DeliversInOrderUntilTheStreamEnds)
{
    auto stream = std::make_shared<core::EventStream<int>>();
    Received received;
    StreamReader<int> reader(stream, [&](int value) { received.add(value); });
    std::vector<int> sent;
    for (int i = 0; i < 100; ++i) {
        stream->yield(i);
        sent.push_back(i);
    }
    stream->finish();
    ASSERT_TRUE(received.waitForCount(100));
    std::lock_guard lock(received.mutex);
    EXPECT_EQ(received.values, sent);
}

TEST(StreamReader, NothingIsDeliveredOnceStopReturns)
{
    for (const bool flooded : {false, true}) {
        auto stream = std::make_shared<core::EventStream<int>>();
        Received received;
        std::atomic<bool> producing = true;
        std::jthread producer;
        auto reader = std::make_unique<StreamReader<int>>(stream, [&](int value) {
            std::this_thread::sleep_for(100us);
            received.add(value);
        });
        if (flooded) {
            producer = std::jthread([&] {
                for (int i = 0; producing; ++i)
                    stream->yield(i);
            });
            ASSERT_TRUE(received.waitForCount(10));
        }
        reader->stop();
        const std::size_t atStop = received.count();
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(received.count(), atStop) << flooded;
        EXPECT_TRUE(stream->ended()) << flooded;
        producing = false;
    }
}

} // namespace
} // namespace veldo::controller
