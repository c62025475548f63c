// A helper killed (SIGKILL) at each step of a move or a put-back, or in the middle of the atomic
// write that follows a step, then the next start's recovery: the item lies exactly once, unchanged,
// where the step says; nothing of the operation is left, in the Trash or in the state folder.
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>

#include "helper/BuildFloor.h"
#include "helper/HelperFaultPoints.h"
#include "helper/InterruptedRecords.h"
#include "platform/AtomicFile.h"
#include "tests/helper/MoverTestSupport.h"
#include "tests/support/StandInLaunchctl.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using common::VeldoHelperItemResult;
using platform::MacPath;
using Outcome = VeldoHelperItemResult::Outcome;
namespace fs = std::filesystem;

enum class ItemKind
{
    file,
    handedOverFolder,
    daemonPlist,
};

struct CrashCase
{
    ItemKind kind;
    bool restore;            // killed during the put-back (the move went through first)
    std::string point;       // where the operation is killed
    std::string settlePoint; // where the first recovery is killed too (empty: none)
    bool inWrite = false;    // killed in the atomic write that follows `point`, not at it
};

void PrintTo(const CrashCase& c, std::ostream* out)
{
    *out << static_cast<int>(c.kind) << " " << c.point << " " << c.settlePoint;
}

std::string caseName(const ::testing::TestParamInfo<CrashCase>& info)
{
    const char* kinds[] = {"File", "Folder", "Daemon"};
    std::string name = std::string(kinds[static_cast<int>(info.param.kind)]) + "_" +
                       info.param.point + (info.param.inWrite ? "_inWrite" : "") +
                       (info.param.settlePoint.empty() ? "" : "_then_") + info.param.settlePoint;
    for (char& c : name)
        if (c == '.')
            c = '_';
    return name;
}

