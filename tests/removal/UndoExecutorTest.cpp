// The Undo of the last cleanup on a fake Mac: its order, the user-level restore and its launch
// agents, and the administrator points after a cancelled dialog.
#include "app/removal/UndoExecutor.h"

#include <cerrno>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/removal/AdminMover.h"
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
    EXPECT_TRUE(report.authorizationCancelled);
}
