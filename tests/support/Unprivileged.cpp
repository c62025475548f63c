// Runs checks as an unprivileged user in a forked child.
#include "tests/support/Unprivileged.h"

#include <cerrno>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/SystemCalls.h"

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
    const uid_t uid = unprivilegedUid();
    const gid_t gid = unprivilegedGid();
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::getuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
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

bool unprivilegedCanSearch(const std::string& hostFolder)
{
    return runUnprivileged([&] { return ::access(hostFolder.c_str(), X_OK) == 0 ? 0 : 1; }) == 0;
}

} // namespace veldo::testsupport
