// Running child programs: output, exit codes, environment, descriptors, time-outs and pipes
// that stay open.
#include "app/core/CommandRunner.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stop_token>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/UniqueFd.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"
#include "tests/support/RootRacer.h"

using namespace veldo::core;
using namespace std::chrono_literals;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::RootRacer;

namespace {

const MacPath kShell("/bin/sh");
const CommandRunner::Environment kPlainEnv{{"PATH", "/usr/bin:/bin"}};

using Clock = std::chrono::steady_clock;
using namespace veldo::testsupport::literals;

// Waits short enough that a test needs no more than a fraction of a second for each.
const CommandRunner::RunOptions kShortWaits = [] {
    CommandRunner::RunOptions options;
    options.terminateGrace = 300ms;
    options.outputDrainWait = 300ms;
    return options;
}();

veldo::Result<CommandRunner::Output> sh(const std::string& script,
                                        std::chrono::milliseconds timeout = 30s,
                                        const CommandRunner::RunOptions& options = kShortWaits,
                                        std::stop_token stop = {})
{
    return CommandRunner::run(kShell, {"-c", script}, kPlainEnv, timeout, options, std::move(stop));
}

// A run of a script that prints "started" once it is ready for its time-out: the first of a few
// time-outs, each longer, that found it ready (a loaded machine may not have started the child
// by the first), and how long that run took.
struct ReadyRun
{
    veldo::Result<CommandRunner::Output> out;
    std::chrono::milliseconds timeout;
    Clock::duration took;
};

ReadyRun shReadyAtTimeOut(const std::string& script)
{
    for (std::chrono::milliseconds timeout = 300ms;; timeout *= 4) {
        const auto start = Clock::now();
        auto out = sh(script, timeout);
        const auto took = Clock::now() - start;
        if (!out || out->stdout == "started\n" || timeout >= 4s)
            return {std::move(out), timeout, took};
    }
}

// Requests a stop through `source` once the file `ready` exists (a child made it), or after 20 s
// without it, and notes when it did.
class StopWhenReady
{
public:
    StopWhenReady(std::stop_source& source, std::string ready)
        : m_thread([this, &source, ready = std::move(ready)] {
              const auto giveUp = Clock::now() + 20s;
              while (::access(ready.c_str(), F_OK) != 0 && Clock::now() < giveUp)
                  std::this_thread::sleep_for(1ms);
              m_requestedAt = Clock::now();
              source.request_stop();
          })
    {
    }
    // Once the stop has been requested.
    Clock::time_point requestedAt()
    {
        m_thread.join();
        return m_requestedAt;
    }

private:
    Clock::time_point m_requestedAt;
    std::thread m_thread;
};

} // namespace

TEST(CommandRunner, CollectsOutputAndStatus)
{
    auto out = sh("printf 'to out'; printf 'to err' >&2; exit 3");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, (CommandRunner::Output{"to out", "to err", 3, false, false}));

    // A signal that ends the child is its code.
    out = sh("kill -9 $$");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->code, 9);
    EXPECT_FALSE(out->timedOut);
}

TEST(CommandRunner, InvalidUtf8BecomesReplacementCharacters)
{
    auto out = sh("printf '\\377ok\\300'; printf '\\340\\200' >&2");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "\xEF\xBF\xBDok\xEF\xBF\xBD");
    EXPECT_NE(out->stderr.find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(out->stderr.find('\xE0'), std::string::npos);
}

TEST(CommandRunner, ChildSeesExactlyTheGivenEnvironment)
{
    auto out = CommandRunner::run(MacPath("/usr/bin/env"), {},
                                  {{"A", "1"}, {"B", "two words"}, {"", "dropped"}}, 10s);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "A=1\nB=two words\n");

    out = CommandRunner::run(MacPath("/usr/bin/env"), {}, {}, 10s);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "");
}

TEST(CommandRunner, ChildGetsNullInputAndOnlyTheStandardDescriptors)
{
    // Opened without close-on-exec on purpose: it must still not reach the child.
    veldo::UniqueFd stray(::open("/dev/null", O_RDONLY)); // NOLINT(android-cloexec-open)
    ASSERT_TRUE(stray.valid());
    const std::string fd = std::to_string(stray.get());
    auto out = sh("readlink /proc/self/fd/0; if [ -e /proc/self/fd/" + fd +
                  " ]; then echo leaked; fi; cat; echo end");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "/dev/null\nend\n");
}

