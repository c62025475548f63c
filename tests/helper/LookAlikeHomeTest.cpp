// Accounts whose homes another spelling makes look like another place, as Debian allows: two
// login names that differ only in letter case (on a Mac's case-insensitive volume one home, here
// two), and login names that fold to "Shared" ("shared", "ſhared"), whose homes fold to the
// shared folder "/Users/Shared". Through the daemon, with the app's own client, no administrator
// moves a file of another account's home into its own Trash, takes an item out of the other's
// Trash, or gets back into the other's home an item that an earlier version moved out of it that
// way; the shared folder itself stays the helper's.
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/HelperFileAccess.h"
#include "common/HelperMoveLedger.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperReply.h"
#include "common/VeldoHelperRestoreRequest.h"
#include "platform/Clock.h"
#include "platform/UUID.h"
#include "tests/helper/InstalledHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using common::VeldoHelperItemResult;
using platform::MacPath;
using testsupport::ClientUser;
using testsupport::InstalledHelper;
using veldo::testsupport::TestUser;
using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;

constexpr std::string_view kOutsideManaged =
    "This location is outside the folders the helper manages.";

struct Account
{
    TestUser user;
    MacPath home;
};

// Accounts with a home and a Library of their own each, and the daemon they ask.
class AccountsBeside : public ::testing::Test
{
protected:
    void add(TestUser user)
    {
        const MacPath home = user.homeIn(mac);
        const MacPath library = mac.mkdir(home.appendingPathComponent("Library"));
        ::lchown(mac.host(library).c_str(), user.uid(), user.gid());
        accounts.push_back({std::move(user), home});
    }

    // A file of `owner`'s only (0600) in its Library.
    MacPath privateFile(const Account& owner, const std::string& name) const
    {
        const MacPath file =
            mac.write(owner.home.appendingPathComponent("Library").appendingPathComponent(name),
                      "private to " + owner.user.name(), 0600);
        ::lchown(mac.host(file).c_str(), owner.user.uid(), owner.user.gid());
        return file;
    }

    // What an earlier version left when it moved `owner`'s file `name` into `caller`'s Trash:
    // the file in that Trash, still `owner`'s, and a ledger record of `caller` that names its
    // place in `owner`'s home. Made before the daemon starts, which reads the ledger once.
    std::string earlierMove(const Account& owner, const Account& caller, const std::string& name)
    {
        const MacPath file = privateFile(owner, name);
        const auto parent = common::openPathBeneath(file.deletingLastPathComponent().path());
        EXPECT_TRUE(parent);
        const auto parentStatus = common::statDescriptor(*parent);
        const auto status = common::statEntry(*parent, name);
        EXPECT_TRUE(parentStatus && status && *status);
        const std::string inTrash = caller.home.path() + "/.Trash/" + name;
        EXPECT_EQ(::rename(mac.host(file).c_str(), mac.host(MacPath(inTrash)).c_str()), 0);

        common::HelperMoveRecord record;
        record.id = platform::UUID::random().value();
        record.uid = caller.user.uid();
        record.trashPath = inTrash;
        record.originalPath = file.path();
        record.identity = (*status)->identity();
        record.ownerID = (*status)->uid;
        record.groupID = (*status)->gid;
        record.date = platform::SystemClock::shared().now();
        record.parentIdentity = parentStatus->identity();
        record.parentOwnerID = parentStatus->uid;
        common::HelperItemInventory inventory;
        inventory.entries[(*status)->inode] = {
            .pathHash = common::HelperPathDigest::of(""),
            .uid = (*status)->uid,
            .gid = (*status)->gid,
            .mode = static_cast<std::uint16_t>((*status)->mode),
            .flags = (*status)->flags & common::kComparedFlagsMask,
            .aclHash = 0,
            .links = static_cast<std::uint16_t>((*status)->links),
        };
        auto ledger = common::HelperMoveLedger::load(common::stateDirectoryURL());
        EXPECT_TRUE(ledger && ledger->add(record, inventory));
        return inTrash;
    }

    void start()
    {
        InstalledHelper::Options options;
        options.clientProgram = VELDO_HELPER_APP_CLIENT;
        options.daemonProgram = VELDO_HELPER_PROGRAM;
        helper.emplace(mac, options);
        helper->start();
    }

    // The one result of a request that `caller` sends with the app's client ("move" or
    // "restore"); none when the daemon did not answer with exactly one.
    std::optional<VeldoHelperItemResult> ask(const Account& caller, const std::string& mode,
                                             const std::string& request) const
    {
        auto run = testsupport::spawnClient(mac, helper->client(), {mode, request},
                                            ClientUser{caller.user.uid(), caller.user.gid()});
        const auto reply = common::VeldoHelperReply::decodeJSON(run.line().value_or(""));
        if (!reply || reply->results.size() != 1)
            return std::nullopt;
        return reply->results.front();
    }

