// The administrator script restore on a fake Mac: what is refused before the password dialog.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/removal/AdminMover.h"
#include "app/removal/AdminRestorer.h"
#include "common/RemovalSafety.h"
#include "platform/Home.h"
#include "platform/SystemError.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInOsascript.h"
#include "tests/support/Unprivileged.h"

namespace AdminRemover = veldo::removal::AdminRemover;
namespace fs = std::filesystem;
using veldo::platform::MacPath;
using veldo::removal::RestorePoint;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInOsascript;
using namespace veldo::testsupport::literals;

namespace {

constexpr const char* kUnsafe = "Veldo can't safely put this item back.";
constexpr const char* kChanged =
    "It changed in the Trash since Veldo moved it, so Veldo won't put it back.";

#define SKIP_UNLESS_ROOT()                                                                         \
    do {                                                                                           \
        if (::geteuid() != 0)                                                                      \
            GTEST_SKIP() << "the fake Mac's folders are made with root's ownership; run as root";  \
    } while (false)

struct stat statusOf(const FakeMac& mac, const MacPath& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(mac.host(path).c_str(), &st), 0) << path.path();
    return st;
}

// A point for an item the script moved from `original` to `trashURL`, as that move records it:
// the Trash entry's and the former folder's identity read now. Both must exist.
RestorePoint scriptPoint(const FakeMac& mac, const MacPath& original, const MacPath& trashURL)
{
    const struct stat item = statusOf(mac, trashURL);
    const struct stat folder = statusOf(mac, original.deletingLastPathComponent());
    RestorePoint point;
    point.item.url = original;
    point.trashURL = trashURL;
    point.needsAdmin = true;
    point.ownerID = item.st_uid;
    point.groupID = item.st_gid;
    point.itemDevice = static_cast<std::int64_t>(item.st_dev);
    point.itemInode = item.st_ino;
    point.parentDevice = static_cast<std::int64_t>(folder.st_dev);
    point.parentInode = folder.st_ino;
    point.parentOwnerID = folder.st_uid;
    return point;
}

// An item lying in the Trash under `name`, whose former place was `original`.
RestorePoint trashed(const FakeMac& mac, const MacPath& original, const std::string& name)
{
    mac.mkdir(original.deletingLastPathComponent());
    const MacPath inTrash =
        mac.write(mac.home().appendingPathComponent(".Trash").appendingPathComponent(name), name);
    return scriptPoint(mac, original, inTrash);
}

// Moves the items into the Trash with the administrator script and answers their points.
std::vector<RestorePoint> movedByScript(const FakeMac& mac, const std::vector<MacPath>& items)
{
    const veldo::common::RemovalSafety::Context context{
        mac.home(), {"/Applications/Veldo.app"_mac}, {}, false};
    const auto moved = AdminRemover::runMoveScript(items, context);
    EXPECT_TRUE(moved.failures.empty());
    EXPECT_EQ(moved.moved.size(), items.size());
    std::vector<RestorePoint> points;
    for (const auto& move : moved.moved) {
        RestorePoint point;
        point.item.url = move.source;
        point.trashURL = move.destination;
        point.needsAdmin = true;
        point.ownerID = move.ownerID;
        point.groupID = move.groupID;
        point.itemDevice = move.device;
        point.itemInode = move.inode;
        point.parentDevice = move.parentDevice;
        point.parentInode = move.parentInode;
        point.parentOwnerID = move.parentOwnerID;
        points.push_back(point);
    }
    return points;
}

} // namespace

