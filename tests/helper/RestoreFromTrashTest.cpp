// Putting items the helper moved back from the caller's Trash: every answer with what it leaves
// behind (item, ledger record, inventory file, staging folder, journal), the tree checks, the
// launch-daemon bootstrap and the hand-over round trip.
#include <filesystem>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>

#include "common/HelperACL.h"
#include "common/HelperPathRules.h"
#include "helper/HelperFaultPoints.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/helper/MoverTestSupport.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using common::VeldoHelperItemResult;
using platform::MacPath;
using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;
namespace fs = std::filesystem;

constexpr std::string_view kChanged =
    "It changed in the Trash since Veldo moved it, so Veldo won't put it back.";
constexpr std::string_view kNotMoved =
    "Veldo's helper didn't move this item, so putting it back needs your password.";

class RestoreFromTrash : public MoverTest
{
protected:
    void TearDown() override
    {
        common::testing::setStoredNameReader({});
        testing::setFaultPoints("");
    }

    std::string trashPath(const std::string& name) const
    {
        return mac.home().path() + "/.Trash/" + name;
    }

    // Moves `source` into the Trash as `name`; the move must succeed.
    std::string moveIn(const std::string& source, const std::string& name)
    {
        const auto moved = mover.moveItems(source, trashPath(name));
        EXPECT_EQ(moved.outcome, Outcome::done) << moved.message.value_or("");
        return moved.destination.value_or("");
    }

    bool inventoryFileExists(const platform::UUID& id) const
    {
        return fs::exists(host(ledger->inventoriesDirectory().appendingPathComponent(
            common::HelperMoveLedger::inventoryFileName(id))));
    }

    void expectNoStaging(const std::string& what) const
    {
        for (const auto& entry : fs::directory_iterator(trashHost()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".Veldo Helper "))
                << what << ": " << entry.path();
        EXPECT_TRUE(journal().records().value().empty()) << what;
    }