    std::string contents(const std::string& macPath) const
    {
        return mac.contents(MacPath(macPath));
    }
    uid_t ownerOf(const std::string& macPath) const
    {
        struct stat status
        {
        };
        return ::lstat(mac.host(MacPath(macPath)).c_str(), &status) == 0 ? status.st_uid
                                                                         : static_cast<uid_t>(-1);
    }

    veldo::testsupport::FakeMac mac;
    std::vector<Account> accounts;
    std::optional<InstalledHelper> helper;
};

class LookAlikeHome : public AccountsBeside
{
protected:
    void SetUp() override
    {
        auto lower = TestUser::make(/*admin=*/true);
        if (!lower)
            GTEST_SKIP() << "the accounts are test users: run as root";
        auto upper = TestUser::makeCapitalTwin(*lower, /*admin=*/true);
        ASSERT_TRUE(upper) << "useradd refused the name in capitals";
        add(std::move(*lower));
        add(std::move(*upper));
    }
};

TEST_F(LookAlikeHome, NeitherAccountMovesTheOthersFilesIntoItsTrash)
{
    start();
    for (const auto& [caller, owner] :
         {std::pair{&accounts[0], &accounts[1]}, std::pair{&accounts[1], &accounts[0]}}) {
        SCOPED_TRACE(caller->user.name() + " asks for " + owner->user.name() + "'s files");
        const std::string file = privateFile(*owner, "secret").path();
        common::VeldoHelperMoveRequest move;
        move.items.push_back({file, caller->home.path() + "/.Trash/secret"});
        const auto moved = ask(*caller, "move", *move.encodeJSON());
        ASSERT_TRUE(moved) << helper->log();
        EXPECT_EQ(moved->outcome, Outcome::notHandled);
        EXPECT_EQ(moved->reason, Reason::notManaged);
        EXPECT_EQ(moved->message, kOutsideManaged);
        EXPECT_EQ(contents(file), "private to " + owner->user.name());
        EXPECT_EQ(ownerOf(file), owner->user.uid());
        EXPECT_FALSE(fs::exists(mac.host(MacPath(caller->home.path() + "/.Trash/secret"))));

        // Nor does the other's Trash pass for the caller's.
        const std::string trashed = owner->home.path() + "/.Trash/thrown";
        mac.write(MacPath(trashed), "thrown away by " + owner->user.name());
        common::VeldoHelperRestoreRequest takeOut;
        takeOut.items.push_back({trashed, "/Library/Caches/thrown"});
        const auto taken = ask(*caller, "restore", *takeOut.encodeJSON());
        ASSERT_TRUE(taken) << helper->log();
        EXPECT_EQ(taken->outcome, Outcome::failed);
        EXPECT_EQ(taken->message, "Only items directly inside your Trash can be put back.");
        EXPECT_EQ(contents(trashed), "thrown away by " + owner->user.name());
        EXPECT_FALSE(fs::exists(mac.host(MacPath("/Library/Caches/thrown"))));
    }
}

TEST_F(LookAlikeHome, AnEarlierMoveOutOfTheOtherHomeIsNotPutBackThere)
{
    const std::string intoLower = earlierMove(accounts[1], accounts[0], "moved");
    const std::string intoUpper = earlierMove(accounts[0], accounts[1], "moved");
    start();
    for (const auto& [caller, owner, inTrash] :
         {std::tuple{&accounts[0], &accounts[1], intoLower},
          std::tuple{&accounts[1], &accounts[0], intoUpper}}) {
        SCOPED_TRACE(caller->user.name() + " puts back into " + owner->user.name() + "'s home");
        const std::string original = owner->home.path() + "/Library/moved";
        common::VeldoHelperRestoreRequest restore;
        restore.items.push_back({inTrash, original});
        const auto restored = ask(*caller, "restore", *restore.encodeJSON());
        ASSERT_TRUE(restored) << helper->log();
        EXPECT_EQ(restored->outcome, Outcome::notHandled);
        EXPECT_EQ(restored->reason, Reason::notManaged);
        EXPECT_EQ(restored->message, kOutsideManaged);
        EXPECT_FALSE(fs::exists(fs::symlink_status(mac.host(MacPath(original)))));
        EXPECT_EQ(contents(inTrash), "private to " + owner->user.name());
    }
}

// An administrator beside accounts named "shared" and "ſhared": their homes
// "/Users/shared" and "/Users/ſhared" fold to the shared folder, which is there too, open
// to all as on a Mac.
class LookAlikeSharedFolder : public AccountsBeside
{
protected:
    void SetUp() override
    {
        auto caller = TestUser::make(/*admin=*/true);
        if (!caller)
            GTEST_SKIP() << "the accounts are test users: run as root";
        add(std::move(*caller));
        for (const char* name : {"shared", "\u017fhared"}) {
            auto owner = TestUser::makeExactlyNamed(name);
            ASSERT_TRUE(owner) << "useradd refused the name " << name;
            add(std::move(*owner));
        }
        ASSERT_EQ(::chmod(mac.host(MacPath("/Users/Shared")).c_str(), 01777), 0);
    }

