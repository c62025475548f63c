// The Trash executor on a fake Mac: moves with restore points and free names, nesting, policy
// refusals, missing and unreadable items, injected failures, launchd boot-out, scoped access.
#include "app/removal/TrashExecutor.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stop_token>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CommandRunner.h"
#include "common/RemovalSafety.h"
#include "platform/SecurityScopedAccess.h"
#include "tests/support/FakeFileManager.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInLaunchctl.h"

using veldo::common::RemovalSafety::Context;
using veldo::core::AccessRootKind;
using veldo::core::LeftoverCategory;
using veldo::core::LeftoverItem;
using veldo::core::ScopedAccessRoot;
using veldo::platform::ErrorDomain;
using veldo::platform::MacPath;
using veldo::platform::SystemError;
using veldo::removal::RestorePoint;
using veldo::removal::UninstallOutcome;
using veldo::testsupport::FakeFileManager;
using veldo::testsupport::FakeMac;
using veldo::testsupport::StandInLaunchctl;
namespace TrashExecutor = veldo::removal::TrashExecutor;
using Call = FakeFileManager::Call;

namespace {

LeftoverItem item(const MacPath& url, LeftoverCategory category = LeftoverCategory::supportFiles,
                  bool requiresAdmin = false)
{
    return LeftoverItem{.url = url, .category = category, .requiresAdmin = requiresAdmin};
}

std::vector<std::string> paths(const std::vector<LeftoverItem>& items)
{
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(i.url.path());
    return out;
}

SystemError cocoaError(int code, int err, std::string sentence)
{
    return SystemError(ErrorDomain::cocoa, code, std::move(sentence), SystemError::posix(err));
}

class TrashExecutorTest : public ::testing::Test
{
protected:
    FakeMac mac;
    FakeFileManager files;
    StandInLaunchctl launchctl{mac};
    const MacPath home = mac.home();
    const MacPath trash = home.appendingPathComponent(".Trash");

    Context context() const
    {
        return Context{home, {MacPath("/Applications/Veldo.app")}, {}, false};
    }

    MacPath at(const std::string& relativeToHome) const
    {
        return MacPath(home.path() + "/" + relativeToHome);
    }

    bool exists(const MacPath& path) const { return ::access(mac.host(path).c_str(), F_OK) == 0; }

    std::string call(std::string_view verb, const MacPath& path) const
    {
        return "[" + std::string(verb) + "][gui/" + std::to_string(::getuid()) + "][" +
               path.path() + "]";
    }
};

} // namespace

TEST_F(TrashExecutorTest, MovesItemsToTheTrashWithRestorePointsAndFreeNames)
{
    mac.write(trash.appendingPathComponent("com.acme.app.log"), "older log");
    const MacPath prefs = mac.write(at("Library/Preferences/com.acme.App.plist"), "prefs");
    const MacPath support = at("Library/Application Support/Acme");
    mac.write(support.appendingPathComponent("data.db"), "support data");
    const MacPath caches = at("Library/Caches/Acme");
    mac.write(caches.appendingPathComponent("blob"), "cache blob");
    const MacPath app = MacPath("/Applications/Acme.app");
    mac.write(app.appendingPathComponent("Contents/Info.plist"), "<plist/>");
    const MacPath accented = mac.write(at("Library/Caches/Caf\u00e9 \u00dcbersicht"), "accent");
    const MacPath log = mac.write(at("Library/Logs/COM.ACME.APP.LOG"), "newer log");

    const std::vector<LeftoverItem> items{
        item(prefs, LeftoverCategory::preferences), item(support),
        item(caches, LeftoverCategory::caches),     item(app, LeftoverCategory::application),
        item(accented, LeftoverCategory::caches),   item(log, LeftoverCategory::logs)};
    const UninstallOutcome outcome = TrashExecutor::runUninstall(items, context(), {});

    // A name the Trash holds in another letter case, or that an earlier item took, is numbered.
    struct Expected
    {
        std::string name;   // in the Trash
        std::string inside; // a file to read there ("" for the item itself)
        std::string contents;
    };
    const std::vector<Expected> expected{
        {"com.acme.App.plist", "", "prefs"},        {"Acme", "data.db", "support data"},
        {"Acme 2", "blob", "cache blob"},           {"Acme.app", "Contents/Info.plist", "<plist/>"},
        {"Caf\u00e9 \u00dcbersicht", "", "accent"}, {"COM.ACME.APP 2.LOG", "", "newer log"},
    };
    EXPECT_EQ(outcome.trashed, items);
    ASSERT_EQ(outcome.restorePoints.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MacPath trashURL = trash.appendingPathComponent(expected[i].name);
        EXPECT_EQ(outcome.restorePoints[i], (RestorePoint{.item = items[i], .trashURL = trashURL}));
        const MacPath file = expected[i].inside.empty()
                                 ? trashURL
                                 : trashURL.appendingPathComponent(expected[i].inside);
        EXPECT_EQ(mac.contents(file), expected[i].contents) << file.path();
        EXPECT_FALSE(exists(items[i].url)) << items[i].url.path();
    }
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("com.acme.app.log")), "older log");
    EXPECT_TRUE(outcome.failed.empty());
    EXPECT_TRUE(outcome.alreadyMissing.empty());
    EXPECT_TRUE(outcome.nested.empty());
    EXPECT_TRUE(outcome.escalatableIDs.empty());
    EXPECT_EQ(outcome.trashedWithoutRestorePointCount(), 0u);
    EXPECT_TRUE(launchctl.calls().empty());
}

