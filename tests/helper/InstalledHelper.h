// InstalledHelper: the helper daemon installed in a fake Mac as it is on a Mac, for tests over its
// real socket: a root-owned test app bundle "/Applications/Veldo.app" whose executable is the
// probe client (tests/helper/probe) and whose helper is the daemon with its fault points, the
// socket bound in "/private/var/run", and the daemon started from the bundle on it. Clients run
// as test users through `spawn`.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/UniqueFd.h"
#include "common/HelperEndpoint.h"
#include "platform/PlistValue.h"
#include "platform/ServiceRegistrationRecord.h"
#include "tests/support/FakeMac.h"

namespace veldo::helper::testsupport {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const platform::MacPath kTestBundle("/Applications/Veldo.app");

// A process started by the test with its standard input and output on pipes.
class ClientRun
{
public:
    ClientRun() = default;
    ClientRun(pid_t pid, base::UniqueFd input, base::UniqueFd output)
        : m_pid(pid), m_input(std::move(input)), m_output(std::move(output))
    {
    }
    ClientRun(ClientRun&& other) noexcept
        : m_pid(std::exchange(other.m_pid, -1)), m_input(std::move(other.m_input)),
          m_output(std::move(other.m_output))
    {
    }
    ClientRun& operator=(ClientRun&&) = delete;
    ~ClientRun()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    pid_t pid() const { return m_pid; }

