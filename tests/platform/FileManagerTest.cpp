// The Linux file manager on a fake Mac: free names in the Trash, never replacing an entry, the
// volume Trash, modes and owners kept, moves that refuse to replace, and errors as a Mac
// reports them.
#include "platform/FileManager.h"

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Home.h"
#include "platform/LinuxFileManager.h"
#include "tests/support/FakeMac.h"
#include "tests/support/Unprivileged.h"

using veldo::platform::FileType;
using veldo::platform::LinuxFileManager;
using veldo::platform::MacPath;
using veldo::platform::posixErrorCode;
using veldo::platform::SystemError;
using veldo::testsupport::FakeMac;

namespace {

class FileManagerTest : public ::testing::Test
{
protected:
    FakeMac mac;
    LinuxFileManager files;
    const MacPath home = mac.home();
    const MacPath trash = home.appendingPathComponent(".Trash");

    MacPath at(const std::string& relativeToHome) const
    {
        return MacPath(home.path() + "/" + relativeToHome);
    }

    std::set<std::string> entries(const MacPath& folder) const
    {
        auto names = veldo::platform::listDirectory(folder);
        return names ? std::set<std::string>(names->begin(), names->end())
                     : std::set<std::string>{"<unlistable>"};
    }

    struct stat hostStat(const MacPath& path) const
    {
        struct stat st
        {
        };
        EXPECT_EQ(::lstat(mac.host(path).c_str(), &st), 0) << path.path();
        return st;
    }
};

// The wrapped errno and Cocoa code of a failure, and that its sentence names the item and
// holds no number.
void expectFailure(const SystemError& error, int code, int err, const std::string& name)
{
    EXPECT_EQ(error.code(), code) << error.localizedDescription();
    EXPECT_EQ(posixErrorCode(error), err) << error.localizedDescription();
    EXPECT_NE(error.localizedDescription().find("“" + name + "”"), std::string::npos)
        << error.localizedDescription();
    EXPECT_EQ(error.localizedDescription().find_first_of("0123456789"), std::string::npos)
        << error.localizedDescription();
}

} // namespace

TEST_F(FileManagerTest, FreeNamesIgnoreCaseAndUnicodeForm)
{
    struct Case
    {
        std::vector<std::string> inTrash;
        std::string name;
        std::string expected;
    };
    const std::vector<Case> cases{
        {{}, "new", "new"},
        {{"report.PDF"}, "Report.pdf", "Report 2.pdf"},
        {{"Report.pdf", "report 2.pdf"}, "Report.pdf", "Report 3.pdf"},
        {{"Cafe\u0301"}, "Caf\u00e9", "Caf\u00e9 2"},
        {{".hidden"}, ".hidden", ".hidden 2"},
        {{"Archive.tar.gz"}, "Archive.tar.gz", "Archive.tar 2.gz"},
        {{"Acme.app"}, "ACME.APP", "ACME 2.APP"},
    };
    int round = 0;
    for (const Case& c : cases) {
        const MacPath folder = mac.mkdir(at("case" + std::to_string(round++)));
        for (const auto& name : c.inTrash)
            mac.write(trash.appendingPathComponent(name), "old");
        const MacPath item = mac.write(folder.appendingPathComponent(c.name), "new");
        auto moved = files.trashItem(item);
        ASSERT_TRUE(moved) << c.name << ": " << moved.error().localizedDescription();
        EXPECT_EQ(*moved, trash.appendingPathComponent(c.expected)) << c.name;
        EXPECT_EQ(mac.contents(trash.appendingPathComponent(c.expected)), "new") << c.name;
        for (const auto& name : c.inTrash)
            EXPECT_EQ(mac.contents(trash.appendingPathComponent(name)), "old") << name;
        for (const auto& name : entries(trash))
            ASSERT_EQ(::unlink(mac.host(trash.appendingPathComponent(name)).c_str()), 0);
    }
}

