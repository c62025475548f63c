// The result banner's title, symbol, tint, summary and buttons for each kind of outcome.
#include "app/ui/ResultBannerContent.h"

#include <gtest/gtest.h>

#include "tests/ui/UiFixtures.h"

namespace veldo::ui {
namespace {

using core::LeftoverCategory;
using removal::UninstallOutcome;
using testsupport::failure;
using testsupport::movedOutcome;
using testsupport::uiItem;

struct Case
{
    const char* name;
    UninstallOutcome outcome;
    const char* title;
    const char* symbol;
    SystemColor tint;
    const char* summary;
    bool settings, reveal, undo;
    // What "Reveal in Finder" shows: every failed item the removal-safety policy did not refuse.
    std::vector<std::string> revealed = {};
};

// `failed` as the Trash run leaves them: an administrator move may still remove the items that
// need one.
UninstallOutcome with(UninstallOutcome o, std::vector<core::LeftoverItem> failed,
                      std::vector<core::LeftoverItem> missing = {})
{
    for (auto& item : failed) {
        if (item.requiresAdmin)
            o.escalatableIDs.insert(item.id());
        o.failed.push_back(failure(std::move(item)));
    }
    o.alreadyMissing = std::move(missing);
    return o;
}

core::LeftoverItem plain(const char* path, std::int64_t bytes = 0)
{
    return uiItem(path, bytes);
}

core::LeftoverItem admin(const char* path)
{
    return uiItem(path, 0, true);
}

// The outcome with the failed item at `path` refused by the removal-safety policy.
UninstallOutcome refusing(UninstallOutcome o, const std::string& path)
{
    o.refusedIDs.insert(path);
    return o;
}

// The outcome with the failed item at `path` failing on a permission error, which an
// administrator move may still remove.
UninstallOutcome permissionError(UninstallOutcome o, const std::string& path)
{
    o.escalatableIDs.insert(path);
    return o;
}

TEST(ResultBannerContent, TitleSymbolTintSummaryAndButtons)
{
    UninstallOutcome blocked = movedOutcome({plain("/t/a", 5000)}, 1);
    blocked.failed.push_back(
        failure(uiItem("/Applications/Foo.app", 10, false, LeftoverCategory::application)));
    blocked.failed.push_back(failure(admin("/Library/x")));
    blocked.escalatableIDs.insert("/Library/x");
    blocked.appManagementDenialIDs.insert("/Applications/Foo.app");
    // A denial of a path that is not an application's item does not block.
    UninstallOutcome notBlocked = with(UninstallOutcome{}, {plain("/Applications/Foo.app")});
    // Refused before any move: no administrator move may remove it.
    UninstallOutcome refusedAdmin;
    refusedAdmin.failed.push_back(failure(admin("/System/Library/x")));
    refusedAdmin.refusedIDs.insert("/System/Library/x");
    notBlocked.appManagementDenialIDs.insert("/Applications/Foo.app");

    const Case cases[] = {
        {"nothing",
         {},
         "Moved to Trash",
         "checkmark.circle.fill",
         SystemColor::green,
         "Nothing needed moving",
         false,
         false,
         false},
        {"nothing, missing and restore points", with(movedOutcome({}, 0), {}, {plain("/m")}),
         "Moved to Trash", "checkmark.circle.fill", SystemColor::green,
         "Nothing needed moving · 1 item already gone", false, false, false},
        {"zero sizes", movedOutcome({plain("/a"), plain("/b")}, 2), "Moved to Trash",
         "checkmark.circle.fill", SystemColor::green,
         "Moved 2 items (Zero KB) to the Trash — freed after you empty it", false, false, true},
        {"negative sizes", movedOutcome({plain("/a", -4000), plain("/b", 1000)}, 0),
         "Moved to Trash", "checkmark.circle.fill", SystemColor::green,
         "Moved 2 items (Zero KB) to the Trash — freed after you empty it", false, false, false},
        {"sized, one without restore point", movedOutcome({plain("/a", 1'500'000), plain("/b")}, 1),
         "Moved to Trash", "checkmark.circle.fill", SystemColor::green,
         "Moved 2 items (1.5 MB) to the Trash — freed after you empty it · 1 can’t be undone",
         false, false, true},
        {"three, two without restore point",
         movedOutcome({plain("/a", 1000), plain("/b"), plain("/c")}, 1), "Moved to Trash",
         "checkmark.circle.fill", SystemColor::green,
         "Moved 3 items (1 KB) to the Trash — freed after you empty it · 2 can’t be undone", false,
         false, true},
        {"one admin failure, missing not mentioned",
         with(UninstallOutcome{}, {admin("/Library/x")}, {plain("/m")}),
         "Couldn’t Remove",
         "lock.shield.fill",
         SystemColor::blue,
         "1 item couldn’t be moved — reveal it to remove it in Finder.",
         false,
         true,
         false,
         {"/Library/x"}},
        {"two admin failures",
         with(UninstallOutcome{}, {admin("/Library/x"), admin("/Library/y")}),
         "Couldn’t Remove",
         "lock.shield.fill",
         SystemColor::blue,
         "2 items couldn’t be moved — reveal them to remove them in Finder.",
         false,
         true,
         false,
         {"/Library/x", "/Library/y"}},
        {"an admin failure and a busy file: both are revealed",
         with(UninstallOutcome{}, {admin("/Library/x"), plain("/Users/me/busy")}),
         "Couldn’t Remove",
         "lock.shield.fill",
         SystemColor::blue,
         "2 items couldn’t be moved — reveal them to remove them in Finder.",
         false,
         true,
         false,
         {"/Library/x", "/Users/me/busy"}},
        {"two failures, one admin: the refused one is not offered",
         refusing(with(UninstallOutcome{}, {admin("/Library/x"), plain("/y")}, {plain("/m")}),
                  "/y"),
         "Couldn’t Remove",
         "lock.shield.fill",
         SystemColor::blue,
         "1 item already gone · 1 item needs admin — reveal in Finder · 1 item couldn’t be removed",
         false,
         true,
         false,
         {"/Library/x"}},
        {"an admin item the policy refused", refusedAdmin, "Couldn’t Remove", "lock.shield.fill",
         SystemColor::blue, "1 item couldn’t be removed", false, false, false},
        {"refused without admin need",
         refusing(with(UninstallOutcome{}, {plain("/y")}, {plain("/m")}), "/y"), "Couldn’t Remove",
         "lock.shield.fill", SystemColor::blue, "1 item couldn’t be removed", false, false, false},
        {"a busy file alone is not offered for removal by hand",
         with(UninstallOutcome{}, {plain("/Users/me/busy")}),
         "Couldn’t Remove",
         "lock.shield.fill",
         SystemColor::blue,
         "1 item couldn’t be removed",
         false,
         false,
         false,
         {"/Users/me/busy"}},
        {"blocked",
         blocked,
         "Permission Needed",
         "gearshape.fill",
         SystemColor::blue,
         "macOS blocked Veldo from changing other apps. Turn on Veldo in App Management and reopen "
         "Veldo; apps then move to the Trash without a password.",
         true,
         true,
         true,
         {"/Applications/Foo.app", "/Library/x"}},
        {"denied path of another category",
         notBlocked,
         "Couldn’t Remove",
         "lock.shield.fill",
         SystemColor::blue,
         "1 item couldn’t be removed",
         false,
         false,
         false,
         {"/Applications/Foo.app"}},
        {"partly",
         with(movedOutcome({plain("/a", 2000)}, 0), {plain("/x"), plain("/y")}, {plain("/m")}),
         "Partly Removed",
         "exclamationmark.triangle.fill",
         SystemColor::orange,
         "Moved 1 item (2 KB) to the Trash — freed after you empty it · 1 item already gone · 2 "
         "items couldn’t be removed",
         false,
         false,
         false,
         {"/x", "/y"}},
        {"partly, one of three needs admin and one was refused",
         refusing(
             with(movedOutcome({plain("/a", 2000)}, 1), {admin("/x"), plain("/y"), plain("/z")}),
             "/z"),
         "Partly Removed",
         "exclamationmark.triangle.fill",
         SystemColor::orange,
         "Moved 1 item (2 KB) to the Trash — freed after you empty it · 2 items need admin — "
         "reveal in Finder · 1 item couldn’t be removed",
         false,
         true,
         true,
         {"/x", "/y"}},
        {"partly, a permission error beside an admin item",
         permissionError(with(movedOutcome({plain("/a", 2000)}, 0), {admin("/x"), plain("/p")}),
                         "/p"),
         "Partly Removed",
         "exclamationmark.triangle.fill",
         SystemColor::orange,
         "Moved 1 item (2 KB) to the Trash — freed after you empty it · 2 items need admin — "
         "reveal in Finder",
         false,
         true,
         false,
         {"/x", "/p"}},
        {"partly, all three need admin",
         with(movedOutcome({plain("/a", 2000)}, 0), {admin("/x"), admin("/y"), admin("/z")}),
         "Partly Removed",
         "exclamationmark.triangle.fill",
         SystemColor::orange,
         "Moved 1 item (2 KB) to the Trash — freed after you empty it · 3 items need admin — "
         "reveal in Finder",
         false,
         true,
         false,
         {"/x", "/y", "/z"}},
        {"partly, the one failure needs admin",
         with(movedOutcome({plain("/a", 2000)}, 0), {admin("/x")}),
         "Partly Removed",
         "exclamationmark.triangle.fill",
         SystemColor::orange,
         "Moved 1 item (2 KB) to the Trash — freed after you empty it · 1 item needs admin — "
         "reveal in Finder",
         false,
         true,
         false,
         {"/x"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResultBannerContent content = ResultBannerContent::of(c.outcome);
        EXPECT_EQ(content.title.toStdString(), c.title);
        EXPECT_EQ(content.symbol, c.symbol);
        EXPECT_EQ(content.tint, c.tint);
        EXPECT_EQ(content.summary.toStdString(), c.summary);
        EXPECT_EQ(content.showsOpenSettings, c.settings);
        EXPECT_EQ(content.showsRevealInFinder, c.reveal);
        EXPECT_EQ(content.showsUndo, c.undo);
        EXPECT_EQ(content.announcement().toStdString(), std::string(c.title) + ". " + c.summary);
        std::vector<std::string> revealed;
        for (const core::LeftoverItem& item : ResultBannerContent::revealable(c.outcome))
            revealed.push_back(item.id());
        EXPECT_EQ(revealed, c.revealed);
    }
}

TEST(ResultBannerContent, UndoHelpNamesTheAdministratorWhenNeeded)
{
    UninstallOutcome outcome = movedOutcome({plain("/a"), plain("/b")}, 2);
    EXPECT_EQ(ResultBannerContent::of(outcome).undoHelp.toStdString(),
              "Put everything back where it was (⌥⌘Z). Also in Edit ▸ Undo Last Cleanup.");
    outcome.restorePoints[1].needsAdmin = true;
    EXPECT_EQ(ResultBannerContent::of(outcome).undoHelp.toStdString(),
              "Put everything back (⌥⌘Z). Items moved with your administrator password need it "
              "again.");
}

} // namespace
} // namespace veldo::ui
