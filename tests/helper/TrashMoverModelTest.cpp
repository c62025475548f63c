// The Trash mover's shared pieces: the account's Trash, sealed staging folders, free names, the
// closing of a staging folder, the failure sentences and the parts of a normalised path.
#include <algorithm>
#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/acl.h>

#include "common/HelperACL.h"
#include "common/HelperPathRules.h"
#include "platform/UUID.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/helper/MoverTestSupport.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using platform::MacPath;
namespace fs = std::filesystem;

std::vector<std::string> trashNames(const std::string& trashHost)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(trashHost))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class TrashMoverModel : public MoverTest
{
protected:
    // A private folder in the Trash holding "item" (a file with `contents`).
    SharedDescriptor stagedFile(const std::string& folderName, const std::string& contents = "x")
    {
        auto folder = common::makePrivateFolder(trash(), folderName);
        EXPECT_TRUE(folder);
        const int fd = ::openat(folder->fd(), "item", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, contents.data(), contents.size()),
                  static_cast<ssize_t>(contents.size()));
        ::close(fd);
        return *folder;
    }
};

TEST_F(TrashMoverModel, TrashThatIsNotANormalFolderOfTheCaller)
{
    const std::string missing = "Your Trash folder is missing or isn't a normal folder.";
    const std::string notYours = "Your Trash folder doesn't belong to you.";
    const std::string trashPath = trashHost();
    struct Case
    {
        const char* what;
        std::function<void()> make;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"missing", [&] { fs::remove_all(trashPath); }, missing},
        {"a link to a folder of the caller's",
         [&] {
             fs::remove_all(trashPath);
             fs::create_directory(trashPath + "-real");
             ASSERT_EQ(::lchown((trashPath + "-real").c_str(), kCallerUid, kCallerGid), 0);
             fs::create_directory_symlink(".Trash-real", trashPath);
         },
         missing},
        {"a file in the way",
         [&] {
             fs::remove_all(trashPath);
             mac.write(mac.home().appendingPathComponent(".Trash"), "x");
         },
         missing},
        {"another account's", [&] { ASSERT_EQ(::lchown(trashPath.c_str(), 0, 0), 0); }, notYours},
    };
    for (const Case& c : cases) {
        fs::remove_all(trashPath);
        fs::remove_all(trashPath + "-real");
        fs::create_directory(trashPath);
        ASSERT_EQ(::lchown(trashPath.c_str(), kCallerUid, kCallerGid), 0);
        c.make();
        const auto opened = mover.openUserTrash();
        EXPECT_FALSE(opened.trash) << c.what;
        ASSERT_TRUE(opened.trashError) << c.what;
        EXPECT_EQ(opened.trashError->message, c.message) << c.what;
    }
    fs::remove_all(trashPath);
    fs::create_directory(trashPath);
    ASSERT_EQ(::lchown(trashPath.c_str(), kCallerUid, kCallerGid), 0);
    EXPECT_TRUE(mover.openUserTrash().trash);
}

TEST_F(TrashMoverModel, SealedStagingFolders)
{
    common::testsupport::InodeFlagGuard flags;
    auto sealed = common::makePrivateFolder(trash(), ".Veldo Helper A");
    ASSERT_TRUE(sealed);
    EXPECT_TRUE(isSealedStagingFolder(*sealed, trash()));

    struct Case
    {
        const char* what;
        std::function<void(const std::string&)> spoil;
    };
    const std::vector<Case> cases = {
        {"mode 0755", [](const std::string& p) { ::chmod(p.c_str(), 0755); }},
        {"owned by the user", [](const std::string& p) { ::lchown(p.c_str(), kCallerUid, 0); }},
        {"an ACL entry",
         [](const std::string& p) {
             acl_t acl = acl_from_text("u::rwx,u:4242:r-x,g::---,m::r-x,o::---");
             ASSERT_NE(acl, nullptr);
             ASSERT_EQ(acl_set_file(p.c_str(), ACL_TYPE_ACCESS, acl), 0);
             acl_free(acl);
         }},
        {"a file, not a folder",
         [](const std::string& p) {
             fs::remove(p);
             ::close(::open(p.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0700));
         }},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = ".Veldo Helper " + std::to_string(++n);
        ASSERT_TRUE(common::makePrivateFolder(trash(), name));
        c.spoil(trashHost(name));
        auto folder = common::openPathBeneath(mac.home().path() + "/.Trash/" + name);
        SharedDescriptor d = folder ? *folder : [&] {
            return SharedDescriptor(
                UniqueFd(::open(trashHost(name).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC)));
        }();
        EXPECT_FALSE(isSealedStagingFolder(d, trash())) << c.what;
    }
}