TEST_F(FileManagerTest, SameNamedItemsTrashedAtOnceBothSurvive)
{
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        const std::string tag = std::to_string(round);
        const MacPath a = mac.write(at("a/Report.pdf"), "a" + tag);
        const MacPath b = mac.write(at("b/Report.pdf"), "b" + tag);
        bool okA = false;
        bool okB = false;
        std::thread first([&] { okA = files.trashItem(a).has_value(); });
        std::thread second([&] { okB = files.trashItem(b).has_value(); });
        first.join();
        second.join();
        EXPECT_TRUE(okA && okB) << round;
    }
    std::multiset<std::string> found;
    for (const auto& name : entries(trash))
        found.insert(mac.contents(trash.appendingPathComponent(name)));
    EXPECT_EQ(found.size(), 2u * kRounds);
    for (int round = 0; round < kRounds; ++round) {
        EXPECT_EQ(found.count("a" + std::to_string(round)), 1u);
        EXPECT_EQ(found.count("b" + std::to_string(round)), 1u);
    }
}

TEST_F(FileManagerTest, NeverReplacesAnEntryTheKeptNamesMissed)
{
    // An entry made behind the manager's back, with the Trash's time put back, is never
    // replaced.
    ASSERT_TRUE(files.trashItem(mac.write(at("first"), "1")));
    const struct stat before = hostStat(trash);
    mac.write(trash.appendingPathComponent("Report.pdf"), "foreign");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, mac.host(trash).c_str(), times, 0), 0);

    auto moved = files.trashItem(mac.write(at("Report.pdf"), "mine"));
    ASSERT_TRUE(moved);
    EXPECT_EQ(*moved, trash.appendingPathComponent("Report 2.pdf"));
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Report.pdf")), "foreign");
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Report 2.pdf")), "mine");
}

TEST_F(FileManagerTest, ARunKeepsTheTrashsNamesAndNeverReplacesEntriesMadeMeanwhile)
{
    mac.write(trash.appendingPathComponent("report.PDF"), "old");
    const auto run = files.beginTrashRun();
    auto moved = run->trashItem(mac.write(at("a/Report.pdf"), "a"));
    ASSERT_TRUE(moved) << moved.error().localizedDescription();
    EXPECT_EQ(*moved, trash.appendingPathComponent("Report 2.pdf"));

    // Made behind the run's back, with exactly the names it would give next.
    mac.write(trash.appendingPathComponent("Report 3.pdf"), "foreign");
    mac.write(trash.appendingPathComponent("Report 4.pdf"), "foreign too");
    mac.write(trash.appendingPathComponent("notes.txt"), "foreign notes");
    const std::vector<std::pair<MacPath, std::string>> cases{
        {mac.write(at("b/Report.pdf"), "b"), "Report 5.pdf"},
        {mac.write(at("notes.txt"), "mine"), "notes 2.txt"},
        {mac.write(at("c/Report.pdf"), "c"), "Report 6.pdf"},
    };
    for (const auto& [item, expected] : cases) {
        moved = run->trashItem(item);
        ASSERT_TRUE(moved) << item.path() << ": " << moved.error().localizedDescription();
        EXPECT_EQ(*moved, trash.appendingPathComponent(expected)) << item.path();
    }
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("report.PDF")), "old");
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Report 3.pdf")), "foreign");
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Report 4.pdf")), "foreign too");
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("notes.txt")), "foreign notes");
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Report 5.pdf")), "b");
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("notes 2.txt")), "mine");
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("Report 6.pdf")), "c");
}

