// File access by Mac path inside a fake Mac: links resolve inside the root and never leave it.
#include "platform/MacFileSystem.h"

#include <filesystem>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/UniqueFd.h"
#include "platform/AtomicFile.h"
#include "platform/FileFlags.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"

using namespace veldo::platform;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

TEST(MacRoot, MapsBothWays)
{
    FakeMac mac;
    EXPECT_EQ(hostPath(MacPath("/Applications")), mac.root() + "/Applications");
    EXPECT_EQ(macPathForHost(mac.root() + "/Users/x")->path(), "/Users/x");
    EXPECT_EQ(macPathForHost(mac.root())->path(), "/");
    EXPECT_FALSE(macPathForHost("/etc/passwd").has_value());
    EXPECT_FALSE(macPathForHost(mac.root() + "-other/x").has_value());
}

TEST(MacRoot, ResetHooksRunOnChange)
{
    int calls = 0;
    {
        auto hook = addMacRootResetHook([&calls] { ++calls; });
        {
            FakeMac mac;
            EXPECT_EQ(calls, 1);
        }
        EXPECT_EQ(calls, 2);
    }
    // Once its handle is gone the hook is never called again.
    FakeMac again;
    EXPECT_EQ(calls, 2);
}

TEST(MacFileSystem, SymlinksResolveInsideTheRoot)
{
    FakeMac mac;
    mac.mkdir("/Applications/Real.app/Contents"_mac);
    mac.symlink("/Applications/Alias.app"_mac, "/Applications/Real.app"); // absolute target
    mac.symlink("/Users/Shared/up"_mac, "../../../../../../../..");       // climbs past the root
    mac.symlink("/Users/Shared/rel"_mac, "../../Applications");
    mac.symlink("/Users/Shared/loop"_mac, "/Users/Shared/loop");

    EXPECT_EQ(resolvingSymlinks("/Applications/Alias.app/Contents"_mac).path(),
              "/Applications/Real.app/Contents");
    EXPECT_TRUE(isDirectory("/Applications/Alias.app/Contents"_mac));
    EXPECT_EQ(resolvingSymlinks("/Users/Shared/up"_mac).path(), "/");
    EXPECT_EQ(resolvingSymlinks("/Users/Shared/up/Applications"_mac).path(), "/Applications");
    EXPECT_EQ(resolvingSymlinks("/Users/Shared/rel/Real.app"_mac).path(), "/Applications/Real.app");
    EXPECT_EQ(resolvingSymlinks("/tmp/x"_mac).path(), "/private/tmp/x");
    EXPECT_EQ(resolvingSymlinks("/var/db/../folders"_mac).path(), "/private/var/folders");
    EXPECT_EQ(resolvingSymlinks("/Users/Shared/loop"_mac).path(), "/Users/Shared/loop");
    EXPECT_FALSE(exists("/Users/Shared/loop"_mac));
    EXPECT_EQ(fileStatus("/Users/Shared/loop"_mac, FollowLinks::yes).error().systemErrno, ELOOP);
    // A loop of absolute links never hands the host a path it would follow out of the root.
    // Here /etc points at itself: a loop inside the root, the host's own /etc to the kernel.
    ASSERT_EQ(::unlink(mac.host("/etc"_mac).c_str()), 0);
    mac.symlink("/etc"_mac, "/etc");
    for (auto follow : {FollowLinks::yes, FollowLinks::no}) {
        const auto host = resolvedHostPath("/etc/passwd"_mac, follow);
        ASSERT_FALSE(host.has_value()) << host->string();
        EXPECT_EQ(host.error().systemErrno, ELOOP);
        EXPECT_EQ(fileStatus("/etc/passwd"_mac, follow).error().systemErrno, ELOOP);
    }
    // A missing tail is kept lexically.
    EXPECT_EQ(resolvingSymlinks("/Applications/Alias.app/Missing/../Other"_mac).path(),
              "/Applications/Real.app/Other");
}

TEST(MacFileSystem, LinksAfterAMissingFolderStillResolveInsideTheRoot)
{
    FakeMac mac;
    mac.symlink("/Users/Shared/up"_mac, "../../../../../../../..");
    mac.symlink("/Users/Shared/abs"_mac, "/Applications");
    // A file on the host, outside the fake Mac.
    struct Outside
    {
        std::string folder;
        ~Outside() { std::filesystem::remove_all(folder); }
    } host{mac.root() + "-outside"};
    ASSERT_EQ(::mkdir(host.folder.c_str(), 0755), 0);
    const std::string outside = host.folder + "/secret";
    {
        veldo::UniqueFd fd(::open(outside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        ASSERT_TRUE(fd);
        ASSERT_EQ(::write(fd.get(), "host", 4), 4);
    }

    // ".." takes the missing folder away again; the links after it are followed in the root.
    EXPECT_EQ(resolvingSymlinks("/Users/Shared/missing/../up/Applications"_mac).path(),
              "/Applications");
    EXPECT_EQ(resolvingSymlinks("/Users/Shared/a/b/../../abs/x"_mac).path(), "/Applications/x");
    const MacPath escape("/Users/Shared/missing/../up" + outside);
    EXPECT_ERRNO(readFile(escape, 100), ENOENT);
    EXPECT_FALSE(exists(escape));
    EXPECT_EQ(resolvingSymlinks(escape), resolvingSymlinks(MacPath(outside)));
}

TEST(MacFileSystem, StatListReadAndLinks)
{
    FakeMac mac;
    mac.write("/Users/Shared/file.txt"_mac, "hello");
    mac.symlink("/Users/Shared/link"_mac, "/Users/Shared/file.txt");

    auto st = fileStatus("/Users/Shared/link"_mac, FollowLinks::yes);
    ASSERT_TRUE(st);
    EXPECT_EQ(st->type, FileType::regular);
    EXPECT_EQ(st->size, 5);
    auto lst = fileStatus("/Users/Shared/link"_mac, FollowLinks::no);
    ASSERT_TRUE(lst);
    EXPECT_EQ(lst->type, FileType::symlink);
    EXPECT_TRUE(isSymbolicLink("/Users/Shared/link"_mac));
    EXPECT_EQ(*readFile("/Users/Shared/link"_mac, 100), "hello");
    EXPECT_EQ(readFile("/Users/Shared/file.txt"_mac, 4).error().systemErrno, EFBIG);
    EXPECT_EQ(*readSymbolicLink("/Users/Shared/link"_mac), "/Users/Shared/file.txt");
    EXPECT_EQ(fileStatus("/Users/Shared/none"_mac, FollowLinks::no).error().systemErrno, ENOENT);

    auto names = listDirectory("/Users/Shared"_mac);
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"file.txt", "link"}));
    EXPECT_EQ(listDirectory("/Users/Shared/file.txt"_mac).error().systemErrno, ENOTDIR);
}

