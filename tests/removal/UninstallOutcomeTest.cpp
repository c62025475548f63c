// The three questions asked of a removal's outcome.
#include "app/removal/UninstallOutcome.h"

#include <gtest/gtest.h>

using veldo::core::LeftoverCategory;
using veldo::core::LeftoverItem;
using veldo::platform::MacPath;
using veldo::removal::RestorePoint;
using veldo::removal::UninstallOutcome;

namespace {

LeftoverItem item(const char* path, LeftoverCategory category = LeftoverCategory::supportFiles)
{
    return LeftoverItem{.url = MacPath(path), .category = category};
}

std::vector<std::string> paths(const std::vector<LeftoverItem>& items)
{
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(i.url.path());
    return out;
}

} // namespace

TEST(UninstallOutcome, NestedItemsTrashedWithParent)
{
    struct Case
    {
        std::vector<const char*> trashed;
        std::vector<const char*> nested;
        std::vector<std::string> kept;
    };
    const std::vector<Case> cases{
        {{}, {"/a/b"}, {}},
        {{"/a"}, {}, {}},
        // A folder covers what lies in it (standardised on both sides), not a sibling that
        // merely begins with its name.
        {{"/L/X"},
         {"/L/X/f", "/L/Xy", "/L/X", "/L/X/./g/", "/L/Y/../X/h"},
         {"/L/X/f", "/L/X", "/L/X/./g/", "/L/Y/../X/h"}},
        {{"/L/X/"}, {"/L/X/f"}, {"/L/X/f"}},
        // "/" covers every nested absolute path, but not a relative one.
        {{"/"}, {"/a", "/a/b", "rel"}, {"/a", "/a/b"}},
        // Several trashed items; the nested order is kept.
        {{"/p", "/q"}, {"/q/2", "/r/1", "/p/1"}, {"/q/2", "/p/1"}},
    };
    for (const Case& c : cases) {
        UninstallOutcome outcome;
        for (const char* p : c.trashed)
            outcome.trashed.push_back(item(p));
        for (const char* p : c.nested)
            outcome.nested.push_back(item(p));
        EXPECT_EQ(paths(outcome.nestedItemsTrashedWithParent()), c.kept)
            << "trashed " << (c.trashed.empty() ? "" : c.trashed.front());
    }
}

TEST(UninstallOutcome, TrashedWithoutRestorePointCount)
{
    struct Case
    {
        std::vector<const char*> trashed;
        std::vector<const char*> restorable;
        std::size_t count;
    };
    const std::vector<Case> cases{
        {{}, {}, 0},
        {{"/a", "/b"}, {"/a", "/b"}, 0},
        {{"/a", "/b"}, {"/a"}, 1},
        // More restore points than trashed items (administrator moves merged in): never below 0.
        {{"/a"}, {"/a", "/x", "/y"}, 0},
        // Matched by the path as given, not standardised.
        {{"/a/"}, {"/a"}, 1},
    };
    for (const Case& c : cases) {
        UninstallOutcome outcome;
        for (const char* p : c.trashed)
            outcome.trashed.push_back(item(p));
        for (const char* p : c.restorable)
            outcome.restorePoints.push_back(
                RestorePoint{.item = item(p), .trashURL = MacPath("/Users/u/.Trash/x")});
        EXPECT_EQ(outcome.trashedWithoutRestorePointCount(), c.count)
            << c.trashed.size() << " trashed, " << c.restorable.size() << " points";
    }
}

TEST(UninstallOutcome, AppBlockedByAppManagementOnlyForApplicationItems)
{
    const LeftoverItem app = item("/Applications/A.app", LeftoverCategory::application);
    const LeftoverItem prefs =
        item("/Users/u/Library/Preferences/a.plist", LeftoverCategory::preferences);
    struct Case
    {
        std::vector<LeftoverItem> failed;
        std::vector<std::string> denials;
        bool blocked;
    };
    const std::vector<Case> cases{
        {{}, {app.url.path()}, false},
        {{app}, {}, false},
        {{app}, {app.url.path()}, true},
        {{prefs}, {prefs.url.path()}, false},
        {{prefs, app}, {app.url.path(), prefs.url.path()}, true},
        // A denial recorded for an item that did not fail does not count.
        {{prefs}, {app.url.path()}, false},
    };
    for (const Case& c : cases) {
        UninstallOutcome outcome;
        for (const auto& f : c.failed)
            outcome.failed.push_back({f, "failed"});
        outcome.appManagementDenialIDs.insert(c.denials.begin(), c.denials.end());
        EXPECT_EQ(outcome.appBlockedByAppManagement(), c.blocked)
            << c.failed.size() << " failed, " << c.denials.size() << " denials";
    }
}
