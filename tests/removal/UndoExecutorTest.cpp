// The Undo of the last cleanup on a fake Mac: its order, the user-level restore and its launch
// agents, and the administrator points after a cancelled dialog.
#include "app/removal/UndoExecutor.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stop_token>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/removal/AdminMover.h"
#include "app/removal/TrashExecutor.h"
#include "common/RemovalSafety.h"
#include "platform/Home.h"
#include "platform/SystemError.h"
#include "tests/support/FakeFileManager.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInLaunchctl.h"
#include "tests/support/StandInOsascript.h"

namespace UndoExecutor = veldo::removal::UndoExecutor;
using veldo::platform::ErrorDomain;
using veldo::platform::MacPath;
using veldo::platform::SystemError;
using veldo::removal::RestorePoint;
using veldo::removal::RestoreReport;
using veldo::testsupport::FakeFileManager;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInLaunchctl;
using veldo::testsupport::StandInOsascript;
using namespace veldo::testsupport::literals;

namespace {

RestorePoint userPoint(const MacPath& original, const MacPath& trashURL)
{
    RestorePoint point;
    point.item.url = original;
    point.trashURL = trashURL;
    return point;
}

std::vector<std::string> paths(const std::vector<RestorePoint>& points)
{
    std::vector<std::string> out;
    for (const RestorePoint& point : points)
        out.push_back(point.item.url.path());
    return out;
}

std::string gui(std::string_view verb, const MacPath& path)
{
    return "[" + std::string(verb) + "][gui/" + std::to_string(::getuid()) + "][" + path.path() +
           "]";
}

// Every entry under the folders (Mac paths) with its type, owner, group, mode, bytes or link
// target.
std::map<std::string, std::string> manifest(const FakeMac& mac, const std::vector<MacPath>& folders)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (const MacPath& folder : folders) {
        const std::string root = mac.host(folder);
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            struct stat st
            {
            };
            ::lstat(entry.path().c_str(), &st);
            std::string value = std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " +
                                std::to_string(st.st_mode);
            if (S_ISREG(st.st_mode)) {
                std::ifstream in(entry.path());
                value += " " + std::string(std::istreambuf_iterator<char>(in), {});
            } else if (S_ISLNK(st.st_mode)) {
                value += " -> " + fs::read_symlink(entry.path()).string();
            }
            entries[entry.path().string().substr(mac.root().size())] = value;
        }
    }
    return entries;
}

} // namespace

TEST(UndoExecutor, RestoresShallowestFirstKeepingTheOrderOfEqualDepths)
{
    const std::vector<RestorePoint> points{
        userPoint("/Library/Caches/Acme/inner/file"_mac, "/t/1"_mac),
        userPoint("/Library/Caches/Acme"_mac, "/t/2"_mac),
        userPoint("/Library/Caches/Zed/../Bee"_mac, "/t/3"_mac), // standardises to depth 3
        userPoint("/Library/Caches/Acme/inner"_mac, "/t/4"_mac),
        userPoint("/Library/Caches/Cee"_mac, "/t/5"_mac),
    };
    EXPECT_EQ(paths(UndoExecutor::orderForUndo(points)),
              (std::vector<std::string>{"/Library/Caches/Acme", "/Library/Caches/Zed/../Bee",
                                        "/Library/Caches/Cee", "/Library/Caches/Acme/inner",
                                        "/Library/Caches/Acme/inner/file"}));
    EXPECT_EQ(UndoExecutor::performUndo({}, {}), RestoreReport{});
}