TEST(CommandRunner, ProgramsThatCannotStartSayWhy)
{
    FakeMac mac;
    mac.write("/usr/local/bin/not-executable"_mac, "#!/bin/sh\necho hi\n", 0644);
    mac.mkdir("/usr/local/bin/folder"_mac);
    const std::pair<const char*, int> cases[] = {
        {"/usr/local/bin/missing", ENOENT},
        {"/usr/local/bin/not-executable", EACCES},
        {"/usr/local/bin/folder", EACCES},
        {"/bin/sh", ENOENT}, // no /bin/sh in the fake Mac
    };
    for (const auto& [path, err] : cases) {
        const auto out = CommandRunner::run(MacPath(path), {}, kPlainEnv, 5s);
        ASSERT_FALSE(out.has_value()) << path;
        EXPECT_EQ(out.error().code, veldo::ErrorCode::ioFailure) << path;
        EXPECT_EQ(out.error().systemErrno, err) << path;
        // The failure names the program by its Mac path, never by where it lies on the host.
        EXPECT_EQ(out.error().path, path);
    }
}

TEST(CommandRunner, RunsTheProgramAtItsMacPath)
{
    FakeMac mac;
    mac.write("/opt/homebrew/Cellar/tool/bin/tool"_mac, "#!/bin/sh\necho \"tool $1\"\n", 0755);
    // An absolute link target is taken inside the fake Mac.
    mac.symlink("/opt/homebrew/bin/tool"_mac, "/opt/homebrew/Cellar/tool/bin/tool");
    auto out = CommandRunner::run(MacPath("/opt/homebrew/bin/tool"), {"--version"}, kPlainEnv, 5s);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "tool --version\n");
    EXPECT_EQ(out->code, 0);
}

TEST(CommandRunner, StartsTheFileItOpenedInsideTheRoot)
{
    FakeMac mac(FakeMac::Storage::memory);
    mac.write("/usr/local/d/tool"_mac, "#!/bin/sh\necho \"real $0\"\ncd \"${0%/*}\" && pwd -P\n",
              0755);

    // A script is started by its name in a descriptor of its folder, which stays open for it:
    // its "$0" leads to its real folder. A program started from a descriptor does not keep it.
    auto script = CommandRunner::run("/usr/local/d/tool"_mac, {}, kPlainEnv, 5s);
    ASSERT_OK(script);
    EXPECT_EQ(script->stdout,
              "real /dev/fd/3/tool\n" +
                  std::filesystem::canonical(mac.host("/usr/local/d"_mac)).string() + "\n");
    auto program = CommandRunner::runHostProgram(
        veldo::platform::HostPath("/bin/sh"),
        {"-c", "if [ -e /proc/$$/fd/3 ]; then echo open; else echo closed; fi"}, kPlainEnv, 5s);
    ASSERT_OK(program);
    EXPECT_EQ(program->stdout, "closed\n");

    // While its folder keeps turning into a link to a folder outside the root, the program
    // started is always the one inside (or none, when the link was in place). Each start is a
    // process: the rounds end after a few hundred starts or once the time for them is spent,
    // whichever comes first, so that a loaded machine runs fewer of them rather than running long.
    // Rounds that meet the link cost next to nothing and do not count, so a racer thread that
    // waits for the processor with the link in place does not use them up.
    RootRacer racer(mac, "/usr/local/d"_mac);
    racer.writeCanary("tool", "#!/bin/sh\necho canary\n");
    ASSERT_EQ(::chmod((racer.canary() + "/tool").c_str(), 0755), 0);
    constexpr int kStarts = 250;
    constexpr auto kRoundsTime = 700ms;
    racer.start();
    const auto roundsEnd = Clock::now() + kRoundsTime;
    int escapes = 0;
    int started = 0;
    int rounds = 0;
    for (; started < kStarts && Clock::now() < roundsEnd; ++rounds) {
        const auto out = CommandRunner::run("/usr/local/d/tool"_mac, {}, kPlainEnv, 5s);
        if (!out)
            continue;
        ++started;
        if (out->stdout == "canary\n")
            ++escapes;
    }
    racer.stop();
    EXPECT_GT(racer.swaps(), 0u);
    EXPECT_GT(started, 0) << "none of " << rounds << " rounds started the program";
    EXPECT_EQ(escapes, 0) << "the canary ran in " << escapes << " of " << started << " starts";
}

