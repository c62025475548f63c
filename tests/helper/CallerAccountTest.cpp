// The caller's account, its groups and the administrator decision, over a fake user database and
// over real test users.
#include "helper/CallerAccount.h"

#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

#include "base/ScopeGuard.h"
#include "tests/support/FakeMac.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

constexpr gid_t kAdminGid = 5080;

// A database of one user whose group list and lookups are counted.
class FakeUserDatabase final : public UserDatabase
{
public:
    std::optional<User> entry;
    std::vector<gid_t> userGroups; // what the group list reports, in order
    std::optional<Group> admin = Group{kAdminGid, {}};
    mutable int groupListCalls = 0;

    std::optional<User> user(uid_t) const override { return entry; }
    int groupList(const std::string&, gid_t, gid_t* groups, int* count) const override
    {
        ++groupListCalls;
        const int total = static_cast<int>(userGroups.size());
        const int room = *count;
        for (int i = 0; i < std::min(room, total); ++i)
            groups[i] = userGroups[static_cast<std::size_t>(i)];
        *count = total;
        return total > room ? -1 : total;
    }
    std::optional<Group> group(const std::string& name) const override
    {
        return name == "admin" ? admin : std::nullopt;
    }
};

std::vector<gid_t> manyGroups(int n, gid_t last)
{
    std::vector<gid_t> groups;
    for (int i = 0; i < n - 1; ++i)
        groups.push_back(static_cast<gid_t>(7000 + i));
    groups.push_back(last);
    return groups;
}

TEST(CallerAccount, UnusableEntriesGiveNoAccount)
{
    const std::map<std::string, std::optional<UserDatabase::User>> cases{
        {"no entry", std::nullopt},
        {"no name", UserDatabase::User{"", 20, "/Users/ann"}},
        {"no home", UserDatabase::User{"ann", 20, ""}},
        {"relative home", UserDatabase::User{"ann", 20, "Users/ann"}},
        {"root home", UserDatabase::User{"ann", 20, "/"}},
    };
    for (const auto& [label, entry] : cases) {
        FakeUserDatabase database;
        database.entry = entry;
        EXPECT_FALSE(CallerAccount::make(501, database)) << label;
    }

    {
        const veldo::testsupport::FakeMac mac;
        for (const char* name : {"..", "a/b"}) {
            FakeUserDatabase database;
            database.entry = UserDatabase::User{name, 20, "/home/x"};
            EXPECT_FALSE(CallerAccount::make(501, database)) << name;
        }
        FakeUserDatabase database;
        database.entry = UserDatabase::User{"ann", 20, "/home/ann"};
        EXPECT_EQ(CallerAccount::make(501, database)->home.path(), "/Users/ann");
    }

    FakeUserDatabase database;
    database.entry = UserDatabase::User{"ann", 20, "/home/ann"};
    const auto account = CallerAccount::make(501, database);
    ASSERT_TRUE(account);
    EXPECT_EQ(account->uid, 501u);
    EXPECT_EQ(account->gid, 20u);
    EXPECT_EQ(account->name, "ann");
    EXPECT_EQ(account->home.path(), "/home/ann");
}

TEST(CallerAccount, AdministratorRoutes)
{
    struct Case
    {
        std::string label;
        gid_t primary;
        std::vector<gid_t> groups;
        std::vector<std::string> members;
        bool hasAdminGroup;
        bool expected;
        int expectedGroupListCalls;
    };
    const std::vector<Case> cases{
        {"primary group", kAdminGid, {}, {}, true, true, 0},
        {"group list", 20, {20, 12, kAdminGid}, {}, true, true, 1},
        {"70 groups, admin last, on the member list",
         20,
         manyGroups(70, kAdminGid),
         {"ann"},
         true,
         true,
         1},
        {"70 groups, admin last, not on the member list",
         20,
         manyGroups(70, kAdminGid),
         {"bob"},
         true,
         false,
         1},
        {"member list only", 20, {20}, {"bob", "ann"}, true, true, 1},
        {"not a member", 20, {20, 12}, {"bob"}, true, false, 1},
        {"no admin group", 20, {20, kAdminGid}, {"ann"}, false, false, 0},
    };
    for (const auto& c : cases) {
        FakeUserDatabase database;
        database.userGroups = c.groups;
        if (c.hasAdminGroup)
            database.admin = UserDatabase::Group{kAdminGid, c.members};
        else
            database.admin.reset();
        const CallerAccount account{501, c.primary, "ann", platform::MacPath("/Users/ann")};
        EXPECT_EQ(account.isAdministrator(database), c.expected) << c.label;
        EXPECT_EQ(database.groupListCalls, c.expectedGroupListCalls) << c.label;
    }
}

TEST(CallerAccount, GroupsHoldAtMost128)
{
    FakeUserDatabase database;
    database.userGroups = manyGroups(200, 20);
    const CallerAccount account{501, 20, "ann", platform::MacPath("/Users/ann")};
    const auto groups = account.groups(database);
    EXPECT_EQ(groups.size(), 128u);
    EXPECT_TRUE(groups.contains(7000));

    database.userGroups = {20, 12};
    EXPECT_EQ(account.groups(database), (std::set<gid_t>{20, 12}));
}

TEST(CallerAccount, RealUsersThroughTheSystemDatabase)
{
    auto plain = testsupport::TestUser::make();
    auto member = testsupport::TestUser::make(/*admin=*/true);
    auto primary = testsupport::TestUser::make();
    if (!plain || !member || !primary)
        GTEST_SKIP() << "making test users needs root";
    ASSERT_EQ(std::system(("usermod -g admin " + primary->name()).c_str()), 0);
    // Back to its own group, so that removing the user also removes that group.
    const base::ScopeGuard restorePrimary([&] {
        (void)std::system(
            ("usermod -g " + std::to_string(primary->gid()) + " " + primary->name()).c_str());
    });

    for (const auto* user : {&*plain, &*member, &*primary}) {
        const auto account = CallerAccount::make(user->uid());
        ASSERT_TRUE(account) << user->name();
        EXPECT_EQ(account->name, user->name());
        EXPECT_EQ(account->isAdministrator(), user != &*plain) << user->name();
        EXPECT_TRUE(account->groups().contains(account->gid)) << user->name();
    }
    EXPECT_FALSE(CallerAccount::make(0x7ffffff0u)) << "a uid without an entry";
}

} // namespace
} // namespace veldo::helper
