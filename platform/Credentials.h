// The credentials the file system checks a caller's access with: effective user and groups.
//
// Tests run as root; to ask a question as another user without dropping privileges they set
// the credentials here, and every caller of callerCredentials sees them until they are cleared.
#pragma once

#include <optional>
#include <vector>

#include <sys/types.h>

namespace veldo::platform {

struct Credentials
{
    uid_t effectiveUid = 0;
    // Every supplementary group of the process plus the effective group id.
    std::vector<gid_t> groups;

    bool isMember(gid_t gid) const;
};

// The process's effective user id and group set (getgroups plus getegid), or the credentials a
// test has set. Thread-safe.
Credentials callerCredentials();

namespace testing {
// Makes callerCredentials answer `credentials`; none restores the process's own.
void setCallerCredentials(std::optional<Credentials> credentials);
} // namespace testing

} // namespace veldo::platform