    // One line of output (without its line feed), none at the end or after `limit`.
    std::optional<std::string> line(std::chrono::milliseconds limit = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (const auto end = m_buffer.find('\n'); end != std::string::npos) {
                std::string text = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return text;
            }
            if (!fill(deadline))
                return std::nullopt;
        }
    }
    // Everything written until the output closes (every holder of it), at most `limit`.
    std::string rest(std::chrono::milliseconds limit = 20s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (fill(deadline)) {
        }
        return std::exchange(m_buffer, {});
    }
    void send(std::string_view text) const
    {
        EXPECT_EQ(::write(m_input.get(), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    // Closes the standard input: the process reads its end.
    void closeInput() { m_input.reset(); }
    // The exit status (128 + signal when killed).
    int wait()
    {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    bool fill(std::chrono::steady_clock::time_point deadline)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd wait{m_output.get(), POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(left.count())) != 1)
            return false;
        char piece[4096];
        const ssize_t n = ::read(m_output.get(), piece, sizeof piece);
        if (n <= 0)
            return false;
        m_buffer.append(piece, static_cast<std::size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    base::UniqueFd m_input;
    base::UniqueFd m_output;
    std::string m_buffer;
};

struct ClientUser
{
    uid_t uid = 0;
    gid_t gid = 0;
};

// Starts `program` with `arguments` as `user` (root when none) and the fake Mac's root in its
// environment, plus `environment`.
inline ClientRun spawnClient(const veldo::testsupport::FakeMac& mac, const std::string& program,
                             const std::vector<std::string>& arguments,
                             std::optional<ClientUser> user = std::nullopt,
                             const std::vector<std::string>& environment = {})
{
    int input[2];
    int output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        if (user &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(user->gid, user->gid, user->gid) != 0 ||
             ::setresuid(user->uid, user->uid, user->uid) != 0))
            ::_exit(120);
        // No leak check in a client: at exit LeakSanitizer stops the process's threads through
        // ptrace, and the daemon would see a client being traced rather than gone.
        std::vector<std::string> variables{"VELDO_MAC_ROOT=" + mac.root(),
                                           "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
        variables.insert(variables.end(), environment.begin(), environment.end());
        std::vector<char*> env;
        for (auto& variable : variables)
            env.push_back(variable.data());
        env.push_back(nullptr);
        std::vector<std::string> all{program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execve(program.c_str(), argv.data(), env.data());
        ::_exit(121);
    }
    ::close(input[0]);
    ::close(output[1]);
    return ClientRun(pid, base::UniqueFd(input[1]), base::UniqueFd(output[0]));
}

inline void copyExecutable(const std::string& from, const std::string& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    ::chown(to.c_str(), 0, 0);
    ::chmod(to.c_str(), 0755);
}

// A copy of the build's program `program` in the fake Mac ("/usr/local/libexec/<name>", root's,
// 0755), for a child that drops to a test account: the build tree may lie in a folder only root
// may enter (a clone in root's home folder, or in a folder `mktemp -d` made).
inline std::string reachableCopy(const veldo::testsupport::FakeMac& mac, const std::string& program)
{
    ::chmod(mac.root().c_str(), 0755);
    const platform::MacPath folder("/usr/local/libexec");
    mac.mkdir(folder);
    const std::string copy =
        mac.host(folder.appendingPathComponent(fs::path(program).filename().string()));
    copyExecutable(program, copy);
    return copy;
}

class InstalledHelper
{
public:
    struct Options
    {
        std::string build = "2";
        bool usePidfdOptions = true;
        double idleSeconds = 30;
        std::vector<std::string> environment;           // more for the daemon, as NAME=value
        bool bindSocket = true;                         // false leaves the socket to an activator
        std::string clientProgram = VELDO_HELPER_PROBE; // the bundle's executable
        std::string daemonProgram = VELDO_HELPER_FAULTY_PROGRAM; // the bundle's helper
    };

    InstalledHelper(const veldo::testsupport::FakeMac& mac, Options options)
        : m_mac(mac), m_options(std::move(options))
    {
        ::chmod(mac.root().c_str(), 0755); // clients run as test users
        for (const char* folder : {"/private/var/db", "/private/var/run", "/private/var/log",
                                   "/Applications/Veldo.app/Contents/MacOS", "/Users/Shared"})
            mac.mkdir(platform::MacPath(folder));
        platform::PlistValue::Dictionary info;
        info.emplace("CFBundleIdentifier", "orbelkan.Veldo");
        info.emplace("CFBundleExecutable", "Veldo");
        info.emplace("CFBundleVersion", m_options.build);
        mac.writePlist(kTestBundle.appendingPathComponent("Contents/Info.plist"),
                       platform::PlistValue(std::move(info)));
        copyExecutable(m_options.clientProgram, client());
        copyExecutable(m_options.daemonProgram, daemonProgram());
        copyExecutable(VELDO_HELPER_PROBE, outsideClient());
        writeLaunchDaemonPlist("Contents/MacOS/orbelkan.Veldo.Helper");
        if (m_options.bindSocket)
            bind();
    }

    // The bundle's launchd property list for the helper, its program at `program`.
    void writeLaunchDaemonPlist(const std::string& program) const
    {
        platform::PlistValue::Dictionary services;
        services.emplace("orbelkan.Veldo.Helper", true);
        platform::PlistValue::Dictionary job;
        job.emplace("Label", "orbelkan.Veldo.Helper");
        job.emplace("BundleProgram", program);
        job.emplace("MachServices", std::move(services));
        m_mac.writePlist(kTestBundle.appendingPathComponent(
                             "Contents/Library/LaunchDaemons/orbelkan.Veldo.Helper.plist"),
                         platform::PlistValue(std::move(job)));
    }

    // Writes the registration record of the bundle (root's, 0644), approved unless told.
    void approve(bool approved = true) const
    {
        const platform::MacPath path =
            platform::ServiceRegistrationRecord::pathFor(std::string(common::kHelperPlistName));
        m_mac.mkdir(path.deletingLastPathComponent(), 0775);
        const platform::ServiceRegistrationRecord record{
            "orbelkan.Veldo.Helper", kTestBundle.path(), std::string(common::kHelperPlistName),
            approved};
        const std::string host = m_mac.host(path);
        std::ofstream(host, std::ios::binary | std::ios::trunc) << *record.encodePropertyList();
        ::chmod(host.c_str(), 0644);
    }
    std::string recordPath() const
    {
        return m_mac.host(
            platform::ServiceRegistrationRecord::pathFor(std::string(common::kHelperPlistName)));
    }
    std::string socketPath() const
    {
        return m_mac.host(platform::MacPath(std::string(common::kHelperSocketPath)));
    }
    ~InstalledHelper() { stop(); }

    // The bundle's executable (the probe), a copy of it outside the bundle, and the daemon.
    std::string client() const { return m_mac.host(kTestBundle) + "/Contents/MacOS/Veldo"; }
    std::string outsideClient() const
    {
        return m_mac.host(platform::MacPath("/Users/Shared/probe"));
    }
    std::string daemonProgram() const
    {
        return m_mac.host(kTestBundle) + "/Contents/MacOS/orbelkan.Veldo.Helper";
    }
    std::string logPath() const { return m_mac.root() + "/daemon.log"; }
    std::string activatorLogPath() const { return m_mac.root() + "/activator.log"; }

    // Starts the daemon on the bound socket (again after it ended), with `environment` in place of
    // the options' when given.
    void start(std::optional<std::vector<std::string>> environment = std::nullopt)
    {
        m_status.reset();
        if (environment)
            m_options.environment = std::move(*environment);
        m_pid = ::fork();
        if (m_pid != 0)
            return;
        const int log = ::open(logPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        ::dup2(log, STDERR_FILENO);
        ::dup2(m_listening.get(), 3);
        std::vector<std::string> variables{
            "VELDO_MAC_ROOT=" + m_mac.root(), "LISTEN_FDS=1",
            "LISTEN_PID=" + std::to_string(::getpid()),
            "VELDO_HELPER_IDLE_TIMEOUT=" + std::to_string(m_options.idleSeconds),
            std::string("VELDO_HELPER_PIDFD=") + (m_options.usePidfdOptions ? "on" : "off")};
        variables.insert(variables.end(), m_options.environment.begin(),
                         m_options.environment.end());
        std::vector<char*> env;
        for (auto& variable : variables)
            env.push_back(variable.data());
        env.push_back(nullptr);
        const std::string program = daemonProgram();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        ::execve(program.c_str(), argv, env.data());
        ::_exit(121);
    }

    pid_t pid() const { return m_pid; }

    // Whether a connection waits on the bound socket to be accepted within `limit`.
    bool connectionWaits(std::chrono::milliseconds limit) const
    {
        pollfd waiting{m_listening.get(), POLLIN, 0};
        return ::poll(&waiting, 1, static_cast<int>(limit.count())) == 1 &&
               (waiting.revents & POLLIN) != 0;
    }

    // The exit status within `limit`; none while it runs.
    std::optional<int> waitExit(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return m_status;
    }

    void stop()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    std::string log(const std::string& path = {}) const
    {
        std::ifstream in(path.empty() ? logPath() : path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Waits until the log (the daemon's unless `path` names another) holds `text`.
    bool logShows(std::string_view text, std::chrono::milliseconds limit = 10s,
                  const std::string& path = {}) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        do {
            if (log(path).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(10ms);
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    }

private:
    void bind()
    {
        const base::UniqueFd folder(
            ::open(m_mac.host(platform::MacPath("/private/var/run")).c_str(),
                   O_PATH | O_DIRECTORY | O_CLOEXEC));
        const auto address = common::socketAddressIn(folder.get(), common::kHelperSocketName);
        ASSERT_TRUE(address);
        m_listening = base::UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_EQ(::bind(m_listening.get(), reinterpret_cast<const sockaddr*>(&*address),
                         sizeof *address),
                  0);
        ::chmod(m_mac.host(platform::MacPath(std::string(common::kHelperSocketPath))).c_str(),
                0666);
        // As the activator binds it: a client that connects before the daemon listens carries its
        // credentials too.
        const int on = 1;
        ASSERT_EQ(::setsockopt(m_listening.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on), 0);
        ASSERT_EQ(::listen(m_listening.get(), 64), 0);
    }

    const veldo::testsupport::FakeMac& m_mac;
    Options m_options;
    base::UniqueFd m_listening;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

} // namespace veldo::helper::testsupport