TEST_F(TrashExecutorTest, AnEntryPutInTheTrashDuringTheRunIsNeverReplaced)
{
    std::vector<LeftoverItem> items;
    for (const char* folder : {"a", "b", "c"})
        items.push_back(
            item(mac.write(at(std::string("Library/Caches/") + folder + "/Report.pdf"), folder)));
    // Just before the second move, someone else puts the name it would get into the Trash.
    int moves = 0;
    files.setBeforeTrash([&](const MacPath&) {
        if (++moves == 2)
            mac.write(trash.appendingPathComponent("Report 2.pdf"), "theirs");
    });
    const UninstallOutcome outcome = TrashExecutor::runUninstall(items, context(), {});

    EXPECT_EQ(outcome.trashed, items);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Report.pdf", "a"}, {"Report 3.pdf", "b"}, {"Report 4.pdf", "c"}};
    ASSERT_EQ(outcome.restorePoints.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const MacPath trashURL = trash.appendingPathComponent(expected[i].first);
        EXPECT_EQ(outcome.restorePoints[i], (RestorePoint{.item = items[i], .trashURL = trashURL}));
        EXPECT_EQ(mac.contents(trashURL), expected[i].second);
    }
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Report 2.pdf")), "theirs");
    EXPECT_TRUE(outcome.failed.empty());
}

TEST_F(TrashExecutorTest, NestedAndRepeatedItemsAreNotHandledOnTheirOwn)
{
    const MacPath folder = at("Library/Caches/Acme");
    const MacPath inside = mac.write(folder.appendingPathComponent("inside.db"), "x");
    mac.symlink(at("Library/Caches/AcmeLink"), "Acme");
    const MacPath throughLink = at("Library/Caches/AcmeLink/inside.db");

    const UninstallOutcome outcome = TrashExecutor::runUninstall(
        {item(inside), item(folder), item(folder), item(throughLink)}, context(), {});

    EXPECT_EQ(paths(outcome.trashed), (std::vector<std::string>{folder.path()}));
    // The file comes before its folder in the list and is still set aside; a repeat and a path
    // through a link to the folder are too.
    EXPECT_EQ(paths(outcome.nested),
              (std::vector<std::string>{inside.path(), folder.path(), throughLink.path()}));
    EXPECT_EQ(paths(outcome.nestedItemsTrashedWithParent()),
              (std::vector<std::string>{inside.path(), folder.path()}));
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Acme/inside.db")), "x");
    EXPECT_TRUE(outcome.failed.empty());
}

