// The app's removal paths beside accounts whose homes another spelling makes look like another
// place: an account whose login name is the caller's in capitals (one home on a Mac's
// case-insensitive volume, another account's here), and accounts named "shared" and "ſhared",
// whose homes fold to the shared folder. The Trash executor (run as the caller) and the
// administrator script judge those homes as other accounts': their protected folders are
// refused, their files move only with the administrator's password, and the twin's Trash is never
// taken for the caller's.
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/removal/AdminMover.h"
#include "app/removal/AdminRestorer.h"
#include "app/removal/TrashExecutor.h"
#include "platform/AtomicFile.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInOsascript.h"
#include "tests/support/TestUsers.h"

namespace {

namespace AdminRemover = veldo::removal::AdminRemover;
namespace TrashExecutor = veldo::removal::TrashExecutor;
using veldo::common::RemovalSafety::Context;
using veldo::core::LeftoverItem;
using veldo::platform::MacPath;
using veldo::removal::RestorePoint;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInOsascript;
using veldo::testsupport::TestUser;

std::string protectedSentence(const MacPath& path)
{
    return "\u201C" + path.path() +
           "\u201D is a protected system or user folder. Veldo never "
           "removes it.";
}

class LookAlikeHomeRemoval : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (auto made = TestUser::make())
            caller.emplace(std::move(*made));
        if (!caller)
            GTEST_SKIP() << "the accounts are test users: run as root";
        if (auto made = TestUser::makeCapitalTwin(*caller))
            twin.emplace(std::move(*made));
        ASSERT_TRUE(twin) << "useradd refused the name in capitals";
        home = caller->homeIn(mac);
        twinHome = twin->homeIn(mac);
        for (const char* folder : {"Library", "Documents"})
            own(mac.mkdir(twinHome.appendingPathComponent(folder)));
        secret = own(mac.write(twinHome.appendingPathComponent("Library/secret"), "twin's", 0600));
    }

    MacPath own(const MacPath& path) const
    {
        EXPECT_EQ(::lchown(mac.host(path).c_str(), twin->uid(), twin->gid()), 0) << path.path();
        return path;
    }
    bool inPlace(const MacPath& path) const
    {
        struct stat status
        {
        };
        return ::lstat(mac.host(path).c_str(), &status) == 0 && status.st_uid == twin->uid();
    }
    Context context() const
    {
        return Context{home, {MacPath("/Applications/Veldo.app")}, {}, false};
    }

    FakeMac mac;
    std::optional<TestUser> caller;
    std::optional<TestUser> twin;
    MacPath home;
    MacPath twinHome;
    MacPath secret;
};

TEST_F(LookAlikeHomeRemoval, TheCallersTrashExecutorLeavesTheTwinsFilesInPlace)
{
    const MacPath documents = twinHome.appendingPathComponent("Documents");
    const std::vector<LeftoverItem> items{{.url = documents}, {.url = secret}};
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const int status = caller->run([&] {
        ::close(report[0]);
        const auto outcome = TrashExecutor::performUninstall(items, context());
        std::string text;
        for (const auto& failure : outcome.failed)
            text +=
                failure.item.url.path() + " | " + failure.message +
                (outcome.escalatableIDs.contains(failure.item.url.path()) ? " | escalatable" : "") +
                "\n";
        for (const auto& item : outcome.trashed)
            text += item.url.path() + " | trashed\n";
        for (const auto& item : outcome.alreadyMissing)
            text += item.url.path() + " | missing\n";
        for (const auto& item : outcome.nested)
            text += item.url.path() + " | nested\n";
        return veldo::platform::writeAll(report[1], text).has_value() ? 0 : 1;
    });
    ::close(report[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(report[0]);
    ASSERT_EQ(status, 0);

    // Refused as another account's protected folder; the file is the twin's to move: a
    // permission error, left for the administrator path.
    EXPECT_EQ(text, documents.path() + " | " + protectedSentence(documents) + "\n" + secret.path() +
                        " | \u201Csecret\u201D couldn\u2019t be moved to the Trash because you "
                        "don\u2019t have permission to access it. | escalatable\n");
    for (const MacPath& kept : {documents, secret})
        EXPECT_TRUE(inPlace(kept)) << kept.path();
}

TEST_F(LookAlikeHomeRemoval, TheAdministratorScriptNeverTakesTheTwinsHomeForTheCallers)
{
    // The script runs as the app's user; root stands in for the caller here, so the caller's
    // Trash is root's.
    const MacPath trash = home.appendingPathComponent(".Trash");
    ASSERT_EQ(::lchown(mac.host(trash).c_str(), 0, 0), 0);
    StandInOsascript osascript(mac);
    osascript.setCancels();

    const MacPath library = twinHome.appendingPathComponent("Library");
    const auto moved = AdminRemover::runMoveScript({library, secret}, context());
    EXPECT_TRUE(moved.moved.empty());
    EXPECT_EQ(moved.failures.at(library.path()), protectedSentence(library));
    // The twin's file only ever moves behind the administrator's password.
    EXPECT_EQ(moved.failures.at(secret.path()), "Administrator authorization was cancelled.");
    EXPECT_EQ(osascript.prompts(), std::vector<std::string>{"Veldo needs an administrator password "
                                                            "to move 1 item to your Trash."});

    // Nothing comes out of the twin's Trash or goes into its protected folders.
    const MacPath inTwinsTrash =
        own(mac.write(twinHome.appendingPathComponent(".Trash/thrown"), "twin's"));
    const MacPath inTrash = mac.write(trash.appendingPathComponent("keys"), "keys");
    const MacPath keychain = twinHome.appendingPathComponent("Library/Keychains/login.keychain");
    const std::vector<RestorePoint> points{
        {.item = {.url = MacPath("/Library/Caches/thrown")},
         .trashURL = inTwinsTrash,
         .needsAdmin = true},
        {.item = {.url = keychain}, .trashURL = inTrash, .needsAdmin = true},
    };
    const auto restored = AdminRemover::runRestoreScript(points, home);
    EXPECT_TRUE(restored.restoredIDs.empty());
    EXPECT_EQ(restored.failures.at("/Library/Caches/thrown"), AdminRemover::kCannotSafelyRestore);
    EXPECT_EQ(restored.failures.at(keychain.path()), AdminRemover::kCannotSafelyRestore);
    EXPECT_EQ(osascript.prompts().size(), 1u) << "no dialog for a restore";
    EXPECT_TRUE(inPlace(library) && inPlace(secret) && inPlace(inTwinsTrash));
}

// Beside a real shared folder, accounts whose names fold to "shared" keep the protected folders
// of any other account's home: the administrator script neither moves them nor puts anything
// back into them, while the shared folder's own folders are no one's.
class SharedLookAlikeRemoval : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (auto made = TestUser::make())
            caller.emplace(std::move(*made));
        if (!caller)
            GTEST_SKIP() << "the accounts are test users: run as root";
        home = caller->homeIn(mac);
        // The script runs as the app's user; root stands in for the caller here.
        ASSERT_EQ(::lchown(mac.host(home.appendingPathComponent(".Trash")).c_str(), 0, 0), 0);
        ASSERT_EQ(::chmod(mac.host(MacPath("/Users/Shared")).c_str(), 01777), 0);
        for (const char* name : {"shared", "\u017fhared"}) {
            auto owner = TestUser::makeExactlyNamed(name);
            ASSERT_TRUE(owner) << "useradd refused the name " << name;
            const MacPath ownerHome = owner->homeIn(mac);
            for (const char* folder : {"Library", "Library/Keychains", "Documents"}) {
                const MacPath made = mac.mkdir(ownerHome.appendingPathComponent(folder));
                ASSERT_EQ(::lchown(mac.host(made).c_str(), owner->uid(), owner->gid()), 0);
            }
            owners.push_back({std::move(*owner), ownerHome});
        }
    }

    struct Owner
    {
        TestUser user;
        MacPath home;
    };

    FakeMac mac;
    std::optional<TestUser> caller;
    MacPath home;
    std::vector<Owner> owners;
};

