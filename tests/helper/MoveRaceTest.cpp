// Moves that meet a change at a pause point: the item, its parent or the Trash swapped, a name
// taken, the Trash made immutable; the answers of put-backs, and a canary tree outside the fake Mac
// that nothing may touch.
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "helper/HelperFaultPoints.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/helper/Canary.h"
#include "tests/helper/MoverTestSupport.h"
#include "tests/helper/PausePoint.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using common::VeldoHelperItemResult;
using platform::MacPath;
using Outcome = VeldoHelperItemResult::Outcome;
namespace fs = std::filesystem;

class MoveRace : public MoverTest
{
protected:
    void TearDown() override { testing::setFaultPoints(""); }

    // Runs the move of `source` with `actions` done at the pause points they name.
    VeldoHelperItemResult moveWith(const std::string& source, const std::string& trashName,
                                   const std::map<std::string, std::function<void()>>& actions)
    {
        std::map<std::string, std::unique_ptr<PausePoint>> pauses;
        std::string configuration;
        for (const auto& [point, action] : actions) {
            pauses[point] = std::make_unique<PausePoint>();
            configuration +=
                (configuration.empty() ? "" : ",") + point + ":" + pauses[point]->action();
        }
        testing::setFaultPoints(configuration);
        auto running = std::async(std::launch::async, [&] {
            return mover.moveItems(source, mover.caller.home.path() + "/.Trash/" + trashName);
        });
        // The points are met in the move's order; wait for each in that order.
        for (const char* point : kOrder) {
            auto it = pauses.find(point);
            if (it == pauses.end())
                continue;
            const bool reached = it->second->waitReached([&] {
                return running.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
            });
            EXPECT_TRUE(reached) << point;
            if (!reached)
                break;
            try {
                actions.at(point)();
            } catch (const std::exception& e) {
                ADD_FAILURE() << point << ": " << e.what();
            }
            it->second->release();
        }
        auto result = running.get();
        testing::setFaultPoints("");
        return result;
    }

    static constexpr const char* kOrder[] = {
        "move.journaled", "move.folderMade",   "move.journaledAgain", "move.bootedOut",
        "move.staged",    "move.inventoried",  "move.renamed",        "move.handedOver",
        "move.recorded",  "move.folderRemoved"};

    std::vector<std::string> stagingFolders() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(trashHost()))
            if (e.path().filename().string().starts_with(".Veldo Helper "))
                names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(MoveRace, ItemThatVanishesAtAPauseIsMissing)
{
    mac.write("/Library/Gone/x.txt"_mac, "x");
    const auto result =
        moveWith("/Library/Gone/x.txt", "x.txt",
                 {{"move.journaled", [&] { fs::remove(host("/Library/Gone/x.txt"_mac)); }}});
    EXPECT_EQ(result.outcome, Outcome::missing);
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_TRUE(journal().records().value().empty());
}

TEST_F(MoveRace, SwapsForLinksToACanaryTouchNothingOutside)
{
    Canary canary;
    const std::string changed =
        "It changed while Veldo's helper was moving it, so it was left alone.";
    struct Case
    {
        const char* what;
        std::string point;
        std::function<void(const std::string& target)> swap; // given the link target
        bool relative;
        Outcome outcome;
        std::optional<std::string> message;
    };
    const std::string item = host("/Library/Race/item"_mac);
    auto swapItem = [&](const std::string& target) {
        fs::remove_all(item);
        fs::create_symlink(target, item);
    };
    auto swapParent = [&](const std::string& target) {
        fs::rename(host("/Library/Race"_mac), host("/Library/Race-aside"_mac));
        fs::create_symlink(target, host("/Library/Race"_mac));
    };
    auto swapTrash = [&](const std::string& target) {
        fs::rename(trashHost(), trashHost() + "-aside");
        fs::create_symlink(target, trashHost());
    };
    auto swapSubfolder = [&](const std::string& target) {
        // A folder the inventory recorded becomes a link: in the staged tree, or in the Trash
        // once the item has its final name.
        std::string tree = trashHost("item");
        for (const auto& name : stagingFolders())
            if (fs::exists(trashHost(name) + "/item"))
                tree = trashHost(name) + "/item";
        fs::rename(tree + "/sub", tree + "/sub-aside");
        fs::create_symlink(target, tree + "/sub");
    };
    const std::vector<Case> cases = {
        {"item, absolute link", "move.journaled", swapItem, false, Outcome::failed, changed},
        {"item, relative link", "move.journaled", swapItem, true, Outcome::failed, changed},
        {"item after the check", "move.staged", swapItem, false, Outcome::done, std::nullopt},
        {"parent, absolute link", "move.journaled", swapParent, false, Outcome::done, std::nullopt},
        {"parent, relative link", "move.journaled", swapParent, true, Outcome::done, std::nullopt},
        {"Trash, absolute link", "move.journaled", swapTrash, false, Outcome::done, std::nullopt},
        {"Trash, relative link", "move.folderMade", swapTrash, true, Outcome::done, std::nullopt},
        {"subfolder before the hand-over", "move.inventoried", swapSubfolder, false, Outcome::done,
         std::nullopt},
        {"subfolder, relative link", "move.renamed", swapSubfolder, true, Outcome::done,
         std::nullopt},
    };
    for (const Case& c : cases) {
        fs::remove_all(host("/Library/Race"_mac));
        fs::remove_all(host("/Library/Race-aside"_mac));
        fs::remove_all(trashHost());
        fs::remove_all(trashHost() + "-aside");
        fs::create_directory(trashHost());
        chownHost(mac.home().appendingPathComponent(".Trash"), kCallerUid, kCallerGid);
        // A root-owned, read-only tree: its folders would be handed over.
        mac.mkdir("/Library/Race/item/sub"_mac);
        mac.write("/Library/Race/item/sub/f"_mac, "f");
        const std::string target = c.relative ? canary.relativeTarget() : canary.root();
        const auto result =
            moveWith("/Library/Race/item", "item", {{c.point, [&] { c.swap(target); }}});
        EXPECT_EQ(result.outcome, c.outcome) << c.what << ": " << result.message.value_or("");
        EXPECT_EQ(result.message, c.message) << c.what;
        EXPECT_TRUE(canary.unchanged()) << c.what;
    }
}

