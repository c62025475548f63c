// The watcher: debounce timeline, subscriptions, start and teardown, and real folder events.
#include "app/core/AppLibraryWatcher.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using namespace std::chrono_literals;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;
using W = AppLibraryWatcher;
using namespace veldo::testsupport::literals;

namespace {

// When the first rescan runs for changes at the given times, following the watcher's rule: each
// change replaces the pending rescan with one `debounceDelay` later.
std::chrono::nanoseconds firstRescanTime(const std::vector<std::chrono::nanoseconds>& changes,
                                         std::chrono::nanoseconds debounce)
{
    std::optional<std::chrono::nanoseconds> first;
    std::chrono::nanoseconds due{0};
    for (auto t : changes) {
        if (first && t >= due)
            break; // the pending rescan ran before this change
        if (!first)
            first = t;
        due = t + W::debounceDelay(t - *first, debounce, W::kMaximumLatency);
    }
    return due;
}

class FakeWorkspace : public W::Workspace
{
public:
    using Handler = std::function<void(std::optional<MacPath>, std::optional<std::string>, bool)>;
    std::shared_ptr<void> observe(Handler handler) override
    {
        std::lock_guard lock(mutex);
        ++observeCalls;
        handlers.push_back(handler);
        return std::make_shared<int>(0);
    }
    void post(std::optional<MacPath> url, std::optional<std::string> id, bool launched)
    {
        std::vector<Handler> copy;
        {
            std::lock_guard lock(mutex);
            copy = handlers;
        }
        for (auto& h : copy)
            h(url, id, launched);
    }
    std::mutex mutex;
    int observeCalls = 0;
    std::vector<Handler> handlers;
};

// Waits until the watcher's queue has run everything submitted so far (start included):
// subscribing runs synchronously on that queue.
void waitForQueue(W& watcher)
{
    watcher.events()->cancel();
}

} // namespace

TEST(AppLibraryWatcherDebounce, Timeline)
{
    EXPECT_EQ(W::debounceDelay(0s, 1s, 5s), 1s);
    EXPECT_EQ(W::debounceDelay(4500ms, 1s, 5s), 500ms);
    EXPECT_EQ(W::debounceDelay(6s, 1s, 5s), 0s);
    EXPECT_EQ(firstRescanTime({0s}, 1s), 1s);
    std::vector<std::chrono::nanoseconds> everyHalfSecond;
    for (int i = 0; i < 40; ++i)
        everyHalfSecond.push_back(i * 500ms);
    EXPECT_EQ(firstRescanTime(everyHalfSecond, 1s), 5s);
}

TEST(AppLibraryWatcher, ReportsAnAppDraggedToTheTrash)
{
    FakeMac mac;
    const MacPath trash = mac.home().appendingPathComponent(".Trash");
    mac.makeApp("/Applications/Foo.app"_mac,
                PlistValue::Dictionary{{"CFBundleIdentifier", "com.foo"}, {"CFBundleName", "Foo"}});
    W watcher({{"/Applications"_mac}}, trash, W::WorkspaceObservation::off, 1s);
    auto events = watcher.events();
    watcher.start();
    waitForQueue(watcher); // the baseline is taken and watching armed

    const auto moved = std::chrono::steady_clock::now();
    ASSERT_EQ(::rename(mac.host("/Applications/Foo.app"_mac).c_str(),
                       mac.host(trash.appendingPathComponent("Foo.app")).c_str()),
              0);
    auto first = events->nextFor(5s);
    auto second = events->nextFor(1s);
    const double delay =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - moved).count();
    ASSERT_TRUE(first && second) << "no events within 5 s";
    EXPECT_EQ(*first, W::Event(W::AppsChanged{}));
    EXPECT_EQ(*second, W::Event(W::AppMovedToTrash{WatchedAppBundle{
                           trash.appendingPathComponent("Foo.app"),
                           MacPath("/Applications/Foo.app"), "com.foo", "Foo", std::nullopt}}));
    std::printf("moved-to-Trash event after %.2f s\n", delay);
}

