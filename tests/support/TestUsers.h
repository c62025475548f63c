// TestUser: a throw-away account in the host's user database for tests that need a real second
// user (a caller, a racer, an owner), and children that run as it.
//
// Made as root with `useradd -M -d /nonexistent -s /usr/sbin/nologin`: no home, no mail spool, no
// password. Named "vt" + the test process's id + "-" + a counter (at most 32 characters; a twin
// in capitals, "VT…", on request, once for each user), and removed with `userdel` (never -r) when
// the object goes, also when a test fails (makeExactlyNamed makes names of the test's choosing).
// The first user a process makes first removes "vt" and "VT" users whose process no longer runs
// (left by a crash); a name still taken (left by a process that had the same id) is removed and
// made afresh. The group "admin" is made with `groupadd -f` (parallel processes race for it) and
// left in place. Homes are the test's business (see homeIn). Without root, make() answers none and
// tests skip.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <sys/types.h>

#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

// Runs a user-database tool (useradd, usermod, userdel, groupadd, groupdel: a shell command) and
// answers its exit status (-1 when it did not exit), trying again for up to a minute while one of
// the account files can't be locked (status 1, 10, 16 or 18): other processes change them all the
// time.
int runAccountTool(const std::string& command);

class TestUser
{
public:
    // A new user, optionally also a member of "admin"; none when not root or useradd failed.
    static std::optional<TestUser> make(bool admin = false);
    // A new user whose name is `other`'s in capitals ("VT<pid>-<n>"): one name on a Mac's
    // case-insensitive volume, here another account with a home of its own. None as make().
    static std::optional<TestUser> makeCapitalTwin(const TestUser& other, bool admin = false);
    // A new user of exactly `name` (useradd --badname: any name it can store), for names a test
    // can't vary, such as one that folds to a system folder's. One process at a time holds each
    // such name, by a lock on a file of its own ("/run/lock/veldo-test-user-<name>") kept while
    // the object lives; another waits for it up to a minute. An account of that name found then
    // was left by a process that ended, and is removed and made afresh. None as make().
    static std::optional<TestUser> makeExactlyNamed(const std::string& name, bool admin = false);

    TestUser(TestUser&& other) noexcept;
    TestUser& operator=(TestUser&&) = delete;
    TestUser(const TestUser&) = delete;
    TestUser& operator=(const TestUser&) = delete;
    ~TestUser();

    const std::string& name() const { return m_name; }
    uid_t uid() const { return m_uid; }
    gid_t gid() const { return m_gid; }

    // Makes "/Users/<name>" in the fake Mac owned by the user (0755) with a ".Trash" (0700) of
    // theirs, and answers the home's Mac path.
    platform::MacPath homeIn(const FakeMac& mac) const;

    // Runs `body` in a forked child that dropped to this user (setgroups, setresgid, setresuid)
    // and answers its exit status (-1 when it could not drop; 128 + signal when killed).
    int run(const std::function<int()>& body) const;

private:
    static std::optional<TestUser> makeNamed(std::string name, bool admin, bool badName = false);

    TestUser(std::string name, uid_t uid, gid_t gid)
        : m_name(std::move(name)), m_uid(uid), m_gid(gid)
    {
    }

    std::string m_name;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    int m_nameLock = -1; // makeExactlyNamed's lock file, held while the account lives
};

} // namespace veldo::testsupport