TEST_F(FileManagerTest, ARunMovesIntoTheTrashThatStandsAtItsPlace)
{
    const auto run = files.beginTrashRun();
    ASSERT_TRUE(run->trashItem(mac.write(at("first"), "1")));
    // The Trash folder moved away during the run: a new one is made, and its names are its own.
    const MacPath old = at("Old Trash");
    ASSERT_EQ(::rename(mac.host(trash).c_str(), mac.host(old).c_str()), 0);
    auto moved = run->trashItem(mac.write(at("a/first"), "2"));
    ASSERT_TRUE(moved) << moved.error().localizedDescription();
    EXPECT_EQ(*moved, trash.appendingPathComponent("first"));
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("first")), "2");
    EXPECT_EQ(mac.contents(old.appendingPathComponent("first")), "1");
    EXPECT_EQ(hostStat(trash).st_mode & 07777, 0700u);
    // Another folder put in its place, holding the name.
    ASSERT_EQ(::rename(mac.host(trash).c_str(), mac.host(at("Older Trash")).c_str()), 0);
    mac.write(trash.appendingPathComponent("FIRST"), "theirs");
    moved = run->trashItem(mac.write(at("b/first"), "3"));
    ASSERT_TRUE(moved) << moved.error().localizedDescription();
    EXPECT_EQ(*moved, trash.appendingPathComponent("first 2"));
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("FIRST")), "theirs");
}

TEST_F(FileManagerTest, ARunOpensAnItemsFolderOnceForItsCheckReadAndMove)
{
    mac.write(MacPath("/Volumes/Data/Projects/notes"), "v");
    mac.symlink(at("DataLink"), "/Volumes/Data/Projects");
    const MacPath item = at("DataLink/notes");
    const auto run = files.beginTrashRun();

    // The folder as its descriptor names it: through the link, on the volume.
    EXPECT_EQ(run->openFolderOfItem(item), MacPath("/Volumes/Data/Projects"));
    auto attributes = run->attributesOfItem(item);
    ASSERT_TRUE(attributes) << attributes.error().localizedDescription();
    EXPECT_EQ(attributes->type, FileType::regular);
    auto moved = run->trashItem(item);
    ASSERT_TRUE(moved) << moved.error().localizedDescription();
    EXPECT_EQ(*moved, MacPath("/Volumes/Data/.Trashes/" + std::to_string(::getuid()) + "/notes"));
    EXPECT_EQ(run->openFolderOfItem(at("Library")), home);

    // The folder opened for an item serves its read and its move, also when another one was
    // put in its place meanwhile: what was judged is what moves.
    const MacPath report = mac.write(at("Work/report"), "judged");
    EXPECT_EQ(run->openFolderOfItem(report), at("Work"));
    ASSERT_EQ(::rename(mac.host(at("Work")).c_str(), mac.host(at("Work Old")).c_str()), 0);
    mac.write(report, "put there later");
    ASSERT_TRUE(run->attributesOfItem(report));
    moved = run->trashItem(report);
    ASSERT_TRUE(moved) << moved.error().localizedDescription();
    EXPECT_EQ(mac.contents(trash.appendingPathComponent("report")), "judged");
    EXPECT_EQ(mac.contents(report), "put there later");

    // A folder that can't be opened, and a path that names no movable item, answer none.
    EXPECT_FALSE(run->openFolderOfItem(at("gone/item")));
    EXPECT_FALSE(run->openFolderOfItem(MacPath("relative/item")));
    EXPECT_FALSE(run->openFolderOfItem(MacPath("/")));
    attributes = run->attributesOfItem(MacPath("/"));
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->type, FileType::directory);
}