TEST(AppLibraryWatcher, UnreadableTrashAtStartComesFirst)
{
    FakeMac mac;
    const MacPath trash = mac.home().appendingPathComponent(".Trash");
    ::rmdir(mac.host(trash).c_str());
    mac.write(trash, "not a folder"); // exists, can't be listed
    W watcher({{"/Applications"_mac}}, trash, W::WorkspaceObservation::off, 1s);
    auto events = watcher.events();
    watcher.start();
    auto first = events->nextFor(2s);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, W::Event(W::TrashAccessChanged{false}));
}

TEST(AppLibraryWatcher, TrashThatBecomesReadableReportsNoArrivals)
{
    FakeMac mac;
    const MacPath trash = mac.home().appendingPathComponent(".Trash");
    ::rmdir(mac.host(trash).c_str());
    mac.write(trash, "not a folder");
    W watcher({{"/Applications"_mac}}, trash, W::WorkspaceObservation::off, 200ms);
    auto events = watcher.events();
    watcher.start();
    ASSERT_EQ(events->nextFor(2s), W::Event(W::TrashAccessChanged{false}));
    waitForQueue(watcher);

    // The Trash comes back holding an app that was there all along; a change in a watched
    // folder makes the watcher look again.
    ::unlink(mac.host(trash).c_str());
    mac.mkdir(trash.appendingPathComponent("Old.app"));
    mac.write("/Applications/notes.txt"_mac, "x");
    EXPECT_EQ(events->nextFor(5s), W::Event(W::TrashAccessChanged{true}));
    EXPECT_FALSE(events->nextFor(500ms)) << "nothing already in the Trash counts as arrived";
}

TEST(AppLibraryWatcher, ObserversAreAddedOncePerWatcher)
{
    FakeMac mac;
    auto workspace = std::make_shared<FakeWorkspace>();
    W::Options options;
    options.workspace = workspace;
    // Nothing to watch: every start runs again, but the launch observers are added once.
    W watcher({{"/Nowhere"_mac}}, MacPath("/Nowhere/.Trash"), W::WorkspaceObservation::on, 1s,
              options);
    auto events = watcher.events();
    watcher.start();
    watcher.start();
    watcher.start();
    waitForQueue(watcher);
    {
        std::lock_guard lock(workspace->mutex);
        EXPECT_EQ(workspace->observeCalls, 1);
    }

    workspace->post(std::nullopt, std::nullopt, true);
    workspace->post(MacPath("/Applications/Foo.app"), "com.foo", false);
    auto a = events->nextFor(2s);
    auto b = events->nextFor(2s);
    auto c = events->nextFor(200ms);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*a, W::Event(W::RunningAppsChanged{std::nullopt, std::nullopt, true}));
    EXPECT_EQ(*b,
              W::Event(W::RunningAppsChanged{MacPath("/Applications/Foo.app"), "com.foo", false}));
    EXPECT_FALSE(c) << "each launch or quit arrives once";
}

TEST(AppLibraryWatcher, SubscriptionsAndTeardown)
{
    FakeMac mac;
    auto workspace = std::make_shared<FakeWorkspace>();
    W::Options options;
    options.workspace = workspace;
    auto watcher = std::make_unique<W>(std::vector<MacPath>{"/Applications"_mac},
                                       mac.home().appendingPathComponent(".Trash"),
                                       W::WorkspaceObservation::on, 1s, options);
    auto kept = watcher->events();
    auto dropped = watcher->events();
    watcher->start();
    waitForQueue(*watcher);
    dropped->cancel();
    workspace->post(std::nullopt, "com.x", true);
    EXPECT_TRUE(kept->nextFor(2s));
    EXPECT_FALSE(dropped->nextFor(100ms));
    auto late = watcher->events(); // not replayed the earlier event
    EXPECT_FALSE(late->nextFor(100ms));

    // Releasing the watcher ends every stream; a reader, blocked or about to be, wakes up.
    std::thread reader([&] { EXPECT_FALSE(kept->next()); });
    watcher.reset();
    reader.join();
    EXPECT_TRUE(kept->ended());
    EXPECT_TRUE(late->ended());
    workspace->post(std::nullopt, "com.y", false); // nothing listens any more, nothing breaks
}
