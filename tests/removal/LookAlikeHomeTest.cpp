// The app's removal paths beside an account whose login name is the caller's in capitals: one
// home on a Mac's case-insensitive volume, another account's here. The Trash executor (run as the
// caller) and the administrator script judge that home as another account's: its protected
// folders are refused, its files move only with the administrator's password, and its Trash is
// never taken for the caller's.
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

} // namespace