TEST(CommandRunner, DrainsBothPipesWhileTheChildRuns)
{
    // 2 MiB on each pipe, standard error first: a reader that waits on one pipe, or for the
    // child's end, would leave the child blocked on a full pipe.
    auto out = sh("head -c 2097152 /dev/zero | tr '\\0' e >&2; head -c 2097152 /dev/zero | tr "
                  "'\\0' o");
    ASSERT_TRUE(out.has_value());
    EXPECT_FALSE(out->timedOut);
    EXPECT_EQ(out->code, 0);
    ASSERT_EQ(out->stdout.size(), 2097152u);
    ASSERT_EQ(out->stderr.size(), 2097152u);
    EXPECT_EQ(std::count(out->stdout.begin(), out->stdout.end(), 'o'), 2097152);
    EXPECT_EQ(std::count(out->stderr.begin(), out->stderr.end(), 'e'), 2097152);
}

TEST(CommandRunner, FeedsStandardInputWhileDrainingBothPipes)
{
    // 3 MiB in, and 2 MiB to standard error before the child reads a byte: a runner that wrote
    // all input first would wait on a full input pipe while the child waits on a full error pipe.
    std::string input(3u << 20, 'i');
    input.back() = 'z';
    auto options = kShortWaits;
    options.standardInput = input;
    auto out = sh("head -c 2097152 /dev/zero >&2; cat; echo end", 30s, options);
    ASSERT_TRUE(out.has_value());
    EXPECT_FALSE(out->timedOut);
    EXPECT_EQ(out->code, 0);
    EXPECT_EQ(out->stderr.size(), 2097152u);
    EXPECT_EQ(out->stdout, input + "end\n");

    // A child that never reads its input ends normally; the runner is not hurt by the closed
    // pipe (no SIGPIPE); an empty text is an input that ends at once.
    out = sh("exec <&-; echo done", 30s, options);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "done\n");
    options.standardInput = "";
    out = sh("wc -c", 30s, options);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "0\n");
}

TEST(CommandRunner, StartsInTheGivenWorkingFolder)
{
    FakeMac mac;
    auto options = kShortWaits;
    options.workingDirectory = "/private/tmp"_mac;
    auto out = CommandRunner::runHostProgram(veldo::platform::HostPath("/bin/sh"), {"-c", "pwd -P"},
                                             kPlainEnv, 10s, options);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, mac.host("/private/tmp"_mac) + "\n");

    options.workingDirectory = "/missing"_mac;
    out = CommandRunner::runHostProgram(veldo::platform::HostPath("/bin/sh"), {"-c", "pwd"},
                                        kPlainEnv, 10s, options);
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().systemErrno, ENOENT);
}

TEST(CommandRunner, KeepsAtMost64MiBOfEachStream)
{
    // 1,000 bytes past the bound: the rest is read and dropped, so the child still ends by
    // itself, and the output says it was cut.
    auto out = sh("head -c 67109864 /dev/zero; printf e >&2");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->code, 0);
    EXPECT_FALSE(out->timedOut);
    EXPECT_TRUE(out->truncated);
    EXPECT_EQ(out->stdout.size(), CommandRunner::kMaxOutputBytes);
    EXPECT_EQ(out->stderr, "e");

    out = sh("head -c 1000 /dev/zero");
    ASSERT_TRUE(out.has_value());
    EXPECT_FALSE(out->truncated);
    EXPECT_EQ(out->stdout.size(), 1000u);
}

TEST(CommandRunner, AnEndlessWriterKeepsTheBoundUntilItsTimeOut)
{
    // Needs the child to pass 64 MiB before the time-out, which a loaded machine's debug build
    // may take tens of seconds to read: a run that ended short of it is made again with a longer
    // time-out (the test is labelled long).
    veldo::Result<CommandRunner::Output> out = veldo::Error::make(veldo::ErrorCode::cancelled);
    for (auto timeout = 4s; timeout <= 4s * 9; timeout *= 3) {
        out = sh("exec cat /dev/zero", timeout);
        if (!out || out->stdout.size() == CommandRunner::kMaxOutputBytes)
            break;
    }
    ASSERT_TRUE(out.has_value());
    EXPECT_TRUE(out->timedOut);
    EXPECT_TRUE(out->truncated);
    EXPECT_EQ(out->stdout.size(), CommandRunner::kMaxOutputBytes);
}

TEST(CommandRunner, TimeOutEndsTheChildWithSigterm)
{
    const ReadyRun run = shReadyAtTimeOut("echo started; exec sleep 30");
    ASSERT_TRUE(run.out.has_value());
    EXPECT_TRUE(run.out->timedOut);
    EXPECT_EQ(run.out->code, 15);
    EXPECT_EQ(run.out->stdout, "started\n");
    EXPECT_LT(run.took, run.timeout + 1200ms);
}