// Names, bytes, owners and modes of a tree's files, and the names of its folders.
std::map<std::string, std::string> treeOf(const std::string& root)
{
    std::map<std::string, std::string> tree;
    auto describe = [](const fs::path& p) {
        struct stat st
        {
        };
        ::lstat(p.c_str(), &st);
        if (S_ISDIR(st.st_mode))
            return std::string("folder");
        std::string bytes;
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(p, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        return bytes + "|" + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + ":" +
               std::to_string(st.st_mode);
    };
    tree[""] = describe(root);
    if (fs::is_directory(fs::symlink_status(root)))
        for (const auto& e : fs::recursive_directory_iterator(root))
            tree[e.path().string().substr(root.size())] = describe(e.path());
    return tree;
}

class SettleCrash : public MoverTest, public ::testing::WithParamInterface<CrashCase>
{
protected:
    void TearDown() override { testing::setFaultPoints(""); }

    // Runs `body` in a child that `point` kills (in the next atomic write after it, with
    // `inWrite`); false when the child was not killed.
    bool killedAt(const std::string& point, const std::function<void()>& body, bool inWrite = false)
    {
        const pid_t pid = ::fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            testing::setFaultPoints(point + (inWrite ? ":killInWrite" : ":kill"));
            body();
            ::_exit(0);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    std::size_t settle(common::HelperMoveLedger& fresh, std::string& log)
    {
        ::testing::internal::CaptureStderr();
        const std::size_t n = settleInterruptedRecords(fresh, {});
        log += ::testing::internal::GetCapturedStderr();
        return n;
    }

    std::string stateHost(const std::string& sub = {}) const
    {
        return host(common::stateDirectoryURL()) + sub;
    }

    // The names in a folder of the state folder (none when it is missing).
    std::set<std::string> stateEntries(const std::string& sub) const
    {
        std::set<std::string> names;
        if (fs::exists(stateHost(sub)))
            for (const auto& e : fs::directory_iterator(stateHost(sub)))
                names.insert(e.path().filename().string());
        return names;
    }

    // What interrupted atomic writes left anywhere in the state folder, by path inside it.
    std::vector<std::string> temporaries() const
    {
        std::vector<std::string> found;
        if (fs::exists(stateHost()))
            for (const auto& e : fs::recursive_directory_iterator(stateHost())) {
                const std::string name = e.path().filename().string();
                if (platform::atomicWriteTarget(name) || isHighestBuildTemporary(name))
                    found.push_back(e.path().string().substr(stateHost().size()));
            }
        return found;
    }

    std::vector<std::string> stagingFolders() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(trashHost()))
            if (e.path().filename().string().starts_with(".Veldo Helper "))
                names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_P(SettleCrash, ItemEndsExactlyOnceWhereTheStepSays)
{
    const CrashCase& c = GetParam();
    veldo::testsupport::StandInLaunchctl standIn(mac);
    closeStandInToOthers(mac);

    MacPath source("/Library/Caches/Crash/item.txt");
    if (c.kind == ItemKind::file) {
        mac.write(source, "bytes");
        chownHost(source, 501, 20);
        ::chmod(host(source).c_str(), 0640);
    } else if (c.kind == ItemKind::handedOverFolder) {
        source = MacPath("/Library/Application Support/Crash Tool");
        mac.mkdir(source.appendingPathComponent("sub/deeper"));
        mac.write(source.appendingPathComponent("sub/a"), "a");
        mac.write(source.appendingPathComponent("sub/deeper/b"), "b");
        ::chmod(host(source.appendingPathComponent("sub")).c_str(), 0750);
        mover.handsOverFoldersForTesting = true;
    } else {
        source = MacPath("/Library/LaunchDaemons/com.example.crash.plist");
        mac.write(source, "<plist/>");
    }
    const std::string name = source.lastPathComponent();
    const std::string trashPath = mac.home().path() + "/.Trash/" + name;
    const auto tree = treeOf(host(source));
    struct stat before
    {
    };
    ASSERT_EQ(::lstat(host(source).c_str(), &before), 0);

    bool killed = false;
    const auto changesSize = [&] {
        std::error_code error;
        const auto size = fs::file_size(stateHost("/Moves.changes"), error);
        return error ? 0 : size;
    };
    std::uintmax_t changesBefore = 0;
    if (c.restore) {
        ASSERT_EQ(mover.moveItems(source.path(), trashPath).outcome, Outcome::done);
        changesBefore = changesSize();
        killed = killedAt(
            c.point, [&] { (void)mover.restoreItems(trashPath, source.path()); }, c.inWrite);
    } else {
        killed = killedAt(
            c.point, [&] { (void)mover.moveItems(source.path(), trashPath); }, c.inWrite);
    }
    if (!killed)
        GTEST_SKIP() << c.point << " is not on this item's way";
    // A kill in an atomic write leaves its temporary file; one in the ledger's change after a
    // put-back leaves half an entry appended to its list of changes instead.
    const bool inLedgerChange = c.inWrite && c.point == "restore.returned";
    const std::vector<std::string> leftByTheKill = temporaries();
    EXPECT_EQ(leftByTheKill.size(), c.inWrite && !inLedgerChange ? 1u : 0u);
    if (inLedgerChange) {
        EXPECT_GT(changesSize(), changesBefore);
    }

    // The next start, with the ledger read afresh; once more when the first recovery is killed.
    auto fresh = common::HelperMoveLedger::load(common::stateDirectoryURL());
    ASSERT_TRUE(fresh);
    std::string log;
    if (!c.settlePoint.empty()) {
        ASSERT_TRUE(killedAt(c.settlePoint, [&] { (void)settleInterruptedRecords(*fresh, {}); }));
        fresh = common::HelperMoveLedger::load(common::stateDirectoryURL());
        ASSERT_TRUE(fresh);
    }
    EXPECT_EQ(settle(*fresh, log), 1u);
    EXPECT_NE(log.find("Settled 1 interrupted item(s)"), std::string::npos) << log;

    // Exactly once, the same object and tree.
    const bool atOriginal = fs::exists(fs::symlink_status(host(source)));
    const bool inTrash = fs::exists(fs::symlink_status(trashHost(name)));
    ASSERT_NE(atOriginal, inTrash) << "original " << atOriginal << ", Trash " << inTrash;
    const std::string where = atOriginal ? host(source) : trashHost(name);
    struct stat after
    {
    };
    ASSERT_EQ(::lstat(where.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_dev, before.st_dev);
    auto now = treeOf(where);
    EXPECT_EQ(now.size(), tree.size());
    for (const auto& [path, description] : tree)
        EXPECT_EQ(now[path], description) << path;
    EXPECT_TRUE(stagingFolders().empty());
    EXPECT_TRUE(journal().records().value().empty());

    // Nothing of the operation is left in the state folder: no temporary file, no journal file,
    // an inventory for each move record and none else, and no record of an item not in the Trash.
    EXPECT_EQ(temporaries(), std::vector<std::string>{});
    EXPECT_EQ(stateEntries("/Staging"), std::set<std::string>{});
    std::set<std::string> inventories;
    for (const auto& record : fresh->records()) {
        inventories.insert(common::HelperMoveLedger::inventoryFileName(record.id));
        EXPECT_TRUE(fs::exists(fs::symlink_status(
            trashHost(record.trashPath.substr(record.trashPath.rfind('/') + 1)))))
            << record.trashPath;
    }
    EXPECT_EQ(stateEntries("/Inventories"), inventories);
    for (const std::string& left : leftByTheKill)
        if (left.starts_with("/Staging/")) {
            EXPECT_NE(log.find("Removed " + left.substr(9) + ", left by an interrupted write"),
                      std::string::npos)
                << log;
        }

    static const std::set<std::string> movedAway{"move.renamed", "move.handedOver", "move.recorded",
                                                 "move.folderRemoved"};
    static const std::set<std::string> putBack{"restore.returned", "restore.unrecorded",
                                               "restore.folderRemoved"};
    const bool expectOriginal =
        c.restore ? putBack.contains(c.point) : !movedAway.contains(c.point);
    EXPECT_EQ(atOriginal, expectOriginal);
    const bool recorded = fresh->record(trashPath, kCallerUid).has_value();
    if (!c.restore) {
        EXPECT_EQ(recorded, c.point == "move.recorded" || c.point == "move.folderRemoved");
    } else {
        // Recorded while it lies in the Trash, so Undo can put it back; not once it is back.
        EXPECT_EQ(recorded, inTrash);
    }

    // launchctl: a daemon's property list back at its place is bootstrapped by the recovery.
    const auto calls = standIn.calls();
    if (c.kind == ItemKind::daemonPlist && atOriginal) {
        EXPECT_EQ(calls, std::vector<std::string>{"[bootstrap][system][" + source.path() + "]"});
    } else {
        EXPECT_TRUE(calls.empty());
    }

    // A handed-over tree cut off during the check is the caller's again.
    if (c.kind == ItemKind::handedOverFolder && inTrash && c.restore) {
        std::vector<fs::path> folders{where};
        for (const auto& e : fs::recursive_directory_iterator(where))
            if (fs::is_directory(fs::symlink_status(e.path())))
                folders.push_back(e.path());
        for (const fs::path& folder : folders) {
            struct stat st
            {
            };
            ::lstat(folder.c_str(), &st);
            EXPECT_EQ(st.st_uid, kCallerUid) << folder;
            EXPECT_EQ(st.st_mode & S_IRWXU, S_IRWXU) << folder;
        }
    }

    // What lies in the Trash with its record is put back by a later Undo.
    if (inTrash && recorded) {
        mover.ledger = &*fresh;
        const auto r = mover.restoreItems(trashPath, source.path());
        EXPECT_EQ(r.outcome, Outcome::done) << r.message.value_or("");
    }
}

std::vector<CrashCase> crashCases()
{
    const std::vector<std::string> movePoints{
        "move.journaled", "move.folderMade",   "move.journaledAgain", "move.bootedOut",
        "move.staged",    "move.inventoried",  "move.renamed",        "move.handedOver",
        "move.recorded",  "move.folderRemoved"};
    const std::vector<std::string> restorePoints{
        "restore.journaled", "restore.folderMade", "restore.journaledAgain",
        "restore.staged",    "restore.walking",    "restore.verified",
        "restore.returned",  "restore.unrecorded", "restore.folderRemoved"};
    std::vector<CrashCase> cases;
    for (const ItemKind kind :
         {ItemKind::file, ItemKind::handedOverFolder, ItemKind::daemonPlist}) {
        for (const std::string& p : movePoints)
            cases.push_back({kind, false, p, {}});
        for (const std::string& p : restorePoints)
            if (p != "restore.walking" || kind == ItemKind::handedOverFolder)
                cases.push_back({kind, true, p, {}});
        // The writes after these: the journal record with its staging folder, the inventory, the
        // journal record of a put-back, and the ledger without the record of an item put back.
        cases.push_back({kind, false, "move.journaled", {}, true});
        cases.push_back({kind, false, "move.handedOver", {}, true});
        cases.push_back({kind, true, "restore.journaled", {}, true});
        cases.push_back({kind, true, "restore.returned", {}, true});
    }
    for (const char* settlePoint : {"settle.released", "settle.folderRemoved"}) {
        cases.push_back({ItemKind::file, false, "move.staged", settlePoint});
        cases.push_back({ItemKind::file, true, "restore.staged", settlePoint});
        cases.push_back({ItemKind::handedOverFolder, true, "restore.verified", settlePoint});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(KillPoints, SettleCrash, ::testing::ValuesIn(crashCases()), caseName);

} // namespace
} // namespace veldo::helper
