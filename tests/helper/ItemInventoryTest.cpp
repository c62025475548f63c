// The inventory walk of a staged item, the folder hand-over (and its failures, logged) and the
// other-apps check.
#include <filesystem>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>

#include "common/HelperPathDigest.h"
#include "helper/FolderRules.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/helper/MoverTestSupport.h"

namespace veldo::helper {
namespace {

using namespace testsupport;
using common::HelperPathDigest;
using platform::MacPath;
namespace fs = std::filesystem;

struct Staged
{
    SharedDescriptor folder;
    HelperStat itemStat;
    SharedDescriptor parent;
};

class ItemInventory : public MoverTest
{
protected:
    // Moves `path` (directly in `parentPath`) into a new staging folder as "item".
    Staged stage(const std::string& parentPath, const std::string& name)
    {
        auto folder = common::makePrivateFolder(trash(), ".Veldo Helper " + std::to_string(++m_n));
        EXPECT_TRUE(folder);
        const SharedDescriptor parent = open(parentPath);
        EXPECT_EQ(::renameat2(parent.fd(), name.c_str(), folder->fd(), "item", RENAME_NOREPLACE),
                  0);
        auto st = common::statEntry(*folder, "item");
        EXPECT_TRUE(st && *st);
        return Staged{*folder, st && *st ? **st : HelperStat{}, parent};
    }
    HelperTrashMover::InventoryOutcome inventory(const Staged& s) const
    {
        return mover.buildInventory(s.folder, s.itemStat, s.parent);
    }
    HelperStat hostStat(const std::string& hostPath) const
    {
        const int fd = ::open(hostPath.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        auto st = common::statDescriptor(fd);
        ::close(fd);
        return st ? *st : HelperStat{};
    }
    // A root-owned tree the caller can read but not write: folders 0755 (one setgid), files 0644.
    void foreignTree(const std::string& root)
    {
        mac.mkdir(MacPath(root + "/a/b"));
        mac.write(MacPath(root + "/f"), "1");
        mac.write(MacPath(root + "/a/g"), "2");
        mac.symlink(MacPath(root + "/a/link"), "g");
        ::chmod(host(MacPath(root + "/a")).c_str(), 02755);
    }

private:
    int m_n = 0;
};

TEST_F(ItemInventory, SingleFileIsOneCompleteEntry)
{
    mac.write("/Library/One.txt"_mac, "x");
    mac.hardlink("/Library/One.txt"_mac, "/Library/Other.txt"_mac);
    ::chown(host("/Library/One.txt"_mac).c_str(), 12, 34);
    const Staged s = stage("/Library", "One.txt");
    const auto out = inventory(s);
    EXPECT_TRUE(out.inventory.isComplete);
    EXPECT_FALSE(out.inventory.foldersGranted);
    EXPECT_FALSE(out.handOver);
    EXPECT_FALSE(out.itemFolder);
    ASSERT_EQ(out.inventory.entries.size(), 1u);
    const auto& entry = out.inventory.entries.at(s.itemStat.inode);
    EXPECT_EQ(entry.pathHash, HelperPathDigest::of(""));
    EXPECT_EQ(entry.uid, 12u);
    EXPECT_EQ(entry.gid, 34u);
    EXPECT_EQ(entry.mode, S_IFREG | 0644);
    EXPECT_EQ(entry.aclHash, 0u);
    EXPECT_EQ(entry.links, 2);
}

TEST_F(ItemInventory, FolderEntriesAreKeyedByInodeWithRelativePathDigests)
{
    foreignTree("/Library/Tree");
    const Staged s = stage("/Library", "Tree");
    const auto out = inventory(s);
    EXPECT_TRUE(out.inventory.isComplete);
    ASSERT_EQ(out.inventory.entries.size(), 6u);
    const std::string item = trashHost(".Veldo Helper 1/item");
    for (const char* relative : {"", "f", "a", "a/b", "a/g", "a/link"}) {
        const HelperStat st = hostStat(item + (*relative ? "/" : "") + relative);
        ASSERT_TRUE(out.inventory.entries.contains(st.inode)) << relative;
        const auto& e = out.inventory.entries.at(st.inode);
        EXPECT_EQ(e.pathHash, HelperPathDigest::of(relative)) << relative;
        EXPECT_EQ(e.mode, static_cast<std::uint16_t>(st.mode)) << relative;
        EXPECT_EQ(e.links, st.isDirectory() ? 0 : st.links) << relative;
    }
}

TEST_F(ItemInventory, HardLinkInsideTheTreeOrTooDeepIsIncomplete)
{
    mac.mkdir("/Library/Linked/sub"_mac);
    mac.write("/Library/Linked/f"_mac, "x");
    mac.hardlink("/Library/Linked/f"_mac, "/Library/Linked/sub/f2"_mac);
    EXPECT_FALSE(inventory(stage("/Library", "Linked")).inventory.isComplete);

    foreignTree("/Library/Deep"); // folders down to depth 2 ("a/b")
    mover.maximumDepth = 1;
    const auto deep = inventory(stage("/Library", "Deep"));
    EXPECT_FALSE(deep.inventory.isComplete);
    EXPECT_FALSE(deep.handOver);
    mover.maximumDepth = 2;
    foreignTree("/Library/Deep2");
    EXPECT_TRUE(inventory(stage("/Library", "Deep2")).inventory.isComplete);
}

TEST_F(ItemInventory, FolderOnAnotherDeviceIsNotEnteredAndMakesItIncomplete)
{
    mac.mkdir("/Library/Mounted/volume"_mac);
    const std::string volume = host("/Library/Mounted/volume"_mac);
    const int status = inPrivateMountNamespace([&] {
        common::testsupport::TmpfsMount mount(volume);
        if (!mount.mounted())
            return 77;
        ::close(::open((volume + "/inside").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        const Staged s = stage("/Library", "Mounted");
        const auto out = inventory(s);
        // The mount point is recorded, nothing beneath it.
        return !out.inventory.isComplete && out.inventory.entries.size() == 2 ? 0 : 1;
    });
    if (status == 77)
        GTEST_SKIP() << "the kernel refused a mount namespace or a tmpfs (no CAP_SYS_ADMIN)";
    EXPECT_EQ(status, 0);
}

TEST_F(ItemInventory, ForeignReadOnlyTreeIsHandedOver)
{
    foreignTree("/Library/Given");
    const Staged s = stage("/Library", "Given");
    const auto out = inventory(s);
    ASSERT_TRUE(out.handOver);
    ASSERT_TRUE(out.itemFolder);
    mover.handOverFolders(*out.itemFolder, out.inventory);
    const std::string item = trashHost(".Veldo Helper 1/item");
    for (const char* folder : {"", "/a", "/a/b"}) {
        const HelperStat st = hostStat(item + folder);
        EXPECT_EQ(st.uid, kCallerUid) << folder;
        EXPECT_EQ(st.gid, kCallerGid) << folder;
        EXPECT_EQ(st.mode & 07777, 0755u) << folder; // setgid gone, owner rwx
    }
    for (const char* file : {"/f", "/a/g", "/a/link"})
        EXPECT_EQ(hostStat(item + file).uid, 0u) << file;
}

TEST_F(ItemInventory, AFolderThatCantBeHandedOverIsLoggedAndTheOthersStillAre)
{
    common::testsupport::InodeFlagGuard flags;
    foreignTree("/Library/Stuck");
    const Staged s = stage("/Library", "Stuck");
    const auto out = inventory(s);
    ASSERT_TRUE(out.handOver && out.itemFolder);
    const std::string item = trashHost(".Veldo Helper 1/item");
    if (const int err = flags.set(item + "/a/b", FS_IMMUTABLE_FL); err != 0)
        GTEST_SKIP() << "the kernel refused chattr +i (errno " << err << ")";
    ::testing::internal::CaptureStderr();
    mover.handOverFolders(*out.itemFolder, out.inventory);
    const std::string log = ::testing::internal::GetCapturedStderr();
    const std::string stuck = std::to_string(hostStat(item + "/a/b").inode);
    for (const char* call : {"fchown", "fchmod"})
        EXPECT_NE(log.find("Couldn't give the folder with inode " + stuck + " to uid " +
                           std::to_string(kCallerUid) + ": " + call + " failed (EPERM)"),
                  std::string::npos)
            << log;
    EXPECT_EQ(hostStat(item + "/a/b").uid, 0u);
    for (const char* folder : {"", "/a"})
        EXPECT_EQ(hostStat(item + folder).uid, kCallerUid) << folder;
}

TEST_F(ItemInventory, TreeHoldingSomethingOfTheCallersOrOddIsNotHandedOver)
{
    struct Case
    {
        const char* what;
        std::function<void(const std::string& root)> spoil;
        bool handOver;
    };
    const std::vector<Case> cases = {
        {"as it is", [](const std::string&) {}, true},
        {"a file of the caller's",
         [&](const std::string& root) { chownHost(MacPath(root + "/a/g"), kCallerUid, 0); }, false},
        {"a fifo",
         [&](const std::string& root) { ::mkfifo(host(MacPath(root + "/p")).c_str(), 0644); },
         false},
        {"a setuid file",
         [&](const std::string& root) { ::chmod(host(MacPath(root + "/f")).c_str(), 04755); },
         false},
        {"a group-writable subfolder",
         [&](const std::string& root) { ::chmod(host(MacPath(root + "/a/b")).c_str(), 0775); },
         false},
        {"a parent open to others",
         [&](const std::string&) { ::chmod(host("/Library/Open"_mac).c_str(), 0777); }, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        mac.mkdir("/Library/Open"_mac);
        ::chmod(host("/Library/Open"_mac).c_str(), 0755);
        const std::string root = "/Library/Open/T" + std::to_string(++n);
        foreignTree(root);
        c.spoil(root);
        const auto out = inventory(stage("/Library/Open", "T" + std::to_string(n)));
        EXPECT_TRUE(out.inventory.isComplete) << c.what;
        EXPECT_EQ(out.handOver, c.handOver) << c.what;
    }
    // Forced for tests: handed over whenever the inventory is complete.
    mover.handsOverFoldersForTesting = true;
    mac.mkdir("/Library/Mine/x"_mac);
    chownHost("/Library/Mine"_mac, kCallerUid, 0);
    EXPECT_TRUE(inventory(stage("/Library", "Mine")).handOver);
}

TEST_F(ItemInventory, OtherAppsAreLookedForTwoLevelsDeep)
{
    struct Case
    {
        const char* bundle;
        HelperTrashMover::OtherApps expected;
    };
    const std::vector<Case> cases = {
        {"Tool.APP", HelperTrashMover::OtherApps::found},
        {"Sub/Tool.APP", HelperTrashMover::OtherApps::found},
        {"Sub/Deeper/Tool.app", HelperTrashMover::OtherApps::none},
        {"Sub/Tool.application", HelperTrashMover::OtherApps::none},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "Suite" + std::to_string(++n);
        mac.mkdir(MacPath("/Applications/" + name + "/" + c.bundle));
        const Staged s = stage("/Applications", name);
        EXPECT_EQ(mover.checkForOtherApps(s.folder), c.expected) << c.bundle;
    }
    // A folder the caller can't read is not looked into.
    mac.mkdir("/Applications/Closed/Tool.app"_mac);
    ::chmod(host("/Applications/Closed"_mac).c_str(), 0700);
    EXPECT_EQ(mover.checkForOtherApps(stage("/Applications", "Closed").folder),
              HelperTrashMover::OtherApps::none);
    // No folder at all: can't check.
    auto empty = common::makePrivateFolder(trash(), ".Veldo Helper none");
    ASSERT_TRUE(empty);
    EXPECT_EQ(mover.checkForOtherApps(*empty), HelperTrashMover::OtherApps::couldNotCheck);
}

TEST(FolderRules, ClassesOwnersAndACLs)
{
    const HelperCaller caller{501, 20, MacPath("/Users/u"), {80}};
    auto folder = [](uid_t uid, gid_t gid, mode_t mode) {
        common::HelperStat st;
        st.uid = uid;
        st.gid = gid;
        st.mode = S_IFDIR | mode;
        return st;
    };
    struct Case
    {
        common::HelperStat st;
        std::optional<bool> acl;
        bool search, readSearch, foreignReadOnly;
    };
    const std::vector<Case> cases = {
        {folder(501, 20, 0700), false, true, true, false},
        {folder(501, 20, 0300), false, true, false, false},
        {folder(0, 0, 0755), false, true, true, true},
        {folder(0, 0, 0755), true, false, false, false},
        {folder(0, 0, 0755), std::nullopt, false, false, false},
        {folder(0, 0, 0750), false, false, false, false},
        {folder(0, 80, 0750), false, true, true, true},
        {folder(0, 80, 0705), false, false, false, false},
        {folder(0, 0, 0757), false, true, true, false},
        {folder(0, 0, 0711), false, true, false, false},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.st.uid) + "/" + std::to_string(c.st.gid) + " " +
                                 std::to_string(c.st.mode & 0777);
        EXPECT_EQ(FolderRules::callerCanSearch(c.st, c.acl, caller), c.search) << what;
        EXPECT_EQ(FolderRules::canReadAndSearch(c.st, c.acl, caller), c.readSearch) << what;
        EXPECT_EQ(FolderRules::isForeignReadOnlyFolder(c.st, c.acl, caller), c.foreignReadOnly)
            << what;
    }
    using namespace std::string_literals;
    EXPECT_TRUE(FolderRules::isAppBundleName("Tool.APP"));
    EXPECT_TRUE(FolderRules::isAppBundleName("Tool.app\0junk"s));
    EXPECT_FALSE(FolderRules::isAppBundleName("Tool.app.zip"));
    EXPECT_FALSE(FolderRules::isAppBundleName("app"));
}

} // namespace
} // namespace veldo::helper
