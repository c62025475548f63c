// ACL state, fingerprint and clearing through open descriptors of every kind.
#include "common/HelperACL.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperFileAccess.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"

namespace {

using namespace veldo::common;
using namespace veldo::common::testsupport;
using veldo::UniqueFd;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

class HelperACL : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mac.mkdir("/Library/Folder"_mac);
        mac.write("/Library/file"_mac, "x", 0640);
        // Probe once: a file system without ACLs cannot run these tests.
        acl_t probe = ::acl_from_text("u::rw-,u:nobody:r--,g::r--,m::r--,o::---");
        const int rc = ::acl_set_file(host("/Library/file").c_str(), ACL_TYPE_ACCESS, probe);
        ::acl_free(probe);
        if (rc != 0)
            GTEST_SKIP() << "the file system refused an ACL (errno " << errno << ")";
        set("/Library/file", ACL_TYPE_ACCESS, "u::rw-,g::r--,o::---");
    }

    std::string host(const char* mac_path) const { return mac.host(MacPath(mac_path)); }

    void set(const char* path, acl_type_t type, const char* text) const
    {
        acl_t acl = ::acl_from_text(text);
        ASSERT_NE(acl, nullptr) << text;
        EXPECT_EQ(::acl_set_file(host(path).c_str(), type, acl), 0) << path << " " << text;
        ::acl_free(acl);
    }

    // A readable descriptor (O_RDONLY) and a search-only one (O_PATH) of the same object.
    std::pair<UniqueFd, UniqueFd> descriptors(const char* path) const
    {
        return {UniqueFd(::open(host(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)),
                UniqueFd(::open(host(path).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC))};
    }

    FakeMac mac;
};

TEST_F(HelperACL, BaseEntriesAloneMeanNoEntries)
{
    for (const char* path : {"/Library/file", "/Library/Folder"}) {
        auto [readable, pathOnly] = descriptors(path);
        for (const int fd : {readable.get(), pathOnly.get()}) {
            EXPECT_EQ(extendedACLState(fd), false) << path;
            EXPECT_EQ(aclDigest(fd), 0u) << path;
        }
    }
}

TEST_F(HelperACL, NamedEntriesAndDefaultsAreExtendedWithAStableDigest)
{
    set("/Library/file", ACL_TYPE_ACCESS, "u::rw-,u:nobody:r--,g::r--,m::r--,o::---");
    auto [readable, pathOnly] = descriptors("/Library/file");
    EXPECT_EQ(extendedACLState(readable.get()), true);
    EXPECT_EQ(extendedACLState(pathOnly.get()), true);
    const auto digest = aclDigest(readable.get());
    ASSERT_TRUE(digest);
    EXPECT_NE(*digest, 0u);
    EXPECT_EQ(aclDigest(pathOnly.get()), digest);
    EXPECT_EQ(aclDigest(readable.get()), digest);

    // Another permission, another digest; the same ACL on another object, the same digest.
    set("/Library/file", ACL_TYPE_ACCESS, "u::rw-,u:nobody:rw-,g::r--,m::rw-,o::---");
    EXPECT_NE(aclDigest(readable.get()), digest);
    mac.write("/Library/twin"_mac, "y", 0640);
    set("/Library/twin", ACL_TYPE_ACCESS, "u::rw-,u:nobody:r--,g::r--,m::r--,o::---");
    auto [twin, twinPath] = descriptors("/Library/twin");
    EXPECT_EQ(aclDigest(twin.get()), digest);

    // A folder with only a default ACL has entries, and its digest covers the default ACL.
    auto [folder, folderPath] = descriptors("/Library/Folder");
    set("/Library/Folder", ACL_TYPE_DEFAULT, "u::rwx,g::r-x,o::---");
    EXPECT_EQ(extendedACLState(folderPath.get()), true);
    const auto d1 = aclDigest(folderPath.get());
    set("/Library/Folder", ACL_TYPE_DEFAULT, "u::rwx,g::r-x,o::r-x");
    const auto d2 = aclDigest(folder.get());
    ASSERT_TRUE(d1 && d2);
    EXPECT_NE(*d1, 0u);
    EXPECT_NE(*d1, *d2);
}

TEST_F(HelperACL, LinksHaveNoEntries)
{
    mac.symlink("/Library/link"_mac, "file");
    set("/Library/file", ACL_TYPE_ACCESS, "u::rw-,u:nobody:r--,g::r--,m::r--,o::---");
    const UniqueFd link(::open(host("/Library/link").c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    ASSERT_TRUE(link);
    EXPECT_EQ(extendedACLState(link.get()), false);
    EXPECT_EQ(aclDigest(link.get()), 0u);
}

TEST_F(HelperACL, InstallEmptyACLClearsEntriesWithoutWideningTheGroup)
{
    // The mode's group bits show the mask (rwx) although the owning group has nothing.
    ASSERT_EQ(::chmod(host("/Library/Folder").c_str(), 0700), 0);
    set("/Library/Folder", ACL_TYPE_ACCESS, "u::rwx,u:nobody:rwx,g::---,m::rwx,o::---");
    set("/Library/Folder", ACL_TYPE_DEFAULT, "u::rwx,u:nobody:rwx,g::---,m::rwx,o::---");
    struct stat st = {};
    ASSERT_EQ(::stat(host("/Library/Folder").c_str(), &st), 0);
    ASSERT_EQ(st.st_mode & 0777, 0770u);

    auto [folder, folderPath] = descriptors("/Library/Folder");
    EXPECT_OK(installEmptyACL(folderPath.get()));
    EXPECT_EQ(extendedACLState(folder.get()), false);
    EXPECT_EQ(aclDigest(folder.get()), 0u);
    ASSERT_EQ(::stat(host("/Library/Folder").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A file keeps what its base entries gave.
    set("/Library/file", ACL_TYPE_ACCESS, "u::rw-,u:nobody:rw-,g::r--,m::rw-,o::r--");
    auto [file, filePath] = descriptors("/Library/file");
    EXPECT_OK(installEmptyACL(file.get()));
    EXPECT_EQ(extendedACLState(filePath.get()), false);
    ASSERT_EQ(::stat(host("/Library/file").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(HelperACL, UnreadableIsNotZero)
{
    EXPECT_FALSE(extendedACLState(-1));
    EXPECT_FALSE(aclDigest(-1));
}

} // namespace
