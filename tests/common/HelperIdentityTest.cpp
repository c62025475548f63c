// File identities (with birth time), translated file flags and volume stamps.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperFileAccess.h"
#include "common/HelperVolumeStamp.h"
#include "platform/FileFlags.h"
#include "tests/common/HelperTestSupport.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

namespace {

using namespace veldo::common;
using namespace veldo::common::testsupport;
using veldo::platform::FileTime;
using veldo::platform::kSystemAppendFlag;
using veldo::platform::kSystemImmutableFlag;
using veldo::platform::MacPath;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

SharedDescriptor openOrRoot(std::string_view path)
{
    auto d = openPathBeneath(path);
    EXPECT_TRUE(d) << path << ": " << fsCode(d);
    return d ? *d : *helperRoot();
}

TEST(HelperFileIdentity, EqualityUsesBirthTimeWhenBothHaveOne)
{
    const FileTime t1{100, 5};
    const FileTime t2{100, 6};
    struct Case
    {
        HelperFileIdentity a, b;
        bool equal;
    };
    const Case cases[] = {
        {{1, 2, t1}, {1, 2, t1}, true},
        {{1, 2, t1}, {1, 2, t2}, false},          // inode number reused
        {{1, 2, t1}, {1, 2, std::nullopt}, true}, // no birth time: proves less
        {{1, 2, std::nullopt}, {1, 2, std::nullopt}, true},
        {{1, 2, t1}, {1, 3, t1}, false},
        {{1, 2, t1}, {4, 2, t1}, false},
        {{-1, 2, std::nullopt}, {-1, 2, std::nullopt}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.device << "/" << c.a.inode;
        EXPECT_EQ(c.b == c.a, c.equal);
        if (c.equal) {
            EXPECT_EQ(std::hash<HelperFileIdentity>{}(c.a), std::hash<HelperFileIdentity>{}(c.b));
        }
    }
    // Hashing uses device and inode only: identities that differ only in birth time collide.
    EXPECT_EQ(std::hash<HelperFileIdentity>{}({1, 2, t1}),
              std::hash<HelperFileIdentity>{}({1, 2, t2}));
}

TEST(HelperFileIdentity, ANewFileOnAReusedInodeIsNotTheOldOne)
{
    FakeMac mac;
    mac.mkdir("/private/reuse"_mac);
    const SharedDescriptor folder = openOrRoot("/private/reuse");
    const auto identityOf = [&](const std::string& name) -> std::optional<HelperFileIdentity> {
        auto st = statEntry(folder, name);
        if (!st || !st->has_value())
            return std::nullopt;
        return (*st)->identity();
    };

    // Create, delete and create again until the new file takes the old one's inode number
    // (ext4 hands it out at once, unless another process is quicker).
    std::optional<HelperFileIdentity> oldId, newId;
    for (int attempt = 0; attempt < 50 && !newId; ++attempt) {
        const std::string oldName = "old" + std::to_string(attempt);
        const std::string newName = "new" + std::to_string(attempt);
        mac.write(MacPath("/private/reuse/" + oldName), "x");
        oldId = identityOf(oldName);
        ASSERT_TRUE(oldId);
        if (!oldId->birthTime)
            GTEST_SKIP() << "the file system reports no birth time";
        // Birth times tell files apart only a clock tick or more apart.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(::unlink(mac.host(MacPath("/private/reuse/" + oldName)).c_str()), 0);
        mac.write(MacPath("/private/reuse/" + newName), "y");
        const auto candidate = identityOf(newName);
        ASSERT_TRUE(candidate);
        if (candidate->device == oldId->device && candidate->inode == oldId->inode)
            newId = candidate;
    }
    if (!newId)
        GTEST_SKIP() << "no new file took the freed inode number in 50 tries";
    EXPECT_FALSE(*newId == *oldId);
    EXPECT_FALSE(remapDevice(*newId, std::nullopt, std::nullopt) == *oldId);
}

class HelperFileFlags : public ::testing::Test
{
protected:
    FakeMac mac;
    InodeFlagGuard flags; // declared after the fake Mac: cleared before it is removed

    void setOrSkip(const MacPath& path, int flag)
    {
        const int err = flags.set(mac.host(path), flag);
        if (err != 0)
            GTEST_SKIP() << "setting inode flag " << flag << " on " << path.path()
                         << " was refused (errno " << err << ")";
    }
};

TEST_F(HelperFileFlags, ImmutableAndAppendOnlyAreTranslated)
{
    mac.mkdir("/Library/Locked/folder"_mac);
    mac.write("/Library/Locked/file"_mac, "x");
    mac.write("/Library/Locked/log"_mac, "x");
    mac.write("/Library/Locked/plain"_mac, "x");
    mac.symlink("/Library/Locked/link"_mac, "plain");
    setOrSkip("/Library/Locked/folder"_mac, FS_IMMUTABLE_FL);
    setOrSkip("/Library/Locked/file"_mac, FS_IMMUTABLE_FL);
    setOrSkip("/Library/Locked/log"_mac, FS_APPEND_FL);

    const SharedDescriptor locked = openOrRoot("/Library/Locked");
    const std::pair<const char*, std::uint32_t> expected[] = {{"folder", kSystemImmutableFlag},
                                                              {"file", kSystemImmutableFlag},
                                                              {"log", kSystemAppendFlag},
                                                              {"plain", 0},
                                                              {"link", 0}};
    for (const auto& [name, value] : expected) {
        auto st = statEntry(locked, name);
        ASSERT_TRUE(st && st->has_value()) << name;
        EXPECT_EQ((*st)->flags, value) << name;
    }
    // Through a search-only descriptor of the folder itself, and an open one.
    EXPECT_EQ(statOf(openOrRoot("/Library/Locked/folder")).flags, kSystemImmutableFlag);
    auto readable = openPathBeneath("/Library/Locked/folder", {.readable = true});
    ASSERT_TRUE(readable);
    EXPECT_EQ(statOf(*readable).flags, kSystemImmutableFlag);
}

TEST_F(HelperFileFlags, ImmutableIsSeenWithoutReadAccess)
{
    mac.write("/Library/secret"_mac, "x", 0600);
    setOrSkip("/Library/secret"_mac, FS_IMMUTABLE_FL);
    const SharedDescriptor library = openOrRoot("/Library");
    const int rc = veldo::testsupport::runUnprivileged([&] {
        auto st = statEntry(library, "secret");
        if (!st || !st->has_value())
            return 1;
        return (*st)->flags == kSystemImmutableFlag ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
}

TEST(HelperVolumeStamp, StampsTheVolumeOfAnyDescriptor)
{
    FakeMac mac;
    mac.mkdir("/Library/Caches"_mac);
    const SharedDescriptor library = openOrRoot("/Library");
    const auto stamp = HelperVolumeStamp::fromDescriptor(library);
    ASSERT_TRUE(stamp);
    struct stat st = {};
    ASSERT_EQ(::stat(mac.root().c_str(), &st), 0);
    EXPECT_EQ(stamp->device, static_cast<std::int64_t>(st.st_dev));
    EXPECT_EQ(HelperVolumeStamp::fromDescriptor(openOrRoot("/Library/Caches")), stamp);
    auto readable = openPathBeneath("/Library", {.readable = true});
    ASSERT_TRUE(readable);
    EXPECT_EQ(HelperVolumeStamp::fromDescriptor(*readable), stamp);
    EXPECT_FALSE(HelperVolumeStamp::fromDescriptor(-1));
}

TEST(HelperVolumeStamp, TakesTheUUIDElseTheFileSystemIDAndNeverZero)
{
    FakeMac mac;
    const SharedDescriptor root = *helperRoot();
    struct Reset
    {
        ~Reset()
        {
            veldo::common::testing::setVolumeUUIDReader({});
            veldo::common::testing::setFileSystemIDReader({});
        }
    } reset;

    VolumeUUID given{};
    given[15] = 7;
    VolumeUUID fromFsid{};
    fromFsid[0] = 0x08;
    fromFsid[7] = 0x01;
    const std::optional<std::uint64_t> fsid = 0x0100000000000008ULL;
    struct Case
    {
        std::optional<VolumeUUID> uuid;
        std::optional<std::uint64_t> fsid;
        std::optional<VolumeUUID> stamp;
    };
    const Case cases[] = {
        {given, fsid, given},
        {std::nullopt, fsid, fromFsid},  // the kernel has no UUID to give
        {VolumeUUID{}, fsid, fromFsid},  // a file system made without a UUID
        {VolumeUUID{}, 0, std::nullopt}, // nothing names the volume
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        veldo::common::testing::setVolumeUUIDReader([&c](int) { return c.uuid; });
        veldo::common::testing::setFileSystemIDReader([&c](int) { return c.fsid; });
        const auto stamp = HelperVolumeStamp::fromDescriptor(root);
        EXPECT_EQ(stamp.has_value(), c.stamp.has_value());
        if (stamp && c.stamp) {
            EXPECT_EQ(stamp->uuid, *c.stamp);
        }
    }
}

TEST(HelperVolumeStamp, UUIDTextRoundTrips)
{
    const HelperVolumeStamp stamp{
        *HelperVolumeStamp::parseUUID("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"), 3};
    EXPECT_EQ(stamp.uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(HelperVolumeStamp::parseUUID(stamp.uuidString()), stamp.uuid);
    for (const char* bad :
         {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
          "E621E1F8-C36C-495A-93FC-0C247A3E6E5G", "E621E1F8-C36C-495A-93FC_0C247A3E6E5F"})
        EXPECT_FALSE(HelperVolumeStamp::parseUUID(bad)) << bad;
}

TEST(HelperVolumeStamp, RemapDeviceOnlyForTheSameVolumeAndRecordedDevice)
{
    VolumeUUID u1{};
    u1[0] = 1;
    VolumeUUID u2{};
    u2[0] = 2;
    const HelperFileIdentity id{10, 99, FileTime{5, 0}};
    const HelperVolumeStamp recorded{u1, 10};
    struct Case
    {
        std::optional<HelperVolumeStamp> recorded, current;
        std::int64_t device;
    };
    const Case cases[] = {
        {recorded, HelperVolumeStamp{u1, 20}, 20},
        {recorded, HelperVolumeStamp{u2, 20}, 10},                  // another volume
        {HelperVolumeStamp{u1, 11}, HelperVolumeStamp{u1, 20}, 10}, // not the recorded device
        {std::nullopt, HelperVolumeStamp{u1, 20}, 10},
        {recorded, std::nullopt, 10},
    };
    for (const Case& c : cases) {
        const HelperFileIdentity out = remapDevice(id, c.recorded, c.current);
        EXPECT_EQ(out.device, c.device);
        EXPECT_EQ(out.inode, 99u);
        EXPECT_EQ(out.birthTime, id.birthTime);
    }
}

} // namespace
