// Launch and quit notifications from the polled running-application list.
#include "app/core/PollingWorkspace.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using namespace std::chrono_literals;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using namespace veldo::testsupport::literals;

namespace {

struct Notice
{
    std::optional<MacPath> url;
    std::optional<std::string> id;
    bool launched;
};

struct Recorder
{
    std::mutex mutex;
    std::vector<Notice> notices;
    auto handler()
    {
        return [this](std::optional<MacPath> url, std::optional<std::string> id, bool launched) {
            std::lock_guard lock(mutex);
            notices.push_back({std::move(url), std::move(id), launched});
        };
    }
    bool waitFor(size_t count, std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            {
                std::lock_guard lock(mutex);
                if (notices.size() >= count)
                    return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

} // namespace

TEST(PollingWorkspace, ReportsLaunchAndQuitOfARealApp)
{
    veldo::testsupport::FakeMac mac;
    mac.makeApp("/Applications/Fixture.app"_mac,
                PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.fixture"},
                                       {"CFBundleExecutable", "Fixture"}});
    veldo::testsupport::installFixtureExecutable(
        mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    auto workspace = std::make_shared<PollingWorkspace>(
        veldo::platform::ProcRunningApplications::shared(), 100ms);
    Recorder recorder;
    auto token = workspace->observe(recorder.handler());
    std::this_thread::sleep_for(150ms); // the baseline

    auto process = std::make_unique<veldo::testsupport::FixtureProcess>(
        mac, "/Applications/Fixture.app/Contents/MacOS/Fixture"_mac);
    ASSERT_NE(process->pid(), 0);
    ASSERT_TRUE(recorder.waitFor(1, 3s));
    process.reset(); // killed and reaped
    ASSERT_TRUE(recorder.waitFor(2, 3s));
    std::lock_guard lock(recorder.mutex);
    EXPECT_TRUE(recorder.notices[0].launched);
    EXPECT_EQ(recorder.notices[0].url, MacPath("/Applications/Fixture.app"));
    EXPECT_EQ(recorder.notices[0].id, "com.example.fixture");
    EXPECT_FALSE(recorder.notices[1].launched);
    EXPECT_EQ(recorder.notices[1].url, MacPath("/Applications/Fixture.app"));
}

TEST(PollingWorkspace, ReleasedTokenStopsDelivery)
{
    class Source : public veldo::platform::RunningApplicationSource
    {
    public:
        std::vector<veldo::platform::RunningApplication> runningApplications() const override
        {
            std::lock_guard lock(mutex);
            return list;
        }
        bool terminate(const veldo::platform::RunningApplication&) const override { return false; }
        mutable std::mutex mutex;
        std::vector<veldo::platform::RunningApplication> list;
    } source;
    auto workspace = std::make_shared<PollingWorkspace>(source, 20ms);
    Recorder kept;
    Recorder dropped;
    auto keptToken = workspace->observe(kept.handler());
    auto droppedToken = workspace->observe(dropped.handler());
    std::this_thread::sleep_for(60ms);
    droppedToken.reset();
    {
        std::lock_guard lock(source.mutex);
        source.list.push_back({42, MacPath("/Applications/A.app"), std::nullopt, "a", "A", 7});
        source.list.push_back(
            {43, std::nullopt, MacPath("/usr/bin/tool"), std::nullopt, std::nullopt, 8});
    }
    ASSERT_TRUE(kept.waitFor(1, 2s));
    std::this_thread::sleep_for(100ms);
    std::lock_guard lock(kept.mutex);
    EXPECT_EQ(kept.notices.size(), 1u) << "a process without a bundle is no application";
    EXPECT_TRUE(dropped.notices.empty());
}

TEST(PollingWorkspace, ReleasingATokenWaitsForTheCallInProgressAndEndsDelivery)
{
    class Source : public veldo::platform::RunningApplicationSource
    {
    public:
        std::vector<veldo::platform::RunningApplication> runningApplications() const override
        {
            std::lock_guard lock(mutex);
            return list;
        }
        bool terminate(const veldo::platform::RunningApplication&) const override { return false; }
        mutable std::mutex mutex;
        std::vector<veldo::platform::RunningApplication> list;
    } source;
    auto workspace = std::make_shared<PollingWorkspace>(source, 20ms);

    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    bool proceed = false;
    auto token = workspace->observe([&](auto, auto, bool) {
        std::unique_lock lock(mutex);
        ++calls;
        changed.notify_all();
        changed.wait(lock, [&] { return proceed; });
    });
    std::this_thread::sleep_for(60ms); // the baseline
    {
        std::lock_guard lock(source.mutex);
        source.list.push_back({42, MacPath("/Applications/A.app"), std::nullopt, "a", "A", 7});
        source.list.push_back({43, MacPath("/Applications/B.app"), std::nullopt, "b", "B", 8});
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 2s, [&] { return calls == 1; }));
    }

    std::atomic<bool> released = false;
    std::thread releaser([&] {
        token.reset();
        released = true;
    });
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(released) << "the release returns only once the handler has returned";
    {
        std::lock_guard lock(mutex);
        proceed = true;
    }
    changed.notify_all();
    releaser.join();
    std::this_thread::sleep_for(150ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(calls, 1) << "the second launch of that round is not delivered after the release";
}

TEST(PollingWorkspace, AHandlerMayReleaseItsOwnToken)
{
    class Source : public veldo::platform::RunningApplicationSource
    {
    public:
        std::vector<veldo::platform::RunningApplication> runningApplications() const override
        {
            return {{++polls, MacPath("/Applications/A.app"), std::nullopt, "a", "A",
                     static_cast<std::uint64_t>(polls)}};
        }
        bool terminate(const veldo::platform::RunningApplication&) const override { return false; }
        mutable pid_t polls = 0;
    } source;
    auto workspace = std::make_shared<PollingWorkspace>(source, 20ms);
    std::promise<void> called;
    std::shared_ptr<void> token;
    bool released = false;
    std::mutex mutex;
    {
        std::lock_guard lock(mutex);
        token = workspace->observe([&](auto, auto, bool) {
            std::lock_guard inner(mutex);
            if (!released) {
                released = true;
                token.reset(); // on the polling thread itself: must not wait for itself
                called.set_value();
            }
        });
    }
    EXPECT_EQ(called.get_future().wait_for(3s), std::future_status::ready);
}
