// The listener over a real socket: serving and bad input, refusal when the build floor failed,
// and the idle exit, each with a daemon in a child process and a short idle time.
#include "helper/HelperListener.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/HelperVersionReply.h"
#include "common/VeldoHelperProtocol.h"
#include "helper/CredentialedFrame.h"
#include "helper/HelperLog.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The test process is its own client: a process passes while it runs.
std::optional<std::string> runningProcess(const PinnedProcess& process)
{
    if (pidOfProcessDescriptor(process.pidfd.get()) != process.pid)
        return std::string("it has gone");
    return std::nullopt;
}

// A daemon's listener serving a socket in a temporary folder, in a child process.
class ListenerProcess
{
public:
    ListenerProcess(bool acceptsConnections, HelperListener::Seconds idleTimeout,
                    HelperListener::Limits limits = {})
    {
        char folder[] = "/tmp/veldo-listener-XXXXXX";
        EXPECT_NE(::mkdtemp(folder), nullptr);
        m_folder = folder;
        m_address.sun_family = AF_UNIX;
        const std::string path = m_folder + "/s";
        path.copy(m_address.sun_path, sizeof m_address.sun_path - 1);
        base::UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        EXPECT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&m_address), sizeof m_address),
                  0);
        // As the activator binds it: connections made before the child listens carry their
        // writers too.
        EXPECT_TRUE(enableWriterCredentials(socket.get(), false));
        EXPECT_EQ(::listen(socket.get(), 16), 0);
        // Reachable by test users' connections.
        ::chmod(m_folder.c_str(), 0755);
        ::chmod(path.c_str(), 0666);
        m_started = Clock::now();
        m_pid = ::fork();
        if (m_pid == 0) {
            testing::setSyslogEnabled(false);
            const int log = ::open(logPath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ::dup2(log, STDERR_FILENO);
            auto* listener = new HelperListener(acceptsConnections, runningProcess, idleTimeout, {},
                                                true, limits);
            listener->listen(std::move(socket));
            listener->queue().async([listener] { listener->armIdleTimer(); });
            for (;;)
                ::pause();
        }
    }
    ~ListenerProcess()
    {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        std::filesystem::remove_all(m_folder);
    }

    base::UniqueFd connect() const
    {
        base::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        EXPECT_EQ(
            ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address),
            0);
        return fd;
    }

    // The exit status once the daemon has ended within `limit`; none while it runs.
    std::optional<int> waitExit(std::chrono::milliseconds limit)
    {
        const auto deadline = Clock::now() + limit;
        do {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                m_ended = Clock::now();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        } while (Clock::now() < deadline);
        return std::nullopt;
    }

    Clock::duration lifetime() const { return m_ended - m_started; }

    std::string logPath() const { return m_folder + "/log"; }
    std::string log() const
    {
        std::ifstream in(logPath(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // How many lines of the log hold `text`.
    std::size_t linesWith(std::string_view text) const
    {
        std::size_t count = 0;
        const std::string all = log();
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++count;
        return count;
    }

private:
    std::string m_folder;
    sockaddr_un m_address{};
    pid_t m_pid = -1;
    bool m_exited = false;
    Clock::time_point m_started;
    Clock::time_point m_ended;
};

std::string versionEnvelope()
{
    return *common::HelperRequestEnvelope{common::HelperMethod::version, {}}.encodeJSON();
}

std::optional<std::string> exchange(int fd, std::string_view payload)
{
    if (!common::writeFrame(fd, payload))
        return std::nullopt;
    auto reply = common::readFrame(fd, Clock::now() + 5s);
    return reply && *reply ? std::optional(**reply) : std::nullopt;
}

// True when the daemon closed `fd` (a read sees the end) within five seconds.
bool closedByDaemon(int fd)
{
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 5000) != 1)
        return false;
    char byte = 0;
    const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno == ECONNRESET);
}