TEST(CommandRunner, ChildIgnoringSigtermIsKilledAfterTheGrace)
{
    const ReadyRun run = shReadyAtTimeOut("trap '' TERM; echo started; exec sleep 30");
    ASSERT_TRUE(run.out.has_value());
    EXPECT_TRUE(run.out->timedOut);
    EXPECT_EQ(run.out->code, 9);
    EXPECT_EQ(run.out->stdout, "started\n");
    EXPECT_GE(run.took, run.timeout + kShortWaits.terminateGrace - 50ms);
    // Well inside time-out + grace + 2 × drain wait, and nowhere near the child's own 30 s.
    EXPECT_LT(run.took, run.timeout + kShortWaits.terminateGrace + 2 * kShortWaits.outputDrainWait);
}

TEST(CommandRunner, DescendantHoldingThePipesDelaysAtMostTheDrainWaitEach)
{
    const auto start = Clock::now();
    auto out = sh("sleep 9 & echo done");
    const auto took = Clock::now() - start;
    ASSERT_TRUE(out.has_value());
    EXPECT_FALSE(out->timedOut);
    EXPECT_EQ(out->code, 0);
    EXPECT_EQ(out->stdout, "done\n");
    EXPECT_GE(took, 2 * kShortWaits.outputDrainWait - 50ms);
    EXPECT_LT(took, 2 * kShortWaits.outputDrainWait + 1s);
}

TEST(CommandRunner, AStopEndsTheChildAndAnswersCancelled)
{
    // A child that ends on SIGTERM: the call returns right after the request, without waiting
    // for the pipes that a descendant still holds (up to the drain wait, twice). One that ignores
    // SIGTERM is killed after the grace. Each is stopped once it is ready (its file made).
    CommandRunner::RunOptions options = kShortWaits;
    options.outputDrainWait = CommandRunner::kOutputDrainWait;
    const std::string ready = "/tmp/veldo-runner-ready-" + std::to_string(::getpid());
    const struct
    {
        std::string script;
        std::chrono::milliseconds atLeast;
    } cases[] = {
        {"sleep 9 & : >'" + ready + "'; exec sleep 30", 0ms},
        {"trap '' TERM; : >'" + ready + "'; exec sleep 30", options.terminateGrace - 20ms},
    };
    for (const auto& c : cases) {
        ::unlink(ready.c_str());
        std::stop_source source;
        StopWhenReady stop(source, ready);
        auto out = sh(c.script, 30s, options, source.get_token());
        const auto after = Clock::now() - stop.requestedAt();
        ASSERT_FALSE(out.has_value()) << c.script;
        EXPECT_EQ(out.error().code, veldo::ErrorCode::cancelled) << c.script;
        EXPECT_GE(after, c.atLeast) << c.script;
        EXPECT_LT(after, c.atLeast + 1s) << c.script;
    }
    ::unlink(ready.c_str());
    // A stop requested before the start runs nothing.
    std::stop_source source;
    source.request_stop();
    const std::string marker = "/tmp/veldo-runner-stopped-" + std::to_string(::getpid());
    ::unlink(marker.c_str());
    auto out = sh("touch '" + marker + "'", 30s, kShortWaits, source.get_token());
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().code, veldo::ErrorCode::cancelled);
    EXPECT_EQ(::access(marker.c_str(), F_OK), -1);

    // A token that is never stopped changes nothing.
    std::stop_source unused;
    out = sh("echo fine", 30s, kShortWaits, unused.get_token());
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "fine\n");
}

TEST(CommandRunner, UserEnvironmentFindsStandInsAndHostTools)
{
    FakeMac mac;
    mac.write("/usr/local/bin/helper-tool"_mac, "#!/bin/sh\necho helper ran\n", 0755);
    // A stand-in brew that calls another stand-in by name, and a real host tool.
    mac.write("/opt/homebrew/bin/brew"_mac,
              "#!/bin/sh\nhelper-tool\necho \"$VELDO_TEST_MARK\" | tr a-z A-Z\n", 0755);
    const auto brew = CommandRunner::which("brew", *CommandRunner::searchPath(),
                                           CommandRunner::commandLineToolsInstalled());
    ASSERT_TRUE(brew.has_value());
    EXPECT_EQ(*brew, MacPath("/opt/homebrew/bin/brew"));

    ::setenv("VELDO_TEST_MARK", "marked", 1); // NOLINT(concurrency-mt-unsafe): single-threaded test
    auto out = CommandRunner::runWithUserEnvironment(*brew, {}, 10s);
    ::unsetenv("VELDO_TEST_MARK"); // NOLINT(concurrency-mt-unsafe)
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "helper ran\nMARKED\n") << out->stderr;
}
