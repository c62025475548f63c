// Running child programs: output, exit codes, environment, descriptors, time-outs and pipes
// that stay open.
#include "app/core/CommandRunner.h"

#include <algorithm>
#include <chrono>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/UniqueFd.h"
#include "tests/support/FakeMac.h"

using namespace veldo::core;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;

namespace {

const MacPath kShell("/bin/sh");
const CommandRunner::Environment kPlainEnv{{"PATH", "/usr/bin:/bin"}};

std::optional<CommandRunner::Output> sh(const std::string& script, double timeout = 30)
{
    return CommandRunner::run(kShell, {"-c", script}, kPlainEnv, timeout);
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(CommandRunner, CollectsOutputAndStatus)
{
    auto out = sh("printf 'to out'; printf 'to err' >&2; exit 3");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, (CommandRunner::Output{"to out", "to err", 3, false}));

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
                                  {{"A", "1"}, {"B", "two words"}, {"", "dropped"}}, 10);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "A=1\nB=two words\n");

    out = CommandRunner::run(MacPath("/usr/bin/env"), {}, {}, 10);
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

TEST(CommandRunner, ProgramsThatCannotStartGiveNone)
{
    FakeMac mac;
    mac.write("/usr/local/bin/not-executable", "#!/bin/sh\necho hi\n", 0644);
    mac.mkdir("/usr/local/bin/folder");
    for (const char* path : {"/usr/local/bin/missing", "/usr/local/bin/not-executable",
                             "/usr/local/bin/folder", "/bin/sh"}) // no /bin/sh in the fake Mac
        EXPECT_FALSE(CommandRunner::run(MacPath(path), {}, kPlainEnv, 5).has_value()) << path;
}

TEST(CommandRunner, RunsTheProgramAtItsMacPath)
{
    FakeMac mac;
    mac.write("/opt/homebrew/Cellar/tool/bin/tool", "#!/bin/sh\necho \"tool $1\"\n", 0755);
    // An absolute link target is taken inside the fake Mac.
    mac.symlink("/opt/homebrew/bin/tool", "/opt/homebrew/Cellar/tool/bin/tool");
    auto out = CommandRunner::run(MacPath("/opt/homebrew/bin/tool"), {"--version"}, kPlainEnv, 5);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "tool --version\n");
    EXPECT_EQ(out->code, 0);
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

TEST(CommandRunner, TimeOutEndsTheChildWithSigterm)
{
    const auto start = std::chrono::steady_clock::now();
    auto out = sh("echo started; exec sleep 30", 0.3);
    const double took = secondsSince(start);
    ASSERT_TRUE(out.has_value());
    EXPECT_TRUE(out->timedOut);
    EXPECT_EQ(out->code, 15);
    EXPECT_EQ(out->stdout, "started\n");
    EXPECT_LT(took, 2.5);
}

TEST(CommandRunner, ChildIgnoringSigtermIsKilledThreeSecondsLater)
{
    const auto start = std::chrono::steady_clock::now();
    auto out = sh("trap '' TERM; echo started; exec sleep 30", 0.5);
    const double took = secondsSince(start);
    ASSERT_TRUE(out.has_value());
    EXPECT_TRUE(out->timedOut);
    EXPECT_EQ(out->code, 9);
    EXPECT_EQ(out->stdout, "started\n");
    EXPECT_GE(took, 0.5 + CommandRunner::kTerminateGrace - 0.1);
    // Well inside time-out + 3 s + 2 × 3 s, and nowhere near the child's own 30 s.
    EXPECT_LT(took, 0.5 + CommandRunner::kTerminateGrace + 2 * CommandRunner::kOutputDrainWait);
}

TEST(CommandRunner, DescendantHoldingThePipesDelaysAtMostThreeSecondsEach)
{
    const auto start = std::chrono::steady_clock::now();
    auto out = sh("sleep 9 & echo done", 30);
    const double took = secondsSince(start);
    ASSERT_TRUE(out.has_value());
    EXPECT_FALSE(out->timedOut);
    EXPECT_EQ(out->code, 0);
    EXPECT_EQ(out->stdout, "done\n");
    EXPECT_GE(took, 2 * CommandRunner::kOutputDrainWait - 0.2);
    EXPECT_LT(took, 2 * CommandRunner::kOutputDrainWait + 2);
}

TEST(CommandRunner, UserEnvironmentFindsStandInsAndHostTools)
{
    FakeMac mac;
    mac.write("/usr/local/bin/helper-tool", "#!/bin/sh\necho helper ran\n", 0755);
    // A stand-in brew that calls another stand-in by name, and a real host tool.
    mac.write("/opt/homebrew/bin/brew",
              "#!/bin/sh\nhelper-tool\necho \"$VELDO_TEST_MARK\" | tr a-z A-Z\n", 0755);
    const auto brew = CommandRunner::which("brew", CommandRunner::searchPath(),
                                           CommandRunner::commandLineToolsInstalled());
    ASSERT_TRUE(brew.has_value());
    EXPECT_EQ(*brew, MacPath("/opt/homebrew/bin/brew"));

    ::setenv("VELDO_TEST_MARK", "marked", 1); // NOLINT(concurrency-mt-unsafe): single-threaded test
    auto out = CommandRunner::runWithUserEnvironment(*brew, {}, 10);
    ::unsetenv("VELDO_TEST_MARK"); // NOLINT(concurrency-mt-unsafe)
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->stdout, "helper ran\nMARKED\n") << out->stderr;
}
