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