TEST(AdminRestoreScript, RefusalsBeforeTheDialogFollowTheChecksInOrder)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath trash = mac.home().appendingPathComponent(".Trash");
    std::vector<RestorePoint> points;
    std::map<std::string, std::string> expected;
    const auto add = [&](RestorePoint point, std::string sentence) {
        expected[point.item.url.path()] = std::move(sentence);
        points.push_back(std::move(point));
    };

    RestorePoint helper = trashed(mac, "/Library/Caches/helper"_mac, "helper");
    helper.movedByHelper = true;
    add(helper, kUnsafe);
    mac.write(trash.appendingPathComponent("sub/deep"), "x");
    add(scriptPoint(mac, "/Library/Caches/deep"_mac, trash.appendingPathComponent("sub/deep")),
        kUnsafe);
    RestorePoint guarded = trashed(mac, "/Library/Caches/guarded"_mac, "guarded");
    guarded.item.url = "/Library"_mac;
    add(guarded, kUnsafe);
    add(trashed(mac, "/Library/Caches/a\nb"_mac, "plain"), kUnsafe);
    add(trashed(mac, "/Library/Caches/bad-trash-name"_mac, "bad\x01name"), kUnsafe);

    RestorePoint gone = trashed(mac, "/Library/Caches/gone"_mac, "gone");
    fs::remove(mac.host(gone.trashURL));
    add(gone, "It's no longer in the Trash.");
    // A new file of the same name is made before the old one goes, so it can't reuse the inode.
    RestorePoint swapped = trashed(mac, "/Library/Caches/swapped"_mac, "swapped");
    mac.write(trash.appendingPathComponent("swapped.new"), "other");
    fs::rename(mac.host(trash.appendingPathComponent("swapped.new")), mac.host(swapped.trashURL));
    add(swapped, kChanged);
    RestorePoint anonymous = trashed(mac, "/Library/Caches/anonymous"_mac, "anonymous");
    anonymous.itemInode.reset();
    add(anonymous, kChanged);

    RestorePoint occupied = trashed(mac, "/Library/Caches/occupied"_mac, "occupied");
    mac.write(occupied.item.url, "new");
    add(occupied, "Something new already exists at its original location.");
    RestorePoint deleted = trashed(mac, "/Library/Deleted/item"_mac, "deleted");
    fs::remove(mac.host("/Library/Deleted"_mac));
    add(deleted, "Its original folder no longer exists.");
    RestorePoint replaced = trashed(mac, "/Library/Replaced/item"_mac, "replaced");
    mac.mkdir("/Library/Replaced.new"_mac);
    fs::rename(mac.host("/Library/Replaced"_mac), mac.host("/Library/Replaced.old"_mac));
    fs::rename(mac.host("/Library/Replaced.new"_mac), mac.host("/Library/Replaced"_mac));
    add(replaced, "Its original folder was replaced since Veldo moved it, so Veldo won't put it "
                  "back.");
    mac.mkdir("/Library/Real"_mac);
    mac.symlink("/Library/Linked"_mac, "/Library/Real");
    add(scriptPoint(mac, "/Library/Linked/item"_mac,
                    mac.write(trash.appendingPathComponent("linked"), "linked")),
        "A folder on the way to its original location is a symbolic link, so Veldo won't put it "
        "back.");
    RestorePoint tooLong = trashed(mac, "/Library/Caches/long"_mac, "long");
    tooLong.item.url = MacPath("/Library/" + std::string(256, 'n') + "/item");
    add(tooLong, veldo::platform::SystemError::posix(ENAMETOOLONG).localizedDescription());

    const auto result = AdminRemover::runRestoreScript(points, mac.home());
    EXPECT_EQ(result.failures, expected);
    EXPECT_TRUE(result.restoredIDs.empty());
    EXPECT_FALSE(result.wasCancelled);
    EXPECT_TRUE(osascript.prompts().empty()) << "no dialog when every point is refused";
}

TEST(AdminRestoreScript, AnUnusableTrashRefusesEveryPoint)
{
    SKIP_UNLESS_ROOT();
    for (const bool link : {true, false}) {
        FakeMac mac;
        StandInOsascript osascript(mac);
        const RestorePoint point = trashed(mac, "/Library/Caches/item"_mac, "item");
        const MacPath trash = mac.home().appendingPathComponent(".Trash");
        if (link) {
            fs::rename(mac.host(trash), mac.host("/Library/Elsewhere"_mac));
            mac.symlink(trash, "/Library/Elsewhere");
        } else {
            ASSERT_EQ(::chown(mac.host(trash).c_str(), veldo::testsupport::unprivilegedUid(),
                              veldo::testsupport::unprivilegedGid()),
                      0);
        }
        const auto result = AdminRemover::runRestoreScript({point}, mac.home());
        EXPECT_EQ(result.failures, (std::map<std::string, std::string>{
                                       {point.item.url.path(),
                                        "Your Trash folder is missing or isn't a normal folder."}}))
            << (link ? "link" : "another user's");
        EXPECT_TRUE(osascript.prompts().empty());
    }
}