TEST_F(FileManagerTest, GivesUpAfterTenThousandNames)
{
    mac.write(trash.appendingPathComponent("full"), "");
    for (int n = 2; n <= LinuxFileManager::kMaxTrashNameTries; ++n) {
        const std::string host =
            mac.host(trash.appendingPathComponent("full " + std::to_string(n)));
        const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    const MacPath item = mac.write(at("full"), "kept");
    auto moved = files.trashItem(item);
    ASSERT_FALSE(moved);
    expectFailure(moved.error(), 512, EEXIST, "full");
    EXPECT_EQ(mac.contents(item), "kept");
}

TEST_F(FileManagerTest, ModesOwnersAndIdentityAreKept)
{
    const MacPath file = mac.write(at("Library/Caches/odd"), "x", 0640);
    const MacPath folder = mac.mkdir(at("Library/Caches/folder"), 0751);
    mac.write(folder.appendingPathComponent("inner"), "y", 0600);
    const MacPath link = mac.symlink(at("Library/Caches/link"), "/Users/nobody/target");
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown(mac.host(file).c_str(), 4321, 4322), 0);
    }
    std::vector<std::pair<MacPath, struct stat>> before;
    for (const MacPath& p : {file, folder, folder.appendingPathComponent("inner"), link})
        before.emplace_back(p, hostStat(p));

    for (const MacPath& p : {file, folder, link}) {
        auto moved = files.trashItem(p);
        ASSERT_TRUE(moved) << p.path();
        EXPECT_EQ(*moved, trash.appendingPathComponent(p.lastPathComponent()));
    }
    for (const auto& [path, old] : before) {
        const MacPath now(trash.path() + path.path().substr(at("Library/Caches").path().size()));
        const struct stat st = hostStat(now);
        EXPECT_EQ(st.st_mode, old.st_mode) << now.path();
        EXPECT_EQ(st.st_uid, old.st_uid) << now.path();
        EXPECT_EQ(st.st_gid, old.st_gid) << now.path();
        EXPECT_EQ(st.st_ino, old.st_ino) << now.path();
        EXPECT_EQ(st.st_dev, old.st_dev) << now.path();
    }
    auto target = veldo::platform::readSymbolicLink(trash.appendingPathComponent("link"));
    ASSERT_TRUE(target);
    EXPECT_EQ(*target, "/Users/nobody/target");
}

TEST_F(FileManagerTest, VolumeTrashesAndMissingTrashFolders)
{
    // An item under /Volumes/<v>/ goes to that volume's Trash, also when reached through a link.
    const MacPath onVolume = mac.write(MacPath("/Volumes/Data/Projects/notes"), "v");
    mac.write(MacPath("/Volumes/Data/Projects/other"), "w");
    mac.symlink(at("DataLink"), "/Volumes/Data/Projects");
    const std::string uid = std::to_string(::getuid());
    const MacPath volumeTrash("/Volumes/Data/.Trashes/" + uid);

    auto moved = files.trashItem(onVolume);
    ASSERT_TRUE(moved) << moved.error().localizedDescription();
    EXPECT_EQ(*moved, volumeTrash.appendingPathComponent("notes"));
    EXPECT_EQ(hostStat(MacPath("/Volumes/Data/.Trashes")).st_mode & 07777, 01333u);
    EXPECT_EQ(hostStat(volumeTrash).st_mode & 07777, 0700u);
    moved = files.trashItem(at("DataLink/other"));
    ASSERT_TRUE(moved);
    EXPECT_EQ(*moved, volumeTrash.appendingPathComponent("other"));
    EXPECT_EQ(mac.contents(volumeTrash.appendingPathComponent("other")), "w");

    // A home without a Trash gets one, private to its user.
    ASSERT_EQ(::rmdir(mac.host(trash).c_str()), 0);
    moved = files.trashItem(mac.write(at("Library/Caches/c"), "c"));
    ASSERT_TRUE(moved);
    EXPECT_EQ(*moved, trash.appendingPathComponent("c"));
    EXPECT_EQ(hostStat(trash).st_mode & 07777, 0700u);
}

TEST_F(FileManagerTest, MovesNeverReplaceAndFoldersAreMade)
{
    const MacPath a = mac.write(at("a"), "A");
    const MacPath b = mac.write(at("b"), "B");
    auto moved = files.moveItem(a, b);
    ASSERT_FALSE(moved);
    expectFailure(moved.error(), 512, EEXIST, "a");
    EXPECT_EQ(mac.contents(a), "A");
    EXPECT_EQ(mac.contents(b), "B");

    moved = files.moveItem(a, at("missing/a"));
    ASSERT_FALSE(moved);
    EXPECT_EQ(posixErrorCode(moved.error()), ENOENT);

    ASSERT_TRUE(files.createDirectory(at("missing/deeper"), true));
    ASSERT_TRUE(files.createDirectory(at("missing/deeper"), true)); // already there: fine
    auto again = files.createDirectory(at("missing/deeper"), false);
    ASSERT_FALSE(again);
    EXPECT_EQ(posixErrorCode(again.error()), EEXIST);
    auto underFile = files.createDirectory(at("b/sub"), true);
    ASSERT_FALSE(underFile);
    EXPECT_EQ(posixErrorCode(underFile.error()), EEXIST);

    ASSERT_TRUE(files.moveItem(a, at("missing/deeper/a")));
    EXPECT_EQ(mac.contents(at("missing/deeper/a")), "A");
}