TEST_F(TrashExecutorTest, RefusedItemsStayUntouchedWithThePolicysSentence)
{
    const MacPath victim = mac.write(at("Library/Caches/Keep/file"), "keep");
    mac.write(MacPath("/Applications/Veldo.app/Contents/Info.plist"), "<plist/>");
    const std::string unidentifiable =
        "Veldo can't safely identify this location, so it wasn't removed.";
    const std::string keep = home.path() + "/Library/Caches/Keep";
    const std::vector<std::pair<MacPath, std::string>> cases{
        {MacPath("Library/Caches/Keep/file"), unidentifiable},
        {MacPath(keep + std::string("/file\0x", 7)), unidentifiable},
        {MacPath(keep + "/./file"), unidentifiable},
        {MacPath(keep + "/../Keep/file"), unidentifiable},
        {MacPath(keep + "/file/.."), unidentifiable},
        {MacPath("/Applications/Veldo.app"), "Veldo can't remove itself."},
        {at("Library"), ""},
        {MacPath("/Applications"), ""},
        {home, ""},
    };
    for (const auto& [url, sentence] : cases) {
        const auto refusal = veldo::common::removalRefusal(url, context());
        ASSERT_TRUE(refusal) << url.path();
        const std::string message =
            sentence.empty() ? veldo::common::removalRefusalMessage(*refusal) : sentence;
        const UninstallOutcome outcome = TrashExecutor::runUninstall({item(url)}, context(), {});
        EXPECT_EQ(outcome.failed, (std::vector<UninstallOutcome::Failure>{{item(url), message}}))
            << url.path();
        // Never looked at on disk, never escalated.
        EXPECT_FALSE(files.lastError(Call::attributes, url));
        EXPECT_TRUE(outcome.trashed.empty());
        EXPECT_TRUE(outcome.escalatableIDs.empty());
        EXPECT_EQ(outcome.refusedIDs, std::unordered_set<std::string>{url.path()});
    }
    EXPECT_EQ(mac.contents(victim), "keep");
    EXPECT_TRUE(exists(MacPath("/Applications/Veldo.app/Contents/Info.plist")));
    auto trashEntries = veldo::platform::listDirectory(trash);
    ASSERT_TRUE(trashEntries);
    EXPECT_TRUE(trashEntries->empty());
}

TEST_F(TrashExecutorTest, EmptyListAndScopedAccessInBalancedPairs)
{
    const std::vector<ScopedAccessRoot> roots{
        {AccessRootKind::applications, MacPath("/Applications")},
        {AccessRootKind::userApplications, at("Applications")},
        {AccessRootKind::userLibrary, at("Library")},
        {AccessRootKind::systemLibrary, MacPath("/Library")}};
    using veldo::platform::testing::activeSecurityScopedAccesses;

    EXPECT_EQ(TrashExecutor::runUninstall({}, context(), roots), UninstallOutcome{});
    for (const auto& root : roots)
        EXPECT_EQ(activeSecurityScopedAccesses(root.url), 0u) << root.url.path();

    std::vector<std::size_t> duringMove;
    files.setBeforeTrash([&](const MacPath&) {
        for (const auto& root : roots)
            duringMove.push_back(activeSecurityScopedAccesses(root.url));
    });
    const MacPath file = mac.write(at("Library/Caches/one"), "1");
    EXPECT_EQ(TrashExecutor::runUninstall({item(file)}, context(), roots).trashed.size(), 1u);
    EXPECT_EQ(duringMove, (std::vector<std::size_t>{1, 1, 1, 1}));
    for (const auto& root : roots)
        EXPECT_EQ(activeSecurityScopedAccesses(root.url), 0u) << root.url.path();
}