TEST(UndoExecutor, UserLevelPointsComeBackInOrderAndAgentsAreBootstrapped)
{
    FakeMac mac;
    FakeFileManager files;
    StandInLaunchctl launchctl{mac};
    const MacPath home = veldo::platform::homeDirectory();
    const MacPath trash = home.appendingPathComponent(".Trash");
    const auto trashed = [&](const std::string& name, std::string_view bytes = "x") {
        return mac.write(trash.appendingPathComponent(name), bytes);
    };
    const MacPath support = home.appendingPathComponent("Library/Application Support");
    const MacPath folder = support.appendingPathComponent("Acme");
    mac.mkdir(trash.appendingPathComponent("Acme"));
    mac.mkdir(support);
    const MacPath agent = home.appendingPathComponent("Library/LaunchAgents/com.acme.agent.plist");
    const MacPath daemon = "/Library/LaunchDaemons/com.acme.daemon.plist"_mac;
    const MacPath again = mac.write(support.appendingPathComponent("again"), "user's new file");
    const MacPath refused = support.appendingPathComponent("refused");
    const MacPath refusedInTrash = trashed("refused");
    files.injectFailure(FakeFileManager::Call::move, refusedInTrash,
                        SystemError(ErrorDomain::cocoa, 513, "“refused” couldn’t be moved.",
                                    SystemError::posix(EPERM)));
    const std::vector<RestorePoint> points{
        userPoint(folder.appendingPathComponent("data"), trashed("data", "bytes")),
        userPoint(support.appendingPathComponent("emptied"), trash.appendingPathComponent("gone")),
        userPoint(folder, trash.appendingPathComponent("Acme")),
        userPoint(again, trashed("again")),
        userPoint(home.appendingPathComponent("Library/Gone/Deeper/file"), trashed("file")),
        userPoint(refused, refusedInTrash),
        userPoint(agent, trashed("com.acme.agent.plist")),
        userPoint(daemon, trashed("com.acme.daemon.plist")),
    };

    const RestoreReport report = UndoExecutor::performUndo(points, {});
    std::vector<std::string> restored;
    for (const auto& item : report.restored)
        restored.push_back(item.url.path());
    EXPECT_EQ(restored, (std::vector<std::string>{
                            daemon.path(), folder.path(), agent.path(),
                            folder.appendingPathComponent("data").path(),
                            home.appendingPathComponent("Library/Gone/Deeper/file").path()}));
    std::vector<std::string> failed;
    for (const auto& failure : report.failed)
        failed.push_back(failure.point.item.url.path() + ": " + failure.reason);
    EXPECT_EQ(failed, (std::vector<std::string>{
                          support.appendingPathComponent("emptied").path() +
                              ": It's no longer in the Trash.",
                          again.path() + ": Something new already exists at its original location.",
                          refused.path() + ": “refused” couldn’t be moved.",
                      }));
    EXPECT_FALSE(report.authorizationCancelled);
    EXPECT_EQ(mac.contents(folder.appendingPathComponent("data")), "bytes");
    EXPECT_EQ(mac.contents(again), "user's new file");
    EXPECT_EQ(launchctl.calls(), std::vector<std::string>{gui("bootstrap", agent)})
        << "only the user's agent is bootstrapped; the daemon's list is not";
}

TEST(UndoExecutor, ACancelledDialogFailsOnlyTheAdministratorPoints)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the stand-in osascript runs scripts only as root";
    FakeMac mac;
    StandInOsascript osascript(mac);
    const MacPath home = veldo::platform::homeDirectory();
    const MacPath cache = mac.write("/Library/Caches/acme.db"_mac, "db");
    const auto moved = veldo::removal::AdminRemover::runMoveScript(
        {cache}, veldo::common::RemovalSafety::Context{home, {}, {}, false});
    ASSERT_EQ(moved.moved.size(), 1u);
    RestorePoint admin = userPoint(cache, moved.moved[0].destination);
    admin.needsAdmin = true;
    admin.ownerID = moved.moved[0].ownerID;
    admin.groupID = moved.moved[0].groupID;
    admin.itemDevice = moved.moved[0].device;
    admin.itemInode = moved.moved[0].inode;
    admin.parentDevice = moved.moved[0].parentDevice;
    admin.parentInode = moved.moved[0].parentInode;
    admin.parentOwnerID = moved.moved[0].parentOwnerID;
    const MacPath mine = home.appendingPathComponent("Library/Caches/mine");
    mac.mkdir(mine.deletingLastPathComponent());
    const RestorePoint user =
        userPoint(mine, mac.write(home.appendingPathComponent(".Trash/mine"), "m"));
    osascript.setCancels();

    const RestoreReport report = UndoExecutor::performUndo({admin, user}, {});
    ASSERT_EQ(report.restored.size(), 1u);
    EXPECT_EQ(report.restored[0].url, mine);
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].point, admin);
    EXPECT_EQ(report.failed[0].reason, "Administrator authorization was cancelled.");
    EXPECT_TRUE(report.failed[0].retryable);
    EXPECT_TRUE(report.authorizationCancelled);
}

