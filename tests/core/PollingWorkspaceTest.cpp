// Launch and quit notifications from the polled running-application list.
#include "app/core/PollingWorkspace.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/FakeRunningApplications.h"
#include "tests/support/FixtureProcess.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using namespace std::chrono_literals;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using namespace veldo::testsupport::literals;
using veldo::testsupport::FakeRunningApplications;

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
    std::condition_variable arrived;
    std::vector<Notice> notices;
    auto handler()
    {
        return [this](std::optional<MacPath> url, std::optional<std::string> id, bool launched) {
            {
                std::lock_guard lock(mutex);
                notices.push_back({std::move(url), std::move(id), launched});
            }
            arrived.notify_all();
        };
    }
    bool waitFor(size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, timeout, [&] { return notices.size() >= count; });
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
    ASSERT_TRUE(workspace->waitForPolls(1, 3s)); // the baseline

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
    FakeRunningApplications source;
    auto workspace = std::make_shared<PollingWorkspace>(source, 20ms);
    Recorder kept;
    Recorder dropped;
    auto keptToken = workspace->observe(kept.handler());
    auto droppedToken = workspace->observe(dropped.handler());
    ASSERT_TRUE(workspace->waitForPolls(1, 2s)); // the baseline
    droppedToken.reset();
    source.setApplications(
        {{42, MacPath("/Applications/A.app"), std::nullopt, "a", "A", 7},
         {43, std::nullopt, MacPath("/usr/bin/tool"), std::nullopt, std::nullopt, 8}});
    ASSERT_TRUE(kept.waitFor(1, 2s));
    ASSERT_TRUE(workspace->waitForPolls(2, 2s)); // a whole round after the launch was seen
    std::lock_guard lock(kept.mutex);
    EXPECT_EQ(kept.notices.size(), 1u) << "a process without a bundle is no application";
    EXPECT_TRUE(dropped.notices.empty());
}

TEST(PollingWorkspace, ReleasingATokenWaitsForTheCallInProgressAndEndsDelivery)
{
    FakeRunningApplications source;
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
    ASSERT_TRUE(workspace->waitForPolls(1, 2s)); // the baseline
    source.setApplications({{42, MacPath("/Applications/A.app"), std::nullopt, "a", "A", 7},
                            {43, MacPath("/Applications/B.app"), std::nullopt, "b", "B", 8}});
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 2s, [&] { return calls == 1; }));
    }

    auto released = std::async(std::launch::async, [&] { token.reset(); });
    EXPECT_EQ(released.wait_for(100ms), std::future_status::timeout)
        << "the release returns only once the handler has returned";
    {
        std::lock_guard lock(mutex);
        proceed = true;
    }
    changed.notify_all();
    released.get();
    ASSERT_TRUE(workspace->waitForPolls(1, 2s)); // the round with both launches has ended
    std::lock_guard lock(mutex);
    EXPECT_EQ(calls, 1) << "the second launch of that round is not delivered after the release";
}

TEST(PollingWorkspace, AHandlerMayReleaseItsOwnToken)
{
    FakeRunningApplications source;
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
    ASSERT_TRUE(workspace->waitForPolls(1, 2s)); // the baseline
    source.setApplications({{42, MacPath("/Applications/A.app"), std::nullopt, "a", "A", 7}});
    EXPECT_EQ(called.get_future().wait_for(3s), std::future_status::ready);
}