TEST_F(MoveRace, CallerSwappingTheirOwnItemForALinkGetsItLeftAlone)
{
    Canary canary;
    auto user = veldo::testsupport::TestUser::make();
    ASSERT_TRUE(user) << "useradd failed";
    const MacPath home = user->homeIn(mac);
    mover.caller = HelperCaller{user->uid(), user->gid(), home, {}};
    const MacPath caches = home.appendingPathComponent("Library/Caches");
    for (const bool relative : {false, true}) {
        const MacPath item = caches.appendingPathComponent(relative ? "rel" : "abs");
        mac.mkdir(item.appendingPathComponent("inner"));
        for (const MacPath& p : {home.appendingPathComponent("Library"), caches, item,
                                 item.appendingPathComponent("inner")})
            chownHost(p, user->uid(), user->gid());
        const std::string itemHost = host(item);
        const std::string target = relative ? canary.relativeTarget() : canary.root();
        const auto result = moveWith(item.path(), item.lastPathComponent(),
                                     {{"move.journaled", [&] {
                                           // The racer is the caller: it may change its own folder.
                                           EXPECT_EQ(user->run([&] {
                                               fs::rename(itemHost, itemHost + "-aside");
                                               fs::create_symlink(target, itemHost);
                                               return 0;
                                           }),
                                                     0);
                                       }}});
        EXPECT_EQ(result.outcome, Outcome::failed) << relative;
        EXPECT_EQ(result.message,
                  "It changed while Veldo's helper was moving it, so it was left alone.");
        EXPECT_TRUE(fs::is_symlink(itemHost)) << relative;
        EXPECT_TRUE(canary.unchanged()) << relative;
        EXPECT_TRUE(fs::is_empty(host(home.appendingPathComponent(".Trash")))) << relative;
    }
}

TEST_F(MoveRace, RacerExchangingTheItemWithALinkNeverReachesTheCanary)
{
    Canary canary;
    auto user = veldo::testsupport::TestUser::make();
    ASSERT_TRUE(user) << "useradd failed";
    const MacPath home = user->homeIn(mac);
    mover.caller = HelperCaller{user->uid(), user->gid(), home, {}};
    mover.handsOverFoldersForTesting = true; // a followed link would give the canary away
    const MacPath race = home.appendingPathComponent("Library/Caches/Race");
    mac.mkdir(race);
    for (const MacPath& p : {home.appendingPathComponent("Library"),
                             home.appendingPathComponent("Library/Caches"), race})
        chownHost(p, user->uid(), user->gid());
    const std::string item = host(race.appendingPathComponent("item"));
    const std::string link = host(race.appendingPathComponent("link"));

    // The racer (the caller) swaps "item" and "link" as fast as it can, for as long as it lives.
    const pid_t racer = ::fork();
    ASSERT_GE(racer, 0);
    if (racer == 0) {
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(user->gid(), user->gid(), user->gid()) != 0 ||
            ::setresuid(user->uid(), user->uid(), user->uid()) != 0)
            ::_exit(1);
        for (;;)
            ::renameat2(AT_FDCWD, item.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
    }
    std::map<Outcome, int> outcomes;
    std::set<std::string> messages;
    for (int i = 0; i < 200; ++i) {
        // Whatever the last move took, both names exist again: a root-owned folder and a link.
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(item)))
            fs::create_directories(item + "/sub", ec);
        if (!fs::exists(fs::symlink_status(link)))
            fs::create_symlink(i % 2 ? canary.root() : canary.relativeTarget(), link, ec);
        const auto result = mover.moveItems(race.appendingPathComponent("item").path(),
                                            home.path() + "/.Trash/item " + std::to_string(i));
        ++outcomes[result.outcome];
        messages.insert(result.message.value_or(""));
    }
    ::kill(racer, SIGKILL);
    ::waitpid(racer, nullptr, 0);
    EXPECT_TRUE(canary.unchanged());
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_TRUE(journal().records().value().empty());
    EXPECT_GT(outcomes[Outcome::done], 0);
    // Done (the folder or the link itself), or one of the answers to a changed item.
    const std::set<std::string> allowed = {
        "",
        "A folder on the way to this item is closed to your account, so moving it needs your "
        "password.",
        "It changed while Veldo's helper was moving it, so it was left alone."};
    for (const std::string& message : messages)
        EXPECT_TRUE(allowed.contains(message)) << message;
}