TEST_F(FileManagerTest, FailuresAsAMacReportsThem)
{
    mac.write(at("plain"), "a file");
    mac.symlink(at("loopA"), "loopB");
    mac.symlink(at("loopB"), "loopA");
    struct Case
    {
        MacPath path;
        int trashCode;
        int attributesCode;
        int err;
    };
    const std::vector<Case> cases{
        {at("gone"), 512, 256, ENOENT},
        {at("plain/child"), 512, 256, ENOTDIR},
        {at("loopA/child"), 512, 256, ELOOP},
        {MacPath("relative/item"), 512, 256, EINVAL},
    };
    for (const Case& c : cases) {
        auto trashed = files.trashItem(c.path);
        ASSERT_FALSE(trashed) << c.path.path();
        expectFailure(trashed.error(), c.trashCode, c.err, c.path.lastPathComponent());
        auto attributes = files.attributesOfItem(c.path);
        ASSERT_FALSE(attributes) << c.path.path();
        expectFailure(attributes.error(), c.attributesCode, c.err, c.path.lastPathComponent());
        // A Trash run answers alike, through the folder it opened for the item or not.
        const auto run = files.beginTrashRun();
        for (const bool opened : {false, true}) {
            if (opened)
                (void)run->openFolderOfItem(c.path);
            attributes = run->attributesOfItem(c.path);
            ASSERT_FALSE(attributes) << c.path.path();
            expectFailure(attributes.error(), c.attributesCode, c.err, c.path.lastPathComponent());
            trashed = run->trashItem(c.path);
            ASSERT_FALSE(trashed) << c.path.path();
            expectFailure(trashed.error(), c.trashCode, c.err, c.path.lastPathComponent());
        }
    }
    auto item = files.attributesOfItem(at("loopA"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->type, FileType::symlink);
    EXPECT_TRUE(files.isWritableFile(at("plain")));
    EXPECT_FALSE(files.isWritableFile(at("loopA/child")));
}

TEST_F(FileManagerTest, PermissionFailuresOfAnOrdinaryUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make files another user can't move";
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the temporary folder is closed to other users; set TMPDIR to a "
                        "world-searchable folder to run this test";
    const uid_t uid = veldo::testsupport::unprivilegedUid();
    const auto childHome = veldo::platform::homeDirectoryForUser(uid);
    ASSERT_TRUE(childHome);
    mac.mkdir(childHome->appendingPathComponent(".Trash"), 0700);
    ASSERT_EQ(::chown(mac.host(*childHome).c_str(), uid, 0), 0);
    ASSERT_EQ(::chown(mac.host(childHome->appendingPathComponent(".Trash")).c_str(), uid, 0), 0);
    const MacPath rootOwned = mac.write(MacPath("/Library/Caches/owned"), "r");
    mac.mkdir(MacPath("/Library/Private"), 0700);
    const MacPath hidden = mac.write(MacPath("/Library/Private/inside"), "h");

    // Each check is one bit of the exit status, so a failure says which.
    const int rc = veldo::testsupport::runUnprivileged([&] {
        LinuxFileManager mine;
        int failed = 0;
        auto trashed = mine.trashItem(rootOwned);
        if (trashed || trashed.error().code() != 513 || posixErrorCode(trashed.error()) != EACCES)
            failed |= 1;
        auto attributes = mine.attributesOfItem(hidden);
        if (attributes || attributes.error().code() != 257 ||
            posixErrorCode(attributes.error()) != EACCES)
            failed |= 2;
        if (mine.isWritableFile(MacPath("/Library/Caches")) ||
            !mine.isWritableFile(childHome->appendingPathComponent(".Trash")))
            failed |= 4;
        return failed;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(mac.contents(rootOwned), "r");
}