TEST_F(SharedLookAlikeRemoval, TheAdministratorScriptKeepsTheirProtectedFolders)
{
    StandInOsascript osascript(mac);
    osascript.setCancels();
    const Context context{home, {MacPath("/Applications/Veldo.app")}, {}, false};

    std::vector<MacPath> items;
    std::vector<MacPath> behindPassword{mac.mkdir(MacPath("/Users/Shared/Library"))};
    for (const Owner& owner : owners) {
        const MacPath secret = mac.write(owner.home.appendingPathComponent("Library/secret"),
                                         "private to " + owner.user.name(), 0600);
        ASSERT_EQ(::lchown(mac.host(secret).c_str(), owner.user.uid(), owner.user.gid()), 0);
        items.push_back(owner.home.appendingPathComponent("Library"));
        items.push_back(owner.home.appendingPathComponent("Documents"));
        behindPassword.push_back(secret);
    }
    items.insert(items.end(), behindPassword.begin(), behindPassword.end());
    const auto moved = AdminRemover::runMoveScript(items, context);
    EXPECT_TRUE(moved.moved.empty());
    EXPECT_EQ(moved.failures.size(), items.size());
    for (const Owner& owner : owners) {
        for (const char* folder : {"Library", "Documents"}) {
            const MacPath path = owner.home.appendingPathComponent(folder);
            EXPECT_EQ(moved.failures.at(path.path()), protectedSentence(path));
        }
    }
    for (const MacPath& path : behindPassword)
        EXPECT_EQ(moved.failures.at(path.path()), "Administrator authorization was cancelled.")
            << path.path();
    EXPECT_EQ(osascript.prompts(), std::vector<std::string>{"Veldo needs an administrator password "
                                                            "to move 3 items to your Trash."});

    // Nor does an item go back into their Keychains, however well it still matches.
    std::vector<RestorePoint> points;
    for (const Owner& owner : owners) {
        const MacPath inTrash =
            mac.write(home.appendingPathComponent(".Trash/keys " + owner.user.name()), "keys");
        const MacPath keychains = owner.home.appendingPathComponent("Library/Keychains");
        struct stat item
        {
        };
        struct stat folder
        {
        };
        ASSERT_EQ(::lstat(mac.host(inTrash).c_str(), &item), 0);
        ASSERT_EQ(::lstat(mac.host(keychains).c_str(), &folder), 0);
        points.push_back({.item = {.url = keychains.appendingPathComponent("login.keychain")},
                          .trashURL = inTrash,
                          .needsAdmin = true,
                          .ownerID = item.st_uid,
                          .groupID = item.st_gid,
                          .itemDevice = static_cast<std::int64_t>(item.st_dev),
                          .itemInode = item.st_ino,
                          .parentDevice = static_cast<std::int64_t>(folder.st_dev),
                          .parentInode = folder.st_ino,
                          .parentOwnerID = folder.st_uid});
    }
    const auto restored = AdminRemover::runRestoreScript(points, home);
    EXPECT_TRUE(restored.restoredIDs.empty());
    for (const RestorePoint& point : points) {
        EXPECT_EQ(restored.failures.at(point.item.url.path()), AdminRemover::kCannotSafelyRestore);
        EXPECT_EQ(mac.contents(point.trashURL), "keys") << point.trashURL.path();
    }
    EXPECT_EQ(osascript.prompts().size(), 1u) << "no dialog for a restore";
}

} // namespace
