// The listener over a real socket: serving and bad input, refusal when the build floor failed,
// and the idle exit, each with a daemon in a child process and a short idle time.
#include "helper/HelperListener.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

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
                    HelperListener::Limits limits = {}, ClientCheck check = runningProcess)
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
            auto* listener = new HelperListener(acceptsConnections, std::move(check), idleTimeout,
                                                {}, true, limits);
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

// A request envelope of at least `bytes` bytes: a version call padded with a field it ignores.
std::string paddedVersionEnvelope(std::size_t bytes)
{
    return R"({"method":"version","padding":")" + std::string(bytes, 'p') + "\"}";
}

std::string moveEnvelope(std::size_t paddingBytes = 0)
{
    return *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash,
                                          R"({"items":[],"padding":")" +
                                              std::string(paddingBytes, 'p') + "\"}"}
                .encodeJSON();
}

std::string refusalEnvelope(std::string_view sentence)
{
    return *common::HelperReplyEnvelope::withError(std::string(sentence)).encodeJSON();
}

// A connection that announces a frame of `announced` bytes and sends `sent` of them (as many as
// the daemon takes at once), then stalls.
base::UniqueFd stalledFrame(const ListenerProcess& daemon, std::uint32_t announced,
                            std::size_t sent)
{
    auto fd = daemon.connect();
    const unsigned char header[4] = {
        static_cast<unsigned char>(announced >> 24), static_cast<unsigned char>(announced >> 16),
        static_cast<unsigned char>(announced >> 8), static_cast<unsigned char>(announced)};
    (void)::send(fd.get(), header, 4, MSG_NOSIGNAL);
    const std::string body(sent, 'x');
    std::size_t at = 0;
    const auto until = Clock::now() + 300ms;
    while (at < body.size() && Clock::now() < until) {
        const ssize_t n =
            ::send(fd.get(), body.data() + at, body.size() - at, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            at += static_cast<std::size_t>(n);
        else
            std::this_thread::sleep_for(5ms);
    }
    return fd;
}

// Connections made and held by a child process running as `user`: `act` makes them (keeping them
// in its vector) and answers a character that answer() gives back; by default one connection
// that exchanges one version call, 'y' when it was answered.
class ConnectionAs
{
public:
    using Action = std::function<char(std::vector<base::UniqueFd>&)>;

    ConnectionAs(const ListenerProcess& daemon, const veldo::testsupport::TestUser& user,
                 Action act = {})
    {
        if (!act)
            act = [&daemon](std::vector<base::UniqueFd>& held) {
                held.push_back(daemon.connect());
                return exchange(held.back().get(), versionEnvelope()) ? 'y' : 'n';
            };
        int control[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(control[0]);
            if (::setgroups(0, nullptr) != 0 || ::setresgid(user.gid(), user.gid(), user.gid()) ||
                ::setresuid(user.uid(), user.uid(), user.uid()) != 0)
                ::_exit(2);
            std::vector<base::UniqueFd> held;
            const char answer = act(held);
            (void)::write(control[1], &answer, 1);
            char byte = 0;
            (void)::read(control[1], &byte, 1); // until the test lets go
            ::_exit(0);
        }
        ::close(control[1]);
        m_control = base::UniqueFd(control[0]);
        if (::read(m_control.get(), &m_answer, 1) != 1)
            m_answer = 0;
    }
    ~ConnectionAs()
    {
        m_control.reset();
        ::waitpid(m_pid, nullptr, 0);
    }
    bool served() const { return m_answer == 'y'; }
    char answer() const { return m_answer; }

private:
    pid_t m_pid = -1;
    base::UniqueFd m_control;
    char m_answer = 0;
};

TEST(HelperListener, ConnectionsBeyondTheLimitsAreClosedWithOneLineAMinute)
{
    // The test process is root: an account the helper serves nothing but its version, as it
    // serves any account that is no administrator's.
    HelperListener::Limits limits;
    limits.connections = 3;
    limits.connectionsOfOthers = 3;
    limits.connectionsPerOtherAccount = 2;
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

    // Once one of the account's connections ends it may open one again; the next one past the
    // limit is closed and, within the minute, only counted. (Before another account connects: a
    // connection whose end the listener hasn't seen yet still counts against the limits.)
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
    EXPECT_EQ(daemon.linesWith(perAccount), 1u) << daemon.log();

    // Another account is served beside them, up to the limit of all connections, and has its own
    // line.
    auto other = veldo::testsupport::TestUser::make();
    if (!other)
        GTEST_SKIP() << "another account needs root";
    const ConnectionAs third(daemon, *other);
    EXPECT_TRUE(third.served());
    const ConnectionAs fourth(daemon, *other);
    EXPECT_FALSE(fourth.served());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(daemon.linesWith(inAll), 1u) << daemon.log();
    EXPECT_EQ(daemon.linesWith(perAccount), 1u) << daemon.log();
}

TEST(HelperListener, AccountsThatAreNoAdministratorsTakeNothingAnAdministratorNeeds)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    auto first = veldo::testsupport::TestUser::make();
    auto second = veldo::testsupport::TestUser::make();
    auto third = veldo::testsupport::TestUser::make();
    if (!admin || !first || !second || !third)
        GTEST_SKIP() << "the accounts are test users: run as root";
    HelperListener::Limits limits;
    limits.connections = 8;
    limits.connectionsPerAccount = 4;
    limits.connectionsOfOthers = 3;
    limits.connectionsPerOtherAccount = 2;
    limits.frameBytes = 512 * 1024;
    limits.frameBytesPerAccount = 256 * 1024;
    limits.wholeFrame = HelperListener::Seconds(0.8);
    ListenerProcess daemon(true, 30s, limits);

    // A frame of 256 KiB stalled by each of two accounts, and idle connections of a third and of
    // root: together as many connections and as many frame bytes as the helper takes.
    const auto idle = [&daemon](int count) {
        return [&daemon, count](std::vector<base::UniqueFd>& held) {
            for (int i = 0; i < count; ++i)
                held.push_back(daemon.connect());
            return 'y';
        };
    };
    const auto stalled = [&daemon](std::vector<base::UniqueFd>& held) {
        held.push_back(stalledFrame(daemon, 256 * 1024, 200 * 1024));
        return 'y';
    };
    const ConnectionAs firstStalled(daemon, *first, stalled);
    const ConnectionAs secondStalled(daemon, *second, stalled);
    std::vector<base::UniqueFd> rootHeld;
    for (int i = 0; i < 2; ++i)
        rootHeld.push_back(daemon.connect());
    const ConnectionAs thirdIdle(daemon, *third, idle(4));
    std::this_thread::sleep_for(50ms);

    // An administrator's request of 200 KB is read whole and answered.
    const ConnectionAs served(daemon, *admin, [&daemon](std::vector<base::UniqueFd>& held) {
        held.push_back(daemon.connect());
        const auto reply = exchange(held.back().get(), paddedVersionEnvelope(200'000));
        return reply && common::HelperVersionReply::decodeJSON(*reply) ? 'y' : 'n';
    });
    EXPECT_TRUE(served.served()) << daemon.log();

    // An account that is no administrator's still has its answer, for a large request too, and its
    // connection stays in step; root's is the unidentified account's.
    const auto notAdministrator = refusalEnvelope(common::kHelperErrorNotAdministrator);
    const ConnectionAs refused(daemon, *first, [&](std::vector<base::UniqueFd>& held) {
        const auto deadline = Clock::now() + 5s;
        std::optional<std::string> small;
        while (!small && Clock::now() < deadline) { // until the stalled frame has been closed
            held.push_back(daemon.connect());
            small = exchange(held.back().get(), moveEnvelope());
        }
        const auto large = exchange(held.back().get(), moveEnvelope(200'000));
        const auto version = exchange(held.back().get(), versionEnvelope());
        return small == notAdministrator && large == notAdministrator && version ? 'y' : 'n';
    });
    EXPECT_TRUE(refused.served()) << daemon.log();
    rootHeld.clear();
    const auto deadline = Clock::now() + 5s;
    std::optional<std::string> rootAnswer;
    while (!rootAnswer && Clock::now() < deadline)
        rootAnswer = exchange(daemon.connect().get(), moveEnvelope());
    EXPECT_EQ(rootAnswer, refusalEnvelope(common::kHelperErrorUnknownAccount));
}

// A daemon that serves, whose connections each write two lines (the connection, the refusal of
// root's request), and one whose build floor failed, whose connections write one each.
class RepeatedLinesTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(RepeatedLinesTest, LinesOfOneAccountAreWrittenOnceAndCounted)
{
    const bool serving = GetParam();
    const std::string line = serving ? "Connection from pid" : "failed the rollback check";
    const int perRound = serving ? 2 : 1;
    HelperListener::Limits limits;
    limits.repeatedLines = HelperListener::Seconds(0.8);
    ListenerProcess daemon(serving, 30s, limits);
    constexpr int kRounds = 20;
    const auto started = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        const auto fd = daemon.connect();
        if (serving)
            EXPECT_EQ(exchange(fd.get(), moveEnvelope()),
                      refusalEnvelope(common::kHelperErrorUnknownAccount));
        else
            EXPECT_TRUE(closedByDaemon(fd.get()));
    }
    ASSERT_LT(Clock::now() - started, 600ms) << "the rounds didn't fit in one count";
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(daemon.linesWith(line), 1u) << daemon.log();
    std::this_thread::sleep_for(1s);
    const std::string counted = "… and " + std::to_string((kRounds - 1) * perRound) +
                                " more from uid 0 in the last 0.8 seconds";
    EXPECT_EQ(daemon.linesWith(counted), 1u) << daemon.log();

    // The next count begins with a line again, and another account has lines of its own.
    std::size_t expected = 2;
    (void)exchange(daemon.connect().get(), versionEnvelope());
    if (auto other = veldo::testsupport::TestUser::make()) {
        const ConnectionAs once(daemon, *other);
        EXPECT_EQ(once.served(), serving);
        ++expected;
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(daemon.linesWith(line), expected) << daemon.log();
}

INSTANTIATE_TEST_SUITE_P(HelperListener, RepeatedLinesTest, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Serving" : "Refusing"; });

// One account that is no administrator connecting in a loop for ten seconds, each connection
// asking for a move: the log it adds, in counting windows of one second, and what that comes to
// in an hour of one-minute windows. Prints its figures; labelled long.
TEST(HelperListener, AFloodOfOneAccountAddsABoundedLog)
{
    auto flooder = veldo::testsupport::TestUser::make();
    if (!flooder)
        GTEST_SKIP() << "the flooding account is a test user: run as root";
    HelperListener::Limits limits;
    limits.repeatedLines = HelperListener::Seconds(1.0);
    ListenerProcess daemon(true, 60s, limits);
    constexpr auto kFlood = 10s;
    const ConnectionAs flood(daemon, *flooder, [&daemon, kFlood](std::vector<base::UniqueFd>&) {
        int connections = 0;
        for (const auto until = Clock::now() + kFlood; Clock::now() < until; ++connections)
            (void)exchange(daemon.connect().get(), moveEnvelope());
        // The connections made, in thousands (the answer is one character).
        return static_cast<char>(std::min(connections / 1000, 127));
    });
    std::this_thread::sleep_for(1200ms); // the last window's count
    const std::string log = daemon.log();
    const auto windows = static_cast<double>(kFlood / 1s);
    const double perWindow = static_cast<double>(log.size()) / windows;
    const double perHour = perWindow * 60; // sixty windows of a minute
    std::cout << "one account connecting in a loop for " << windows << " s, about "
              << flood.answer() * 1000 << " connections: " << log.size() << " bytes of log, "
              << daemon.linesWith("\n") << " lines (" << daemon.linesWith(" more from uid ")
              << " of them counts), " << perWindow << " bytes a window: " << perHour / 1000
              << " kB an hour with windows of a minute\n";
    EXPECT_GT(flood.answer(), 0);
    EXPECT_LT(perHour, 100'000) << log;
    EXPECT_GE(daemon.linesWith(" more from uid " + std::to_string(flooder->uid())), 9u) << log;
}

// An administrator's client that fails the client requirement, connecting in a loop for a second,
// each time refused for a reason of its own as long as a loader variable can make it (as a client
// naming another long library each time would be): the log it adds, in counting windows of a
// quarter of a second, and what that comes to in an hour of one-minute windows. Prints its figures.
TEST(HelperListener, AnAdministratorsRefusedClientInALoopAddsABoundedLog)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    if (!admin)
        GTEST_SKIP() << "the flooding account is a test user: run as root";
    HelperListener::Limits limits;
    limits.repeatedLines = HelperListener::Seconds(0.25);
    const auto refuseEach = [checked = std::make_shared<std::atomic<long>>(0)](
                                const PinnedProcess&) -> std::optional<std::string> {
        return "its LD_PRELOAD names /Users/Shared/" + std::to_string(++*checked) + "/" +
               std::string(20'000, 'x') + ".so, which is not root's alone";
    };
    ListenerProcess daemon(true, 60s, limits, refuseEach);
    constexpr auto kFlood = 1s;
    const ConnectionAs flood(daemon, *admin, [&daemon, kFlood](std::vector<base::UniqueFd>&) {
        int connections = 0;
        for (const auto until = Clock::now() + kFlood; Clock::now() < until; ++connections) {
            const auto fd = daemon.connect();
            (void)common::writeFrame(fd.get(), versionEnvelope());
            (void)closedByDaemon(fd.get());
        }
        // The connections made, in tens (the answer is one character).
        return static_cast<char>(std::min(connections / 10, 127));
    });
    std::this_thread::sleep_for(300ms); // the last window's count
    const std::string log = daemon.log();
    const double windows = kFlood / 250ms;
    const double perWindow = static_cast<double>(log.size()) / windows;
    const double perHour = perWindow * 60; // sixty windows of a minute
    std::cout << "an administrator's refused client connecting in a loop for 1 s, about "
              << flood.answer() * 10 << " connections: " << log.size() << " bytes of log, "
              << daemon.linesWith("\n") << " lines (" << daemon.linesWith("Refusing pid")
              << " refusals, " << daemon.linesWith(" more from uid ") << " counts), " << perWindow
              << " bytes a window: " << perHour / 1000 << " kB an hour with windows of a minute\n";
    EXPECT_GT(flood.answer(), 1);
    EXPECT_LT(perHour, 100'000) << log.substr(0, 4000);
    EXPECT_GE(daemon.linesWith(" more from uid " + std::to_string(admin->uid())), 3u)
        << log.substr(0, 4000);
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
