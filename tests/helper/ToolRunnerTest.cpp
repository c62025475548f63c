// The helper's tool runner: output, time limit, grace, the tool-path check and the launchctl
// binding, with real child processes in a fake Mac.
#include "helper/ToolRunner.h"

#include <chrono>
#include <csignal>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "helper/HelperLog.h"
#include "platform/MacRoot.h"
#include "tests/helper/MoverTestSupport.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"
#include "tests/support/StandInLaunchctl.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;
using platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInLaunchctl;

class ToolRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the tool runner runs only root-owned tools: run as root";
        testing::setSyslogEnabled(false);
    }

    MacPath script(const std::string& name, const std::string& body)
    {
        return mac.write(MacPath("/usr/libexec/" + name), "#!/bin/sh\n" + body, 0755);
    }

    FakeMac mac;
};

TEST_F(ToolRunnerTest, StandardErrorAloneIsTheOutput)
{
    const MacPath tool = script("err", "printf 'to stderr\\n' >&2\nexit 3\n");
    const auto result = ToolRunner::run(tool, {"a"}, 10s, 200ms);
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.output, "to stderr\n");
    EXPECT_FALSE(result.timedOut);
}

TEST_F(ToolRunnerTest, BothStreamsArriveInOneStreamAndInvalidUtf8IsRepaired)
{
    const MacPath tool = script("both", "printf 'a'\nprintf 'b' >&2\nprintf '\\377c'\n");
    const auto result = ToolRunner::run(tool, {}, 10s, 200ms);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "ab\xEF\xBF\xBD"
                             "c");
}

TEST_F(ToolRunnerTest, TimeLimitTerminatesThenKills)
{
    const auto ended = ToolRunner::run(script("slow", "exec sleep 60\n"), {}, 300ms, 300ms);
    EXPECT_TRUE(ended.timedOut);
    EXPECT_EQ(ended.status, SIGTERM);

    // A tool that ignores SIGTERM is killed after the grace. It says so once its trap is set; a
    // loaded machine may not have got the shell that far within the limit (it then ends at
    // SIGTERM, which says nothing about the runner), so such a run is made again with a longer
    // limit.
    const MacPath stubborn = script("stubborn", "trap '' TERM\necho ignoring\nexec sleep 60\n");
    for (auto limit = 300ms;; limit *= 2) {
        const auto result = ToolRunner::run(stubborn, {}, limit, 300ms);
        EXPECT_TRUE(result.timedOut);
        if (result.output == "ignoring\n" || limit >= 5s) {
            EXPECT_EQ(result.output, "ignoring\n");
            EXPECT_EQ(result.status, SIGKILL);
            break;
        }
    }
}

TEST_F(ToolRunnerTest, GrandchildHoldingThePipeDoesNotHoldTheRun)
{
    const std::string pidFile = mac.host("/private/tmp/grandchild"_mac);
    const MacPath tool =
        script("fork", "sleep 60 &\necho $! >'" + pidFile + "'\necho started\nexit 0\n");
    const auto start = std::chrono::steady_clock::now();
    const auto result = ToolRunner::run(tool, {}, 60s, 300ms);
    const auto took = std::chrono::steady_clock::now() - start;
    const pid_t grandchild = std::stoi(mac.contents("/private/tmp/grandchild"_mac));
    ::kill(grandchild, SIGKILL);
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.output, "started\n");
    EXPECT_LT(took, 30s); // without the bound it waits for the grandchild's 60 s
}

TEST_F(ToolRunnerTest, MissingToolCannotStart)
{
    ::testing::internal::CaptureStderr();
    const auto result = ToolRunner::run("/bin/none"_mac, {"x"}, 10s, 200ms);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.output, "No such file or directory");
    EXPECT_FALSE(result.timedOut);
    EXPECT_NE(log.find("error [tools] Couldn't start /bin/none: No such file or directory"),
              std::string::npos)
        << log;
}

class LaunchctlTest : public ToolRunnerTest
{
protected:
    void SetUp() override
    {
        ToolRunnerTest::SetUp();
        if (IsSkipped())
            return;
        helper::testsupport::closeStandInToOthers(mac);
    }

    StandInLaunchctl launchctl{mac};
};