TEST(AdminRestoreScript, AFormerFolderOnAnotherVolumeIsRefused)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath volume = mac.mkdir("/Volumes/Other"_mac);
    if (::mount("tmpfs", mac.host(volume).c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "can't mount a tmpfs here: " << std::strerror(errno);
    const RestorePoint point = trashed(mac, "/Volumes/Other/Library/item"_mac, "item");
    const auto result = AdminRemover::runRestoreScript({point}, mac.home());
    ::umount2(mac.host(volume).c_str(), MNT_DETACH);
    EXPECT_EQ(result.failures.at(point.item.url.path()),
              "Its original folder is on another volume, so Veldo won't put it back with an "
              "administrator password.");
    EXPECT_TRUE(osascript.prompts().empty());
}

TEST(AdminRestoreScript, AFormerFolderTheCallerCannotSearchGivesTheSystemsText)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the temporary folder is closed to other users; set TMPDIR to a "
                        "world-searchable folder to run this test";
    const uid_t uid = veldo::testsupport::unprivilegedUid();
    const gid_t gid = veldo::testsupport::unprivilegedGid();
    const auto childHome = veldo::platform::homeDirectoryForUser(uid);
    ASSERT_TRUE(childHome);
    mac.mkdir(*childHome, 0755);
    const MacPath childTrash = mac.mkdir(childHome->appendingPathComponent(".Trash"), 0700);
    for (const MacPath& own : {*childHome, childTrash})
        ASSERT_EQ(::chown(mac.host(own).c_str(), uid, gid), 0);
    const MacPath inTrash = mac.write(childTrash.appendingPathComponent("data"), "x");
    ASSERT_EQ(::chown(mac.host(inTrash).c_str(), uid, gid), 0);
    mac.mkdir("/Library/Closed/Inner"_mac, 0755);
    ASSERT_EQ(::chmod(mac.host("/Library/Closed"_mac).c_str(), 0700), 0);
    const RestorePoint point = scriptPoint(mac, "/Library/Closed/Inner/data"_mac, inTrash);
    const std::string expected = veldo::platform::SystemError::posix(EACCES).localizedDescription();

    const int rc = veldo::testsupport::runUnprivileged([&] {
        const auto result = AdminRemover::runRestoreScript({point}, *childHome);
        if (result.failures.size() != 1 || !result.restoredIDs.empty())
            return 2;
        return result.failures.begin()->second == expected ? 0 : 3;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(osascript.prompts().empty());
}

TEST(AdminRestoreScript, PutsMovedItemsBackWithTheirBytesOwnerAndModeAndBootstrapsADaemon)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath file = mac.write("/Library/Caches/com.acme/cache.db"_mac, "db", 0640);
    ASSERT_EQ(::chown(mac.host(file).c_str(), 0, 20), 0);
    const MacPath folder =
        mac.write("/Library/Application Support/it's/data"_mac, "d").deletingLastPathComponent();
    const MacPath daemon = mac.write("/Library/LaunchDaemons/com.acme.helper.plist"_mac, "p");
    std::map<std::string, struct stat> before;
    for (const MacPath& p : {file, folder, daemon})
        before[p.path()] = statusOf(mac, p);
    const auto points = movedByScript(mac, {file, folder, daemon});
    ASSERT_EQ(points.size(), 3u);

    const auto result = AdminRemover::runRestoreScript(points, mac.home());
    EXPECT_TRUE(result.failures.empty()) << result.failures.begin()->second;
    EXPECT_EQ(result.restoredIDs,
              (std::vector<std::string>{file.path(), folder.path(), daemon.path()}));
    EXPECT_FALSE(result.wasCancelled);
    ASSERT_EQ(osascript.prompts().size(), 2u);
    EXPECT_EQ(osascript.prompts()[1],
              "Veldo needs an administrator password to put 3 items back where they were.");
    for (const MacPath& p : {file, folder, daemon}) {
        const struct stat now = statusOf(mac, p);
        const struct stat& was = before[p.path()];
        EXPECT_EQ(now.st_ino, was.st_ino) << p.path();
        EXPECT_EQ(now.st_mode, was.st_mode) << p.path();
        EXPECT_EQ(now.st_uid, was.st_uid) << p.path();
        EXPECT_EQ(now.st_gid, was.st_gid) << p.path();
    }
    EXPECT_EQ(mac.contents(file), "db");
    EXPECT_EQ(mac.contents(folder.appendingPathComponent("data")), "d");
    EXPECT_EQ(osascript.launchctl().calls(),
              (std::vector<std::string>{"[bootout][system][" + daemon.path() + "]",
                                        "[bootstrap][system][" + daemon.path() + "]"}));
    EXPECT_TRUE(fs::is_empty(mac.host("/private/var/tmp"_mac)));
}

TEST(AdminRestoreScript, AnItemCreatedAtItsPlaceDuringTheRunGoesBackIntoTheTrash)
{
    SKIP_UNLESS_ROOT();
    for (const bool trashNameTaken : {false, true}) {
        FakeMac mac;
        StandInOsascript osascript(mac);
        const MacPath daemon = mac.write("/Library/LaunchDaemons/com.acme.helper.plist"_mac, "p");
        const auto points = movedByScript(mac, {daemon});
        ASSERT_EQ(points.size(), 1u);
        const MacPath inTrash = points[0].trashURL;
        osascript.setHook("echo new > '" + mac.host(daemon) + "'");
        if (trashNameTaken)
            osascript.setPerlRenameHook(1, "echo taken > '" + mac.host(inTrash) + "'");

        const auto result = AdminRemover::runRestoreScript(points, mac.home());
        EXPECT_TRUE(result.restoredIDs.empty());
        EXPECT_EQ(result.failures.count(daemon.path()), 1u);
        EXPECT_EQ(osascript.prompts().back(),
                  "Veldo needs an administrator password to put 1 item back where it was.");
        EXPECT_EQ(mac.contents(daemon), "new\n") << "the new item stays";
        std::vector<std::string> trashNames;
        for (const auto& entry :
             fs::directory_iterator(mac.host(inTrash.deletingLastPathComponent())))
            trashNames.push_back(entry.path().filename().string());
        if (trashNameTaken) {
            EXPECT_EQ(mac.contents(inTrash), "taken\n");
            ASSERT_EQ(trashNames.size(), 2u);
            const std::string other =
                trashNames[0] == inTrash.lastPathComponent() ? trashNames[1] : trashNames[0];
            EXPECT_TRUE(other.starts_with(inTrash.lastPathComponent() + " ")) << other;
        } else {
            EXPECT_EQ(trashNames, std::vector<std::string>{inTrash.lastPathComponent()});
            EXPECT_EQ(mac.contents(inTrash), "p");
        }
        EXPECT_EQ(osascript.launchctl().calls(),
                  std::vector<std::string>{"[bootout][system][" + daemon.path() + "]"})
            << "a list sent back into the Trash is not bootstrapped";
    }
}

TEST(AdminRestoreScript, ACancelledDialogFailsEveryPlannedPoint)
{
    SKIP_UNLESS_ROOT();
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath one = mac.write("/Library/Caches/one"_mac, "1");
    const MacPath two = mac.write("/Library/Caches/two"_mac, "2");
    auto points = movedByScript(mac, {one, two});
    ASSERT_EQ(points.size(), 2u);
    RestorePoint helper = points[0];
    helper.item.url = "/Library/Caches/three"_mac;
    helper.movedByHelper = true;
    points.push_back(helper);
    osascript.setCancels();

    const auto result = AdminRemover::runRestoreScript(points, mac.home());
    EXPECT_TRUE(result.wasCancelled);
    EXPECT_TRUE(result.restoredIDs.empty());
    const std::string cancelled = "Administrator authorization was cancelled.";
    EXPECT_EQ(result.failures, (std::map<std::string, std::string>{
                                   {one.path(), cancelled},
                                   {two.path(), cancelled},
                                   {"/Library/Caches/three", kUnsafe},
                               }));
    // Only what the dialog left may be tried again; a point refused before it may not.
    EXPECT_EQ(result.retryableIDs, (std::set<std::string>{one.path(), two.path()}));
    EXPECT_EQ(mac.contents(points[0].trashURL), "1");
}

TEST(AdminRestoreScript, AMacRootWhoseNameHoldsShellSyntaxMovesAndRestoresAndRunsNothing)
{
    SKIP_UNLESS_ROOT();
    // The fake Mac in a folder whose name would split words and run commands as root if the
    // script wrote it unquoted.
    const fs::path parent =
        fs::temp_directory_path() / ("veldo root 'q' \"q\" \\ $(touch ran) `touch ran`; touch ran "
                                     "& x|y " +
                                     std::to_string(::getpid()));
    ASSERT_TRUE(fs::create_directory(parent));
    ::chmod(parent.c_str(), 0755);
    const struct Removal
    {
        fs::path folder;
        ~Removal()
        {
            std::error_code ec;
            fs::remove_all(folder, ec);
        }
    } removal{parent};

    FakeMac mac(parent.string());
    StandInOsascript osascript(mac);
    const MacPath file = mac.write("/Library/Caches/com.acme/cache.db"_mac, "db");
    const auto nothingRan = [&] {
        for (const auto& entry : fs::recursive_directory_iterator(parent)) {
            if (entry.path().filename() == "ran")
                return false;
        }
        return true;
    };
    const auto points = movedByScript(mac, {file});
    EXPECT_TRUE(nothingRan());
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(mac.contents(points[0].trashURL), "db");
    EXPECT_FALSE(fs::exists(mac.host(file)));

    const auto result = AdminRemover::runRestoreScript(points, mac.home());
    EXPECT_TRUE(result.failures.empty()) << result.failures.begin()->second;
    EXPECT_EQ(result.restoredIDs, std::vector<std::string>{file.path()});
    EXPECT_EQ(mac.contents(file), "db");
    EXPECT_FALSE(fs::exists(mac.host(points[0].trashURL)));
    EXPECT_TRUE(fs::is_empty(mac.host("/private/var/tmp"_mac)));
    EXPECT_TRUE(nothingRan());
}
