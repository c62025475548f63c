// Running a check in a child process that has dropped root (tests run as root in CI).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace veldo::testsupport {

// The uid and gid the child takes: "nobody" (65534) unless the user database says otherwise.
uid_t unprivilegedUid();
gid_t unprivilegedGid();

// Forks; the child drops to the unprivileged user (groups cleared) and returns `check()` as its
// exit status (0 for success). Returns the child's exit status, or -1 when it could not run
// (fork failed, or dropping privileges failed), or 128 + signal when a signal ended it.
int runUnprivileged(const std::function<int()>& check);

// The same with the supplementary groups `groups` instead of none.
int runUnprivileged(const std::function<int()>& check, const std::vector<gid_t>& groups);

// The group "admin" (the Mac's administrators), made with "groupadd -f" when it is missing and
// the tests run as root. None when there is no such group and it can't be made.
std::optional<gid_t> adminGroupId();

// Whether the unprivileged user can search the host folder. A fake Mac made in a temporary
// folder closed to other users can't be used by a child that dropped privileges; such tests
// skip (TMPDIR may name a folder everyone can search).
bool unprivilegedCanSearch(const std::string& hostFolder);

} // namespace veldo::testsupport
