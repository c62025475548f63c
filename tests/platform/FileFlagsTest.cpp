// File flags in the Mac's values: translation of Linux inode flags, real flags on disk, links.
#include "platform/FileFlags.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::platform;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

TEST(FileFlags, OnlyImmutableAndAppendOnlyAreTranslated)
{
    EXPECT_EQ(macFlagsFromLinux(0), 0u);
    EXPECT_EQ(macFlagsFromLinux(FS_IMMUTABLE_FL), kSystemImmutableFlag);
    EXPECT_EQ(macFlagsFromLinux(FS_APPEND_FL), kSystemAppendFlag);
    // ext4's extents bit has the value of the Mac's restricted flag and must not become it.
    EXPECT_EQ(macFlagsFromLinux(FS_EXTENT_FL), 0u);
    EXPECT_EQ(macFlagsFromLinux(FS_EXTENT_FL | FS_NODUMP_FL | FS_NOATIME_FL | FS_IMMUTABLE_FL),
              kSystemImmutableFlag);
    EXPECT_EQ(macFlagsFromLinux(0xFFFFFFFFu), kSystemImmutableFlag | kSystemAppendFlag);
}

TEST(FileFlags, ReadsTheEntryItself)
{
    FakeMac mac;
    mac.write("/Applications/Tool/file"_mac, "x");
    mac.symlink("/Applications/Tool/link"_mac, "file");
    EXPECT_EQ(fileFlags(MacPath("/Applications/Tool/file")).value_or(99), 0u);
    EXPECT_EQ(fileFlags(MacPath("/Applications/Tool")).value_or(99), 0u);
    EXPECT_EQ(fileFlags(MacPath("/Applications/Tool/link")).value_or(99), 0u);
    const auto missing = fileFlags(MacPath("/Applications/Tool/none"));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().systemErrno, ENOENT);

    veldo::platform::testing::addFileFlags(MacPath("/Applications/Tool/"), kUserImmutableFlag);
    EXPECT_EQ(fileFlags(MacPath("/Applications/Tool")).value_or(0), kUserImmutableFlag);
    EXPECT_EQ(fileFlags(MacPath("/Applications/Tool/file")).value_or(99), 0u);
}

TEST(FileFlags, InjectedFlagsEndWithTheRoot)
{
    {
        FakeMac mac;
        mac.mkdir("/Applications/X"_mac);
        veldo::platform::testing::addFileFlags(MacPath("/Applications/X"), kRestrictedFlag);
        EXPECT_EQ(fileFlags(MacPath("/Applications/X")).value_or(0), kRestrictedFlag);
    }
    FakeMac next;
    next.mkdir("/Applications/X"_mac);
    EXPECT_EQ(fileFlags(MacPath("/Applications/X")).value_or(99), 0u);
}

TEST(FileFlags, ImmutableAndAppendOnlyOnDisk)
{
    FakeMac mac;
    for (int linuxFlag : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
        const MacPath path = mac.write("/Library/flagged"_mac, "x");
        const int fd = ::open(mac.host(path).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            ::close(fd);
            GTEST_SKIP() << "file system has no inode flags";
        }
        const int set = flags | linuxFlag;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &set) != 0) {
            ::close(fd);
            GTEST_SKIP() << "can't set inode flags here (needs CAP_LINUX_IMMUTABLE)";
        }
        const auto read = fileFlags(path);
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags); // clear before any assertion can end the test
        ::close(fd);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, linuxFlag == FS_IMMUTABLE_FL ? kSystemImmutableFlag : kSystemAppendFlag);
    }
}
