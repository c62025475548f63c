// Moving items into the caller's Trash: every outcome with its answer, ledger record and
// inventory file, and the put-backs.
#include <filesystem>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>

#include "common/HelperACL.h"
#include "common/HelperPathDigest.h"
#include "common/HelperPathRules.h"
#include "helper/ToolRunner.h"
#include "platform/MacRoot.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/helper/MoverTestSupport.h"
#include "tests/support/StandInLaunchctl.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using common::HelperItemInventory;
using common::VeldoHelperItemResult;
using platform::MacPath;
using Outcome = VeldoHelperItemResult::Outcome;
using Reason = VeldoHelperItemResult::Reason;
namespace fs = std::filesystem;

class MoveToTrash : public MoverTest
{
protected:
    void TearDown() override { common::testing::setStoredNameReader({}); }

    std::string homePath() const { return mac.home().path(); }
    std::string trashPath(const std::string& name) const { return homePath() + "/.Trash/" + name; }

    VeldoHelperItemResult move(const std::string& source, const std::string& trashName)
    {
        return mover.moveItems(source, trashPath(trashName));
    }

    // The status of a host object, not following a link.
    static common::HelperStat statHost(const std::string& hostPath)
    {
        UniqueFd fd(::open(hostPath.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        auto st = common::statDescriptor(fd.get());
        EXPECT_TRUE(st) << hostPath;
        return st ? *st : common::HelperStat{};
    }

    // The inventory of the tree at `hostPath`, built from its own status reads.
    static HelperItemInventory expectedInventory(const std::string& hostPath, bool granted)
    {
        HelperItemInventory inventory;
        inventory.isComplete = true;
        inventory.foldersGranted = granted;
        auto add = [&](const std::string& path, const std::string& relative) {
            const common::HelperStat st = statHost(path);
            HelperItemInventory::Entry e;
            e.pathHash = common::HelperPathDigest::of(relative);
            e.uid = st.uid;
            e.gid = st.gid;
            e.mode = static_cast<std::uint16_t>(st.mode);
            e.flags = st.flags & common::kComparedFlagsMask;
            if (st.isDirectory()) {
                UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                e.aclHash = common::aclDigest(fd.get()).value_or(0);
            }
            e.links = st.isDirectory() ? 0 : static_cast<std::uint16_t>(st.links);
            inventory.entries[st.inode] = e;
        };
        add(hostPath, "");
        if (fs::is_directory(fs::symlink_status(hostPath)))
            for (const auto& entry : fs::recursive_directory_iterator(hostPath))
                add(entry.path().string(), entry.path().string().substr(hostPath.size() + 1));
        return inventory;
    }

    std::vector<std::uint8_t> inventoryBytes(const common::HelperMoveRecord& record) const
    {
        const std::string text = mac.contents(ledger->inventoriesDirectory().appendingPathComponent(
            common::HelperMoveLedger::inventoryFileName(record.id)));
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }

    // No staging folder left in the Trash and no journal record.
    void expectNothingLeftBehind(const std::string& what) const
    {
        for (const auto& entry : fs::directory_iterator(trashHost()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".Veldo Helper "))
                << what << ": " << entry.path();
        EXPECT_TRUE(journal().records().value().empty()) << what;
    }
};

TEST_F(MoveToTrash, FileIsMovedRecordedAndInventoried)
{
    mac.write("/Library/Caches/com.example/cache.db"_mac, "data");
    chownHost("/Library/Caches/com.example/cache.db"_mac, 501, 20);
    const common::HelperStat before = statHost(host("/Library/Caches/com.example/cache.db"_mac));
    const common::HelperStat parent = statHost(host("/Library/Caches/com.example"_mac));

    const auto result = move("/Library/Caches/com.example/cache.db", "cache.db");
    ASSERT_EQ(result.outcome, Outcome::done) << result.message.value_or("");
    EXPECT_EQ(result.path, "/Library/Caches/com.example/cache.db");
    EXPECT_EQ(result.destination, trashPath("cache.db"));
    EXPECT_EQ(result.ownerID, 501u);
    EXPECT_EQ(result.groupID, 20u);
    EXPECT_FALSE(result.message);
    EXPECT_FALSE(result.reason);
    EXPECT_EQ(mac.contents(MacPath(trashPath("cache.db"))), "data");
    EXPECT_FALSE(fs::exists(host("/Library/Caches/com.example/cache.db"_mac)));

    ASSERT_EQ(ledger->records().size(), 1u);
    const common::HelperMoveRecord& record = ledger->records()[0];
    EXPECT_EQ(record.uid, kCallerUid);
    EXPECT_EQ(record.trashPath, trashPath("cache.db"));
    EXPECT_EQ(record.originalPath, "/Library/Caches/com.example/cache.db");
    EXPECT_EQ(record.identity, before.identity());
    EXPECT_EQ(record.ownerID, 501u);
    EXPECT_EQ(record.groupID, 20u);
    EXPECT_EQ(record.parentIdentity, parent.identity());
    EXPECT_EQ(record.parentOwnerID, 0u);
    const auto bytes = inventoryBytes(record);
    EXPECT_EQ(bytes.size(), 2u + 64u);
    const auto inventory = HelperItemInventory::fromBytes(bytes);
    ASSERT_TRUE(inventory);
    EXPECT_EQ(inventory->entries,
              expectedInventory(mac.host(MacPath(trashPath("cache.db"))), false).entries);
    EXPECT_TRUE(inventory->isComplete);
    EXPECT_FALSE(inventory->foldersGranted);
    EXPECT_TRUE(launchctlCalls.empty());
    expectNothingLeftBehind("file");
}

TEST_F(MoveToTrash, FolderTreeIsInventoriedAndHandedOver)
{
    mac.mkdir("/Library/Application Support/Tool/a/b"_mac);
    mac.write("/Library/Application Support/Tool/f"_mac, "1");
    mac.write("/Library/Application Support/Tool/a/g"_mac, "2");
    mac.symlink("/Library/Application Support/Tool/a/l"_mac, "g");
    ::chmod(host("/Library/Application Support/Tool/a"_mac).c_str(), 02755);

    const auto result = move("/Library/Application Support/Tool", "Tool");
    ASSERT_EQ(result.outcome, Outcome::done) << result.message.value_or("");
    const std::string moved = mac.host(MacPath(trashPath("Tool")));
    for (const char* folder : {"", "/a", "/a/b"})
        EXPECT_EQ(statHost(moved + folder).uid, kCallerUid) << folder;
    EXPECT_EQ(statHost(moved + "/a").mode & 07777, 0755u);
    EXPECT_EQ(statHost(moved + "/a/g").uid, 0u);

    const auto bytes = inventoryBytes(ledger->records().at(0));
    EXPECT_EQ(bytes.size(), 2u + 64u * 6);
    const auto inventory = HelperItemInventory::fromBytes(bytes);
    ASSERT_TRUE(inventory);
    // The inventory holds the owners before the hand-over.
    HelperItemInventory expected = expectedInventory(moved, true);
    for (auto& [inode, entry] : expected.entries)
        if (S_ISDIR(entry.mode)) {
            entry.uid = 0;
            entry.gid = 0;
        }
    expected.entries.at(statHost(moved + "/a").inode).mode = S_IFDIR | 02755;
    EXPECT_EQ(inventory->entries, expected.entries);
    EXPECT_TRUE(inventory->isComplete);
    EXPECT_TRUE(inventory->foldersGranted);
    expectNothingLeftBehind("folder");
}

TEST_F(MoveToTrash, FailedLedgerWriteIsLoggedAndTheMoveStaysDone)
{
    mac.write("/Library/Caches/led.txt"_mac, "x");
    // "Moves.plist" can't be replaced while a folder holds its name.
    mac.mkdir(ledger->directory().appendingPathComponent("Moves.plist/blocker"));
    ::testing::internal::CaptureStderr();
    const auto result = move("/Library/Caches/led.txt", "led.txt");
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.outcome, Outcome::done);
    EXPECT_EQ(result.destination, trashPath("led.txt"));
    EXPECT_NE(log.find("error [service] Couldn't record the move of <private> in the ledger"),
              std::string::npos)
        << log;
    expectNothingLeftBehind("ledger");
}

TEST_F(MoveToTrash, TakenNameGetsTheNextNumberedName)
{
    mac.write(MacPath(trashPath("Report.pdf")), "old");
    mac.write("/Library/Docs/Report.pdf"_mac, "new");
    const auto result = move("/Library/Docs/Report.pdf", "Report.pdf");
    ASSERT_EQ(result.outcome, Outcome::done);
    EXPECT_EQ(result.destination, trashPath("Report 2.pdf"));
    EXPECT_EQ(ledger->records().at(0).trashPath, trashPath("Report 2.pdf"));
    EXPECT_EQ(mac.contents(MacPath(trashPath("Report 2.pdf"))), "new");
    EXPECT_EQ(mac.contents(MacPath(trashPath("Report.pdf"))), "old");
}

TEST_F(MoveToTrash, OutcomesThatLeaveTheItemWhereItWas)
{
    const std::string closed = "A folder on the way to this item is closed to your account, so "
                               "moving it needs your password.";
    struct Case
    {
        const char* what;
        std::function<void()> prepare;
        std::string source;
        Outcome outcome;
        std::optional<std::string> message;
        std::optional<Reason> reason;
    };
    const std::vector<Case> cases = {
        {"missing", [] {}, "/Library/Nothing/here.txt", Outcome::missing, std::nullopt,
         std::nullopt},
        {"parent closed to the caller",
         [&] {
             mac.write("/Library/Closed/x.txt"_mac, "x");
             ::chmod(host("/Library/Closed"_mac).c_str(), 0700);
         },
         "/Library/Closed/x.txt", Outcome::notHandled, closed, Reason::notManaged},
        {"folder closed to the caller",
         [&] {
             mac.mkdir("/Library/Shut/inner"_mac);
             ::chmod(host("/Library/Shut/inner"_mac).c_str(), 0700);
         },
         "/Library/Shut/inner", Outcome::notHandled, closed, Reason::notManaged},
        {"a stored name that differs",
         [&] {
             mac.write("/Library/Case/File.txt"_mac, "x");
             common::testing::setStoredNameReader(
                 [](int, const std::string& name) -> std::optional<std::string> {
                     return name == "File.txt" ? std::optional<std::string>("file.txt")
                                               : std::optional<std::string>(name);
                 });
         },
         "/Library/Case/File.txt", Outcome::notHandled,
         "Veldo can't safely identify this location, so it wasn't touched.", Reason::unsafePath},
        {"other apps inside", [&] { mac.mkdir("/Applications/Suite/Sub/Tool.APP"_mac); },
         "/Applications/Suite", Outcome::failed,
         "This folder contains other apps, so it wasn't removed.", std::nullopt},
        {"no free name",
         [&] {
             mac.write(MacPath("/Library/Long/" + std::string(251, 'n') + ".txt"), "x");
             mac.write(MacPath(trashPath(std::string(251, 'n') + ".txt")), "taken");
         },
         "/Library/Long/" + std::string(251, 'n') + ".txt", Outcome::failed,
         "Veldo couldn't find a free name for it in the Trash.", std::nullopt},
        {"a link on the way",
         [&] {
             mac.mkdir("/Library/Real"_mac);
             mac.write("/Library/Real/x.txt"_mac, "x");
             mac.symlink("/Library/Linked"_mac, "Real");
         },
         "/Library/Linked/x.txt", Outcome::notHandled,
         "A folder on the way to this item is a symbolic link.", Reason::notManaged},
    };
    for (const Case& c : cases) {
        c.prepare();
        const bool existed = fs::exists(fs::symlink_status(mac.host(MacPath(c.source))));
        const auto identity = existed ? statHost(mac.host(MacPath(c.source))).identity()
                                      : common::HelperFileIdentity{};
        const auto result = move(c.source, MacPath(c.source).lastPathComponent());
        common::testing::setStoredNameReader({});
        EXPECT_EQ(result.path, c.source) << c.what;
        EXPECT_EQ(result.outcome, c.outcome) << c.what << ": " << result.message.value_or("");
        EXPECT_EQ(result.message, c.message) << c.what;
        EXPECT_EQ(result.reason, c.reason) << c.what;
        EXPECT_FALSE(result.destination) << c.what;
        if (existed) {
            EXPECT_EQ(statHost(mac.host(MacPath(c.source))).identity(), identity) << c.what;
        }
        expectNothingLeftBehind(c.what);
    }
    EXPECT_TRUE(ledger->records().empty());
}

TEST_F(MoveToTrash, TrashThatIsNotTheCallersIsNotHandled)
{
    mac.write("/Library/x.txt"_mac, "x");
    chownHost(mac.home().appendingPathComponent(".Trash"), 0, 0);
    const auto result = move("/Library/x.txt", "x.txt");
    EXPECT_EQ(result.outcome, Outcome::notHandled);
    EXPECT_EQ(result.reason, Reason::notManaged);
    EXPECT_EQ(result.message, "Your Trash folder doesn't belong to you.");
    EXPECT_TRUE(fs::exists(host("/Library/x.txt"_mac)));
}

TEST_F(MoveToTrash, BadInputIsRefusedBeforeAnythingIsJournaled)
{
    const std::string unidentifiable =
        "Veldo can't safely identify this location, so it wasn't touched.";
    mac.write("/Library/ok.txt"_mac, "x");
    struct Case
    {
        std::string source;
        std::string destination;
        Outcome outcome;
        std::string message;
    };
    const std::vector<Case> cases = {
        {std::string("/Library/ok.txt\0x", 17), trashPath("ok.txt"), Outcome::failed,
         unidentifiable},
        {"/Library/ok\x01.txt", trashPath("ok.txt"), Outcome::failed, unidentifiable},
        {"/Library/" + std::string(1024, 'a'), trashPath("a"), Outcome::failed, unidentifiable},
        {"Library/ok.txt", trashPath("ok.txt"), Outcome::failed, unidentifiable},
        {"/Library/../Library/ok.txt", trashPath("ok.txt"), Outcome::failed, unidentifiable},
        {"/", trashPath("x"), Outcome::failed, unidentifiable},
        {"/Library/ok.txt", homePath() + "/Desktop/ok.txt", Outcome::failed,
         "The destination isn't directly inside your Trash."},
        {trashPath("ok.txt"), trashPath("ok 2.txt"), Outcome::failed,
         "This item is already in the Trash."},
        {"/Library", trashPath("Library"), Outcome::failed,
         "\u201c/Library\u201d is a protected system or user folder. Veldo never removes it."},
        {"/Volumes/Disk/Stuff/x", trashPath("x"), Outcome::notHandled,
         "This location is outside the folders the helper manages."},
    };
    for (const Case& c : cases) {
        const auto result = mover.moveItems(c.source, c.destination);
        EXPECT_EQ(result.outcome, c.outcome) << c.source;
        EXPECT_EQ(result.message, c.message) << c.source;
        EXPECT_EQ(result.reason, c.outcome == Outcome::notHandled
                                     ? std::optional<Reason>(Reason::notManaged)
                                     : std::nullopt)
            << c.source;
    }
    EXPECT_TRUE(fs::exists(host("/Library/ok.txt"_mac)));
    EXPECT_FALSE(fs::exists(host(ledger->directory().appendingPathComponent("Staging"))));
    expectNothingLeftBehind("bad input");
}

TEST_F(MoveToTrash, DaemonPlistIsBootedOutAndInAgainWhenItGoesBack)
{
    mac.write("/Library/LaunchDaemons/com.example.d.plist"_mac, "<plist/>");
    const auto done = move("/Library/LaunchDaemons/com.example.d.plist", "com.example.d.plist");
    ASSERT_EQ(done.outcome, Outcome::done);
    using Calls = std::vector<std::vector<std::string>>;
    EXPECT_EQ(launchctlCalls,
              (Calls{{"bootout", "system", "/Library/LaunchDaemons/com.example.d.plist"}}));

    // Put back (no free name): booted in again.
    launchctlCalls.clear();
    const std::string longName = std::string(249, 'd') + ".plist";
    mac.write(MacPath("/library/launchdaemons/" + longName), "<plist/>");
    mac.write(MacPath(trashPath(longName)), "taken");
    const auto back = move("/library/launchdaemons/" + longName, longName);
    EXPECT_EQ(back.outcome, Outcome::failed);
    EXPECT_EQ(launchctlCalls,
              (Calls{{"bootout", "system", "/library/launchdaemons/" + longName},
                     {"bootstrap", "system", "/library/launchdaemons/" + longName}}));
    EXPECT_TRUE(fs::exists(mac.host(MacPath("/library/launchdaemons/" + longName))));
}

TEST_F(MoveToTrash, DaemonPlistOrderInTheLaunchctlLog)
{
    veldo::testsupport::StandInLaunchctl standIn(mac);
    closeStandInToOthers(mac);
    mover.launchctl = runLaunchctl;
    const std::string longName = std::string(249, 'e') + ".plist";
    mac.write(MacPath("/Library/LaunchDaemons/" + longName), "<plist/>");
    mac.write(MacPath(trashPath(longName)), "taken");
    mac.write("/Library/LaunchDaemons/com.example.e.plist"_mac, "<plist/>");
    EXPECT_EQ(move("/Library/LaunchDaemons/" + longName, longName).outcome, Outcome::failed);
    EXPECT_EQ(move("/Library/LaunchDaemons/com.example.e.plist", "com.example.e.plist").outcome,
              Outcome::done);
    const std::string put = "[system][/Library/LaunchDaemons/" + longName + "]";
    EXPECT_EQ(standIn.calls(),
              (std::vector<std::string>{
                  "[bootout]" + put, "[bootstrap]" + put,
                  "[bootout][system][/Library/LaunchDaemons/com.example.e.plist]"}));
}

TEST_F(MoveToTrash, StopDuringTheInventoryPutsTheFolderBack)
{
    mac.wideTree("/Library/Big"_mac, 4, 4);
    int polls = 0;
    mover.isCancelled = [&] { return ++polls > 3; };
    const auto identity = statHost(host("/Library/Big"_mac)).identity();
    const auto result = move("/Library/Big", "Big");
    EXPECT_EQ(result.outcome, Outcome::notHandled);
    EXPECT_EQ(result.reason, Reason::stopped);
    EXPECT_EQ(result.message, "Veldo's helper stopped before it got to this item.");
    EXPECT_EQ(statHost(host("/Library/Big"_mac)).identity(), identity);
    EXPECT_TRUE(ledger->records().empty());
    expectNothingLeftBehind("stopped");
}

TEST_F(MoveToTrash, ItemOnAnotherVolumeStaysWhereItWas)
{
    mac.mkdir("/Volumes/Other"_mac);
    const std::string volume = host("/Volumes/Other"_mac);
    const std::string home = homePath();
    const int status = inPrivateMountNamespace([&] {
        common::testsupport::TmpfsMount mount(volume);
        if (!mount.mounted())
            return 77;
        ::mkdir((volume + "/Library").c_str(), 0755);
        ::close(::open((volume + "/Library/x.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        const auto result = mover.moveItems("/Volumes/Other/Library/x.txt", home + "/.Trash/x.txt");
        const bool stayed = fs::exists(volume + "/Library/x.txt");
        if (result.outcome != Outcome::failed ||
            result.message != "This item is on another volume." || !stayed ||
            !journal().records().value().empty())
            return 1;
        for (const auto& entry : fs::directory_iterator(trashHost()))
            if (entry.path().filename().string().starts_with(".Veldo Helper "))
                return 2;
        return 0;
    });
    if (status == 77)
        GTEST_SKIP() << "the kernel refused a mount namespace or a tmpfs (no CAP_SYS_ADMIN)";
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace veldo::helper
