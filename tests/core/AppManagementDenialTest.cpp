// The App Management denial check: error kinds, the enclosing bundle, and the permission bits,
// sticky bit and flags of real fixture bundles judged with injected credentials.
#include "app/core/AppManagementDenial.h"

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/Credentials.h"
#include "platform/FileFlags.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using veldo::platform::Credentials;
using veldo::platform::ErrorDomain;
using veldo::platform::kCocoaFileWriteNoPermissionError;
using veldo::platform::kCocoaFileWriteUnknownError;
using veldo::platform::MacPath;
using veldo::platform::SystemError;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

constexpr uid_t kUser = 1501;
constexpr gid_t kUserGroup = 1501;
constexpr uid_t kOtherUser = 1502;
constexpr gid_t kSharedGroup = 1600;

SystemError bareCocoa513()
{
    return SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError,
                       "You don't have permission.");
}

// Injects credentials for one scope.
class AsCaller
{
public:
    explicit AsCaller(Credentials c)
    {
        veldo::platform::testing::setCallerCredentials(std::move(c));
    }
    ~AsCaller() { veldo::platform::testing::setCallerCredentials(std::nullopt); }
    AsCaller(const AsCaller&) = delete;
    AsCaller& operator=(const AsCaller&) = delete;
};

Credentials user(std::vector<gid_t> extraGroups = {})
{
    Credentials c{kUser, {kUserGroup}};
    c.groups.insert(c.groups.end(), extraGroups.begin(), extraGroups.end());
    return c;
}

class AppManagementDenialTest : public ::testing::Test
{
protected:
    FakeMac mac;

    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to give fixtures other owners";
    }

    // A folder holding a bundle, each with the given owner, group and mode.
    MacPath place(const std::string& folder, uid_t folderOwner, gid_t folderGroup,
                  mode_t folderMode, uid_t bundleOwner, gid_t bundleGroup, mode_t bundleMode)
    {
        const MacPath bundle(folder + "/Some.app");
        mac.mkdir(bundle.appendingPathComponent("Contents/MacOS"));
        own(MacPath(folder), folderOwner, folderGroup, folderMode);
        own(bundle, bundleOwner, bundleGroup, bundleMode);
        return bundle;
    }

    void own(const MacPath& path, uid_t owner, gid_t group, mode_t mode)
    {
        const std::string host = mac.host(path);
        ASSERT_EQ(::chown(host.c_str(), owner, group), 0) << path.path();
        ASSERT_EQ(::chmod(host.c_str(), mode), 0) << path.path();
    }
};

} // namespace

TEST(AppManagementDenialErrors, NotPermittedErrors)
{
    const std::vector<std::pair<SystemError, bool>> cases = {
        {SystemError::posix(EPERM), true},
        {SystemError::posix(EACCES), false},
        {bareCocoa513(), true},
        // The underlying error decides, and nothing else is looked at.
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "denied",
                     SystemError::posix(EACCES)),
         false},
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "denied",
                     SystemError::posix(EPERM)),
         true},
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteUnknownError, "failed",
                     SystemError::posix(EPERM)),
         true},
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteUnknownError, "failed"), false},
        {SystemError(ErrorDomain::other, EPERM, "not posix"), false},
        {SystemError(ErrorDomain::other, 0, "wrapper",
                     SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "x")),
         true},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(isNotPermittedError(cases[i].first), cases[i].second) << "case " << i;
}

TEST(AppManagementDenialBundle, OutermostAppBundleInAnyCase)
{
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"/Applications/Xcode.app/Contents/Applications/Instruments.app/Contents/MacOS/x",
         "/Applications/Xcode.app"},
        {"/Applications/Foo.app", "/Applications/Foo.app"},
        {"/Applications/Foo.app/", "/Applications/Foo.app"},
        {"/Applications/FOO.APP/Contents", "/Applications/FOO.APP"},
        {"/Applications/./Old.app/../New.app/Contents", "/Applications/New.app"},
        {"/Applications/Foo.application/x", std::nullopt},
        {"/Users/u/Documents/file", std::nullopt},
        {"/", std::nullopt},
    };
    for (const auto& [in, out] : cases) {
        const auto got = enclosingAppBundle(MacPath(in));
        EXPECT_EQ(got ? std::optional<std::string>(got->path()) : std::nullopt, out) << in;
    }
}

