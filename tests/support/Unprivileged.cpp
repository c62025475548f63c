// Runs checks as an unprivileged user in a forked child.
#include "tests/support/Unprivileged.h"

#include <cerrno>
#include <cstdlib>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "tests/support/TestUsers.h"

namespace veldo::testsupport {

uid_t unprivilegedUid()
{
    const passwd* pw = ::getpwnam("nobody"); // NOLINT(concurrency-mt-unsafe): test setup only
    return pw ? pw->pw_uid : 65534;
}

gid_t unprivilegedGid()
{
    const passwd* pw = ::getpwnam("nobody"); // NOLINT(concurrency-mt-unsafe): test setup only
    return pw ? pw->pw_gid : 65534;
}

int runUnprivileged(const std::function<int()>& check)
{
    return runUnprivileged(check, {});
}

int runUnprivileged(const std::function<int()>& check, const std::vector<gid_t>& groups)
{
    const uid_t uid = unprivilegedUid();
    const gid_t gid = unprivilegedGid();
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::getuid() == 0) {
            if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(gid) != 0 ||
                ::setuid(uid) != 0)
                ::_exit(255);
        }
        int rc = 1;
        try {
            rc = check();
        } catch (...) {
            rc = 254;
        }
        ::_exit(rc);
    }
    int status = 0;
    if (veldo::base::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); }) < 0)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::optional<gid_t> adminGroupId()
{
    // NOLINTNEXTLINE(concurrency-mt-unsafe): test setup only
    if (const group* admin = ::getgrnam("admin"))
        return admin->gr_gid;
    if (::geteuid() != 0)
        return std::nullopt;
    // Parallel test processes race to make it; -f makes the loser succeed too.
    if (runAccountTool("groupadd -f admin") != 0)
        return std::nullopt;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): test setup only
    const group* admin = ::getgrnam("admin");
    return admin ? std::optional<gid_t>(admin->gr_gid) : std::nullopt;
}

bool unprivilegedCanSearch(const std::string& hostFolder)
{
    return runUnprivileged([&] { return ::access(hostFolder.c_str(), X_OK) == 0 ? 0 : 1; }) == 0;
}

} // namespace veldo::testsupport
