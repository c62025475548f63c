#include "helper/UserDatabase.h"

#include <cerrno>

#include <grp.h>
#include <pwd.h>

namespace veldo::helper {

namespace {

class SystemUserDatabase final : public UserDatabase
{
public:
    std::optional<User> user(uid_t uid) const override
    {
        std::vector<char> buffer(16384, '\0');
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
            return std::nullopt;
        return User{found->pw_name ? found->pw_name : "", found->pw_gid,
                    found->pw_dir ? found->pw_dir : ""};
    }

    int groupList(const std::string& name, gid_t base, gid_t* groups, int* count) const override
    {
        return ::getgrouplist(name.c_str(), base, groups, count);
    }

    std::optional<Group> group(const std::string& name) const override
    {
        std::vector<char> buffer(16384, '\0');
        for (;;) {
            struct group entry
            {
            };
            struct group* found = nullptr;
            const int rc = ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
            if (rc == ERANGE && buffer.size() < (std::size_t{1} << 24)) {
                buffer.assign(buffer.size() * 4, '\0');
                continue;
            }
            if (rc != 0 || !found)
                return std::nullopt;
            Group result{found->gr_gid, {}};
            for (char** member = found->gr_mem; member && *member; ++member)
                result.members.emplace_back(*member);
            return result;
        }
    }
};

} // namespace

const UserDatabase& UserDatabase::system()
{
    static const SystemUserDatabase database;
    return database;
}

} // namespace veldo::helper
