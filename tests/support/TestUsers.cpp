// Throw-away host accounts for tests, and children that run as them.
#include "tests/support/TestUsers.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veldo::testsupport {

namespace fs = std::filesystem;

namespace {

// The exit statuses of the account tools that a later try may not meet: the password, group,
// subordinate uid or gid file could not be locked (another process holds it), checked before
// anything was changed.
bool databaseWasBusy(int status)
{
    return status == 1 || status == 10 || status == 16 || status == 18;
}

constexpr int kNoSuchUser = 6; // userdel
constexpr int kNameInUse = 9;  // useradd: the user's or its group's name
constexpr int kUserBusy = 8;   // userdel: a process still runs as the user

// The comment of an account makeExactlyNamed made, so that no other account of that name is
// ever taken for one a test left behind.
constexpr std::string_view kExactNameComment = "veldo-test-account";

} // namespace

int runAccountTool(const std::string& command)
{
    // Other test processes make and remove accounts all the time: the lock is free again soon,
    // but a loaded machine may hold it for seconds in all.
    std::minstd_rand jitter(static_cast<unsigned>(::getpid()));
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        // NOLINTNEXTLINE(concurrency-mt-unsafe): tests call it from one thread
        const int result = std::system((command + " >/dev/null 2>&1").c_str());
        const int status = result != -1 && WIFEXITED(result) ? WEXITSTATUS(result) : -1;
        if (!databaseWasBusy(status) || std::chrono::steady_clock::now() > giveUp)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + jitter() % 100));
    }
}

namespace {

// Removes a user (userdel takes its own group along); true once it is gone. A user whose last
// process is still ending is tried again for a few seconds.
bool removeUser(const std::string& name)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int status = runAccountTool("userdel " + name);
        if (status == 0 || status == kNoSuchUser)
            return true;
        if (status != kUserBusy)
            return false;
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
        removeUser(name);
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

std::optional<TestUser> TestUser::makeExactlyNamed(const std::string& name, bool admin)
{
    if (::geteuid() != 0)
        return std::nullopt;
    std::error_code ec;
    const std::string folder = fs::is_directory("/run/lock", ec)
                                   ? std::string("/run/lock")
                                   : fs::temp_directory_path().string();
    const std::string lockPath = folder + "/veldo-test-user-" + name;
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock < 0)
        return std::nullopt;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > giveUp) {
            ::close(lock);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    auto user = makeNamed(name, admin, /*badName=*/true);
    if (!user) {
        ::close(lock);
        return std::nullopt;
    }
    user->m_nameLock = lock;
    return user;
}

std::optional<TestUser> TestUser::makeNamed(std::string name, bool admin, bool badName)
{
    if (::geteuid() != 0)
        return std::nullopt;
    static std::once_flag cleaned;
    std::call_once(cleaned, removeStaleUsers);
    const std::string add =
        std::string("useradd ") +
        (badName ? "--badname -c " + std::string(kExactNameComment) + " " : std::string()) +
        "-M -d /nonexistent -s /usr/sbin/nologin " + name;
    int added = runAccountTool(add);
    if (added == kNameInUse) {
        // Left by an earlier process that had this one's id, or held the exact name's lock: no
        // running process owns it. An exact name is only taken over from a test.
        const passwd* left = ::getpwnam(name.c_str()); // NOLINT(concurrency-mt-unsafe): tests
        if (badName && !(left && std::string_view(left->pw_gecos) == kExactNameComment))
            return std::nullopt;
        removeUser(name);
        (void)runAccountTool("groupdel " + name);
        added = runAccountTool(add);
    }
    if (added != 0)
        return std::nullopt;
    const passwd* entry = ::getpwnam(name.c_str()); // NOLINT(concurrency-mt-unsafe): tests
    if (!entry) {
        removeUser(name);
        return std::nullopt;
    }
    TestUser user(name, entry->pw_uid, entry->pw_gid);
    if (admin && !(runAccountTool("groupadd -f admin") == 0 &&
                   runAccountTool("usermod -aG admin " + name) == 0))
        return std::nullopt;
    return user;
}

TestUser::TestUser(TestUser&& other) noexcept
    : m_name(std::exchange(other.m_name, {})), m_uid(other.m_uid), m_gid(other.m_gid),
      m_nameLock(std::exchange(other.m_nameLock, -1))
{
}

TestUser::~TestUser()
{
    if (!m_name.empty())
        removeUser(m_name);
    if (m_nameLock >= 0)
        ::close(m_nameLock); // the next process may make the name now
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
