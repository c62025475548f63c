// The observer list: order, changes during a notification, and removal racing a notification.
#include "platform/ObserverList.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using veldo::platform::ObserverList;
using namespace std::chrono_literals;

TEST(ObserverList, NotifiesInOrderAndAppliesChangesMadeByCallbacks)
{
    ObserverList<int> list;
    std::vector<int> heard;
    ObserverList<int>::Id first = 0;
    ObserverList<int>::Id second = 0;
    first = list.add([&](int v) {
        heard.push_back(10 + v);
        list.remove(first);                                // itself: no wait for its own call
        list.add([&](int w) { heard.push_back(40 + w); }); // heard from the next notification
    });
    second = list.add([&](int v) {
        heard.push_back(20 + v);
        list.remove(second + 1); // the third, later in this same round: not called
    });
    list.add([&](int v) { heard.push_back(30 + v); });
    list.notify(1);
    EXPECT_EQ(heard, (std::vector<int>{11, 21}));
    heard.clear();
    list.notify(2);
    EXPECT_EQ(heard, (std::vector<int>{22, 42}));
    list.remove(12345); // unknown id: nothing happens
}

TEST(ObserverList, RemoveWaitsForACallInProgressOnAnotherThread)
{
    ObserverList<> list;
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    bool proceed = false;
    const auto id = list.add([&] {
        std::unique_lock lock(mutex);
        ++calls;
        changed.notify_all();
        changed.wait(lock, [&] { return proceed; });
    });
    std::thread notifier([&] { list.notify(); });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return calls == 1; }));
    }
    auto removed = std::async(std::launch::async, [&] { list.remove(id); });
    EXPECT_EQ(removed.wait_for(100ms), std::future_status::timeout)
        << "remove returns only once the running callback has returned";
    {
        std::lock_guard lock(mutex);
        proceed = true;
    }
    changed.notify_all();
    removed.get();
    notifier.join();
    list.notify();
    EXPECT_EQ(calls, 1) << "no call after remove returned";
}
