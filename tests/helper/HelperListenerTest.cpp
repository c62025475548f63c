// The listener over a real socket: serving and bad input, refusal when the build floor failed,
// and the idle exit, each with a daemon in a child process and a short idle time.
#include "helper/HelperListener.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/HelperVersionReply.h"
#include "common/VeldoHelperProtocol.h"
#include "helper/HelperLog.h"

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
    ListenerProcess(bool acceptsConnections, HelperListener::Seconds idleTimeout)
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
        EXPECT_EQ(::listen(socket.get(), 16), 0);
        m_started = Clock::now();
        m_pid = ::fork();
        if (m_pid == 0) {
            testing::setSyslogEnabled(false);
            auto* listener = new HelperListener(acceptsConnections, runningProcess, idleTimeout);
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