TEST_F(AppManagementDenialTest, OwnersGroupsAndOthersBits)
{
    const auto bare = bareCocoa513();
    const auto accessDenied = SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError,
                                          "denied", SystemError::posix(EACCES));
    struct Case
    {
        const char* what;
        uid_t folderOwner;
        gid_t folderGroup;
        mode_t folderMode;
        uid_t bundleOwner;
        gid_t bundleGroup;
        mode_t bundleMode;
        Credentials caller;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"user's bundle in user's folder", kUser, kUserGroup, 0755, kUser, kUserGroup, 0755, user(),
         true},
        {"root's bundle in root's folder", 0, 0, 0755, 0, 0, 0755, user(), false},
        {"root's bundle, root asks", 0, 0, 0755, 0, 0, 0755, Credentials{0, {0}}, true},
        {"group may write both", 0, kSharedGroup, 0775, 0, kSharedGroup, 0775, user({kSharedGroup}),
         true},
        {"group may write, caller not in it", 0, kSharedGroup, 0775, 0, kSharedGroup, 0775, user(),
         false},
        {"others may write both", 0, 0, 0777, 0, 0, 0777, user(), true},
        // Only the owner's class applies to the owner.
        {"owner bit clear, others set", kUser, kUserGroup, 0755, kUser, kUserGroup, 0577, user(),
         false},
        {"folder not writable", 0, 0, 0755, kUser, kUserGroup, 0755, user(), false},
        {"group member, group bit clear, others set", 0, kSharedGroup, 0757, kUser, kUserGroup,
         0755, user({kSharedGroup}), false},
        // Sticky folder owned by root.
        {"own bundle in sticky folder", 0, 0, 01777, kUser, kUserGroup, 0755, user(), true},
        {"other's bundle in sticky folder", 0, 0, 01777, kOtherUser, kOtherUser, 0777, user(),
         false},
        {"other's bundle in own sticky folder", kUser, kUserGroup, 01777, kOtherUser, kOtherUser,
         0777, user(), true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string folder = "/Applications/Case" + std::to_string(n++);
        const MacPath bundle = place(folder, c.folderOwner, c.folderGroup, c.folderMode,
                                     c.bundleOwner, c.bundleGroup, c.bundleMode);
        AsCaller as(c.caller);
        EXPECT_EQ(isAppManagementDenial(bare, bundle), c.expected) << c.what;
        // A file inside the bundle is judged by the bundle.
        EXPECT_EQ(isAppManagementDenial(bare, bundle.appendingPathComponent("Contents/MacOS")),
                  c.expected)
            << c.what << " (inner item)";
        // A permission-denied underlying error never counts, whatever the bits say.
        EXPECT_FALSE(isAppManagementDenial(accessDenied, bundle)) << c.what;
    }
}

TEST_F(AppManagementDenialTest, ItemOutsideAnyBundleOrUnreadable)
{
    mac.mkdir("/Applications/Plain"_mac);
    AsCaller as(Credentials{0, {0}});
    EXPECT_FALSE(isAppManagementDenial(bareCocoa513(), MacPath("/Applications/Plain")));
    EXPECT_FALSE(isAppManagementDenial(SystemError::posix(EPERM), MacPath("/Applications/Plain")));
    EXPECT_FALSE(isAppManagementDenial(bareCocoa513(), MacPath("/Applications/Missing.app")));
    mac.mkdir("/Applications/Present.app"_mac);
    EXPECT_TRUE(isAppManagementDenial(bareCocoa513(), MacPath("/Applications/Present.app")));
    EXPECT_FALSE(
        isAppManagementDenial(SystemError::posix(ENOSPC), MacPath("/Applications/Present.app")));
    // The extension is matched in any letter case.
    mac.mkdir("/Applications/Loud.APP/Contents"_mac);
    EXPECT_TRUE(isAppManagementDenial(bareCocoa513(), MacPath("/Applications/Loud.APP/Contents")));
}

TEST_F(AppManagementDenialTest, FlagsExplainTheRefusalEvenForRoot)
{
    using namespace veldo::platform;
    for (std::uint32_t flag : {kUserImmutableFlag, kUserAppendFlag, kSystemImmutableFlag,
                               kSystemAppendFlag, kRestrictedFlag}) {
        for (bool onFolder : {false, true}) {
            const std::string folder =
                "/Applications/F" + std::to_string(flag) + (onFolder ? "f" : "b");
            const MacPath bundle = place(folder, kUser, kUserGroup, 0755, kUser, kUserGroup, 0755);
            EXPECT_TRUE(isAppManagementDenial(bareCocoa513(), bundle));
            veldo::platform::testing::addFileFlags(onFolder ? MacPath(folder) : bundle, flag);
            for (const Credentials& c : {Credentials{0, {0}}, user()}) {
                AsCaller as(c);
                EXPECT_FALSE(isAppManagementDenial(bareCocoa513(), bundle))
                    << "flag " << flag << (onFolder ? " on folder" : " on bundle") << " uid "
                    << c.effectiveUid;
            }
        }
    }
}

TEST_F(AppManagementDenialTest, RealImmutableFlagOnDisk)
{
    const MacPath bundle =
        place("/Applications/Frozen", kUser, kUserGroup, 0755, kUser, kUserGroup, 0755);
    const int fd = ::open(mac.host(bundle).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        ::close(fd);
        GTEST_SKIP() << "file system has no inode flags";
    }
    const int frozen = flags | FS_IMMUTABLE_FL;
    if (::ioctl(fd, FS_IOC_SETFLAGS, &frozen) != 0) {
        ::close(fd);
        GTEST_SKIP() << "can't set the immutable flag here";
    }
    AsCaller as(user());
    const bool answer = isAppManagementDenial(bareCocoa513(), bundle);
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags); // thaw before any assertion can end the test
    ::close(fd);
    EXPECT_FALSE(answer);
    EXPECT_TRUE(isAppManagementDenial(bareCocoa513(), bundle));
}
