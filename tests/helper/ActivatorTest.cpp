// The activator as a real process over a fake Mac: starting the daemon on demand and again after
// its idle exit, refusing bundles, records and system folders it can't trust, and ending when
// the registration goes.
#include "helper/Activator.h"

#include <algorithm>
#include <fstream>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperMoveRequest.h"
#include "helper/ServiceDefinition.h"
#include "helper/ToolRunner.h"
#include "tests/helper/InstalledHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace veldo::testsupport::literals;
using testsupport::ClientUser;
using testsupport::InstalledHelper;

std::string versionEnvelope()
{
    return *common::HelperRequestEnvelope{common::HelperMethod::version, {}}.encodeJSON();
}

constexpr std::string_view kVersionReply = R"(reply {"protocolVersion":3,"build":"2"})";

TEST(ActivatorOptions, SpacingAndPassedVariables)
{
    std::string error;
    const auto parsed = parseActivatorOptions(
        {"--restart-spacing", "0.2", "--pass-env", "A", "--pass-env", "B"}, error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->restartSpacing, 200ms);
    EXPECT_EQ(parsed->passEnvironment, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(parseActivatorOptions({}, error)->restartSpacing, 10s);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--restart-spacing"},
                                                {"--restart-spacing", "x"},
                                                {"--restart-spacing", "-1"},
                                                {"--other", "1"}})
        EXPECT_FALSE(parseActivatorOptions(bad, error)) << bad.front();
}

TEST(ServiceDefinition, ProgramMustStayInsideTheBundle)
{
    for (const char* good : {"Contents/MacOS/orbelkan.Veldo.Helper", "a", "a/b..c"})
        EXPECT_TRUE(ServiceDefinition::isInsideBundle(good)) << good;
    for (const char* bad :
         {"", "/Contents/MacOS/x", "Contents/../../x", "..", "./x", "a//b", "a/", "a/."})
        EXPECT_FALSE(ServiceDefinition::isInsideBundle(bad)) << bad;
}