TEST(MacFileSystem, PathsHoldingNulAreRefused)
{
    using namespace std::string_literals;
    FakeMac mac;
    mac.write("/Users/Shared/file.txt"_mac, "hello");
    // Cut short at the NUL, these would name the folder above the root or another file.
    for (const std::string& text :
         {"/..\0x"s, "/Users/../..\0/x"s, "/Users/Shared/file.txt\0.plist"s, "\0"s}) {
        const MacPath path(text);
        SCOPED_TRACE(::testing::PrintToString(text));
        EXPECT_EQ(fileStatus(path, FollowLinks::yes).error().systemErrno, EINVAL);
        EXPECT_EQ(fileStatus(path, FollowLinks::no).error().systemErrno, EINVAL);
        EXPECT_EQ(listDirectory(path).error().systemErrno, EINVAL);
        EXPECT_EQ(readFile(path, 100).error().systemErrno, EINVAL);
        EXPECT_EQ(readSymbolicLink(path).error().systemErrno, EINVAL);
        EXPECT_EQ(fileFlags(path).error().systemErrno, EINVAL);
        EXPECT_EQ(resolvedHostPath(path, FollowLinks::no).error().systemErrno, EINVAL);
        EXPECT_EQ(openInRoot(path, O_RDONLY, FollowLinks::yes).error().systemErrno, EINVAL);
        EXPECT_EQ(makeFoldersInRoot(path, 0700).error().systemErrno, EINVAL);
        EXPECT_EQ(writeFileAtomically(path, "x").error().systemErrno, EINVAL);
        EXPECT_EQ(writeFileAtomically(path.appendingPathComponent("new"), "x", {0644, true})
                      .error()
                      .systemErrno,
                  EINVAL);
        EXPECT_EQ(resolvingSymlinks(path), path.standardized());
    }
    EXPECT_EQ(findEntryCaseInsensitive("/Users/Shared"_mac, "FILE.TXT\0x"s), std::nullopt);
    EXPECT_EQ(*readFile("/Users/Shared/file.txt"_mac, 100), "hello");
}

TEST(MacFileSystem, CaseInsensitiveLookupKeepsStoredName)
{
    FakeMac mac;
    mac.write("/Library/Preferences/com.Example.App.plist"_mac, "x");
    mac.write("/Library/Preferences/Caf\xC3\xA9.plist"_mac, "x"); // NFC é
    EXPECT_EQ(findEntryCaseInsensitive("/Library/Preferences"_mac, "com.example.app.plist"),
              "com.Example.App.plist");
    EXPECT_EQ(findEntryCaseInsensitive("/Library/Preferences"_mac, "CAFE\xCC\x81.plist"), // NFD
              "Caf\xC3\xA9.plist");
    EXPECT_EQ(findEntryCaseInsensitive("/Library/Preferences"_mac, "other.plist"), std::nullopt);
    EXPECT_EQ(findEntryCaseInsensitive("/Library/Preferences"_mac, "../x"), std::nullopt);
    EXPECT_EQ(existingCaseInsensitive("/Library/Preferences"_mac, "COM.EXAMPLE.APP.PLIST")->path(),
              "/Library/Preferences/com.Example.App.plist");
}

TEST(Home, InsideARootIsUnderUsers)
{
    FakeMac mac;
    auto name = loginName(::getuid());
    ASSERT_TRUE(name);
    EXPECT_EQ(homeDirectory().path(), "/Users/" + *name);
}

TEST(Home, ComesFromTheUserDatabaseNotTheEnvironment)
{
    FakeMac mac;
    const char* saved = ::getenv("HOME"); // NOLINT(concurrency-mt-unsafe): single-threaded test
    const std::string previous = saved ? saved : "";
    ::setenv("HOME", "/Users/impostor", 1); // NOLINT(concurrency-mt-unsafe)
    const MacPath realHome = homeDirectory();
    if (saved)
        ::setenv("HOME", previous.c_str(), 1); // NOLINT(concurrency-mt-unsafe)
    else
        ::unsetenv("HOME"); // NOLINT(concurrency-mt-unsafe)
    const auto login = loginName(::getuid());
    ASSERT_TRUE(login.has_value());
    EXPECT_EQ(realHome, MacPath("/Users/" + *login));
}