    const Account& caller() const { return accounts[0]; }
    std::vector<const Account*> owners() const { return {&accounts[1], &accounts[2]}; }

    // A folder of `owner`'s (0755) in its home, holding a file of its only (0600).
    MacPath privateFolder(const Account& owner, const std::string& name) const
    {
        const MacPath folder = mac.mkdir(owner.home.appendingPathComponent(name));
        const MacPath file = mac.write(folder.appendingPathComponent("secret"),
                                       "private to " + owner.user.name(), 0600);
        for (const MacPath& each : {folder, file})
            ::lchown(mac.host(each).c_str(), owner.user.uid(), owner.user.gid());
        return folder;
    }
};

TEST_F(LookAlikeSharedFolder, NoAdministratorMovesTheirFilesOrFolders)
{
    start();
    for (const Account* owner : owners()) {
        SCOPED_TRACE(caller().user.name() + " asks for " + owner->user.name() + "'s files");
        const MacPath projects = privateFolder(*owner, "Projects");
        const MacPath publicFolder = privateFolder(*owner, "Public");
        const std::string secret = publicFolder.appendingPathComponent("secret").path();
        struct Case
        {
            std::string source;
            Outcome outcome;
            std::optional<Reason> reason;
            std::string message;
        };
        const Case cases[] = {
            {secret, Outcome::notHandled, Reason::notManaged, std::string(kOutsideManaged)},
            {projects.path(), Outcome::notHandled, Reason::notManaged,
             std::string(kOutsideManaged)},
            // Another account's Public folder, as for any other account.
            {publicFolder.path(), Outcome::failed, std::nullopt,
             "\u201C" + publicFolder.path() +
                 "\u201D is a protected system or user folder. Veldo never removes it."},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.source);
            const std::string name = MacPath(c.source).lastPathComponent();
            const std::string destination = caller().home.path() + "/.Trash/" + name;
            common::VeldoHelperMoveRequest move;
            move.items.push_back({c.source, destination});
            const auto moved = ask(caller(), "move", *move.encodeJSON());
            ASSERT_TRUE(moved) << helper->log();
            EXPECT_EQ(moved->outcome, c.outcome);
            EXPECT_EQ(moved->reason, c.reason);
            EXPECT_EQ(moved->message, c.message);
            EXPECT_EQ(ownerOf(c.source), owner->user.uid());
            EXPECT_FALSE(fs::exists(fs::symlink_status(mac.host(MacPath(destination)))));
        }
        EXPECT_EQ(contents(secret), "private to " + owner->user.name());
        EXPECT_EQ(contents(projects.appendingPathComponent("secret").path()),
                  "private to " + owner->user.name());
    }

    // The shared folder is still the helper's.
    const MacPath notes = mac.write(MacPath("/Users/Shared/notes"), "shared notes");
    common::VeldoHelperMoveRequest move;
    move.items.push_back({notes.path(), caller().home.path() + "/.Trash/notes"});
    const auto moved = ask(caller(), "move", *move.encodeJSON());
    ASSERT_TRUE(moved) << helper->log();
    EXPECT_EQ(moved->outcome, Outcome::done) << moved->message.value_or("");
    EXPECT_EQ(contents(caller().home.path() + "/.Trash/notes"), "shared notes");
}

TEST_F(LookAlikeSharedFolder, AnEarlierMoveOutOfTheirHomesIsNotPutBackThere)
{
    std::vector<std::string> inTrash;
    for (const Account* owner : owners())
        inTrash.push_back(earlierMove(*owner, caller(), "moved " + owner->user.name()));
    start();
    for (std::size_t i = 0; i < inTrash.size(); ++i) {
        const Account& owner = *owners()[i];
        SCOPED_TRACE(caller().user.name() + " puts back into " + owner.user.name() + "'s home");
        const std::string original =
            owner.home.path() + "/Library/" + MacPath(inTrash[i]).lastPathComponent();
        common::VeldoHelperRestoreRequest restore;
        restore.items.push_back({inTrash[i], original});
        const auto restored = ask(caller(), "restore", *restore.encodeJSON());
        ASSERT_TRUE(restored) << helper->log();
        EXPECT_EQ(restored->outcome, Outcome::notHandled);
        EXPECT_EQ(restored->reason, Reason::notManaged);
        EXPECT_EQ(restored->message, kOutsideManaged);
        EXPECT_FALSE(fs::exists(fs::symlink_status(mac.host(MacPath(original)))));
        EXPECT_EQ(contents(inTrash[i]), "private to " + owner.user.name());
    }
}

} // namespace
} // namespace veldo::helper