class Activator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (auto made = veldo::testsupport::TestUser::make(/*admin=*/true))
            admin.emplace(std::move(*made));
        if (!admin)
            GTEST_SKIP() << "clients are test users: run as root";
        admin->homeIn(mac);
        InstalledHelper::Options options;
        options.bindSocket = false;
        helper.emplace(mac, options);
        helper->approve();
    }
    void TearDown() override
    {
        // The activator's group holds the daemon it started.
        if (m_group > 0)
            ::kill(-m_group, SIGKILL);
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
    }

    void startActivator(std::vector<std::string> environment = {})
    {
        if (m_group > 0)
            ::kill(-m_group, SIGKILL); // what an earlier run left
        m_pid = ::fork();
        if (m_pid != 0) {
            ::setpgid(m_pid, m_pid);
            m_group = m_pid;
            return;
        }
        ::setpgid(0, 0);
        const int log = ::open(helper->activatorLogPath().c_str(),
                               O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        ::dup2(log, STDERR_FILENO);
        environment.insert(environment.end(),
                           {"VELDO_MAC_ROOT=" + mac.root(), "VELDO_HELPER_IDLE_TIMEOUT=0.5",
                            "VELDO_HELPER_PIDFD=on"});
        std::vector<char*> env;
        for (auto& variable : environment)
            env.push_back(variable.data());
        env.push_back(nullptr);
        const char* argv[] = {VELDO_HELPER_ACTIVATOR_PROGRAM,
                              "--restart-spacing",
                              "0.2",
                              "--pass-env",
                              "VELDO_HELPER_IDLE_TIMEOUT",
                              "--pass-env",
                              "VELDO_HELPER_PIDFD",
                              "--pass-env",
                              "VELDO_HELPER_FAULT",
                              nullptr};
        ::execve(argv[0], const_cast<char**>(argv), env.data());
        ::_exit(121);
    }
    std::optional<int> waitActivator(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        do {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        } while (std::chrono::steady_clock::now() < deadline);
        return std::nullopt;
    }
    bool socketAppears() const
    {
        for (int turn = 0; turn < 1000; ++turn) {
            if (fs::is_socket(fs::symlink_status(helper->socketPath())))
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    // The helper's socket by its path.
    sockaddr_un socketAddress() const
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = helper->socketPath();
        EXPECT_LT(path.size(), sizeof address.sun_path);
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        return address;
    }
    std::string daemonLogPath() const
    {
        return mac.host("/private/var/log/orbelkan.Veldo.Helper.log"_mac);
    }
    std::string daemonLog() const { return helper->log(daemonLogPath()); }
    std::string activatorLog() const { return helper->log(helper->activatorLogPath()); }
    std::string callVersion() const
    {
        auto run = testsupport::spawnClient(mac, helper->client(), {"call", versionEnvelope()},
                                            ClientUser{admin->uid(), admin->gid()});
        return run.line().value_or("");
    }
    // Waits until the daemon's log holds `text` `times` times.
    bool waitForLines(std::string_view text, std::size_t times) const
    {
        for (int turn = 0; turn < 1000; ++turn) {
            if (count(daemonLog(), text) >= times)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    static std::size_t count(const std::string& text, std::string_view what)
    {
        std::size_t found = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++found;
        return found;
    }

    veldo::testsupport::FakeMac mac;
    std::optional<veldo::testsupport::TestUser> admin;
    std::optional<InstalledHelper> helper;
    pid_t m_pid = -1;
    pid_t m_group = -1;
};

TEST_F(Activator, StartsTheDaemonOnDemandAndAgainAfterItsIdleExit)
{
    fs::remove(mac.host("/private/var/log"_mac));
    startActivator();
    ASSERT_TRUE(socketAppears()) << activatorLog();
    struct stat logFolder
    {
    };
    ASSERT_EQ(::lstat(mac.host("/private/var/log"_mac).c_str(), &logFolder), 0);
    EXPECT_EQ(logFolder.st_mode & 07777, 0755u);
    EXPECT_EQ(logFolder.st_uid, 0u);
    struct stat socket
    {
    };
    ASSERT_EQ(::lstat(helper->socketPath().c_str(), &socket), 0);
    EXPECT_EQ(socket.st_mode & 07777, 0666u);
    EXPECT_EQ(socket.st_uid, 0u);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(fs::exists(daemonLogPath())) << "nothing started before a client came";

    EXPECT_EQ(callVersion(), kVersionReply) << activatorLog() << daemonLog();
    // The daemon leaves when idle; a client connecting as it goes waits and is served by the next.
    ASSERT_TRUE(waitForLines("Idle; exiting", 1)) << daemonLog();
    EXPECT_EQ(callVersion(), kVersionReply) << activatorLog() << daemonLog();
    ASSERT_TRUE(waitForLines("Idle; exiting", 2)) << daemonLog();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(callVersion(), kVersionReply) << activatorLog() << daemonLog();
    EXPECT_EQ(count(daemonLog(), "Started, build 2"), 3u) << daemonLog();
}

TEST_F(Activator, OnlyRootRunsIt)
{
    auto run = testsupport::spawnClient(
        mac, testsupport::reachableCopy(mac, VELDO_HELPER_ACTIVATOR_PROGRAM), {},
        ClientUser{admin->uid(), admin->gid()});
    EXPECT_EQ(run.wait(), 77);
    EXPECT_FALSE(fs::exists(fs::symlink_status(helper->socketPath())));
}

// The daemon's whole environment: the search path, the Mac root, the socket's and what
// --pass-env names.
std::vector<std::string> environmentOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    std::vector<std::string> variables;
    for (std::string variable; std::getline(in, variable, '\0');)
        variables.push_back(variable);
    std::sort(variables.begin(), variables.end());
    return variables;
}

TEST_F(Activator, ARemovedRecordEndsServing)
{
    startActivator({"NOT_PASSED=1"});
    ASSERT_TRUE(socketAppears()) << activatorLog();
    // A client that stays keeps the daemon running.
    auto client = testsupport::spawnClient(mac, helper->client(), {"wait-then-call", "{}"},
                                           ClientUser{admin->uid(), admin->gid()});
    ASSERT_EQ(client.line().value_or(""), "ready");
    ASSERT_TRUE(helper->logShows("Connection from pid", 10s, daemonLogPath())) << daemonLog();
    std::ifstream children("/proc/" + std::to_string(m_pid) + "/task/" + std::to_string(m_pid) +
                           "/children");
    pid_t daemon = 0;
    ASSERT_TRUE(children >> daemon);
    EXPECT_EQ(environmentOf(daemon),
              (std::vector<std::string>{"LISTEN_FDS=1", "LISTEN_PID=" + std::to_string(daemon),
                                        std::string(ToolRunner::kPathVariable),
                                        "VELDO_HELPER_IDLE_TIMEOUT=0.5", "VELDO_HELPER_PIDFD=on",
                                        "VELDO_MAC_ROOT=" + mac.root()}));

    ASSERT_EQ(::unlink(helper->recordPath().c_str()), 0);
    EXPECT_EQ(waitActivator(10s), 0) << activatorLog();
    EXPECT_FALSE(fs::exists(fs::symlink_status(helper->socketPath())));
    EXPECT_TRUE(helper->logShows("SIGTERM; stopping after the current item", 10s, daemonLogPath()))
        << daemonLog();
}

// What the activator must not trust: it serves nothing, binds no socket and starts nothing.
TEST_F(Activator, RefusesWhatItCannotTrust)
{
    const std::string record = helper->recordPath();
    const std::string bundle = mac.host(testsupport::kTestBundle);
    const uid_t user = admin->uid();
    struct Case
    {
        const char* label;
        std::function<void()> spoil;
        std::function<void()> mend;
        const char* line;
    };
    const std::string plist =
        bundle + "/Contents/Library/LaunchDaemons/orbelkan.Veldo.Helper.plist";
    const Case cases[] = {
        {"a bundle a user can write", [&] { ::chown(bundle.c_str(), user, 0); },
         [&] { ::chown(bundle.c_str(), 0, 0); }, "Not serving"},
        {"a program a user owns", [&] { ::chown(helper->daemonProgram().c_str(), user, 0); },
         [&] { ::chown(helper->daemonProgram().c_str(), 0, 0); }, "Not serving"},
        {"a record with a second link", [&] { ::link(record.c_str(), (record + ".2").c_str()); },
         [&] { ::unlink((record + ".2").c_str()); }, "Not serving"},
        {"an unapproved record", [&] { helper->approve(false); }, [&] { helper->approve(); },
         "Not serving"},
        {"a record a user owns", [&] { ::chown(record.c_str(), user, 0); },
         [&] { ::chown(record.c_str(), 0, 0); }, "Not serving"},
        {"a record that is a link",
         [&] {
             fs::rename(record, record + ".real");
             fs::create_symlink(record + ".real", record);
         },
         [&] {
             fs::remove(record);
             fs::rename(record + ".real", record);
         },
         "Not serving"},
        {"a launchd plist naming a program outside the bundle",
         [&] { helper->writeLaunchDaemonPlist("../../Users/Shared/probe"); }, [] {}, "Not serving"},
        {"a writable /private/var/db",
         [&] { ::chown(mac.host("/private/var/db"_mac).c_str(), user, 0); },
         [&] { ::chown(mac.host("/private/var/db"_mac).c_str(), 0, 0); },
         "Refusing to run: the Mac's system folders aren't protected"},
        {"a writable /private/var/run",
         [&] { ::chown(mac.host("/private/var/run"_mac).c_str(), user, 0); },
         [&] { ::chown(mac.host("/private/var/run"_mac).c_str(), 0, 0); },
         "Refusing to run: the Mac's system folders aren't protected"},
        {"a writable Mac root", [&] { ::chown(mac.root().c_str(), user, 0); },
         [&] { ::chown(mac.root().c_str(), 0, 0); },
         "Refusing to run: the Mac's system folders aren't protected"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.label);
        fs::remove(helper->activatorLogPath());
        test.spoil();
        startActivator();
        EXPECT_EQ(waitActivator(10s), 1) << activatorLog();
        EXPECT_NE(activatorLog().find(test.line), std::string::npos) << activatorLog();
        EXPECT_FALSE(fs::exists(fs::symlink_status(helper->socketPath())));
        EXPECT_FALSE(fs::exists(daemonLogPath()));
        EXPECT_FALSE(fs::exists(mac.host("/private/var/db/orbelkan.Veldo.Helper"_mac)));
        test.mend();
    }
}

TEST_F(Activator, ReplacesOnlyAStaleSocketOfRoots)
{
    // Not a socket: refused, left as it was.
    mac.write("/private/var/run/orbelkan.Veldo.Helper.socket"_mac, "planted");
    startActivator();
    EXPECT_EQ(waitActivator(10s), 1) << activatorLog();
    EXPECT_EQ(mac.contents("/private/var/run/orbelkan.Veldo.Helper.socket"_mac), "planted");
    fs::remove(helper->socketPath());

    // A socket left by an earlier run is replaced.
    {
        const base::UniqueFd stale(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_un address = socketAddress();
        ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
                  0);
    }
    startActivator();
    ASSERT_TRUE(helper->logShows("Serving orbelkan.Veldo.Helper", 10s, helper->activatorLogPath()))
        << activatorLog();
    EXPECT_EQ(callVersion(), kVersionReply) << activatorLog() << daemonLog();
}

// The socket asks for its writers' credentials before anyone connects, so the connection that
// starts the daemon carries them before the daemon can ask for them on its listening socket: a
// stand-in daemon that asks nothing sees them.
TEST_F(Activator, TheConnectionThatStartsTheDaemonCarriesItsWriter)
{
    InstalledHelper::Options options;
    options.bindSocket = false;
    options.daemonProgram = VELDO_HELPER_PROBE; // reports the writer of its first byte
    helper.emplace(mac, options);
    helper->approve();
    startActivator();
    ASSERT_TRUE(helper->logShows("Serving orbelkan.Veldo.Helper", 10s, helper->activatorLogPath()))
        << activatorLog(); // listening
    const base::UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un address = socketAddress();
    ASSERT_EQ(::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
    ASSERT_EQ(::send(client.get(), "x", 1, MSG_NOSIGNAL), 1);
    EXPECT_TRUE(
        helper->logShows("writer " + std::to_string(::getpid()) + "\n", 10s, daemonLogPath()))
        << activatorLog() << daemonLog();
}

// The daemon killed in the middle of a move while serving: its next start puts the item back.
TEST_F(Activator, AKilledDaemonSettlesItsMoveAtTheNextStart)
{
    mac.write("/Library/Caches/keep.db"_mac, "data");
    common::VeldoHelperMoveRequest request;
    const std::string home = "/Users/" + admin->name();
    request.items.push_back({"/Library/Caches/keep.db", home + "/.Trash/keep.db"});
    const std::string move =
        *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *request.encodeJSON()}
             .encodeJSON();
    startActivator({"VELDO_HELPER_FAULT=move.staged:kill"});
    ASSERT_TRUE(socketAppears()) << activatorLog();
    auto run = testsupport::spawnClient(mac, helper->client(), {"call", move},
                                        ClientUser{admin->uid(), admin->gid()});
    EXPECT_EQ(run.line().value_or(""), "closed");
    ASSERT_TRUE(
        helper->logShows("The helper daemon ended (status 9)", 10s, helper->activatorLogPath()))
        << activatorLog();
    EXPECT_EQ(mac.contents("/Library/Caches/keep.db"_mac), "<missing>") << "staged when killed";

    // The next start (a version call) settles it before serving.
    EXPECT_EQ(callVersion(), kVersionReply) << daemonLog();
    EXPECT_NE(daemonLog().find("Settled 1 interrupted item(s)"), std::string::npos) << daemonLog();
    EXPECT_EQ(mac.contents("/Library/Caches/keep.db"_mac), "data");
}

} // namespace
} // namespace veldo::helper