TEST_F(LaunchctlTest, RunsExactlyTheThreeArgumentsWithTheFixedPath)
{
    runLaunchctl({"bootout", "system", "/Library/LaunchDaemons/com.example.d.plist"});
    ASSERT_EQ(
        launchctl.calls(),
        std::vector<std::string>{"[bootout][system][/Library/LaunchDaemons/com.example.d.plist]"});
    ASSERT_EQ(launchctl.environments().size(), 1u);
    // The shell adds PWD itself; nothing else may come from the daemon.
    const std::string environment = launchctl.environments()[0];
    EXPECT_TRUE(environment.starts_with("PATH=/usr/bin:/bin:/usr/sbin:/sbin PWD=")) << environment;
    EXPECT_EQ(environment.find(' ', environment.find("PWD=")), std::string::npos) << environment;
}

TEST_F(LaunchctlTest, RefusedFormsRunNothing)
{
    const std::vector<std::vector<std::string>> refused = {
        {"bootout", "gui/501", "/Library/LaunchDaemons/a.plist"},
        {"kickstart", "system", "/Library/LaunchDaemons/a.plist"},
        {"bootout", "system", "/Library/LaunchDaemons/a.plist", "extra"},
        {"bootout", "system"},
        {"bootout", "system", "/Library/LaunchDaemons/Sub/a.plist"},
        {"bootout", "system", "/Library/LaunchDaemons/../LaunchAgents/a.plist"},
        {"bootout", "system", "/Library/LaunchAgents/a.plist"},
        {"bootstrap", "system", "/Library/LaunchDaemons/a.txt"},
    };
    for (const auto& arguments : refused)
        runLaunchctl(arguments);
    EXPECT_TRUE(launchctl.calls().empty());
}

TEST_F(LaunchctlTest, ToolOrFolderAnotherAccountCanChangeIsNotRun)
{
    const std::string bin = mac.host("/bin"_mac);
    const std::string tool = mac.host("/bin/launchctl"_mac);
    struct Case
    {
        const char* what;
        std::function<void()> spoil;
        std::function<void()> mend;
    };
    const auto user = veldo::testsupport::TestUser::make();
    ASSERT_TRUE(user) << "useradd failed";
    const uid_t other = user->uid();
    const std::vector<Case> cases = {
        {"bin owned by another account", [&] { ASSERT_EQ(::chown(bin.c_str(), other, 0), 0); },
         [&] { ASSERT_EQ(::chown(bin.c_str(), 0, 0), 0); }},
        {"bin writable by another group",
         [&] {
             ASSERT_EQ(::chown(bin.c_str(), 0, user->gid()), 0);
             ::chmod(bin.c_str(), 0775);
         },
         [&] {
             ASSERT_EQ(::chown(bin.c_str(), 0, 0), 0);
             ::chmod(bin.c_str(), 0755);
         }},
        {"bin writable by all", [&] { ::chmod(bin.c_str(), 0777); },
         [&] { ::chmod(bin.c_str(), 0755); }},
        {"tool owned by another account", [&] { ASSERT_EQ(::chown(tool.c_str(), other, 0), 0); },
         [&] { ASSERT_EQ(::chown(tool.c_str(), 0, 0), 0); }},
        {"tool writable by all", [&] { ::chmod(tool.c_str(), 0757); },
         [&] { ::chmod(tool.c_str(), 0755); }},
    };
    for (const Case& c : cases) {
        c.spoil();
        ::testing::internal::CaptureStderr();
        runLaunchctl({"bootstrap", "system", "/Library/LaunchDaemons/a.plist"});
        const std::string log = ::testing::internal::GetCapturedStderr();
        c.mend();
        EXPECT_TRUE(launchctl.calls().empty()) << c.what;
        EXPECT_NE(log.find("Couldn't start /bin/launchctl: Operation not permitted"),
                  std::string::npos)
            << c.what << ": " << log;
    }
    // Mended, it runs; group write by root's own group and a sticky folder pass.
    ::chmod(bin.c_str(), 01777);
    ::chmod(tool.c_str(), 0775);
    runLaunchctl({"bootstrap", "system", "/Library/LaunchDaemons/a.plist"});
    EXPECT_EQ(launchctl.calls().size(), 1u);
}

TEST_F(LaunchctlTest, ToolThatIsALinkIsNotRun)
{
    const std::string tool = mac.host("/bin/launchctl"_mac);
    ASSERT_EQ(::rename(tool.c_str(), (tool + "-real").c_str()), 0);
    ASSERT_EQ(::symlink("launchctl-real", tool.c_str()), 0);
    runLaunchctl({"bootstrap", "system", "/Library/LaunchDaemons/a.plist"});
    EXPECT_TRUE(launchctl.calls().empty());
}

} // namespace
} // namespace veldo::helper
