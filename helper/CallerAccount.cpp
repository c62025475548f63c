#include "helper/CallerAccount.h"

#include <algorithm>
#include <array>

#include "platform/MacRoot.h"

namespace veldo::helper {

std::optional<CallerAccount> CallerAccount::make(uid_t uid, const UserDatabase& database)
{
    const auto entry = database.user(uid);
    if (!entry || entry->name.empty() || entry->home.empty() || entry->home.front() != '/' ||
        entry->home == "/")
        return std::nullopt;
    const bool inMacRoot = !platform::macRoot().empty();
    // In a Mac root the name becomes a folder name under "/Users".
    if (inMacRoot &&
        (entry->name == "." || entry->name == ".." || entry->name.find('/') != std::string::npos))
        return std::nullopt;
    platform::MacPath home =
        inMacRoot ? platform::MacPath("/Users/" + entry->name) : platform::MacPath(entry->home);
    return CallerAccount{uid, entry->gid, entry->name, std::move(home)};
}

std::set<gid_t> CallerAccount::groups(const UserDatabase& database) const
{
    constexpr int kRoom = 128;
    std::array<gid_t, kRoom> list{};
    int count = kRoom;
    database.groupList(name, gid, list.data(), &count);
    count = std::clamp(count, 0, kRoom);
    return {list.begin(), list.begin() + count};
}

bool CallerAccount::isAdministrator(const UserDatabase& database) const
{
    const auto admin = database.group("admin");
    if (!admin)
        return false;
    if (gid == admin->gid)
        return true;

    constexpr int kRoom = 64;
    std::array<gid_t, kRoom> list{};
    int count = kRoom;
    if (database.groupList(name, gid, list.data(), &count) != -1) {
        const int reported = std::clamp(count, 0, kRoom);
        if (std::find(list.begin(), list.begin() + reported, admin->gid) != list.begin() + reported)
            return true;
    }
    return std::find(admin->members.begin(), admin->members.end(), name) != admin->members.end();
}

} // namespace veldo::helper
