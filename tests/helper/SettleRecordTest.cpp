// Settling single journal records: where the staging folder is searched for and trusted, what a
// failed search keeps, records that are dropped untouched, and the 30 days of an account whose
// Trash can't be opened; what cut-off writes and put-backs leave beside them; and the daemon's
// start that settles them.
#include <filesystem>
#include <fstream>
#include <map>

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/wait.h>

#include "common/HelperVolumeStamp.h"
#include "helper/HelperFaultPoints.h"
#include "helper/InterruptedRecords.h"
#include "platform/Clock.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/helper/MoverTestSupport.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using common::HelperStagingRecord;
using platform::MacPath;
namespace fs = std::filesystem;

class SettleRecord : public MoverTest
{
protected:
    void TearDown() override
    {
        testing::setFaultPoints("");
        common::testing::setVolumeUUIDReader({});
    }

    // A move of `source` killed at `point`; answers its journal record.
    HelperStagingRecord moveKilledAt(const MacPath& source, const std::string& point)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            testing::setFaultPoints(point + ":kill");
            (void)mover.moveItems(source.path(),
                                  mac.home().path() + "/.Trash/" + source.lastPathComponent());
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status)) << point;
        const auto records = journal().records().value();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? HelperStagingRecord{} : records[0];
    }

    std::string trashPath(const std::string& name) const
    {
        return mac.home().path() + "/.Trash/" + name;
    }

    std::size_t settle(std::string* log = nullptr)
    {
        ::testing::internal::CaptureStderr();
        const std::size_t n = settleInterruptedRecords(*ledger, {});
        const std::string text = ::testing::internal::GetCapturedStderr();
        if (log)
            *log = text;
        return n;
    }
};

TEST_F(SettleRecord, FailedTrashListingKeepsTheRecordAndARenamedFolderIsFoundLater)
{
    const MacPath source("/Library/Caches/listed.txt");
    mac.write(source, "x");
    const HelperStagingRecord record = moveKilledAt(source, "move.staged");
    fs::rename(trashHost(record.stagingName), trashHost(".Veldo Helper renamed"));

    testing::setFaultPoints("settle.listing:fail");
    std::string log;
    EXPECT_EQ(settle(&log), 0u);
    EXPECT_NE(log.find("Staging record " + record.id.string() +
                       " for uid 4242 kept for the next "
                       "start"),
              std::string::npos)
        << log;
    EXPECT_TRUE(fs::exists(trashHost(".Veldo Helper renamed/item")));
    EXPECT_EQ(journal().records().value().size(), 1u);

    testing::setFaultPoints("");
    EXPECT_EQ(settle(&log), 1u);
    EXPECT_EQ(mac.contents(source), "x");
    EXPECT_FALSE(fs::exists(trashHost(".Veldo Helper renamed")));
    EXPECT_TRUE(journal().records().value().empty());
}

TEST_F(SettleRecord, AMoveWhoseOriginalNameWasTakenGoesIntoTheTrash)
{
    const MacPath source("/Library/Caches/taken.txt");
    mac.write(source, "x");
    mac.write(MacPath(trashPath("taken.txt")), "older");
    (void)moveKilledAt(source, "move.staged");
    mac.write(source, "new");
    EXPECT_EQ(settle(), 1u);
    EXPECT_EQ(mac.contents(source), "new");
    EXPECT_EQ(mac.contents(MacPath(trashPath("taken.txt"))), "older");
    EXPECT_EQ(mac.contents(MacPath(trashPath("taken 2.txt"))), "x");
    EXPECT_TRUE(journal().records().value().empty());
}

TEST_F(SettleRecord, AMoveCutOffBeforeARemountIsPutBack)
{
    const common::VolumeUUID uuid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    common::testing::setVolumeUUIDReader([&](int) { return uuid; });
    const MacPath source("/Library/Caches/remount.txt");
    mac.write(source, "x");
    HelperStagingRecord record = moveKilledAt(source, "move.staged");
    ASSERT_TRUE(record.volume && record.stagingIdentity && record.parentIdentity);

    // As the record would read after a remount under another device number.
    const std::int64_t old = record.volume->device + 77;
    record.volume->device = old;
    record.stagingIdentity->device = old;
    record.itemIdentity.device = old;
    record.parentIdentity->device = old;
    ASSERT_TRUE(journal().write(record));

    EXPECT_EQ(settle(), 1u);
    EXPECT_EQ(mac.contents(source), "x");
    EXPECT_FALSE(fs::exists(trashHost("remount.txt")));
    EXPECT_TRUE(fs::is_empty(trashHost()));

    // Another volume's record is kept.
    const MacPath other("/Library/Caches/other.txt");
    mac.write(other, "y");
    HelperStagingRecord foreign = moveKilledAt(other, "move.staged");
    foreign.volume->uuid[0] = 99;
    ASSERT_TRUE(journal().write(foreign));
    EXPECT_EQ(settle(), 0u);
    EXPECT_TRUE(fs::exists(trashHost(foreign.stagingName + "/item")));
}

