// The caller's effective user and group set, or credentials injected by a test.
#include "platform/Credentials.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <unistd.h>

namespace veldo::platform {

namespace {

struct Injected
{
    std::mutex mutex;
    std::optional<Credentials> credentials;
};

Injected& injected()
{
    static Injected s;
    return s;
}

} // namespace

bool Credentials::isMember(gid_t gid) const
{
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

Credentials callerCredentials()
{
    {
        Injected& s = injected();
        std::lock_guard lock(s.mutex);
        if (s.credentials)
            return *s.credentials;
    }
    Credentials c;
    c.effectiveUid = ::geteuid();
    // The group list can grow between the two calls; ask again until it fits.
    for (;;) {
        const int count = ::getgroups(0, nullptr);
        if (count < 0)
            break;
        c.groups.assign(static_cast<size_t>(count), 0);
        const int got = ::getgroups(count, c.groups.data());
        if (got >= 0) {
            c.groups.resize(static_cast<size_t>(got));
            break;
        }
        if (errno != EINVAL) {
            c.groups.clear();
            break;
        }
    }
    const gid_t egid = ::getegid();
    if (!c.isMember(egid))
        c.groups.push_back(egid);
    return c;
}

namespace testing {

void setCallerCredentials(std::optional<Credentials> credentials)
{
    Injected& s = injected();
    std::lock_guard lock(s.mutex);
    s.credentials = std::move(credentials);
}

} // namespace testing

} // namespace veldo::platform
