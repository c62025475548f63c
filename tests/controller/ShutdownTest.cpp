// Shutdown stops the services the controller runs, waits for all background work and ends
// the suspended tasks.
#include <atomic>
#include <chrono>
#include <thread>

#include <unistd.h>

#include "app/core/CommandRunner.h"
#include "app/leftovers/HomebrewCaskUninstall.h"
#include "app/removal/AdminScriptRunner.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInBrew.h"
#include "tests/support/StandInOsascript.h"
#include "tests/support/StandInPackageManager.h"

namespace veldo::controller {
namespace {

using testsupport::ControllerFixture;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Shutdown : public ControllerFixture
{
};

template <typename Fn>
Task<> runInBackground(TaskScope&, QThreadPool* pool, Fn fn, bool* resumed)
{
    co_await inBackground(*pool, std::move(fn));
    *resumed = true;
}

TEST_F(Shutdown, StopsLongChildProcessesWithinTheRunnersGrace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the stand-in osascript runs scripts only in a fake Mac that root owns";
    testsupport::StandInOsascript osascript(m_mac);
    // As if its password dialog stayed open; the hook's shell, which a stopped osascript leaves
    // behind, ends with the fake Mac.
    osascript.setHook("while [ -d '" + m_mac.root() + "' ]; do sleep 0.2; done");
    testsupport::StandInBrew brew(m_mac);
    brew.setMode("uninstall", "hang");
    testsupport::StandInPackageManager npm(m_mac, "npm");
    npm.setHangs("uninstall");
    auto controller = makeController();
    const std::stop_token stop = controller->shutdownToken();

    std::atomic<int> entered{0};
    std::atomic<bool> brewCancelled{false};
    std::atomic<bool> npmCancelled{false};
    std::atomic<bool> scriptConfirmedNothing{false};
    std::atomic<bool> quitting{false};
    std::atomic<bool> scriptEndedByQuit{false};
    bool brewResumed = false;
    bool npmResumed = false;
    bool scriptResumed = false;
    runInBackground(
        controller->taskScope(), &controller->toolPool(),
        [&, stop] {
            ++entered;
            const auto result = leftovers::HomebrewCasks::uninstall(
                "example", leftovers::HomebrewCasks::Zap::no, 900s, {}, stop);
            brewCancelled = !result && result.error().code == ErrorCode::cancelled;
        },
        &brewResumed)
        .detach();
    runInBackground(
        controller->taskScope(), &controller->toolPool(),
        [&, stop, path = npm.path()] {
            ++entered;
            const auto result = core::CommandRunner::runWithUserEnvironment(
                path, {"uninstall", "-g", "left-pad"}, 300s, {}, stop);
            npmCancelled = !result && result.error().code == ErrorCode::cancelled;
        },
        &npmResumed)
        .detach();
    runInBackground(
        controller->taskScope(), &controller->toolPool(),
        [&, stop] {
            ++entered;
            const removal::AdminRemover::ScriptOutcome outcome =
                removal::AdminRemover::runAdministratorScript({"( true ) && echo VELDO-OK-0"},
                                                              "Veldo wants to move 1 item.", stop);
            scriptEndedByQuit = quitting.load();
            scriptConfirmedNothing = outcome.succeeded.empty() && outcome.errorMessage;
        },
        &scriptResumed)
        .detach();
    // Let the children start before quitting.
    while (entered < 3)
        std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(300ms);

    const auto started = Clock::now();
    quitting = true;
    controller->shutdown();
    EXPECT_LT(Clock::now() - started, 5s + core::CommandRunner::kTerminateGrace);
    EXPECT_TRUE(scriptEndedByQuit);
    EXPECT_TRUE(brewCancelled);
    EXPECT_TRUE(npmCancelled);
    EXPECT_TRUE(scriptConfirmedNothing);
    for (int i = 0; i < 10; ++i)
        processEvents();
    EXPECT_FALSE(brewResumed);
    EXPECT_FALSE(npmResumed);
    EXPECT_FALSE(scriptResumed);
    EXPECT_EQ(controller->taskScope().frameCount(), 0U);
}

TEST_F(Shutdown, WorkThatHonoursTheTokenEndsPromptly)
{
    auto controller = makeController();
    std::atomic<bool> running{false};
    std::atomic<Clock::rep> sawStop{0};
    bool resumed = false;
    runInBackground(
        controller->taskScope(), &controller->scanPool(),
        [&, stop = controller->shutdownToken()] {
            running = true;
            while (!stop.stop_requested())
                std::this_thread::sleep_for(1ms);
            sawStop = Clock::now().time_since_epoch().count();
        },
        &resumed)
        .detach();
    while (!running)
        std::this_thread::sleep_for(1ms);
    const auto requested = Clock::now();
    controller->shutdown();
    const Clock::time_point stopped{Clock::duration(sawStop.load())};
    EXPECT_LT(stopped - requested, 100ms);
    EXPECT_FALSE(resumed);
}

TEST_F(Shutdown, WorkThatIgnoresTheTokenIsWaitedFor)
{
    auto controller = makeController();
    std::atomic<bool> running{false};
    std::atomic<bool> finished{false};
    bool resumed = false;
    runInBackground(
        controller->taskScope(), &controller->toolPool(),
        [&] {
            running = true;
            std::this_thread::sleep_for(300ms);
            finished = true;
        },
        &resumed)
        .detach();
    while (!running)
        std::this_thread::sleep_for(1ms);
    controller->shutdown();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(resumed);
}

} // namespace
} // namespace veldo::controller