class PutBackAnswers : public MoveRace
{
protected:
    // Takes the item's original name with a new file while the item is staged.
    std::function<void()> takeName(const MacPath& source)
    {
        return [this, source] { mac.write(source, "someone else's"); };
    }
};

TEST_F(PutBackAnswers, EachFailedPutBackSaysWhereTheItemIs)
{
    const std::string inTrash = "Veldo's helper couldn't put it back where it was; it is in the "
                                "Trash, but Undo can't put it back.";
    const std::string staged =
        "Veldo's helper couldn't put it back where it was; it will try again when it next starts.";
    const std::string longName = std::string(251, 'z') + ".txt";

    // Step 13: the item replaced before it was staged, and its name taken again once staged.
    mac.write("/Library/P/changed.txt"_mac, "first");
    auto r = moveWith("/Library/P/changed.txt", "changed.txt",
                      {{"move.journaled",
                        [&] {
                            fs::remove(host("/Library/P/changed.txt"_mac));
                            mac.write("/Library/P/changed.txt"_mac, "second");
                        }},
                       {"move.staged", takeName("/Library/P/changed.txt"_mac)}});
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.message, inTrash);
    EXPECT_EQ(mac.contents(MacPath(mac.home().path() + "/.Trash/changed.txt")), "second");
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_TRUE(journal().records().value().empty());

    // Step 14: a folder holding an app.
    mac.mkdir("/Applications/Suite/Tool.app"_mac);
    r = moveWith("/Applications/Suite", "Suite",
                 {{"move.staged", [&] { mac.mkdir("/Applications/Suite"_mac); }}});
    EXPECT_EQ(r.message, inTrash);
    EXPECT_TRUE(fs::exists(trashHost("Suite/Tool.app")));
    EXPECT_TRUE(stagingFolders().empty());

    // Step 17: no free name for a 255-byte name, and none for the put-back either.
    mac.write(MacPath("/Library/P/" + longName), "long");
    mac.write(MacPath(mac.home().path() + "/.Trash/" + longName), "taken");
    r = moveWith("/Library/P/" + longName, longName,
                 {{"move.staged", takeName(MacPath("/Library/P/" + longName))}});
    EXPECT_EQ(r.message, staged);
    ASSERT_EQ(stagingFolders().size(), 1u);
    EXPECT_EQ(mac.contents(MacPath(mac.home().path() + "/.Trash/" + stagingFolders()[0] + "/item")),
              "long");
    ASSERT_EQ(journal().records().value().size(), 1u);
    EXPECT_EQ(journal().records().value()[0].stagingName, stagingFolders()[0]);
}

TEST_F(PutBackAnswers, StopWhoseItemCannotGoBackSaysItIsInTheTrash)
{
    mac.mkdir("/Library/S/Folder/inner"_mac);
    mover.isCancelled = [] { return true; };
    const auto r = moveWith("/Library/S/Folder", "Folder",
                            {{"move.staged", [&] { mac.mkdir("/Library/S/Folder"_mac); }}});
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.message, "Veldo's helper stopped while moving it; it is in the Trash, but Undo "
                         "can't put it back.");
    EXPECT_TRUE(fs::exists(trashHost("Folder/inner")));
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_TRUE(journal().records().value().empty());
    EXPECT_TRUE(ledger->records().empty());
}

TEST_F(PutBackAnswers, AnImmutableTrashKeepsTheItemStaged)
{
    common::testsupport::InodeFlagGuard flags;
    mac.write("/Library/Q/changed.txt"_mac, "first");
    int flagError = 0;
    const auto r = moveWith("/Library/Q/changed.txt", "changed.txt",
                            {{"move.journaled",
                              [&] {
                                  fs::remove(host("/Library/Q/changed.txt"_mac));
                                  mac.write("/Library/Q/changed.txt"_mac, "second");
                              }},
                             {"move.staged", [&] {
                                  mac.write("/Library/Q/changed.txt"_mac, "taken");
                                  flagError = flags.set(trashHost(), FS_IMMUTABLE_FL);
                              }}});
    if (flagError == EPERM || flagError == ENOTTY || flagError == EOPNOTSUPP)
        GTEST_SKIP() << "the kernel refused chattr +i (errno " << flagError << ")";
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.message, "Veldo's helper couldn't put it back where it was; it will try again "
                         "when it next starts.");
    EXPECT_EQ(journal().records().value().size(), 1u);
}

} // namespace
} // namespace veldo::helper