TEST_F(SettleRecord, AFolderFoundByNameIsTrustedOnlyWhenFreshSealedAndHoldingOnlyItsItem)
{
    struct Case
    {
        std::string name;
        std::function<void(HelperStagingRecord&, const std::string& folder)> change;
        bool trusted;
    };
    const std::vector<Case> cases{
        {"as made", {}, true},
        {"born too early",
         [](HelperStagingRecord& r, const std::string&) { r.date += std::chrono::seconds(5); },
         false},
        {"holding another entry",
         [](HelperStagingRecord&, const std::string& folder) {
             std::ofstream(folder + "/other") << "o";
         },
         false},
        {"not sealed",
         [](HelperStagingRecord&, const std::string& folder) { ::chmod(folder.c_str(), 0755); },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MacPath source("/Library/Caches/byname.txt");
        mac.write(source, "x");
        HelperStagingRecord record = moveKilledAt(source, "move.folderMade");
        ASSERT_FALSE(record.stagingIdentity);
        const std::string folder = trashHost(record.stagingName);
        ASSERT_TRUE(fs::is_directory(folder));
        if (c.change)
            c.change(record, folder);
        ASSERT_TRUE(journal().write(record));
        EXPECT_EQ(settle(), 1u);
        EXPECT_EQ(fs::exists(folder), !c.trusted);
        EXPECT_EQ(mac.contents(source), "x");
        EXPECT_TRUE(journal().records().value().empty());
        fs::remove_all(folder);
        fs::remove(host(source));
    }
}

TEST_F(SettleRecord, RecordsTheDaemonCantHaveWrittenAreDroppedUntouched)
{
    mac.mkdir(mac.home().appendingPathComponent(".Trash/Helper x"));
    for (const std::string name : {"Helper x", ".Veldo Helper a/b", ".Veldo Helper ../x"}) {
        SCOPED_TRACE(name);
        HelperStagingRecord record;
        record.id = *platform::UUID::random();
        record.uid = kCallerUid;
        record.gid = kCallerGid;
        record.home = mac.home().path();
        record.stagingName = name;
        record.originalPath = "/Library/Caches/none";
        record.trashName = "none";
        record.date = ledger->now();
        ASSERT_TRUE(journal().write(record));
        EXPECT_EQ(settle(), 1u);
        EXPECT_TRUE(journal().records().value().empty());
    }
    EXPECT_TRUE(fs::is_directory(trashHost("Helper x")));
}

TEST_F(SettleRecord, ARecordOfAnAccountWithoutATrashGoesAfterThirtyDays)
{
    platform::ManualClock clock(std::chrono::system_clock::now());
    auto loaded = common::HelperMoveLedger::load(common::stateDirectoryURL(), clock);
    ASSERT_TRUE(loaded);
    HelperStagingRecord record;
    record.id = *platform::UUID::random();
    record.uid = 4299; // no such account
    record.gid = 4299;
    record.home = "/Users/gone";
    record.stagingName = ".Veldo Helper 1";
    record.originalPath = "/Library/Caches/gone";
    record.trashName = "gone";
    record.date = clock.now();
    ASSERT_TRUE(journal().write(record));

    clock.advance(std::chrono::hours(24 * 29));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(settleInterruptedRecords(*loaded, {}), 0u);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("for uid 4299 kept for the next start"), std::string::npos) << log;
    EXPECT_EQ(journal().records().value().size(), 1u);

    clock.advance(std::chrono::hours(24 * 2));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(settleInterruptedRecords(*loaded, {}), 1u);
    (void)::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(journal().records().value().empty());
}

