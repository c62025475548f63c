// Values computed once per Mac root: remade after a change of root, and a maker that runs
// while the root changes neither blocks the change nor deadlocks with it.
#include "platform/OncePerRoot.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"

using veldo::platform::addMacRootResetHook;
using veldo::platform::macRoot;
using veldo::platform::MacRootResetHook;
using veldo::platform::OncePerRoot;
namespace testing_root = veldo::platform::testing;
using namespace std::chrono_literals;

namespace {

// A one-shot signal between threads.
class Gate
{
public:
    void open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_cv.notify_all();
    }
    bool waitOpen(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// Runs `work` on a thread of its own; false when it does not end within the time-out (the
// thread is then left behind, deadlocked, and the test fails).
bool finishesWithin(std::function<void()> work, std::chrono::seconds timeout)
{
    auto done = std::make_shared<std::promise<void>>();
    auto future = done->get_future();
    std::thread([work = std::move(work), done] {
        work();
        done->set_value();
    }).detach();
    return future.wait_for(timeout) == std::future_status::ready;
}

} // namespace

TEST(OncePerRoot, MakesOnceAndAgainAfterAChangeOfRoot)
{
    veldo::testsupport::FakeMac mac;
    int made = 0;
    OncePerRoot<std::string> value([&] {
        ++made;
        return macRoot();
    });
    EXPECT_EQ(value.get(), mac.root());
    EXPECT_EQ(value.get(), mac.root());
    EXPECT_EQ(made, 1);
    {
        veldo::testsupport::FakeMac other;
        EXPECT_EQ(value.get(), other.root());
        EXPECT_EQ(made, 2);
    }
}

TEST(OncePerRoot, AMakerRunningDuringAChangeOfRootBlocksNeitherSide)
{
    veldo::testsupport::FakeMac mac;
    Gate making;
    Gate hooksRunning;
    Gate finishMaking;
    int made = 0;
    std::optional<MacRootResetHook> registeredByMaker;
    OncePerRoot<int> value([&] {
        const int n = ++made;
        if (n == 1) {
            making.open();
            // The change of root is running hooks now; registering one must not wait for it.
            EXPECT_TRUE(hooksRunning.waitOpen(10s));
            registeredByMaker.emplace(addMacRootResetHook([] {}));
            EXPECT_TRUE(finishMaking.waitOpen(10s));
        }
        return n;
    });
    // Registered after the value's own hook, so it runs after the value was reset.
    MacRootResetHook signal = addMacRootResetHook([&] { hooksRunning.open(); });

    std::promise<int> first;
    auto firstValue = first.get_future();
    std::thread getter([&] { first.set_value(value.get()); });
    ASSERT_TRUE(making.waitOpen(10s));
    const std::string root = mac.root();
    ASSERT_TRUE(finishesWithin([&] { testing_root::setMacRoot(root); }, 10s))
        << "a change of root waited for a maker (or deadlocked with it)";
    finishMaking.open();
    getter.join();
    EXPECT_EQ(firstValue.get(), 1) << "the caller gets the value it made";
    EXPECT_EQ(value.get(), 2) << "a value made across a change of root is not kept";
    EXPECT_EQ(value.get(), 2);
    registeredByMaker.reset();
}

TEST(OncePerRoot, AStopLeavesNothingBehind)
{
    veldo::testsupport::FakeMac mac;
    Gate making;
    Gate finishMaking;
    int made = 0;
    OncePerRoot<int> value([&](std::stop_token stop) -> std::optional<int> {
        const int n = ++made;
        if (n == 2) {
            making.open();
            EXPECT_TRUE(finishMaking.waitOpen(10s));
        }
        if (stop.stop_requested())
            return std::nullopt;
        return n;
    });

    // A maker that gives up keeps nothing: the next caller makes the value afresh.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(value.get(stopped.get_token()), std::nullopt);
    EXPECT_EQ(made, 1);

    // A caller waiting for another's maker gives up at its own stop; the maker's value is kept.
    std::promise<std::optional<int>> first;
    auto firstValue = first.get_future();
    std::thread maker([&] { first.set_value(value.get(std::stop_token())); });
    ASSERT_TRUE(making.waitOpen(10s));
    std::stop_source waiterStop;
    std::promise<std::optional<int>> waited;
    auto waitedValue = waited.get_future();
    std::thread waiter([&] { waited.set_value(value.get(waiterStop.get_token())); });
    waiterStop.request_stop();
    ASSERT_EQ(waitedValue.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(waitedValue.get(), std::nullopt);
    finishMaking.open();
    maker.join();
    waiter.join();
    EXPECT_EQ(firstValue.get(), 2);
    EXPECT_EQ(value.get(), 2);
    EXPECT_EQ(made, 2);
}
