// Walks beneath the Mac root, status, listings, the private folder and the guarded removal.
#include "common/HelperFileAccess.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperACL.h"
#include "platform/MacRoot.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"
#include "tests/support/Unprivileged.h"

namespace {

using namespace veldo::common;
using namespace veldo::common::testsupport;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using veldo::testsupport::runUnprivileged;
using namespace veldo::testsupport::literals;

namespace fs = std::filesystem;

class HelperFileAccess : public ::testing::Test
{
protected:
    SharedDescriptor root() const
    {
        auto r = helperRoot();
        EXPECT_TRUE(r) << fsCode(r);
        return *r;
    }
    SharedDescriptor open(std::string_view path, bool readable = false) const
    {
        auto d = openPathBeneath(path, {.readable = readable});
        EXPECT_TRUE(d) << path << ": " << fsCode(d);
        return d ? *d : root();
    }
    HelperFileIdentity hostIdentity(const std::string& hostPath) const
    {
        const int fd = ::open(hostPath.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        EXPECT_GE(fd, 0) << hostPath;
        auto st = statDescriptor(fd);
        ::close(fd);
        return st ? st->identity() : HelperFileIdentity{};
    }

    FakeMac mac;
};

TEST_F(HelperFileAccess, OpensTheRootAndFoldersWhateverTheSlashes)
{
    const auto rootId = hostIdentity(mac.root());
    EXPECT_EQ(statOf(open("/")).identity(), rootId);
    EXPECT_EQ(statOf(open("")).identity(), rootId);

    mac.mkdir("/Library/Caches/Foo"_mac);
    const auto foo = hostIdentity(mac.host(MacPath("/Library/Caches/Foo")));
    for (const char* path : {"/Library/Caches/Foo", "//Library//Caches/Foo/", "Library/Caches/Foo",
                             "/Library/./Caches/Foo/."})
        EXPECT_EQ(statOf(open(path)).identity(), foo) << path;

    // Search-only unless asked for a readable last folder; both can be listed.
    mac.write("/Library/Caches/Foo/a"_mac, "x");
    for (const bool readable : {false, true}) {
        const SharedDescriptor d = open("/Library/Caches/Foo", readable);
        EXPECT_EQ((::fcntl(d.fd(), F_GETFL) & O_PATH) != 0, !readable);
        auto names = listDirectory(d);
        ASSERT_TRUE(names) << fsCode(names);
        EXPECT_EQ(*names, std::vector<std::string>{"a"});
    }
}

TEST_F(HelperFileAccess, ASymbolicLinkAtAnyStepIsRefused)
{
    mac.mkdir("/a/b/c"_mac);
    mac.symlink("/x1"_mac, "a");     // the first step
    mac.symlink("/a/x2"_mac, "b");   // a middle step
    mac.symlink("/a/b/x3"_mac, "c"); // the last step
    mac.symlink("/a/b/x4"_mac, "/"); // an absolute target (would leave the fake Mac)
    mac.symlink("/a/b/x5"_mac, "../../..");
    mac.write("/a/b/file"_mac, "not a folder");
    const std::vector<std::string> paths = {"/x1/b/c",     "/a/x2/c", "/a/b/x3",  "/a/b/x4",
                                            "/a/b/x4/tmp", "/a/b/x5", "/a/b/file"};
    for (const std::string& path : paths) {
        for (const bool readable : {false, true}) {
            auto d = openPathBeneath(path, {.readable = readable});
            const int code = fsCode(d);
            EXPECT_TRUE(code == ELOOP || code == ENOTDIR)
                << path << " readable " << readable << ": " << code;
        }
    }
    EXPECT_TRUE(openPathBeneath("/a/b/c", {.readable = true}));
}

TEST_F(HelperFileAccess, DotDotNeverLeavesTheRoot)
{
    const auto rootId = hostIdentity(mac.root());
    for (const char* path : {"/..", "/../..", "/../../..", "/Library/../..", "/Library/../../.."})
        EXPECT_EQ(statOf(open(path)).identity(), rootId) << path;
    EXPECT_EQ(statOf(open("/Library/Caches/../../Users")).identity(),
              hostIdentity(mac.host(MacPath("/Users"))));

    // A host folder beside the root is never reached, whatever the number of "..".
    const fs::path outside =
        fs::path(mac.root()).parent_path() / (fs::path(mac.root()).filename().string() + "-beside");
    fs::create_directories(outside / "inner");
    const std::string name = outside.filename().string();
    for (const std::string& path :
         {"/../" + name, "/../../" + name + "/inner", "/Library/../../" + name})
        EXPECT_EQ(fsCode(openPathBeneath(path)), ENOENT) << path;
    fs::remove_all(outside);
}

TEST_F(HelperFileAccess, DotDotFromAFolderMovedOutOfTheRootIsRefused)
{
    mac.mkdir("/a/b"_mac);
    const fs::path outside = fs::path(mac.root() + "-moved");
    fs::create_directories(outside);
    const auto b = hostIdentity(mac.host(MacPath("/a/b")));
    // While the walk stands in b, b is moved out of the fake Mac: its ".." is now outside.
    auto d = openPathBeneath("/a/b/../..", {}, [&](const HelperStat& st, const SharedDescriptor&) {
        if (st.identity() == b)
            fs::rename(mac.host(MacPath("/a/b")), outside / "b");
        return true;
    });
    EXPECT_EQ(fsCode(d), EXDEV);
    fs::remove_all(outside);
}

TEST_F(HelperFileAccess, FolderCheckSeesEachFolderAndRefusesWithEAUTH)
{
    mac.mkdir("/a/b/c"_mac);
    mac.symlink("/link"_mac, "a");
    std::vector<HelperFileIdentity> seen;
    const auto record = [&](bool answer) {
        return [&seen, answer](const HelperStat& st, const SharedDescriptor& d) {
            EXPECT_EQ(statOf(d).identity(), st.identity());
            seen.push_back(st.identity());
            return answer;
        };
    };

    // Refusing the root fails before any component is opened: neither a missing name nor a
    // link decides the answer.
    for (const char* path : {"/missing/x", "/link/b", "/a/b/c"}) {
        seen.clear();
        EXPECT_EQ(fsCode(openPathBeneath(path, {}, record(false))), kEAUTH) << path;
        EXPECT_EQ(seen.size(), 1u) << path;
    }

    seen.clear();
    ASSERT_TRUE(openPathBeneath("/a/b/c", {.readable = true}, record(true)));
    const std::vector<HelperFileIdentity> expected = {
        hostIdentity(mac.root()), hostIdentity(mac.host(MacPath("/a"))),
        hostIdentity(mac.host(MacPath("/a/b"))), hostIdentity(mac.host(MacPath("/a/b/c")))};
    EXPECT_EQ(seen, expected);

    // A refusal in the middle stops there: nothing beneath b is opened.
    const auto b = expected[2];
    seen.clear();
    auto d =
        openPathBeneath("/a/b/missing", {}, [&](const HelperStat& st, const SharedDescriptor&) {
            seen.push_back(st.identity());
            return !(st.identity() == b);
        });
    EXPECT_EQ(fsCode(d), kEAUTH);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(veldo::platform::errnoName(kEAUTH), "EAUTH");
}

TEST_F(HelperFileAccess, RefusesNulInAPathAndNamesThatAreNotOneComponent)
{
    mac.write("/Library/file"_mac, "x");
    EXPECT_EQ(fsCode(openPathBeneath(std::string("/Library\0/x", 11))), EINVAL);
    const SharedDescriptor library = open("/Library");
    for (const std::string& name : {std::string(), std::string("."), std::string(".."),
                                    std::string("a/file"), std::string("file\0x", 6)}) {
        EXPECT_EQ(fsCode(statEntry(library, name)), EINVAL);
        EXPECT_EQ(fsCode(makePrivateFolder(library, name)), EINVAL);
        EXPECT_FALSE(attributesOfEntry(library, name));
        EXPECT_EQ(fsCode(removeDirectoryIfSame(library, name, library)), EINVAL);
    }
}

TEST_F(HelperFileAccess, ExactNamesCompareTheStoredNameCanonically)
{
    mac.mkdir("/Library/Caches"_mac);
    EXPECT_TRUE(openPathBeneath("/Library/Caches", {.exactNames = true}));
    // Linux lookups are exact: another case is simply not there.
    EXPECT_EQ(fsCode(openPathBeneath("/library/Caches", {.exactNames = true})), ENOENT);

    // What a case-insensitive volume would answer, injected.
    struct ReaderReset
    {
        ~ReaderReset() { veldo::common::testing::setStoredNameReader({}); }
    } reset;
    const auto storedAs = [](std::string component, std::optional<std::string> stored) {
        veldo::common::testing::setStoredNameReader(
            [component, stored](int, const std::string& name) -> std::optional<std::string> {
                return name == component ? stored : std::optional<std::string>(name);
            });
    };
    storedAs("Caches", "caches");
    EXPECT_EQ(fsCode(openPathBeneath("/Library/Caches", {.exactNames = true})), EILSEQ);
    EXPECT_TRUE(openPathBeneath("/Library/Caches")); // only asked for exactNames
    storedAs("Caches", std::nullopt);
    EXPECT_EQ(fsCode(openPathBeneath("/Library/Caches", {.exactNames = true})), EILSEQ);

    mac.mkdir("/Library/Caf\xC3\xA9"_mac); // NFC on disk, stored in NFD: canonically the same
    storedAs("Caf\xC3\xA9", "Cafe\xCC\x81");
    EXPECT_TRUE(openPathBeneath("/Library/Caf\xC3\xA9", {.exactNames = true}));
}

TEST_F(HelperFileAccess, ExactNamesAcceptAVolumeNameAtAMountPoint)
{
    mac.mkdir("/Volumes/Data/inner"_mac);
    TmpfsMount mount(mac.host(MacPath("/Volumes/Data")));
    if (!mount.mounted())
        GTEST_SKIP() << "mounting a tmpfs was refused (errno " << mount.error() << ")";
    ::mkdir(mac.host(MacPath("/Volumes/Data/inner")).c_str(), 0755);

    auto info = fileSystemInfo(open("/Volumes/Data"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->mountPoint, "/Volumes/Data");
    auto rootInfo = fileSystemInfo(root());
    ASSERT_TRUE(rootInfo);
    EXPECT_NE(info->fileSystemID, rootInfo->fileSystemID);
    EXPECT_EQ(fileSystemInfo(open("/Volumes/Data/inner")), info);

    struct ReaderReset
    {
        ~ReaderReset() { veldo::common::testing::setStoredNameReader({}); }
    } reset;
    veldo::common::testing::setStoredNameReader(
        [](int, const std::string& name) -> std::optional<std::string> {
            return name == "Data" || name == "inner" ? std::optional<std::string>("Macintosh HD")
                                                     : std::optional<std::string>(name);
        });
    EXPECT_TRUE(openPathBeneath("/Volumes/Data", {.exactNames = true}));
    // The folder inside the volume is no mount point: its name must match.
    EXPECT_EQ(fsCode(openPathBeneath("/Volumes/Data/inner", {.exactNames = true})), EILSEQ);
}

TEST_F(HelperFileAccess, FileSystemInfoNamesTheFileSystem)
{
    mac.mkdir("/Library/Caches"_mac);
    const auto a = fileSystemInfo(open("/Library"));
    const auto b = fileSystemInfo(open("/Library/Caches"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a, b);
    struct statfs sfs = {};
    ASSERT_EQ(::statfs(mac.root().c_str(), &sfs), 0);
    std::uint64_t fsid = 0;
    static_assert(sizeof fsid == sizeof sfs.f_fsid);
    std::memcpy(&fsid, &sfs.f_fsid, sizeof fsid);
    EXPECT_EQ(a->fileSystemID, fsid);
    // The fake Mac is a plain folder: its file system is mounted outside it, or at its "/".
    EXPECT_TRUE(!a->mountPoint || *a->mountPoint == "/");
    EXPECT_FALSE(fileSystemInfo(-1));
}

// A bind mount shares the file system (and f_fsid) of the folder it shows, but not its mount.
TEST_F(HelperFileAccess, IsOnFileSystemTellsMountsApart)
{
    mac.mkdir("/Library/Caches"_mac);
    mac.mkdir("/Volumes/Bind"_mac);
    const std::string bind = mac.host(MacPath("/Volumes/Bind"));
    if (::mount(mac.host(MacPath("/Library")).c_str(), bind.c_str(), nullptr, MS_BIND, nullptr) !=
        0)
        GTEST_SKIP() << "bind mounting was refused (errno " << errno << ")";
    struct Unmount
    {
        std::string folder;
        ~Unmount() { ::umount2(folder.c_str(), MNT_DETACH); }
    } unmount{bind};

    const auto library = fileSystemInfo(open("/Library"));
    ASSERT_TRUE(library);
    EXPECT_TRUE(isOnFileSystem(open("/Library/Caches"), *library));
    const auto bound = fileSystemInfo(open("/Volumes/Bind/Caches"));
    ASSERT_TRUE(bound);
    EXPECT_EQ(bound->fileSystemID, library->fileSystemID);
    EXPECT_FALSE(isOnFileSystem(open("/Volumes/Bind/Caches"), *library));
    EXPECT_TRUE(isOnFileSystem(open("/Volumes/Bind"), *bound));
    EXPECT_FALSE(isOnFileSystem(-1, *library));
}

TEST_F(HelperFileAccess, WalksWithTheCallersRights)
{
    mac.mkdir("/private/closed/inner"_mac, 0700);
    ::chmod(mac.host(MacPath("/private/closed"_mac)).c_str(), 0700);
    mac.mkdir("/private/passable/inner"_mac, 0711);
    ::chmod(mac.host(MacPath("/private/passable"_mac)).c_str(), 0711);
    mac.write("/private/passable/inner/file"_mac, "x");
    const SharedDescriptor passable = open("/private/passable");
    const SharedDescriptor closed = open("/private/closed");

    const int rc = runUnprivileged([&] {
        if (fsCode(openPathBeneath("/private/closed/inner")) != EACCES)
            return 1;
        if (!openPathBeneath("/private/passable/inner"))
            return 2;
        // Search-only: the entries can be looked up but the folder cannot be listed.
        if (fsCode(listDirectory(passable)) != EACCES)
            return 3;
        auto found = statEntry(passable, "inner");
        if (!found || !found->has_value())
            return 4;
        // A folder the caller cannot search: that is an error, not a missing entry.
        if (fsCode(statEntry(closed, "inner")) != EACCES)
            return 5;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST_F(HelperFileAccess, StatEntryReadsTheEntryItself)
{
    mac.write("/Library/file"_mac, "twelve bytes", 0640);
    mac.symlink("/Library/dangling"_mac, "/nowhere");
    mac.symlink("/Library/toFolder"_mac, "/Users");
    const SharedDescriptor library = open("/Library");

    auto missing = statEntry(library, "missing");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->has_value());

    auto file = statEntry(library, "file");
    ASSERT_TRUE(file && file->has_value());
    struct stat st = {};
    ASSERT_EQ(::lstat(mac.host(MacPath("/Library/file")).c_str(), &st), 0);
    const HelperStat& f = **file;
    EXPECT_EQ(f.device, static_cast<std::int64_t>(st.st_dev));
    EXPECT_EQ(f.inode, st.st_ino);
    EXPECT_EQ(f.mode, st.st_mode);
    EXPECT_EQ(f.links, st.st_nlink);
    EXPECT_EQ(f.uid, st.st_uid);
    EXPECT_EQ(f.size, 12);
    EXPECT_EQ(f.flags, 0u); // ext4's extents bit never shows
    EXPECT_EQ(f.changeTime.seconds, st.st_ctim.tv_sec);

    for (const char* link : {"dangling", "toFolder"}) {
        auto l = statEntry(library, link);
        ASSERT_TRUE(l && l->has_value()) << link;
        EXPECT_TRUE((*l)->isSymbolicLink()) << link;
    }
}

TEST_F(HelperFileAccess, ListDirectoryKeepsRawNames)
{
    mac.mkdir("/Library/Empty"_mac);
    auto empty = listDirectory(open("/Library/Empty", true));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    const std::string odd = "bad\xff\xfe name";
    mac.write(MacPath("/Library/List/" + odd), "x");
    mac.symlink("/Library/List/link"_mac, "/Users");
    mac.mkdir("/Library/List/sub"_mac);
    auto names = listDirectory(open("/Library/List", true));
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{odd, "link", "sub"}));
}

TEST_F(HelperFileAccess, ARemovedFolderListsAsEmpty)
{
    // A staging folder's closing relies on this: once removed, the open folder lists as empty,
    // as on a Mac, whether it is held search-only or readable.
    const SharedDescriptor trash = open(mac.home().appendingPathComponent(".Trash").path());
    auto made = makePrivateFolder(trash, "gone");
    ASSERT_TRUE(made) << fsCode(made);
    auto searchOnly = openPathBeneath(mac.home().appendingPathComponent(".Trash/gone").path());
    ASSERT_TRUE(searchOnly) << fsCode(searchOnly);
    ASSERT_TRUE(removeDirectoryIfSame(trash, "gone", *made));
    for (const SharedDescriptor& folder : {*made, *searchOnly}) {
        auto names = listDirectory(folder);
        ASSERT_TRUE(names) << fsCode(names);
        EXPECT_TRUE(names->empty());
    }
}

TEST_F(HelperFileAccess, MakePrivateFolderMakesAnEmptyRootOnlyFolder)
{
    const SharedDescriptor trash = open(mac.home().appendingPathComponent(".Trash").path());
    auto made = makePrivateFolder(trash, ".Veldo Helper X");
    ASSERT_TRUE(made) << fsCode(made);
    const HelperStat st = statOf(*made);
    EXPECT_TRUE(st.isDirectory());
    EXPECT_EQ(st.mode & 07777, 0700u);
    EXPECT_EQ(st.uid, ::geteuid());
    EXPECT_EQ(extendedACLState(made->fd()), false);
    EXPECT_EQ(statOf(*made).identity(),
              hostIdentity(mac.host(mac.home().appendingPathComponent(".Trash/.Veldo Helper X"))));
    // The descriptor can be listed and written through.
    EXPECT_TRUE(listDirectory(*made));
    EXPECT_TRUE(makePrivateFolder(*made, "nested"));
}

TEST_F(HelperFileAccess, MakePrivateFolderLeavesWhatIsNotOursAlone)
{
    mac.mkdir("/private/parent"_mac);
    mac.write("/private/parent/taken"_mac, "keep me");
    mac.symlink("/private/parent/link"_mac, "/Users");
    const SharedDescriptor parent = open("/private/parent");
    for (const char* name : {"taken", "link"})
        EXPECT_EQ(fsCode(makePrivateFolder(parent, name)), EEXIST) << name;
    EXPECT_EQ(fs::file_size(mac.host(MacPath("/private/parent/taken"))), 7u);
    EXPECT_TRUE(fs::is_symlink(mac.host(MacPath("/private/parent/link"))));

    // A set-group-ID parent gives the new folder mode 02700: it fails the checks and stays.
    mac.mkdir("/private/sgid"_mac);
    ASSERT_EQ(::chmod(mac.host(MacPath("/private/sgid")).c_str(), 02755), 0);
    EXPECT_EQ(fsCode(makePrivateFolder(open("/private/sgid"), "staging")), EPERM);
    EXPECT_TRUE(fs::is_directory(mac.host(MacPath("/private/sgid/staging"))));
}

TEST_F(HelperFileAccess, MakePrivateFolderClearsInheritedACLEntries)
{
    mac.mkdir("/private/shared"_mac);
    const std::string host = mac.host(MacPath("/private/shared"));
    acl_t def = ::acl_from_text("u::rwx,u:nobody:rwx,g::r-x,m::rwx,o::r-x");
    ASSERT_NE(def, nullptr);
    const int rc = ::acl_set_file(host.c_str(), ACL_TYPE_DEFAULT, def);
    ::acl_free(def);
    if (rc != 0)
        GTEST_SKIP() << "the file system refused a default ACL (errno " << errno << ")";

    auto made = makePrivateFolder(open("/private/shared"), "staging");
    ASSERT_TRUE(made) << fsCode(made);
    EXPECT_EQ(extendedACLState(made->fd()), false);
    EXPECT_EQ(statOf(*made).mode & 07777, 0700u);
    char buffer[256];
    EXPECT_LT(
        ::getxattr((host + "/staging").c_str(), "system.posix_acl_default", buffer, sizeof buffer),
        0);
}

TEST_F(HelperFileAccess, MakePrivateFolderBelongsToTheCaller)
{
    mac.mkdir("/private/tmp/open"_mac);
    ASSERT_EQ(::chmod(mac.host(MacPath("/private/tmp/open")).c_str(), 0777), 0);
    const SharedDescriptor parent = open("/private/tmp/open");
    const int rc = runUnprivileged([&] {
        auto made = makePrivateFolder(parent, "mine");
        if (!made)
            return 1;
        return statOf(*made).uid == ::geteuid() ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
    struct stat st = {};
    ASSERT_EQ(::stat(mac.host(MacPath("/private/tmp/open/mine")).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, veldo::testsupport::unprivilegedUid());
}

TEST_F(HelperFileAccess, RemoveDirectoryIfSameRemovesOnlyThatFolder)
{
    mac.mkdir("/private/p/gone"_mac);
    const SharedDescriptor parent = open("/private/p");
    const SharedDescriptor gone = open("/private/p/gone");
    EXPECT_OK(removeDirectoryIfSame(parent, "gone", gone));
    EXPECT_FALSE(fs::exists(mac.host(MacPath("/private/p/gone"))));
    EXPECT_ERRNO(removeDirectoryIfSame(parent, "gone", gone), ENOENT);

    // Replaced by another folder of the same name: kept.
    mac.mkdir("/private/p/swapped"_mac);
    const SharedDescriptor old = open("/private/p/swapped");
    fs::rename(mac.host(MacPath("/private/p/swapped"_mac)), mac.host(MacPath("/private/p/aside")));
    mac.mkdir("/private/p/swapped"_mac);
    const auto swapped = removeDirectoryIfSame(parent, "swapped", old);
    ASSERT_FALSE(swapped);
    EXPECT_EQ(swapped.error().code, veldo::ErrorCode::refused);
    EXPECT_TRUE(fs::is_directory(mac.host(MacPath("/private/p/swapped"))));

    // A link to the folder is not the folder; a folder with entries is not removed.
    mac.symlink("/private/p/alias"_mac, "/private/p/aside");
    const auto alias = removeDirectoryIfSame(parent, "alias", old);
    ASSERT_FALSE(alias);
    EXPECT_EQ(alias.error().code, veldo::ErrorCode::refused);
    EXPECT_TRUE(fs::is_symlink(mac.host(MacPath("/private/p/alias"_mac))));
    mac.write("/private/p/aside/x"_mac, "x");
    EXPECT_ERRNO(removeDirectoryIfSame(parent, "aside", old), ENOTEMPTY);
    EXPECT_TRUE(fs::exists(mac.host(MacPath("/private/p/aside/x"))));
}

TEST_F(HelperFileAccess, DescriptorClosesWithItsLastCopy)
{
    int fd = -1;
    {
        const SharedDescriptor first = open("/Library");
        fd = first.fd();
        {
            const SharedDescriptor copy =
                first; // NOLINT(performance-unnecessary-copy-initialization)
            EXPECT_EQ(copy.fd(), fd);
        }
        EXPECT_EQ(::fcntl(fd, F_GETFD), FD_CLOEXEC);
    }
    errno = 0;
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST_F(HelperFileAccess, RootFollowsTheMacRoot)
{
    const auto first = helperRoot();
    ASSERT_TRUE(first);
    EXPECT_EQ(statOf(*first).identity(), hostIdentity(mac.root()));
    {
        FakeMac other;
        auto second = helperRoot();
        ASSERT_TRUE(second);
        EXPECT_EQ(statOf(*second).identity(), hostIdentity(other.root()));
    }
    // An explicit root works without the process root.
    auto explicitRoot = openHelperRoot(mac.root());
    ASSERT_TRUE(explicitRoot);
    mac.mkdir("/Library/Here"_mac);
    auto d = openPathBeneath(*explicitRoot, "/Library/Here");
    ASSERT_TRUE(d);
    EXPECT_EQ(statOf(*d).identity(), hostIdentity(mac.host(MacPath("/Library/Here"))));
}

TEST(HelperCurrentPath, IsUnknownOnLinux)
{
    EXPECT_EQ(currentPath(1, 2).kind, HelperCurrentPath::Kind::unknown);
}

} // namespace