TEST(HelperListener, VersionAndBadInputOverTheSocket)
{
    ListenerProcess daemon(true, 30s);
    const auto version = exchange(daemon.connect().get(), versionEnvelope());
    ASSERT_TRUE(version);
    EXPECT_EQ(common::HelperVersionReply::decodeJSON(*version)->protocolVersion, 3);

    const std::string unreadable =
        *common::HelperReplyEnvelope::withError(std::string(common::kHelperErrorUnreadableRequest))
             .encodeJSON();
    std::string deep(5000, '[');
    deep += std::string(5000, ']');
    for (const std::string& payload :
         {std::string("{\"method\":\"version\"\xff}"), std::string(R"({"method":"eraseAll"})"),
          R"({"method":"version","request":)" + deep + "}"}) {
        const auto fd = daemon.connect();
        EXPECT_EQ(exchange(fd.get(), payload), unreadable) << payload.substr(0, 40);
        EXPECT_TRUE(closedByDaemon(fd.get()));
    }

    {
        // A header over the limit is answered from the header alone.
        const auto fd = daemon.connect();
        const unsigned char header[4] = {0x01, 0x00, 0x00, 0x01};
        ASSERT_EQ(::send(fd.get(), header, 4, MSG_NOSIGNAL), 4);
        const auto reply = common::readFrame(fd.get(), Clock::now() + 5s);
        ASSERT_TRUE(reply && *reply);
        EXPECT_EQ(**reply, unreadable);
    }
    {
        // A truncated frame and a half-close: answered, then closed.
        const auto fd = daemon.connect();
        const unsigned char partial[6] = {0x00, 0x00, 0x00, 0x10, '{', '"'};
        ASSERT_EQ(::send(fd.get(), partial, 6, MSG_NOSIGNAL), 6);
        ::shutdown(fd.get(), SHUT_WR);
        const auto reply = common::readFrame(fd.get(), Clock::now() + 5s);
        ASSERT_TRUE(reply && *reply);
        EXPECT_EQ(**reply, unreadable);
    }
    {
        // A client gone mid-frame, and one gone before its reply.
        auto fd = daemon.connect();
        const unsigned char partial[5] = {0x00, 0x00, 0x00, 0x10, '{'};
        ASSERT_EQ(::send(fd.get(), partial, 5, MSG_NOSIGNAL), 5);
        fd.reset();
        auto early = daemon.connect();
        ASSERT_TRUE(common::writeFrame(early.get(), versionEnvelope()));
        early.reset();
    }
    EXPECT_FALSE(daemon.waitExit(200ms)) << "the daemon still serves";
    EXPECT_TRUE(exchange(daemon.connect().get(), versionEnvelope()));
}

// A connection made and held by a child process running as `user`, which first exchanges one
// version call; served() says whether it was answered.
class ConnectionAs
{
public:
    ConnectionAs(const ListenerProcess& daemon, const veldo::testsupport::TestUser& user)
    {
        int control[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(control[0]);
            if (::setgroups(0, nullptr) != 0 || ::setresgid(user.gid(), user.gid(), user.gid()) ||
                ::setresuid(user.uid(), user.uid(), user.uid()) != 0)
                ::_exit(2);
            const auto fd = daemon.connect();
            const char answer = exchange(fd.get(), versionEnvelope()) ? 'y' : 'n';
            (void)::write(control[1], &answer, 1);
            char byte = 0;
            (void)::read(control[1], &byte, 1); // until the test lets go
            ::_exit(0);
        }
        ::close(control[1]);
        m_control = base::UniqueFd(control[0]);
        char answer = 0;
        m_served = ::read(m_control.get(), &answer, 1) == 1 && answer == 'y';
    }
    ~ConnectionAs()
    {
        m_control.reset();
        ::waitpid(m_pid, nullptr, 0);
    }
    bool served() const { return m_served; }

private:
    pid_t m_pid = -1;
    base::UniqueFd m_control;
    bool m_served = false;
};

TEST(HelperListener, ConnectionsBeyondTheLimitsAreClosedWithOneLineEachTime)
{
    HelperListener::Limits limits;
    limits.connections = 3;
    limits.connectionsPerAccount = 2;
    ListenerProcess daemon(true, 30s, limits);
    const std::string perAccount = "connections open, the most one account may have";
    const std::string inAll = "connections are open, the most the helper serves at once";

    std::vector<base::UniqueFd> held;
    for (int i = 0; i < 2; ++i) {
        held.push_back(daemon.connect());
        EXPECT_TRUE(exchange(held.back().get(), versionEnvelope()));
    }
    // The account's third and fourth: closed at once, one line.
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(closedByDaemon(daemon.connect().get()));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(daemon.linesWith(perAccount), 1u) << daemon.log();

    // Once one of the account's connections ends it may open one again, and the next one past the
    // limit has its line again. (Before another account connects: a connection whose end the
    // listener hasn't seen yet still counts against the limit of all connections.)
    held.pop_back();
    const auto deadline = Clock::now() + 5s;
    std::optional<std::string> answered;
    while (!answered && Clock::now() < deadline) {
        held.push_back(daemon.connect());
        answered = exchange(held.back().get(), versionEnvelope());
        if (!answered)
            held.pop_back(); // the listener hadn't seen the end yet
    }
    EXPECT_TRUE(answered);
    EXPECT_TRUE(closedByDaemon(daemon.connect().get()));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(daemon.linesWith(perAccount), 2u) << daemon.log();

    // Another account is served beside them, up to the limit of all connections.
    auto other = veldo::testsupport::TestUser::make();
    if (!other)
        GTEST_SKIP() << "another account needs root";
    const ConnectionAs third(daemon, *other);
    EXPECT_TRUE(third.served());
    const ConnectionAs fourth(daemon, *other);
    EXPECT_FALSE(fourth.served());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(daemon.linesWith(inAll), 1u) << daemon.log();
    EXPECT_EQ(daemon.linesWith(perAccount), 2u) << daemon.log();
}