TEST_F(TrashMoverModel, StagingFolderOnAnotherDeviceIsNotSealed)
{
    const std::string volume = host("/Volumes/Other"_mac);
    mac.mkdir("/Volumes/Other"_mac);
    const int status = inPrivateMountNamespace([&] {
        common::testsupport::TmpfsMount mount(volume);
        if (!mount.mounted())
            return 77;
        auto other = common::openPathBeneath("/Volumes/Other");
        if (!other)
            return 2;
        auto folder = common::makePrivateFolder(*other, ".Veldo Helper B");
        if (!folder)
            return 3;
        auto trashFolder = common::openPathBeneath(mac.home().path() + "/.Trash");
        if (!trashFolder)
            return 4;
        return isSealedStagingFolder(*folder, *trashFolder) ? 1 : 0;
    });
    if (status == 77)
        GTEST_SKIP() << "the kernel refused a mount namespace or a tmpfs (no CAP_SYS_ADMIN)";
    EXPECT_EQ(status, 0);
}

TEST_F(TrashMoverModel, StagingNameIsTheRawNameUpToItsFirstZeroByte)
{
    using namespace std::string_literals;
    const SharedDescriptor t = trash();
    EXPECT_EQ(HelperTrashMover::Staging::make(t, "abc\0def"s, t).name, "abc");
    EXPECT_EQ(HelperTrashMover::Staging::make(t, "abc\0def"s, t).rawName, "abc\0def"s);
    EXPECT_EQ(HelperTrashMover::Staging::make(t, "\0abc"s, t).name, "");
    EXPECT_EQ(HelperTrashMover::Staging::make(t, "ab\xff"s, t).name, "ab\xEF\xBF\xBD");
    EXPECT_EQ(HelperTrashMover::Staging::make(t, ".Veldo Helper X"s, t).name, ".Veldo Helper X");
}

TEST_F(TrashMoverModel, FreeNameSequences)
{
    struct Case
    {
        std::string name;
        std::vector<std::string> taken;
        std::string expected;
    };
    std::vector<std::string> upTo100 = {"Makefile"};
    for (int n = 2; n <= 100; ++n)
        upTo100.push_back("Makefile " + std::to_string(n));
    const std::vector<Case> cases = {
        {"Report.pdf", {}, "Report.pdf"},
        {"Report.pdf", {"Report.pdf", "Report 2.pdf"}, "Report 3.pdf"},
        {"Makefile", {"Makefile"}, "Makefile 2"},
        {".Veldo Helper 1234", {}, "Recovered item"},
        {".VELDO HELPER x", {"Recovered item"}, "Recovered item 2"},
        {"tab\there", {}, "Recovered item"},
        {"", {}, "Recovered item"},
        {"..", {}, "Recovered item"},
    };
    int n = 0;
    for (const Case& c : cases) {
        fs::remove_all(trashHost());
        fs::create_directory(trashHost());
        for (const std::string& name : c.taken)
            mac.write(mac.home().appendingPathComponent(".Trash/" + name), "taken");
        const SharedDescriptor folder = stagedFile(".Veldo Helper " + std::to_string(++n), "new");
        ASSERT_TRUE(mover.freeName(c.name, folder, trash())) << c.name;
        EXPECT_EQ(mac.contents(mac.home().appendingPathComponent(".Trash/" + c.expected)), "new")
            << c.name;
    }

    // Past 100 the last try is the name, a space and a UUID.
    fs::remove_all(trashHost());
    fs::create_directory(trashHost());
    for (const std::string& name : upTo100)
        mac.write(mac.home().appendingPathComponent(".Trash/" + name), "taken");
    const SharedDescriptor folder = stagedFile(".Veldo Helper last", "new");
    ASSERT_TRUE(mover.freeName("Makefile", folder, trash()));
    std::vector<std::string> names = trashNames(trashHost());
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string& s) {
                                   return std::find(upTo100.begin(), upTo100.end(), s) !=
                                              upTo100.end() ||
                                          s.starts_with(".Veldo Helper ");
                               }),
                names.end());
    ASSERT_EQ(names.size(), 1u);
    ASSERT_TRUE(names[0].starts_with("Makefile "));
    EXPECT_TRUE(platform::UUID::parse(names[0].substr(9))) << names[0];
}

