// The daemon's start-up, run as the real executables: the root check, the protected-folder and
// build-floor refusals, serving an inherited socket, SIGTERM and the idle exit.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "common/HelperMoveLedger.h"
#include "common/HelperRequestEnvelope.h"
#include "common/HelperVersionReply.h"
#include "helper/DaemonMain.h"
#include "tests/helper/InstalledHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
namespace helpersupport = veldo::helper::testsupport;
using namespace std::chrono_literals;
using namespace veldo::testsupport::literals;
using Clock = std::chrono::steady_clock;

// One run of a daemon executable with its standard error in a file.
class DaemonRun
{
public:
    DaemonRun(const veldo::testsupport::FakeMac& mac, const char* program, int listening = -1,
              std::optional<uid_t> user = std::nullopt)
        : m_log(mac.root() + "/daemon.log")
    {
        m_pid = ::fork();
        if (m_pid != 0)
            return;
        const int log = ::open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(log, STDERR_FILENO);
        if (listening >= 0) {
            if (listening == 3)
                ::fcntl(3, F_SETFD, 0);
            else
                ::dup2(listening, 3);
            ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
            ::setenv("LISTEN_FDS", "1", 1);
        }
        ::setenv("VELDO_MAC_ROOT", mac.root().c_str(), 1);
        ::setenv("VELDO_HELPER_IDLE_TIMEOUT", "0.5", 1);
        if (user && (::setgroups(0, nullptr) != 0 || ::setresgid(*user, *user, *user) != 0 ||
                     ::setresuid(*user, *user, *user) != 0))
            ::_exit(120);
        ::execl(program, program, nullptr);
        ::_exit(121);
    }
    ~DaemonRun()
    {
        if (!m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    std::optional<int> waitExit(std::chrono::milliseconds limit)
    {
        const auto deadline = Clock::now() + limit;
        while (!m_status && Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                std::this_thread::sleep_for(10ms);
        }
        return m_status;
    }

    pid_t pid() const { return m_pid; }
    std::string log() const
    {
        std::ifstream in(m_log);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    std::string m_log;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

class DaemonStart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the daemon runs as root: run as root";
        for (const char* folder : {"/private/var/db", "/private/var/run", "/private/var/log"})
            fs::create_directories(mac.host(platform::MacPath(folder)));
    }
    std::string state() const { return mac.host(common::stateDirectoryURL()); }

    veldo::testsupport::FakeMac mac;
};

TEST(DaemonStartLimits, SoftDescriptorLimit)
{
    EXPECT_EQ(raisedDescriptorLimit(256, RLIM_INFINITY), 4096u);
    EXPECT_EQ(raisedDescriptorLimit(256, 1024), 1024u);
    EXPECT_EQ(raisedDescriptorLimit(4095, 8192), 4096u);
    EXPECT_EQ(raisedDescriptorLimit(10240, RLIM_INFINITY), std::nullopt);
}

// The whole file in one read (a byte-wise stream iterator takes seconds over a debug build).
std::string wholeFile(const char* path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

TEST(DaemonExecutable, LinksNoQtAndHoldsNoFaultPointText)
{
    const std::string bytes = wholeFile(VELDO_HELPER_PROGRAM);
    ASSERT_FALSE(bytes.empty());
    for (const char* text : {"libQt", "move.staged", "VELDO_HELPER_FAULT",
                             "pause:", "VELDO_HELPER_IDLE_TIMEOUT", "VELDO_HELPER_PIDFD"})
        EXPECT_EQ(bytes.find(text), std::string::npos) << text;

    const std::string faulty = wholeFile(VELDO_HELPER_FAULTY_PROGRAM);
    EXPECT_NE(faulty.find("move.staged"), std::string::npos) << "the test build keeps them";
}

TEST_F(DaemonStart, NotRootExits77AndMakesNothing)
{
    const std::string logFolder = mac.root();
    ::chmod(logFolder.c_str(), 0777); // the child writes its log there
    const std::string program = helpersupport::reachableCopy(mac, VELDO_HELPER_PROGRAM);
    DaemonRun run(mac, program.c_str(), -1, veldo::testsupport::unprivilegedUid());
    EXPECT_EQ(run.waitExit(10s), 77);
    EXPECT_NE(run.log().find("Must be started by launchd as root"), std::string::npos) << run.log();
    EXPECT_FALSE(fs::exists(state()));
}

TEST_F(DaemonStart, WithoutASocketItRecordsItsBuildAndLeavesWhenIdle)
{
    DaemonRun run(mac, VELDO_HELPER_FAULTY_PROGRAM);
    EXPECT_EQ(run.waitExit(10s), 0);
    const std::string log = run.log();
    EXPECT_NE(log.find("Started, build 2"), std::string::npos) << log;
    EXPECT_NE(log.find("Idle; exiting"), std::string::npos) << log;
    std::ifstream in(state() + "/highest-build");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "2\n");
}

// The daemon's own build reads no idle time from the environment: it leaves after 60 s.
TEST_F(DaemonStart, RealDaemonLeavesAfterSixtyIdleSeconds)
{
    const auto started = Clock::now();
    DaemonRun run(mac, VELDO_HELPER_PROGRAM);
    EXPECT_FALSE(run.waitExit(55s)) << run.log();
    EXPECT_EQ(run.waitExit(20s), 0);
    EXPECT_GE(Clock::now() - started, 60s);
    EXPECT_NE(run.log().find("Idle; exiting"), std::string::npos) << run.log();
}

TEST_F(DaemonStart, UnprotectedSystemFolderRefusesAndMakesNoStateFolder)
{
    for (const char* folder : {"/private/var/db", "/private/var/run", "/"}) {
        const std::string host = mac.host(platform::MacPath(folder));
        ASSERT_EQ(::chown(host.c_str(), veldo::testsupport::unprivilegedUid(), 0), 0);
        DaemonRun run(mac, VELDO_HELPER_FAULTY_PROGRAM);
        EXPECT_EQ(run.waitExit(10s), 0) << folder;
        EXPECT_NE(run.log().find("Refusing to run: the Mac's system folders aren't protected"),
                  std::string::npos)
            << folder << run.log();
        EXPECT_FALSE(fs::exists(state())) << folder;
        ASSERT_EQ(::chown(host.c_str(), 0, 0), 0);
    }
}

TEST_F(DaemonStart, ServesItsInheritedSocketUntilSIGTERM)
{
    helpersupport::InstalledHelper::Options options;
    options.idleSeconds = 0.5;
    helpersupport::InstalledHelper helper(mac, options);
    helper.start();

    auto client = helpersupport::spawnClient(mac, helper.client(), {"wait-then-call", "{}"});
    ASSERT_EQ(client.line().value_or(""), "ready") << helper.log();
    // The signal means something only once the daemon holds it for its own wait, which it
    // does before it says it started; a loaded machine may take long to get there.
    ASSERT_TRUE(helper.logShows("Started, build 2", 30s)) << helper.log();
    // Still open, so no idle exit; SIGTERM ends it at once.
    EXPECT_FALSE(helper.waitExit(1s));
    ::kill(helper.pid(), SIGTERM);
    EXPECT_EQ(helper.waitExit(10s), 0);
    EXPECT_NE(helper.log().find("SIGTERM; stopping after the current item"), std::string::npos)
        << helper.log();
}

} // namespace
} // namespace veldo::helper