TEST_F(TrashExecutorTest, MissingUnreadableAndFailedItems)
{
    const MacPath missing = at("Library/Caches/gone");
    const MacPath underFile = at("Library/Caches/plain/child");
    mac.write(at("Library/Caches/plain"), "a file, not a folder");
    mac.symlink(at("Library/Caches/loopA"), "loopB");
    mac.symlink(at("Library/Caches/loopB"), "loopA");
    const MacPath behindLoop = at("Library/Caches/loopA/item");
    const MacPath unreadable = mac.write(at("Library/Caches/unreadable"), "u");
    const MacPath tooLong = mac.write(at("Library/Caches/toolong"), "t");
    const MacPath busy = mac.write(at("Library/Caches/busy"), "b");
    const MacPath admin = mac.write(at("Library/Caches/admin"), "a");
    const MacPath unrecorded = mac.write(at("Library/Caches/unrecorded"), "r");

    files.injectFailure(Call::attributes, unreadable,
                        cocoaError(257, EACCES, "“unreadable” couldn’t be read."));
    files.injectFailure(Call::attributes, tooLong,
                        cocoaError(256, ENAMETOOLONG, "“toolong” couldn’t be read."));
    files.injectFailure(Call::trash, busy, cocoaError(512, EBUSY, "“busy” is in use."));
    files.injectFailure(Call::trash, admin, cocoaError(512, EIO, "“admin” failed."));
    files.omitResultingURL(unrecorded);

    const std::vector<LeftoverItem> items{item(missing),
                                          item(underFile),
                                          item(behindLoop),
                                          item(unreadable),
                                          item(tooLong),
                                          item(busy),
                                          item(admin, LeftoverCategory::caches, true),
                                          item(unrecorded)};
    const UninstallOutcome outcome = TrashExecutor::runUninstall(items, context(), {});

    // Only ENOENT and ENOTDIR mean the item is gone.
    EXPECT_EQ(paths(outcome.alreadyMissing),
              (std::vector<std::string>{missing.path(), underFile.path()}));
    EXPECT_EQ(files.lastErrno(Call::attributes, behindLoop), ELOOP);
    ASSERT_EQ(outcome.failed.size(), 5u);
    const auto loopError = files.lastError(Call::attributes, behindLoop);
    ASSERT_TRUE(loopError);
    const std::vector<std::pair<std::string, std::string>> failures{
        {behindLoop.path(), loopError->localizedDescription()},
        {unreadable.path(), "“unreadable” couldn’t be read."},
        {tooLong.path(), "“toolong” couldn’t be read."},
        {busy.path(), "“busy” is in use."},
        {admin.path(), "Requires administrator privileges."},
    };
    for (std::size_t i = 0; i < failures.size(); ++i) {
        EXPECT_EQ(outcome.failed[i].item.url.path(), failures[i].first);
        EXPECT_EQ(outcome.failed[i].message, failures[i].second);
    }
    // A permission error, or an item that needs administrator rights, may be escalated.
    EXPECT_EQ(outcome.escalatableIDs,
              (std::unordered_set<std::string>{unreadable.path(), admin.path()}));
    EXPECT_TRUE(outcome.appManagementDenialIDs.empty());
    EXPECT_TRUE(outcome.refusedIDs.empty()) << "failures, but nothing the policy refused";
    EXPECT_EQ(mac.contents(unreadable), "u");
    EXPECT_EQ(mac.contents(busy), "b");

    // Moved, but the file manager named no place in the Trash: trashed without a restore point.
    EXPECT_EQ(paths(outcome.trashed), (std::vector<std::string>{unrecorded.path()}));
    EXPECT_TRUE(outcome.restorePoints.empty());
    EXPECT_EQ(outcome.trashedWithoutRestorePointCount(), 1u);
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("unrecorded")), "r");
}

TEST_F(TrashExecutorTest, LaunchAgentsAreBootedOutAroundTheirMove)
{
    const MacPath agent = mac.write(at("Library/LaunchAgents/com.acme.agent.plist"), "a");
    const MacPath failing = mac.write(at("Library/LaunchAgents/com.acme.failing.plist"), "f");
    const MacPath adminAgent = mac.write(at("Library/LaunchAgents/com.acme.admin.plist"), "m");
    const MacPath notPlist = mac.write(at("Library/LaunchAgents/notes.txt"), "n");
    const MacPath systemAgent = mac.write(MacPath("/Library/LaunchAgents/com.acme.sys.plist"), "s");
    const MacPath daemon = mac.write(MacPath("/Library/LaunchDaemons/com.acme.daemon.plist"), "d");
    files.injectFailure(Call::trash, failing, cocoaError(513, EACCES, "“failing” denied."));

    std::vector<std::vector<std::string>> logAtMove;
    files.setBeforeTrash([&](const MacPath&) { logAtMove.push_back(launchctl.calls()); });
    const UninstallOutcome outcome = TrashExecutor::runUninstall(
        {item(agent, LeftoverCategory::launchAgents), item(failing, LeftoverCategory::launchAgents),
         item(adminAgent, LeftoverCategory::launchAgents, true),
         item(notPlist, LeftoverCategory::launchAgents),
         item(systemAgent, LeftoverCategory::launchAgents),
         item(daemon, LeftoverCategory::launchAgents)},
        context(), {});

    // The tests run as root, so "/Library/LaunchAgents" is writable here (the dropped-privilege
    // test shows the other side); a daemon and an agent needing administrator rights never.
    const std::vector<std::string> expected{call("bootout", agent), call("bootout", failing),
                                            call("bootstrap", failing),
                                            call("bootout", systemAgent)};
    EXPECT_EQ(launchctl.calls(), expected);
    ASSERT_EQ(logAtMove.size(), 6u);
    EXPECT_EQ(logAtMove[0], (std::vector<std::string>{expected[0]})); // booted out before its move
    EXPECT_EQ(logAtMove[4].back(), expected[3]);
    EXPECT_EQ(outcome.trashed.size(), 5u);
    EXPECT_EQ(paths({outcome.failed.front().item}), (std::vector<std::string>{failing.path()}));
}