TEST_F(TrashMoverModel, FreeNameFailsWhenNoCandidateFits)
{
    // A taken name of 255 bytes: every numbered name and the UUID name are too long.
    const std::string longName = std::string(251, 'a') + ".txt";
    mac.write(mac.home().appendingPathComponent(".Trash/" + longName), "taken");
    const SharedDescriptor folder = stagedFile(".Veldo Helper long");
    EXPECT_FALSE(mover.freeName(longName, folder, trash()));
    EXPECT_TRUE(fs::exists(trashHost(".Veldo Helper long/item")));
}

TEST_F(TrashMoverModel, FinishStagingDropsTheRecordOnlyWhenTheFolderIsGone)
{
    auto record = [&](const std::string& stagingName, const std::string& trashName) {
        common::HelperStagingRecord r;
        r.id = *platform::UUID::random();
        r.uid = kCallerUid;
        r.home = mac.home().path();
        r.stagingName = stagingName;
        r.trashName = trashName;
        EXPECT_TRUE(journal().write(r));
        return r;
    };
    auto recordIds = [&] {
        std::vector<platform::UUID> ids;
        const auto records = journal().records().value();
        for (const auto& r : records)
            ids.push_back(r.id);
        return ids;
    };

    // Empty: the folder and the record go.
    auto empty = common::makePrivateFolder(trash(), ".Veldo Helper E");
    ASSERT_TRUE(empty);
    const auto emptyRecord = record(".Veldo Helper E", "x");
    mover.finishStaging(*empty, trash(), ".Veldo Helper E", emptyRecord);
    EXPECT_FALSE(fs::exists(trashHost(".Veldo Helper E")));

    // Holding "item": it goes into the Trash under its name, then folder and record go.
    const SharedDescriptor withItem = stagedFile(".Veldo Helper I", "mine");
    const auto itemRecord = record(".Veldo Helper I", "Notes.txt");
    mover.finishStaging(withItem, trash(), ".Veldo Helper I", itemRecord);
    EXPECT_FALSE(fs::exists(trashHost(".Veldo Helper I")));
    EXPECT_EQ(mac.contents(mac.home().appendingPathComponent(".Trash/Notes.txt")), "mine");
    EXPECT_TRUE(recordIds().empty());

    // "item" can't leave: folder and record stay.
    const std::string longName = std::string(251, 'b') + ".txt";
    mac.write(mac.home().appendingPathComponent(".Trash/" + longName), "taken");
    const SharedDescriptor stuck = stagedFile(".Veldo Helper S", "stuck");
    const auto stuckRecord = record(".Veldo Helper S", longName);
    mover.finishStaging(stuck, trash(), ".Veldo Helper S", stuckRecord);
    EXPECT_EQ(mac.contents(mac.home().appendingPathComponent(".Trash/.Veldo Helper S/item")),
              "stuck");
    EXPECT_EQ(recordIds(), std::vector<platform::UUID>{stuckRecord.id});
}

TEST(TrashFailureMessage, SentencesByErrno)
{
    const std::string refused =
        "macOS refused to move this item. It may be protected by the system or a privacy setting.";
    EXPECT_EQ(trashFailureMessage(EPERM), refused);
    EXPECT_EQ(trashFailureMessage(EACCES), refused);
    EXPECT_EQ(trashFailureMessage(EXDEV), "This item is on another volume.");
    EXPECT_EQ(trashFailureMessage(ENOTDIR), "A folder on the way to this item is a symbolic link.");
    EXPECT_EQ(trashFailureMessage(ELOOP), "A folder on the way to this item is a symbolic link.");
    EXPECT_EQ(trashFailureMessage(EILSEQ),
              "Veldo can't safely identify this location, so it wasn't touched.");
    EXPECT_EQ(trashFailureMessage(ENOSPC), "No space left on device");
}

TEST(NormalizedPathParts, LastComponentAndParent)
{
    struct Case
    {
        const char* path;
        const char* last;
        const char* parent;
    };
    const Case cases[] = {
        {"/Users/a/Library/Caches", "Caches", "/Users/a/Library"},
        {"/Applications", "Applications", "/"},
        {"/", "", "/"},
        {"/Users/a/.Trash/Caf\xC3\xA9 2", "Caf\xC3\xA9 2", "/Users/a/.Trash"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lastComponent(c.path), c.last) << c.path;
        EXPECT_EQ(parentOf(c.path), c.parent) << c.path;
    }
}

TEST(HelperCaller, GroupMembership)
{
    const HelperCaller caller{501, 20, platform::MacPath("/Users/u"), {80, 12}};
    EXPECT_TRUE(caller.isInGroup(20));
    EXPECT_TRUE(caller.isInGroup(80));
    EXPECT_FALSE(caller.isInGroup(0));
}

} // namespace
} // namespace veldo::helper
