// The per-user cache and temporary folders of a fake Mac, in confstr's shape.
#include "platform/UserDirectories.h"

#include <cerrno>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using veldo::platform::darwinConfstr;
using veldo::platform::kCsDarwinUserCacheDir;
using veldo::platform::kCsDarwinUserTempDir;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

std::string confstrText(int name)
{
    const std::size_t length = darwinConfstr(name, nullptr, 0);
    if (length == 0)
        return "<none>";
    std::string buffer(length, '\x7f');
    EXPECT_EQ(darwinConfstr(name, buffer.data(), buffer.size()), length);
    EXPECT_EQ(buffer.back(), '\0');
    buffer.pop_back();
    return buffer;
}

} // namespace

TEST(UserDirectories, NoneWithoutARootOrAUserFolder)
{
    EXPECT_EQ(confstrText(kCsDarwinUserCacheDir), "<none>");
    FakeMac mac;
    errno = 0;
    EXPECT_EQ(darwinConfstr(kCsDarwinUserTempDir, nullptr, 0), 0u);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(darwinConfstr(42, nullptr, 0), 0u);
    EXPECT_EQ(errno, EINVAL);
}

TEST(UserDirectories, TheCurrentUsersFolderUnderVarFolders)
{
    FakeMac mac;
    mac.mkdir("/private/var/folders/.hidden/zz"_mac);
    mac.write("/private/var/folders/aa/plainfile"_mac, "not a folder");
    mac.mkdir("/private/var/folders/ab/someone_else"_mac);
    mac.mkdir("/private/var/folders/xy/mine_abc/C"_mac);
    const bool canChown = ::chown(mac.host("/private/var/folders/ab/someone_else"_mac).c_str(),
                                  ::getuid() + 1, static_cast<gid_t>(-1)) == 0;
    if (!canChown)
        GTEST_SKIP() << "needs to hand a folder to another user";

    EXPECT_EQ(confstrText(kCsDarwinUserCacheDir), "/var/folders/xy/mine_abc/C/");
    EXPECT_EQ(confstrText(kCsDarwinUserTempDir), "/var/folders/xy/mine_abc/T/");

    char small[8];
    EXPECT_EQ(darwinConfstr(kCsDarwinUserCacheDir, small, sizeof small),
              std::string("/var/folders/xy/mine_abc/C/").size() + 1);
    EXPECT_STREQ(small, "/var/fo");
}