TEST_F(TrashExecutorTest, BootOutAndBootstrapRunInOrderWithTheProcessEnvironment)
{
    const MacPath first = mac.write(at("Library/LaunchAgents/a.plist"), "a");
    const MacPath second = mac.write(at("Library/LaunchAgents/b.plist"), "b");
    mac.symlink(at("Agents"), "Library/LaunchAgents");
    ::setenv("VELDO_LAUNCHCTL_MARK", "seen", 1); // NOLINT(concurrency-mt-unsafe): no threads yet
    launchctl.setOutput("bootout", "ignored output", "ignored error", 5);

    TrashExecutor::bootOutAgents({first, at("Agents/b.plist")});
    TrashExecutor::bootstrapAgents({second});
    ::unsetenv("VELDO_LAUNCHCTL_MARK"); // NOLINT(concurrency-mt-unsafe)

    // A path through a linked folder reaches launchctl with its parent links resolved.
    EXPECT_EQ(launchctl.calls(),
              (std::vector<std::string>{call("bootout", first), call("bootout", second),
                                        call("bootstrap", second)}));
    const auto environments = launchctl.environments();
    ASSERT_EQ(environments.size(), 3u);
    for (const auto& line : environments)
        EXPECT_NE(line.find("VELDO_LAUNCHCTL_MARK=seen"), std::string::npos) << line;
}

TEST_F(TrashExecutorTest, AnAgentPathWithoutAHostPathIsNotHandedToLaunchctl)
{
    const MacPath agent = mac.write(at("Library/LaunchAgents/a.plist"), "a");
    mac.symlink(at("Loop"), "Loop");
    TrashExecutor::bootOutAgents({at("Loop/b.plist"), agent});
    TrashExecutor::bootstrapAgents({at("Loop/b.plist")});
    EXPECT_EQ(launchctl.calls(), (std::vector<std::string>{call("bootout", agent)}));
}

TEST_F(TrashExecutorTest, LaunchctlStandInAnswersAsRecorded)
{
    namespace CommandRunner = veldo::core::CommandRunner;
    const CommandRunner::Environment environment{{"PATH", "/usr/bin:/bin"}};
    launchctl.setOutput("print", "system = {\n}\n", "note\n", 3);
    launchctl.setOutput("list", "PID\tStatus\tLabel\n-\t0\tcom.acme.agent\n");

    const auto printed = CommandRunner::run(MacPath("/bin/launchctl"), {"print", "system"},
                                            environment, std::chrono::seconds(10));
    ASSERT_TRUE(printed);
    EXPECT_EQ(*printed, (CommandRunner::Output{"system = {\n}\n", "note\n", 3, false}));
    const auto listed = CommandRunner::run(MacPath("/bin/launchctl"), {"list"}, environment,
                                           std::chrono::seconds(10));
    ASSERT_TRUE(listed);
    EXPECT_EQ(*listed,
              (CommandRunner::Output{"PID\tStatus\tLabel\n-\t0\tcom.acme.agent\n", "", 0, false}));
    // Still running once it has noted its call, however long a loaded machine took to get there.
    launchctl.setHangs("list");
    std::stop_source stop;
    std::jthread stopper([&] {
        for (int turn = 0; turn < 1000 && launchctl.calls().size() < 3; ++turn)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop.request_stop();
    });
    const auto hung = CommandRunner::run(MacPath("/bin/launchctl"), {"list"}, environment,
                                         std::chrono::seconds(30), {}, stop.get_token());
    ASSERT_FALSE(hung);
    EXPECT_EQ(hung.error().code, veldo::ErrorCode::cancelled);
    EXPECT_EQ(launchctl.calls(), (std::vector<std::string>{"[print][system]", "[list]", "[list]"}));
    // Exactly the environment given, and the working folder the shell adds.
    const std::string environmentLine = launchctl.environments().front();
    EXPECT_TRUE(environmentLine.starts_with("PATH=/usr/bin:/bin PWD=/")) << environmentLine;
    EXPECT_EQ(std::count(environmentLine.begin(), environmentLine.end(), '='), 2)
        << environmentLine;
}

