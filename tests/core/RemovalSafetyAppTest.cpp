// The app's additions to the removal-safety policy: the nesting filter of item lists, the
// ancestor test and the permission-error test.
#include "app/core/RemovalSafetyApp.h"

#include <cerrno>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/LeftoverItem.h"
#include "platform/SystemError.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using veldo::core::LeftoverItem;
using veldo::platform::ErrorDomain;
using veldo::platform::MacPath;
using veldo::platform::SystemError;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;
namespace RemovalSafety = veldo::core::RemovalSafety;

TEST(RemovalSafetyFilter, DropsNestedAndRepeatedItems)
{
    FakeMac mac;
    auto item = [](std::string path, std::int64_t size = 0) {
        LeftoverItem i;
        i.url = MacPath(std::move(path));
        i.sizeBytes = size;
        return i;
    };
    {
        const std::vector<LeftoverItem> items = {item("/a/A", 1), item("/a/A/b", 2),
                                                 item("/a/A", 3)};
        const auto split = RemovalSafety::filterRemovable(items, false);
        EXPECT_EQ(split.removable, (std::vector<LeftoverItem>{items[0]}));
        EXPECT_EQ(split.covered, (std::vector<LeftoverItem>{items[1], items[2]}));
    }
    {
        // A child listed before its folder is still covered; siblings with a common prefix are not.
        const std::vector<LeftoverItem> items = {item("/x/y/z"), item("/x/y2"), item("/x/y/"),
                                                 item("/x/y/./w")};
        const auto split = RemovalSafety::filterRemovable(items, false);
        EXPECT_EQ(split.removable, (std::vector<LeftoverItem>{items[1], items[2]}));
        EXPECT_EQ(split.covered, (std::vector<LeftoverItem>{items[0], items[3]}));
    }
    {
        // Resolving links finds the same folder under two names.
        mac.mkdir("/opt/real/inner"_mac);
        mac.symlink("/Applications/Alias"_mac, "/opt/real");
        const std::vector<LeftoverItem> items = {item("/opt/real"),
                                                 item("/Applications/Alias/inner")};
        EXPECT_EQ(RemovalSafety::filterRemovable(items, false).removable, items);
        const auto resolved = RemovalSafety::filterRemovable(items, true);
        EXPECT_EQ(resolved.removable, (std::vector<LeftoverItem>{items[0]}));
        EXPECT_EQ(resolved.covered, (std::vector<LeftoverItem>{items[1]}));
    }
    EXPECT_TRUE(
        RemovalSafety::filterRemovable(std::vector<LeftoverItem>{}, true).removable.empty());
}

TEST(RemovalSafetyFilter, ItemsOfOneFolderAreJudgedByTheirOwnNormalisedPaths)
{
    // The folder's links are resolved once for the list; each item still gets the key its own
    // normalised path would be, also in a folder that resolves to "/", where "/var", "/tmp" and
    // "/etc" become "/private/…".
    FakeMac mac;
    mac.mkdir("/opt/real/a/inner"_mac);
    mac.mkdir("/opt/real/b"_mac);
    const std::string home = mac.home().path();
    mac.symlink(MacPath(home + "/Link"), "/opt/real");
    mac.symlink(MacPath(home + "/RootLink"), "/");
    struct Case
    {
        std::string path;
        bool covered;
    };
    const std::vector<Case> cases{
        {home + "/RootLink/var", false},   // "/private/var"
        {home + "/RootLink/Foo", false},   // "/Foo"
        {home + "/RootLink/tmp", false},   // "/private/tmp"
        {"/Foo/x", true},                  // inside "/Foo"
        {"/private/tmp/t", true},          // inside "/private/tmp"
        {"/var", true},                    // "/private/var" again
        {home + "/Link/a", false},         // "/opt/real/a"
        {home + "/Link/b", false},         // "/opt/real/b"
        {"/opt/real/a/inner", true},       // inside "/opt/real/a"
        {"/opt/real/b", true},             // "/opt/real/b" again
        {home + "/Link/var", false},       // "/opt/real/var"
        {"/private/var/opt/real/b", true}, // inside "/private/var"
    };
    std::vector<LeftoverItem> items;
    std::vector<LeftoverItem> removable;
    std::vector<LeftoverItem> covered;
    for (const Case& c : cases) {
        LeftoverItem i;
        i.url = MacPath(c.path);
        items.push_back(i);
        (c.covered ? covered : removable).push_back(i);
    }
    const auto split = RemovalSafety::filterRemovable(items, true);
    EXPECT_EQ(split.removable, removable);
    EXPECT_EQ(split.covered, covered);
}

TEST(RemovalSafetyAncestors, ExactComparisonUpToTheRoot)
{
    const std::unordered_set<std::string> set = {"/a/b", "/Q"};
    EXPECT_TRUE(RemovalSafety::isCoveredByAncestor("/a/b/c", set));
    EXPECT_TRUE(RemovalSafety::isCoveredByAncestor("/a/b/c/d/e", set));
    EXPECT_FALSE(RemovalSafety::isCoveredByAncestor("/a/b", set));
    EXPECT_FALSE(RemovalSafety::isCoveredByAncestor("/a/bc", set));
    EXPECT_FALSE(RemovalSafety::isCoveredByAncestor("/A/b/c", set));
    EXPECT_FALSE(RemovalSafety::isCoveredByAncestor("/q/x", set));
    const std::unordered_set<std::string> withRoot = {"/"};
    EXPECT_TRUE(RemovalSafety::isCoveredByAncestor("/anything", withRoot));
    EXPECT_FALSE(RemovalSafety::isCoveredByAncestor("/", withRoot));
}

TEST(RemovalSafetyErrors, PermissionErrors)
{
    using veldo::platform::kCocoaFileReadNoPermissionError;
    using veldo::platform::kCocoaFileWriteNoPermissionError;
    using veldo::platform::kCocoaFileWriteUnknownError;
    const SystemError eacces = SystemError::posix(EACCES);
    const SystemError enospc = SystemError::posix(ENOSPC);
    const std::vector<std::pair<SystemError, bool>> cases = {
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "no write"), true},
        {SystemError(ErrorDomain::cocoa, kCocoaFileReadNoPermissionError, "no read"), true},
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "no write", eacces),
         true},
        {SystemError::posix(EPERM), true},
        {eacces, true},
        {SystemError::posix(ENOENT), false},
        {enospc, false},
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteUnknownError, "failed", eacces), true},
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteUnknownError, "failed", enospc), false},
        {SystemError(ErrorDomain::cocoa, kCocoaFileWriteUnknownError, "failed"), false},
        {SystemError(ErrorDomain::other, 1, "x",
                     SystemError(ErrorDomain::other, 2, "y", SystemError::posix(EPERM))),
         true},
        {SystemError(ErrorDomain::other, 13, "not posix"), false},
        {SystemError(ErrorDomain::cocoa, 4, "no such file"), false},
    };
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(RemovalSafety::isPermissionError(cases[i].first), cases[i].second)
            << "case " << i;
}