TEST_F(SettleRecord, AFolderThatCantBeGivenBackAfterACutOffPutBackIsLogged)
{
    common::testsupport::InodeFlagGuard flags;
    mac.mkdir("/Library/Application Support/Held/sub"_mac);
    mover.handsOverFoldersForTesting = true;
    const std::string moved =
        mover.moveItems("/Library/Application Support/Held", trashPath("Held")).destination.value();
    const pid_t pid = ::fork();
    if (pid == 0) {
        testing::setFaultPoints("restore.walking:kill");
        (void)mover.restoreItems(moved, "/Library/Application Support/Held");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const auto records = journal().records().value();
    ASSERT_EQ(records.size(), 1u);
    const std::string sub = trashHost(records[0].stagingName + "/item/sub");
    if (const int err = flags.set(sub, FS_IMMUTABLE_FL); err != 0)
        GTEST_SKIP() << "the kernel refused chattr +i (errno " << err << ")";

    std::string log;
    EXPECT_EQ(settle(&log), 1u);
    (void)flags.set(trashHost("Held/sub"), 0); // cleared again where it ended
    EXPECT_NE(log.find("[journal] Couldn't give the folder with inode "), std::string::npos) << log;
    EXPECT_NE(log.find(" to uid " + std::to_string(kCallerUid) + ": fchown failed (EPERM)"),
              std::string::npos)
        << log;
    struct stat held = {};
    ASSERT_EQ(::lstat(trashHost("Held").c_str(), &held), 0);
    EXPECT_EQ(held.st_uid, kCallerUid);
}

TEST_F(SettleRecord, TemporariesOfCutOffWritesGoAndFilesTheJournalCantReadStay)
{
    const std::string state = host(common::stateDirectoryURL());
    const std::string id = platform::UUID::random()->string();
    const std::vector<std::string> leftovers{
        "/Staging/." + id + ".staging.tmp-a1B2c3",
        "/.highest-build." + id,
    };
    const std::vector<std::string> others{
        "/Staging/" + id + ".staging",           // not a record: the reader leaves it
        "/Staging/." + id + ".notes.tmp-a1B2c3", // no journal record's write
        "/Staging/notes.txt",
        "/.highest-build.not-a-uuid",
        "/.highest-build." + id + ".old",
    };
    for (const auto& name : leftovers)
        mac.write(MacPath(common::stateDirectoryURL().path() + name), "x", 0600);
    for (const auto& name : others)
        mac.write(MacPath(common::stateDirectoryURL().path() + name), "x", 0600);

    std::string log;
    EXPECT_EQ(settle(&log), 0u);
    for (const auto& name : leftovers) {
        EXPECT_FALSE(fs::exists(state + name)) << name;
        EXPECT_NE(log.find("Removed " + name.substr(name.rfind('/') + 1) +
                           ", left by an interrupted write"),
                  std::string::npos)
            << log;
    }
    for (const auto& name : others)
        EXPECT_TRUE(fs::exists(state + name)) << name;
}

TEST_F(SettleRecord, OnlyTheRecordOfAnItemPutBackGoesAtStart)
{
    for (const char* name : {"deleted", "there", "back"})
        mac.write(MacPath(std::string("/Library/Caches/") + name), name);
    std::map<std::string, platform::UUID> ids;
    for (const char* name : {"deleted", "there", "back"}) {
        ASSERT_EQ(mover.moveItems("/Library/Caches/" + std::string(name), trashPath(name)).outcome,
                  common::VeldoHelperItemResult::Outcome::done);
        ids.emplace(name, ledger->record(trashPath(name), kCallerUid)->id);
    }
    // The user empties one item from the Trash; a put-back is cut off once its item is back.
    fs::remove(trashHost("deleted"));
    const pid_t pid = ::fork();
    if (pid == 0) {
        testing::setFaultPoints("restore.returned:kill");
        (void)mover.restoreItems(trashPath("back"), "/Library/Caches/back");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(mac.contents("/Library/Caches/back"_mac), "back");

    std::string log;
    EXPECT_EQ(settle(&log), 1u);
    EXPECT_NE(log.find("Move record " + ids.at("back").string() + " for uid " +
                       std::to_string(kCallerUid) + " removed: its item is back at its place"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("removed: its item"), log.rfind("removed: its item")) << log;
    auto reloaded = common::HelperMoveLedger::load(common::stateDirectoryURL());
    ASSERT_TRUE(reloaded);
    std::vector<std::string> kept;
    for (const auto& r : reloaded->records())
        kept.push_back(r.trashPath);
    EXPECT_EQ(kept, (std::vector<std::string>{trashPath("deleted"), trashPath("there")}));
    EXPECT_FALSE(fs::exists(host(common::stateDirectoryURL()) + "/Inventories/" +
                            common::HelperMoveLedger::inventoryFileName(ids.at("back"))));

    // Undo of the deleted item says where it is, once; then the helper knows it no more.
    *ledger = std::move(*reloaded);
    const auto undo = mover.restoreItems(trashPath("deleted"), "/Library/Caches/deleted");
    EXPECT_EQ(undo.outcome, common::VeldoHelperItemResult::Outcome::failed);
    EXPECT_EQ(undo.message, "It's no longer in the Trash.");
    EXPECT_FALSE(ledger->record(trashPath("deleted"), kCallerUid));
    EXPECT_EQ(mover.restoreItems(trashPath("deleted"), "/Library/Caches/deleted").reason,
              common::VeldoHelperItemResult::Reason::notManaged);
}

TEST_F(SettleRecord, APutBackForgetsOnlyTheRecordOfItsOwnItem)
{
    mac.write("/Library/Caches/back"_mac, "back");
    ASSERT_EQ(mover.moveItems("/Library/Caches/back", trashPath("back")).outcome,
              common::VeldoHelperItemResult::Outcome::done);
    const pid_t pid = ::fork();
    if (pid == 0) {
        testing::setFaultPoints("restore.returned:kill");
        (void)mover.restoreItems(trashPath("back"), "/Library/Caches/back");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    // A later move of another item from the same place under the same Trash name: its record
    // is the newest there.
    common::HelperMoveRecord later = *ledger->record(trashPath("back"), kCallerUid);
    later.id = *platform::UUID::random();
    later.identity.inode += 1;
    later.identity.birthTime.reset();
    ASSERT_TRUE(ledger->add(later, {}));

    EXPECT_EQ(settle(), 1u);
    auto reloaded = common::HelperMoveLedger::load(common::stateDirectoryURL());
    ASSERT_TRUE(reloaded);
    ASSERT_EQ(reloaded->records().size(), 1u);
    EXPECT_EQ(reloaded->records()[0].id, later.id);
}

// Runs the daemon (no socket, a short idle time) to its exit; answers its standard error.
std::string runDaemon(const veldo::testsupport::FakeMac& mac, int* exitStatus)
{
    const std::string logPath = mac.root() + "/daemon.log";
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(log, STDERR_FILENO);
        ::setenv("VELDO_MAC_ROOT", mac.root().c_str(), 1);
        ::setenv("VELDO_HELPER_IDLE_TIMEOUT", "0.5", 1);
        ::unsetenv("VELDO_HELPER_FAULT");
        ::execl(VELDO_HELPER_FAULTY_PROGRAM, VELDO_HELPER_FAULTY_PROGRAM, nullptr);
        ::_exit(121);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(logPath);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(SettleRecord, ADaemonStartSettlesAMoveCutOffOnlyWhenItMayServe)
{
    for (const char* folder : {"/private/var/db", "/private/var/run", "/private/var/log"})
        fs::create_directories(host(MacPath(folder)));
    const MacPath source("/Library/Caches/started.txt");
    mac.write(source, "x");
    const HelperStagingRecord record = moveKilledAt(source, "move.staged");
    ASSERT_TRUE(fs::exists(trashHost(record.stagingName + "/item")));

    // A newer build ran here: this one serves nothing and settles nothing.
    const std::string floor = host(common::stateDirectoryURL()) + "/highest-build";
    std::ofstream(floor) << "10\n";
    ::chmod(floor.c_str(), 0600);
    int status = -1;
    std::string log = runDaemon(mac, &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("Refusing to run: build 2 is older than build 10"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("Settled"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(trashHost(record.stagingName + "/item")));
    EXPECT_EQ(journal().records().value().size(), 1u);

    fs::remove(floor);
    log = runDaemon(mac, &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("Settled 1 interrupted item(s)"), std::string::npos) << log;
    EXPECT_LT(log.find("Settled 1"), log.find("Started, build 2")) << log;
    EXPECT_EQ(mac.contents(source), "x");
    EXPECT_FALSE(fs::exists(trashHost(record.stagingName)));
    EXPECT_TRUE(journal().records().value().empty());
}

} // namespace
} // namespace veldo::helper