TEST(TrashExecutorPlists, LaunchAgentAndDaemonLocations)
{
    const MacPath home("/Users/u");
    struct Case
    {
        const char* path;
        bool agent;
        bool daemon;
    };
    const std::vector<Case> cases{
        {"/Library/LaunchAgents/a.plist", true, false},
        {"/Users/u/Library/LaunchAgents/a.plist", true, false},
        {"/Users/u/Library/LaunchAgents/./a.plist", true, false},
        {"/Users/u/Library/Caches/../LaunchAgents/a.plist", true, false},
        {"/Users/u/Library/LaunchAgents/sub/a.plist", false, false},
        {"/Users/u/Library/LaunchAgents/a.PLIST", false, false},
        {"/Users/u/Library/LaunchAgents/a.txt", false, false},
        {"/Users/other/Library/LaunchAgents/a.plist", false, false},
        {"/library/launchagents/a.plist", false, false},
        {"/Library/LaunchDaemons/d.plist", false, true},
        {"/Library/LaunchDaemons//d.plist", false, true},
        {"/Library/LaunchDaemons/d", false, false},
        {"/Volumes/X/Library/LaunchDaemons/d.plist", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrashExecutor::isLaunchAgentPlist(MacPath(c.path), home), c.agent) << c.path;
        EXPECT_EQ(TrashExecutor::isSystemDaemonPlist(MacPath(c.path)), c.daemon) << c.path;
    }
    EXPECT_TRUE(TrashExecutor::isLaunchAgentPlist(MacPath("/Users/u/Library/LaunchAgents/a.plist"),
                                                  MacPath("/Users/u/")));
}

TEST_F(TrashExecutorTest, AfterAStopNoItemIsTouched)
{
    const MacPath first = mac.write(at("Library/Caches/first"), "1");
    const MacPath second = mac.write(at("Library/Caches/second"), "2");
    std::stop_source stop;
    files.setBeforeTrash([&](const MacPath&) { stop.request_stop(); });
    const UninstallOutcome outcome = TrashExecutor::performUninstall(
        {item(first), item(second, LeftoverCategory::caches, /*requiresAdmin=*/true)}, context(),
        stop.get_token());
    EXPECT_EQ(paths(outcome.trashed), std::vector<std::string>{first.path()});
    ASSERT_EQ(outcome.failed.size(), 1u);
    EXPECT_EQ(outcome.failed[0].message, TrashExecutor::kStoppedMessage);
    EXPECT_TRUE(outcome.escalatableIDs.empty());
    EXPECT_TRUE(exists(second));
}

TEST_F(TrashExecutorTest, AStopEndsAHangingLaunchctlAndStartsNoOther)
{
    const MacPath first = mac.write(at("Library/LaunchAgents/com.acme.first.plist"), "1");
    const MacPath second = mac.write(at("Library/LaunchAgents/com.acme.second.plist"), "2");
    launchctl.setHangs("bootout");
    std::stop_source stop;
    std::jthread stopper([&] {
        // Once the first launchctl runs (it notes each call as it starts).
        for (int turn = 0; turn < 1000 && launchctl.calls().empty(); ++turn)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    TrashExecutor::bootOutAgents({first, second}, stop.get_token());
    // Well before launchctl's own 30-second time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, TrashExecutor::kLaunchctlTimeout / 3);
    EXPECT_EQ(launchctl.calls(), std::vector<std::string>{call("bootout", first)});
}
