// Throw-away host accounts for tests, and children that run as them.
#include "tests/support/TestUsers.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veldo::testsupport {

namespace {

// Runs an account tool; the user database lock may be held by a parallel test process.
bool runTool(const std::string& command)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (std::system((command + " >/dev/null 2>&1").c_str()) ==
            0) // NOLINT(concurrency-mt-unsafe)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void removeStaleUsers()
{
    std::ifstream passwd("/etc/passwd");
    std::string line;
    std::vector<std::string> stale;
    while (std::getline(passwd, line)) {
        const std::string name = line.substr(0, line.find(':'));
        const std::size_t dash = name.find('-');
        if (!(name.starts_with("vt") || name.starts_with("VT")) || dash == std::string::npos)
            continue;
        const std::string pid = name.substr(2, dash - 2);
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (::kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH)
            stale.push_back(name);
    }
    for (const std::string& name : stale)
        runTool("userdel " + name);
}

} // namespace

std::optional<TestUser> TestUser::make(bool admin)
{
    static std::atomic<int> counter{0};
    return makeNamed("vt" + std::to_string(::getpid()) + "-" + std::to_string(++counter), admin);
}

std::optional<TestUser> TestUser::makeCapitalTwin(const TestUser& other, bool admin)
{
    std::string name = other.m_name;
    for (char& c : name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return makeNamed(std::move(name), admin);
}

std::optional<TestUser> TestUser::makeNamed(std::string name, bool admin)
{
    if (::geteuid() != 0)
        return std::nullopt;
    static std::once_flag cleaned;
    std::call_once(cleaned, removeStaleUsers);
    if (!runTool("useradd -M -d /nonexistent -s /usr/sbin/nologin " + name))
        return std::nullopt;
    const passwd* entry = ::getpwnam(name.c_str()); // NOLINT(concurrency-mt-unsafe): tests
    if (!entry) {
        runTool("userdel " + name);
        return std::nullopt;
    }
    TestUser user(name, entry->pw_uid, entry->pw_gid);
    if (admin && !(runTool("groupadd -f admin") && runTool("usermod -aG admin " + name)))
        return std::nullopt;
    return user;
}

TestUser::TestUser(TestUser&& other) noexcept
    : m_name(std::exchange(other.m_name, {})), m_uid(other.m_uid), m_gid(other.m_gid)
{
}

TestUser::~TestUser()
{
    if (!m_name.empty())
        runTool("userdel " + m_name);
}

platform::MacPath TestUser::homeIn(const FakeMac& mac) const
{
    const platform::MacPath home("/Users/" + m_name);
    mac.mkdir(home.appendingPathComponent(".Trash"), 0700);
    ::chmod(mac.host(home).c_str(), 0755);
    ::lchown(mac.host(home).c_str(), m_uid, m_gid);
    ::lchown(mac.host(home.appendingPathComponent(".Trash")).c_str(), m_uid, m_gid);
    return home;
}

namespace {

bool dropTo(uid_t uid, gid_t gid)
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
           ::setresuid(uid, uid, uid) == 0;
}

} // namespace

int TestUser::run(const std::function<int()>& body) const
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (!dropTo(m_uid, m_gid))
            ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

} // namespace veldo::testsupport
