// The folder watcher: coalesced changes, and an overflowing event queue reported as a change.
#include "platform/FolderWatcher.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using veldo::platform::FolderWatcher;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace std::chrono_literals;
using namespace veldo::testsupport::literals;

namespace {

// Counts the watcher's callbacks; the first callback can be held until released, so that the
// kernel queue fills up meanwhile.
struct Calls
{
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    bool holdFirst = false;
    bool released = false;

    void onChange()
    {
        std::unique_lock lock(mutex);
        ++count;
        changed.notify_all();
        if (count == 1 && holdFirst)
            changed.wait(lock, [&] { return released; });
    }
    bool waitFor(int n)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return count >= n; });
    }
    void release()
    {
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        changed.notify_all();
    }
};

void createFile(const std::string& host)
{
    const int fd = ::open(host.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << host;
    ::close(fd);
}

// True when the inotify queue `fd` holds an overflow record.
bool overflowed(int fd)
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW)
                return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace

TEST(FolderWatcher, ReportsChangesOfWatchedFoldersOnly)
{
    FakeMac mac;
    Calls calls;
    auto watcher = FolderWatcher::create([&] { calls.onChange(); }, 200ms);
    ASSERT_TRUE(watcher);
    EXPECT_EQ((*watcher)->setFolders({MacPath("/Applications"), MacPath("/Missing")}), 1u);
    mac.mkdir("/Library/Unwatched"_mac);
    mac.write("/Applications/a.txt"_mac, "a");
    mac.write("/Applications/b.txt"_mac, "b");
    ASSERT_TRUE(calls.waitFor(1));
    (*watcher)->setFolders({}); // removing the watch is no change
    mac.write("/Applications/c.txt"_mac, "c");
    watcher->reset(); // no callback after the destructor
    std::lock_guard lock(calls.mutex);
    EXPECT_EQ(calls.count, 1);
}

TEST(FolderWatcher, AQueueOverflowIsReportedAndWatchingGoesOn)
{
    FakeMac mac;
    Calls calls;
    calls.holdFirst = true;
    auto watcher = FolderWatcher::create([&] { calls.onChange(); }, 1ms);
    ASSERT_TRUE(watcher);
    ASSERT_EQ((*watcher)->setFolders({MacPath("/Applications")}), 1u);
    createFile(mac.host("/Applications/first"_mac));
    ASSERT_TRUE(calls.waitFor(1)); // the watcher's thread is held in its callback now

    // Attribute changes of two files in turn: no record repeats the one before it, so none is
    // merged, and 20000 of them overflow the kernel's queue (16384 records by default).
    const std::string folder = mac.host("/Applications/"_mac);
    createFile(folder + "a");
    createFile(folder + "b");
    const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir, 0);
    // A queue of our own, as deep as the watcher's, shows that the flood overflows.
    const int witness = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(witness, 0);
    ASSERT_GE(::inotify_add_watch(witness, folder.c_str(), IN_ATTRIB), 0);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(::fchmodat(dir, "a", (i % 2) ? 0644 : 0600, 0), 0);
        ASSERT_EQ(::fchmodat(dir, "b", (i % 2) ? 0644 : 0600, 0), 0);
    }
    ::close(dir);
    EXPECT_TRUE(overflowed(witness));
    ::close(witness);
    calls.release();
    ASSERT_TRUE(calls.waitFor(2)) << "the flood, overflow record included, is one change";

    createFile(folder + "after");
    EXPECT_TRUE(calls.waitFor(3)) << "the watcher still watches after an overflow";
}