    static common::HelperStat statHost(const std::string& hostPath)
    {
        UniqueFd fd(::open(hostPath.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        auto st = common::statDescriptor(fd.get());
        return st ? *st : common::HelperStat{};
    }
};

TEST_F(RestoreFromTrash, FileGoesBackAndItsRecordGoes)
{
    mac.write("/Library/Caches/com.example/cache.db"_mac, "data");
    chownHost("/Library/Caches/com.example/cache.db"_mac, 501, 20);
    const auto before = statHost(host("/Library/Caches/com.example/cache.db"_mac));
    const std::string inTrash = moveIn("/Library/Caches/com.example/cache.db", "cache.db");
    const platform::UUID id = ledger->records().at(0).id;

    const auto r = mover.restoreItems(inTrash, "/Library/Caches/com.example/cache.db");
    ASSERT_EQ(r.outcome, Outcome::done) << r.message.value_or("");
    EXPECT_EQ(r.path, inTrash);
    EXPECT_EQ(r.destination, "/Library/Caches/com.example/cache.db");
    EXPECT_FALSE(r.message);
    EXPECT_FALSE(r.reason);
    EXPECT_FALSE(r.ownerID);
    const auto after = statHost(host("/Library/Caches/com.example/cache.db"_mac));
    EXPECT_EQ(after.identity(), before.identity());
    EXPECT_EQ(after.uid, 501u);
    EXPECT_EQ(mac.contents("/Library/Caches/com.example/cache.db"_mac), "data");
    EXPECT_FALSE(fs::exists(trashHost("cache.db")));
    EXPECT_TRUE(ledger->records().empty());
    EXPECT_FALSE(inventoryFileExists(id));
    EXPECT_TRUE(launchctlCalls.empty());
    expectNoStaging("file");

    // A second put-back of the same path is no longer the helper's.
    const auto again = mover.restoreItems(inTrash, "/Library/Caches/com.example/cache.db");
    EXPECT_EQ(again.outcome, Outcome::notHandled);
    EXPECT_EQ(again.message, kNotMoved);
}

TEST_F(RestoreFromTrash, HandedOverTreeComesBackAsItWasAndAnAddedFileRefusesIt)
{
    mac.mkdir("/Library/Application Support/Tool/a/b"_mac);
    mac.write("/Library/Application Support/Tool/f"_mac, "1");
    mac.write("/Library/Application Support/Tool/a/g"_mac, "2");
    mac.symlink("/Library/Application Support/Tool/a/l"_mac, "g");
    ::chmod(host("/Library/Application Support/Tool/a"_mac).c_str(), 0750);
    mover.handsOverFoldersForTesting = true;

    // One added file refuses the put-back and leaves the folders the caller's.
    const std::string inTrash = moveIn("/Library/Application Support/Tool", "Tool");
    ASSERT_TRUE(ledger->records().size() == 1);
    EXPECT_EQ(statHost(trashHost("Tool/a")).uid, kCallerUid);
    mac.write(MacPath(inTrash + "/a/b/new"), "x");
    auto r = mover.restoreItems(inTrash, "/Library/Application Support/Tool");
    EXPECT_EQ(r.outcome, Outcome::notHandled);
    EXPECT_EQ(r.reason, Reason::changed);
    EXPECT_EQ(r.message, kChanged);
    for (const char* folder : {"", "/a", "/a/b"}) {
        const auto st = statHost(trashHost("Tool") + folder);
        EXPECT_EQ(st.uid, kCallerUid) << folder;
        EXPECT_EQ(st.mode & S_IRWXU, S_IRWXU) << folder;
    }
    EXPECT_EQ(ledger->records().size(), 1u);
    expectNoStaging("added file");

    // Without it the folders get root and their modes back, with no ACL.
    fs::remove(trashHost("Tool/a/b/new"));
    r = mover.restoreItems(inTrash, "/Library/Application Support/Tool");
    ASSERT_EQ(r.outcome, Outcome::done) << r.message.value_or("");
    const std::string back = host("/Library/Application Support/Tool"_mac);
    for (const char* folder : {"", "/a", "/a/b"}) {
        const auto st = statHost(back + folder);
        EXPECT_EQ(st.uid, 0u) << folder;
        EXPECT_EQ(st.gid, 0u) << folder;
        UniqueFd fd(::open((back + folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        EXPECT_EQ(common::extendedACLState(fd.get()), false) << folder;
    }
    EXPECT_EQ(statHost(back + "/a").mode & 07777, 0750u);
    EXPECT_EQ(statHost(back).mode & 07777, 0755u);
    EXPECT_EQ(mac.contents("/Library/Application Support/Tool/a/g"_mac), "2");
    expectNoStaging("round trip");
}

TEST_F(RestoreFromTrash, LaunchDaemonPlistIsBootstrappedOnceBackAndAFolderOfThatNameIsNot)
{
    mac.write("/Library/LaunchDaemons/com.example.tool.plist"_mac, "<plist/>");
    mac.mkdir("/Library/LaunchDaemons/com.example.dir.plist"_mac);
    const std::string file =
        moveIn("/Library/LaunchDaemons/com.example.tool.plist", "com.example.tool.plist");
    const std::string folder =
        moveIn("/Library/LaunchDaemons/com.example.dir.plist", "com.example.dir.plist");
    launchctlCalls.clear();
    EXPECT_EQ(mover.restoreItems(file, "/Library/LaunchDaemons/com.example.tool.plist").outcome,
              Outcome::done);
    EXPECT_EQ(mover.restoreItems(folder, "/Library/LaunchDaemons/com.example.dir.plist").outcome,
              Outcome::done);
    EXPECT_EQ(launchctlCalls,
              (std::vector<std::vector<std::string>>{
                  {"bootstrap", "system", "/Library/LaunchDaemons/com.example.tool.plist"}}));
}

// Every refusal after the move: the answer, and that the item stays in the Trash under its name
// with its record (except where the item is gone).
TEST_F(RestoreFromTrash, RefusalsLeaveTheItemInTheTrash)
{
    const std::string trashFolderMissing =
        "Your Trash folder is missing or isn't a normal folder. It's still in the Trash; try "
        "Undo again.";
    struct Case
    {
        std::string name;
        bool folder;
        std::function<void(const std::string& trashed)> change;
        Outcome outcome;
        std::optional<Reason> reason;
        std::string message;
        std::string originalOverride; // empty: the recorded path
    };
    const std::vector<Case> cases{
        {"unknown original",
         false,
         {},
         Outcome::notHandled,
         Reason::notManaged,
         std::string(kNotMoved),
         "/Library/R/case/iten"},
        {"replaced in the Trash",
         false,
         [this](const std::string& trashed) {
             fs::remove(host(MacPath(trashed)));
             mac.write(MacPath(trashed), "other");
         },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"mode changed",
         false,
         [this](const std::string& trashed) { ::chmod(host(MacPath(trashed)).c_str(), 0600); },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"owner changed",
         false,
         [this](const std::string& trashed) { ::chown(host(MacPath(trashed)).c_str(), 77, 77); },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"hard link added",
         false,
         [this](const std::string& trashed) {
             ::link(host(MacPath(trashed)).c_str(), trashHost("second link").c_str());
         },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"file missing in the folder",
         true,
         [this](const std::string& trashed) { fs::remove(host(MacPath(trashed + "/sub/f"))); },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"file renamed in the folder",
         true,
         [this](const std::string& trashed) {
             fs::rename(host(MacPath(trashed + "/sub/f")), host(MacPath(trashed + "/sub/h")));
         },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"file replaced by a hard link",
         true,
         [this](const std::string& trashed) {
             fs::remove(host(MacPath(trashed + "/sub/f")));
             ::link(host(MacPath(trashed + "/g")).c_str(),
                    host(MacPath(trashed + "/sub/f")).c_str());
         },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"deeper than allowed",
         true,
         [this](const std::string&) { mover.maximumDepth = 0; },
         Outcome::notHandled,
         Reason::changed,
         std::string(kChanged),
         {}},
        {"original folder replaced",
         false,
         [this](const std::string&) {
             fs::remove_all(host("/Library/R/case"_mac));
             mac.mkdir("/Library/R/case"_mac);
         },
         Outcome::notHandled,
         Reason::unsafePath,
         "Its original folder was replaced since Veldo moved it, so Veldo won't put it back.",
         {}},
        {"original folder gone",
         false,
         [this](const std::string&) { fs::remove_all(host("/Library/R/case"_mac)); },
         Outcome::failed,
         std::nullopt,
         "Its original folder no longer exists.",
         {}},
        {"original folder now a link",
         false,
         [this](const std::string&) {
             fs::rename(host("/Library/R/case"_mac), host("/Library/R/moved"_mac));
             mac.symlink("/Library/R/case"_mac, "moved");
         },
         Outcome::notHandled,
         Reason::unsafePath,
         "A folder on the way to this item is a symbolic link.",
         {}},
        {"name occupied",
         false,
         [this](const std::string&) { mac.write("/Library/R/case/item"_mac, "new"); },
         Outcome::failed,
         std::nullopt,
         "Something new already exists at its original location.",
         {}},
        {"stored name differs",
         false,
         [](const std::string&) {
             common::testing::setStoredNameReader(
                 [](int, const std::string& name) -> std::optional<std::string> {
                     return name == "case" ? "CASE" : name;
                 });
         },
         Outcome::notHandled,
         Reason::unsafePath,
         "Veldo can't safely identify this location, so it wasn't touched.",
         {}},
        {"Trash replaced by a link",
         false,
         [this](const std::string&) {
             fs::rename(trashHost(), host(mac.home().appendingPathComponent("Trash2")));
             mac.symlink(mac.home().appendingPathComponent(".Trash"), "Trash2");
         },
         Outcome::notHandled,
         Reason::unsafePath,
         trashFolderMissing,
         {}},
        {"no private folder",
         false,
         [](const std::string&) { testing::setFaultPoints("staging.folder:fail"); },
         Outcome::notHandled,
         Reason::changed,
         "Veldo's helper couldn't prepare a private folder in your Trash. It's still in the Trash; "
         "try Undo again.",
         {}},
        {"journal not written",
         false,
         [](const std::string&) { testing::setFaultPoints("journal.write:fail"); },
         Outcome::notHandled,
         Reason::changed,
         "Veldo's helper couldn't prepare a private folder in your Trash. It's still in the Trash; "
         "try Undo again.",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mac.mkdir("/Library/R/case"_mac);
        if (c.folder) {
            mac.mkdir("/Library/R/case/item/sub"_mac);
            mac.write("/Library/R/case/item/sub/f"_mac, "f");
            mac.write("/Library/R/case/item/g"_mac, "g");
        } else {
            mac.write("/Library/R/case/item"_mac, "i");
        }
        const std::string trashed = moveIn("/Library/R/case/item", "item");
        ASSERT_FALSE(trashed.empty());
        const common::HelperMoveRecord record = ledger->records().back();
        if (c.change)
            c.change(trashed);
        const auto r = mover.restoreItems(
            trashed, c.originalOverride.empty() ? "/Library/R/case/item" : c.originalOverride);
        testing::setFaultPoints("");
        common::testing::setStoredNameReader({});
        mover.maximumDepth = 256;
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.reason, c.reason);
        EXPECT_EQ(r.message, c.message);
        // The app keeps the point for another Undo exactly when the sentence says to try again.
        EXPECT_EQ(r.retryable.value_or(false), c.message.ends_with("try Undo again."));
        EXPECT_FALSE(r.destination);
        if (c.name == "Trash replaced by a link") {
            fs::remove(trashHost());
            fs::rename(host(mac.home().appendingPathComponent("Trash2")), trashHost());
        }
        EXPECT_TRUE(fs::exists(fs::symlink_status(trashHost("item"))));
        EXPECT_TRUE(ledger->record(trashed, kCallerUid));
        EXPECT_TRUE(inventoryFileExists(record.id));
        expectNoStaging(c.name);
        fs::remove_all(host("/Library/R"_mac));
        fs::remove_all(trashHost("item"));
        fs::remove_all(trashHost("second link"));
        ASSERT_TRUE(ledger->remove(record.id));
    }
}

TEST_F(RestoreFromTrash, ANewFileWithTheSameInodeNumberIsNotTheItem)
{
    mac.write("/Library/Caches/same.txt"_mac, "x");
    const std::string trashed = moveIn("/Library/Caches/same.txt", "same.txt");
    const auto before = statHost(trashHost("same.txt"));
    bool reused = false;
    for (int attempt = 0; attempt < 50 && !reused; ++attempt) {
        fs::remove(trashHost("same.txt"));
        UniqueFd fd(
            ::open(trashHost("same.txt").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        ASSERT_TRUE(fd);
        ASSERT_EQ(::write(fd.get(), "y", 1), 1);
        ::chmod(trashHost("same.txt").c_str(), before.mode & 07777);
        ::chown(trashHost("same.txt").c_str(), before.uid, before.gid);
        reused = statHost(trashHost("same.txt")).inode == before.inode;
    }
    if (!reused)
        GTEST_SKIP() << "the file system gave no new file the freed inode number in 50 tries";
    const auto r = mover.restoreItems(trashed, "/Library/Caches/same.txt");
    EXPECT_EQ(r.outcome, Outcome::notHandled);
    EXPECT_EQ(r.message, kChanged);
    EXPECT_EQ(mac.contents(MacPath(trashed)), "y");
    EXPECT_FALSE(fs::exists(host("/Library/Caches/same.txt"_mac)));
}

TEST_F(RestoreFromTrash, AnItemGoneFromTheTrashDropsItsRecord)
{
    mac.write("/Library/Caches/gone.txt"_mac, "x");
    const std::string trashed = moveIn("/Library/Caches/gone.txt", "gone.txt");
    const platform::UUID id = ledger->records().at(0).id;
    fs::remove(trashHost("gone.txt"));
    const auto r = mover.restoreItems(trashed, "/Library/Caches/gone.txt");
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(r.message, "It's no longer in the Trash.");
    EXPECT_TRUE(ledger->records().empty());
    EXPECT_FALSE(inventoryFileExists(id));
    const auto again = mover.restoreItems(trashed, "/Library/Caches/gone.txt");
    EXPECT_EQ(again.outcome, Outcome::notHandled);
    EXPECT_EQ(again.reason, Reason::notManaged);
    expectNoStaging("gone");
}

TEST_F(RestoreFromTrash, InputTheRulesRefuseIsAnsweredWithoutTouchingAnything)
{
    mac.write("/Library/Caches/in.txt"_mac, "x");
    const std::string trashed = moveIn("/Library/Caches/in.txt", "in.txt");
    const std::string unidentifiable =
        "Veldo can't safely identify this location, so it wasn't touched.";
    struct Case
    {
        std::string trashPath;
        std::string originalPath;
        std::string message;
    };
    const std::vector<Case> cases{
        {trashPath("sub/in.txt"), "/Library/Caches/in.txt",
         "Only items directly inside your Trash can be put back."},
        {trashed, trashPath("elsewhere.txt"), "Veldo can't safely put this item back."},
        {trashed, "/System/Library/in.txt", "Veldo can't safely put this item back."},
        {trashed, std::string("/Library/Caches/in\0.txt", 23), unidentifiable},
        {trashed, "/Library/Caches/in\x01.txt", unidentifiable},
        {trashed, "/Library/Caches/" + std::string(2000, 'a'), unidentifiable},
        {trashed, "/", unidentifiable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.originalPath.substr(0, 40));
        const auto r = mover.restoreItems(c.trashPath, c.originalPath);
        EXPECT_EQ(r.outcome, Outcome::failed);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(r.path, c.trashPath);
    }
    EXPECT_EQ(mac.contents(MacPath(trashed)), "x");
    EXPECT_TRUE(ledger->record(trashed, kCallerUid));
    expectNoStaging("bad input");
}

TEST_F(RestoreFromTrash, ImmutableItemOrFolderIsRefusedByTheSystem)
{
    common::testsupport::InodeFlagGuard flags;
    mac.write("/Library/Imm/a.txt"_mac, "a");
    mac.write("/Library/Imm2/b.txt"_mac, "b");
    const std::string a = moveIn("/Library/Imm/a.txt", "a.txt");
    const std::string b = moveIn("/Library/Imm2/b.txt", "b.txt");
    const int err = flags.set(trashHost("a.txt"), FS_IMMUTABLE_FL);
    if (err != 0)
        GTEST_SKIP() << "the kernel refused chattr +i (errno " << err << ")";
    const std::string refused =
        "macOS refused to move this item. It may be protected by the system or a privacy setting.";

    const auto staged = mover.restoreItems(a, "/Library/Imm/a.txt");
    EXPECT_EQ(staged.outcome, Outcome::notHandled);
    EXPECT_EQ(staged.reason, Reason::changed);
    EXPECT_EQ(staged.message, refused);
    EXPECT_TRUE(fs::exists(trashHost("a.txt")));

    ASSERT_EQ(flags.set(host("/Library/Imm2"_mac), FS_IMMUTABLE_FL), 0);
    const auto back = mover.restoreItems(b, "/Library/Imm2/b.txt");
    EXPECT_EQ(back.outcome, Outcome::notHandled);
    EXPECT_EQ(back.reason, Reason::unsafePath);
    EXPECT_EQ(back.message, refused);
    EXPECT_TRUE(fs::exists(trashHost("b.txt")));
    EXPECT_EQ(ledger->records().size(), 2u);
    expectNoStaging("immutable");
}

TEST_F(RestoreFromTrash, AFolderThatCantBeGivenBackToTheCallerAfterAStopIsLogged)
{
    common::testsupport::InodeFlagGuard flags;
    mac.mkdir("/Library/Application Support/Held/sub/deeper"_mac);
    mover.handsOverFoldersForTesting = true;
    const std::string inTrash = moveIn("/Library/Application Support/Held", "Held");
    // Stopped as the walk reaches "deeper", when "sub" is root's again and can't be given back.
    int checks = 0;
    int flagError = 0;
    mover.isCancelled = [&] {
        if (++checks == 3)
            for (const auto& entry : fs::directory_iterator(trashHost()))
                if (entry.path().filename().string().starts_with(".Veldo Helper "))
                    flagError = flags.set((entry.path() / "item/sub").string(), FS_IMMUTABLE_FL);
        return checks >= 3;
    };
    ::testing::internal::CaptureStderr();
    const auto r = mover.restoreItems(inTrash, "/Library/Application Support/Held");
    const std::string log = ::testing::internal::GetCapturedStderr();
    (void)flags.set(trashHost("Held/sub"), 0); // cleared again where it ended
    if (flagError != 0)
        GTEST_SKIP() << "the kernel refused chattr +i (errno " << flagError << ")";
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_NE(log.find(" to uid " + std::to_string(kCallerUid) + ": fchown failed (EPERM)"),
              std::string::npos)
        << log;
    EXPECT_EQ(statHost(trashHost("Held/sub")).uid, 0u);
    EXPECT_EQ(statHost(trashHost("Held")).uid, kCallerUid);
    EXPECT_EQ(ledger->records().size(), 1u);
}

TEST_F(RestoreFromTrash, StopDuringTheWalkLeavesTheFolderInTheTrash)
{
    mac.mkdir("/Library/Big/x/y"_mac);
    mac.write("/Library/Big/x/y/z"_mac, "z");
    const std::string trashed = moveIn("/Library/Big", "Big");
    int checks = 0;
    mover.isCancelled = [&] { return ++checks > 2; };
    const auto r = mover.restoreItems(trashed, "/Library/Big");
    EXPECT_EQ(r.outcome, Outcome::failed);
    EXPECT_EQ(
        r.message,
        "Veldo's helper stopped while checking it; it is still in the Trash. Try Undo again.");
    EXPECT_EQ(r.retryable, true);
    EXPECT_TRUE(fs::exists(trashHost("Big/x/y/z")));
    EXPECT_EQ(ledger->records().size(), 1u);
    expectNoStaging("stopped");
}

TEST_F(RestoreFromTrash, TrashNameTakenMeanwhileReleasesUnderAFreeVariant)
{
    mac.mkdir("/Library/V/item"_mac);
    mac.write("/Library/V/item/f"_mac, "f");
    const std::string trashed = moveIn("/Library/V/item", "item");
    // A changed tree is released after staging; its Trash name taken by then.
    mac.write(MacPath(trashed + "/added"), "");
    int calls = 0;
    mover.isCancelled = [&] {
        if (++calls == 1)
            mac.write(MacPath(trashPath("item")), "taken");
        return false;
    };
    const auto r = mover.restoreItems(trashed, "/Library/V/item");
    EXPECT_EQ(r.message, kChanged);
    EXPECT_TRUE(fs::is_directory(trashHost("item 2")));
    EXPECT_EQ(mac.contents(MacPath(trashPath("item"))), "taken");
    expectNoStaging("variant");
}

} // namespace
} // namespace veldo::helper