TEST(UndoExecutor, ACleanupUndoneLeavesTheTreeAsItWas)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the stand-in osascript runs scripts only as root";
    FakeMac mac;
    StandInOsascript osascript(mac);
    FakeFileManager files;
    const MacPath home = veldo::platform::homeDirectory();
    const MacPath caches = home.appendingPathComponent("Library/Caches/com.acme");
    mac.write(caches.appendingPathComponent("inner/blob"), "blob", 0600);
    mac.symlink(caches.appendingPathComponent("link"), "inner/blob");
    const MacPath agent =
        mac.write(home.appendingPathComponent("Library/LaunchAgents/com.acme.agent.plist"), "a");
    const MacPath support = "/Library/Application Support/Acme"_mac;
    const MacPath data = mac.write(support.appendingPathComponent("data"), "data", 0640);
    ASSERT_EQ(::chown(mac.host(data).c_str(), 0, 80), 0);
    const MacPath daemon = mac.write("/Library/LaunchDaemons/com.acme.daemon.plist"_mac, "d");
    const MacPath systemAgent = mac.write("/Library/LaunchAgents/com.acme.all.plist"_mac, "s");
    const std::vector<MacPath> watched{home.appendingPathComponent("Library"),
                                       "/Library/Application Support"_mac,
                                       "/Library/LaunchDaemons"_mac, "/Library/LaunchAgents"_mac};
    const auto before = manifest(mac, watched);

    // The user's own rights fail on the administrator items.
    for (const MacPath& admin : {systemAgent, support, daemon})
        files.injectFailure(FakeFileManager::Call::trash, admin,
                            SystemError(ErrorDomain::cocoa, 513, "no", SystemError::posix(EPERM)));
    std::vector<veldo::core::LeftoverItem> items;
    for (const MacPath& url : {caches, agent, systemAgent, support, daemon}) {
        veldo::core::LeftoverItem item;
        item.url = url;
        items.push_back(item);
    }
    const veldo::common::RemovalSafety::Context context{home, {}, {}, false};
    const auto outcome = veldo::removal::TrashExecutor::runUninstall(items, context, {});
    ASSERT_EQ(outcome.restorePoints.size(), 2u);
    ASSERT_EQ(outcome.failed.size(), 3u);
    const auto moved =
        veldo::removal::AdminRemover::runMoveScript({systemAgent, support, daemon}, context);
    ASSERT_EQ(moved.moved.size(), 3u);
    std::vector<RestorePoint> points = outcome.restorePoints;
    for (const auto& move : moved.moved) {
        RestorePoint point = userPoint(move.source, move.destination);
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
    ASSERT_NE(manifest(mac, watched), before);

    const RestoreReport report = UndoExecutor::performUndo(points, {});
    EXPECT_TRUE(report.failed.empty()) << report.failed.front().reason;
    EXPECT_EQ(report.restored.size(), 5u);
    EXPECT_EQ(manifest(mac, watched), before);
    // The Trash executor boots the agents out (the system one back in when its move fails), the
    // script boots the daemon out; the Undo bootstraps the user's agent, the script the daemon,
    // and then the executor the administrator-restored agent, into the user's domain.
    EXPECT_EQ(osascript.launchctl().calls(),
              (std::vector<std::string>{
                  gui("bootout", agent), gui("bootout", systemAgent), gui("bootstrap", systemAgent),
                  "[bootout][system][" + daemon.path() + "]", gui("bootstrap", agent),
                  "[bootstrap][system][" + daemon.path() + "]", gui("bootstrap", systemAgent)}));
}

TEST(UndoExecutor, AfterAStopNoPointIsTouched)
{
    FakeMac mac;
    const MacPath home = veldo::platform::homeDirectory();
    const MacPath original = home.appendingPathComponent("Library/Caches/acme");
    const MacPath inTrash = mac.write(home.appendingPathComponent(".Trash/acme"), "a");
    std::stop_source stop;
    stop.request_stop();
    const RestoreReport report =
        UndoExecutor::performUndo({userPoint(original, inTrash)}, {}, stop.get_token());
    EXPECT_TRUE(report.restored.empty());
    ASSERT_EQ(report.failed.size(), 1u);
    EXPECT_EQ(report.failed[0].reason, UndoExecutor::kStoppedBeforeRestore);
    EXPECT_FALSE(report.failed[0].retryable);
    EXPECT_EQ(mac.contents(inTrash), "a");
    EXPECT_EQ(mac.contents(original), "<missing>");
}
