// UserDatabase: the few user and group database calls the helper asks about a caller, behind one
// interface so that tests can answer them without touching the host's accounts.
//
// The system implementation calls getpwuid_r (with a 16384-byte buffer), getgrouplist and
// getgrnam_r with buffers of its own, so it is safe on any thread and caches nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace veldo::helper {

class UserDatabase
{
public:
    struct User
    {
        std::string name;
        gid_t gid = 0;    // the primary group
        std::string home; // the home field as the database holds it
    };

    struct Group
    {
        gid_t gid = 0;
        std::vector<std::string> members; // the group's own member list
    };

    virtual ~UserDatabase() = default;

    // The entry of `uid`; none when the lookup fails or finds nothing.
    virtual std::optional<User> user(uid_t uid) const = 0;

    // getgrouplist's contract: fills at most `*count` entries of `groups` with the groups of
    // `name` (`base` among them) and sets `*count` to how many there are; answers that count, or
    // -1 when they did not fit.
    virtual int groupList(const std::string& name, gid_t base, gid_t* groups, int* count) const = 0;

    // The group named `name`; none when the lookup fails or finds nothing.
    virtual std::optional<Group> group(const std::string& name) const = 0;

    // The host's database.
    static const UserDatabase& system();
};

} // namespace veldo::helper
