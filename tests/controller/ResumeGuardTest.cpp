// The resume guard: resumes while open, never after close, shared safely across threads.
#include "app/controller/ResumeGuard.h"

#include <atomic>
#include <coroutine>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace veldo::controller {
namespace {

// A coroutine that suspends at its start and counts how often its body ran on.
struct Counting
{
    struct promise_type
    {
        Counting get_return_object()
        {
            return Counting{std::coroutine_handle<promise_type>::from_promise(*this)};
        }
        std::suspend_always initial_suspend() noexcept { return {}; }
        std::suspend_always final_suspend() noexcept { return {}; }
        void return_void() {}
        void unhandled_exception() { std::terminate(); }
    };
    std::coroutine_handle<promise_type> handle;
};

Counting countResume(int* resumed)
{
    ++*resumed;
    co_return;
}

TEST(ResumeGuard, ResumesOnlyWhileOpen)
{
    int resumed = 0;
    Counting first = countResume(&resumed);
    Counting second = countResume(&resumed);
    ResumeGuard guard;

    EXPECT_TRUE(guard.resume(first.handle));
    EXPECT_EQ(resumed, 1);

    guard.close();
    guard.close();
    EXPECT_FALSE(guard.isOpen());
    EXPECT_FALSE(guard.resume(second.handle));
    EXPECT_EQ(resumed, 1);
    EXPECT_FALSE(second.handle.done());

    first.handle.destroy();
    second.handle.destroy();
}

TEST(ResumeGuard, CopiesOnOtherThreadsSeeTheClose)
{
    auto guard = std::make_shared<ResumeGuard>();
    std::atomic<bool> closed{false};
    std::atomic<int> openAfterClose{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([guard, &closed, &openAfterClose] {
            for (int i = 0; i < 20'000; ++i) {
                std::shared_ptr<ResumeGuard> copy = guard; // what a posted resume holds
                const bool wasClosed = closed.load(std::memory_order_acquire);
                if (wasClosed && copy->isOpen())
                    ++openAfterClose;
            }
        });
    guard->close();
    closed.store(true, std::memory_order_release);
    for (std::thread& poster : posters)
        poster.join();
    EXPECT_EQ(openAfterClose.load(), 0);
    EXPECT_FALSE(guard->isOpen());
}

} // namespace
} // namespace veldo::controller
