// The task core: eager start, resumes on a later turn through the guard, own copies of
// arguments, background work off the GUI thread, and frames destroyed with their controller.
#include "app/controller/Task.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QThread>

#include "tests/controller/ControllerFixture.h"

namespace veldo::controller {
namespace {

using testsupport::ControllerFixture;
using namespace std::chrono_literals;

class TaskCore : public ControllerFixture
{
};

struct Progress
{
    bool started = false;
    bool resumed = false;
    std::string seen;
    bool offGuiThread = false;
    int localsDestroyed = 0;
};

// Counts its destruction, to show a destroyed frame's locals go too.
struct Local
{
    Progress* progress;
    ~Local() { ++progress->localsDestroyed; }
};

Task<> quickWork(TaskScope&, QThreadPool* pool, Progress* progress)
{
    progress->started = true;
    const int answer = co_await inBackground(*pool, [] { return 42; });
    progress->resumed = answer == 42;
}

TEST_F(TaskCore, StartsEagerlyAndResumesOnALaterTurn)
{
    auto controller = makeController();
    Progress progress;
    Task<> task = quickWork(controller->taskScope(), &controller->scanPool(), &progress);
    EXPECT_TRUE(progress.started);
    // The work ends at once; the task still waits for a later turn of the event loop.
    controller->scanPool().waitForDone();
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(progress.resumed);
    EXPECT_FALSE(task.isDone());
    EXPECT_TRUE(waitFor([&] { return progress.resumed; }));
    EXPECT_TRUE(task.isDone());
    EXPECT_EQ(controller->taskScope().frameCount(), 0U);
}

Task<> readsItsOwnCopy(TaskScope&, QThreadPool* pool, std::string text, Progress* progress)
{
    co_await inBackground(*pool, [] { std::this_thread::sleep_for(10ms); });
    progress->seen = text;
    progress->resumed = true;
}

TEST_F(TaskCore, ArgumentsAreTheTasksOwnCopies)
{
    auto controller = makeController();
    Progress progress;
    {
        // A temporary longer than the small-string buffer, gone once the call returns.
        readsItsOwnCopy(controller->taskScope(), &controller->scanPool(),
                        std::string(64, 'x') + "-end", &progress)
            .detach();
    }
    EXPECT_TRUE(waitFor([&] { return progress.resumed; }));
    EXPECT_EQ(progress.seen, std::string(64, 'x') + "-end");
}

Task<> recordsItsThread(TaskScope&, QThreadPool* pool, Progress* progress)
{
    const QThread* gui = QCoreApplication::instance()->thread();
    auto onOtherThread = [gui] { return QThread::currentThread() != gui; };
    progress->offGuiThread = co_await inBackground(*pool, std::move(onOtherThread));
    progress->resumed = QThread::currentThread() == gui;
}

TEST_F(TaskCore, BackgroundWorkNeverRunsOnTheGuiThread)
{
    auto controller = makeController();
    Progress scan;
    Progress tool;
    recordsItsThread(controller->taskScope(), &controller->scanPool(), &scan).detach();
    recordsItsThread(controller->taskScope(), &controller->toolPool(), &tool).detach();
    EXPECT_TRUE(waitFor([&] { return scan.resumed && tool.resumed; }));
    EXPECT_TRUE(scan.offGuiThread);
    EXPECT_TRUE(tool.offGuiThread);
    EXPECT_EQ(controller->toolPool().maxThreadCount(), 4);
}

Task<> suspendedInWork(TaskScope&, QThreadPool* pool, Progress* progress)
{
    Local local{progress};
    const std::string text = co_await inBackground(*pool, [] { return std::string(100, 'y'); });
    progress->seen = text;
    progress->resumed = true;
}

TEST_F(TaskCore, ATaskWhoseControllerIsDestroyedNeverResumes)
{
    auto controller = makeController();
    Progress progress;
    suspendedInWork(controller->taskScope(), &controller->scanPool(), &progress).detach();
    EXPECT_EQ(controller->taskScope().frameCount(), 1U);
    controller.reset();
    EXPECT_EQ(progress.localsDestroyed, 1);
    for (int i = 0; i < 20; ++i)
        processEvents();
    EXPECT_FALSE(progress.resumed);
    EXPECT_TRUE(progress.seen.empty());
}

TEST_F(TaskCore, AResumePostedBeforeShutdownDoesNothingAfterIt)
{
    auto controller = makeController();
    Progress progress;
    suspendedInWork(controller->taskScope(), &controller->scanPool(), &progress).detach();
    controller->scanPool().waitForDone(); // the resume is queued now
    controller->shutdown();
    EXPECT_EQ(progress.localsDestroyed, 1);
    for (int i = 0; i < 20; ++i)
        processEvents();
    EXPECT_FALSE(progress.resumed);

    // After shutdown a new task starts no work and waits to be destroyed.
    Progress late;
    suspendedInWork(controller->taskScope(), &controller->scanPool(), &late).detach();
    for (int i = 0; i < 20; ++i)
        processEvents();
    EXPECT_FALSE(late.resumed);
    controller.reset();
    EXPECT_EQ(late.localsDestroyed, 1);
}

Task<> stoppableWork(TaskScope&, QThreadPool* pool, std::stop_token shutdown, Progress* progress,
                     TaskHandle* self)
{
    *self = co_await thisTask();
    progress->started = true;
    const std::stop_token stop = (*self)->stopToken(std::move(shutdown));
    auto work = [stop] {
        while (!stop.stop_requested())
            std::this_thread::sleep_for(1ms);
        return true;
    };
    progress->offGuiThread = co_await inBackground(*pool, std::move(work));
    progress->resumed = true;
    progress->seen = (*self)->isCancelled() ? "cancelled" : "current";
}

TEST_F(TaskCore, ACancelReachesTheWorkThroughTheTasksOwnToken)
{
    auto controller = makeController();
    Progress progress;
    TaskHandle self;
    Task<> task = stoppableWork(controller->taskScope(), &controller->scanPool(),
                                controller->shutdownToken(), &progress, &self);
    ASSERT_TRUE(progress.started);
    EXPECT_EQ(self, task.handle());
    task.handle()->cancel();
    EXPECT_TRUE(waitFor([&] { return progress.resumed; }));
    EXPECT_EQ(progress.seen, "cancelled");
    EXPECT_FALSE(controller->shutdownToken().stop_requested());
}

Task<int> child(TaskScope&, QThreadPool* pool, int value)
{
    co_await sleepFor(5ms);
    auto doubling = [value] { return value * 2; };
    const int doubled = co_await inBackground(*pool, std::move(doubling));
    co_return doubled;
}

Task<> parent(TaskScope& scope, QThreadPool* pool, int* answer)
{
    *answer = co_await child(scope, pool, 21);
}

TEST_F(TaskCore, ATaskAwaitsAnotherAndTimers)
{
    auto controller = makeController();
    int answer = 0;
    Task<> task = parent(controller->taskScope(), &controller->scanPool(), &answer);
    EXPECT_EQ(controller->taskScope().frameCount(), 2U);
    EXPECT_TRUE(waitFor([&] { return task.isDone(); }));
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(controller->taskScope().frameCount(), 0U);
}

} // namespace
} // namespace veldo::controller
