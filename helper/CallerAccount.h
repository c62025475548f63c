// CallerAccount: the account behind a caller's user id, whether it is an administrator, and its
// groups, as the helper decides them before it touches anything for a request.
//
// Everything is read from the user database afresh on every call; nothing is cached. The
// administrator group is the group named "admin"; membership counts through the primary group,
// through the account's group list (when it fits 64 entries) or through the member list of
// "admin". In a Mac root (VELDO_MAC_ROOT) the home is "/Users/<name>" of that Mac once the
// database's home field has passed its checks.
#pragma once

#include <optional>
#include <set>
#include <string>

#include <sys/types.h>

#include "helper/UserDatabase.h"
#include "platform/MacPath.h"

namespace veldo::helper {

struct CallerAccount
{
    uid_t uid = 0;
    gid_t gid = 0; // the primary group
    std::string name;
    platform::MacPath home;

    // The account of `uid`; none when the database has no entry, or its name or home is empty, or
    // the home is not absolute or is exactly "/" (in a Mac root also when the name can't be a
    // folder name).
    static std::optional<CallerAccount> make(uid_t uid,
                                             const UserDatabase& database = UserDatabase::system());

    // Every group of the account as the group list reports it (the primary group among them),
    // at most 128.
    std::set<gid_t> groups(const UserDatabase& database = UserDatabase::system()) const;

    // Whether the account is in the group named "admin" (see above). Any failed lookup: false.
    bool isAdministrator(const UserDatabase& database = UserDatabase::system()) const;
};

} // namespace veldo::helper