TEST(HelperListener, AFrameNotWholeInTimeIsClosedAndTheIdleExitFollows)
{
    HelperListener::Limits limits;
    limits.wholeFrame = HelperListener::Seconds(0.3);
    ListenerProcess daemon(true, 500ms, limits);
    // Idle before its first byte, a connection may wait as long as it likes.
    auto idle = daemon.connect();
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(exchange(idle.get(), versionEnvelope()));
    idle.reset();

    const auto stalled = daemon.connect();
    const unsigned char partial[5] = {0x00, 0x00, 0x00, 0x10, '{'};
    ASSERT_EQ(::send(stalled.get(), partial, 5, MSG_NOSIGNAL), 5);
    const auto sent = Clock::now();
    const auto reply = common::readFrame(stalled.get(), Clock::now() + 5s);
    EXPECT_GE(Clock::now() - sent, 250ms);
    ASSERT_TRUE(reply && *reply);
    EXPECT_EQ(**reply, *common::HelperReplyEnvelope::withError(
                            std::string(common::kHelperErrorUnreadableRequest))
                            .encodeJSON());
    EXPECT_TRUE(closedByDaemon(stalled.get()));
    EXPECT_EQ(daemon.linesWith("a request didn't arrive whole within 0.3 seconds"), 1u)
        << daemon.log();
    // The stalled sender holds its end open: it no longer keeps the daemon from leaving.
    EXPECT_EQ(daemon.waitExit(3s), 0);
}

TEST(HelperListener, RefusingDaemonClosesEveryConnectionAndLeavesAtTheIdleTime)
{
    ListenerProcess daemon(false, 1s);
    for (int i = 0; i < 3; ++i) {
        const auto fd = daemon.connect();
        (void)common::writeFrame(fd.get(), versionEnvelope()); // may meet the closed socket
        EXPECT_TRUE(closedByDaemon(fd.get()));
    }
    EXPECT_EQ(daemon.waitExit(5s), 0);
    EXPECT_GE(daemon.lifetime(), 1s);
    EXPECT_LT(daemon.lifetime(), 3s);
}

TEST(HelperListener, IdleExitCountsOpenConnections)
{
    {
        // Nobody connects: it leaves after the idle time.
        ListenerProcess daemon(true, 500ms);
        EXPECT_EQ(daemon.waitExit(5s), 0);
        EXPECT_GE(daemon.lifetime(), 500ms);
    }
    {
        // Two connections: it stays while either is open and leaves one idle time after the last.
        ListenerProcess daemon(true, 500ms);
        auto first = daemon.connect();
        auto second = daemon.connect();
        ASSERT_TRUE(exchange(first.get(), versionEnvelope()));
        ASSERT_TRUE(exchange(second.get(), versionEnvelope()));
        EXPECT_FALSE(daemon.waitExit(1500ms));
        first.reset();
        EXPECT_FALSE(daemon.waitExit(1000ms));
        const auto closed = Clock::now();
        second.reset();
        EXPECT_EQ(daemon.waitExit(5s), 0);
        EXPECT_GE(Clock::now() - closed, 500ms);
    }
    {
        // A new connection in the idle time cancels that exit; the next one comes after it goes.
        ListenerProcess daemon(true, 800ms);
        {
            const auto fd = daemon.connect();
            ASSERT_TRUE(exchange(fd.get(), versionEnvelope()));
        }
        std::this_thread::sleep_for(400ms);
        auto later = daemon.connect();
        ASSERT_TRUE(exchange(later.get(), versionEnvelope()));
        EXPECT_FALSE(daemon.waitExit(1200ms));
        later.reset();
        EXPECT_EQ(daemon.waitExit(5s), 0);
    }
}

} // namespace
} // namespace veldo::helper
