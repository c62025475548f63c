// Undo through the privileged helper (the fake helper daemon): the helper's own retryable mark,
// not its sentence, keeps a point for another Undo.
#include "app/controller/UninstallViewModel.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/removal/HelperMac.h"

namespace veldo::controller {
namespace {

using common::VeldoHelperItemResult;
using removal::RestorePoint;
using Outcome = VeldoHelperItemResult::Outcome;

RestorePoint helperPoint(const testsupport::HelperMac& h, const std::string& name)
{
    RestorePoint point;
    point.item.url = platform::MacPath("/Library/Caches/" + name);
    point.item.sizeBytes = 10;
    point.trashURL = h.trash(name);
    point.needsAdmin = true;
    point.movedByHelper = true;
    return point;
}

TEST(HelperUndo, OnlyTheMarkedHelperPointStaysAndBothAreReported)
{
    SKIP_UNLESS_FAKE_HELPER_AND_ROOT();
    testsupport::HelperMac h;
    const auto defaults = std::make_shared<platform::UserDefaults>(
        h.mac.home().appendingPathComponent("Library/Preferences/test.plist"));
    UninstallViewModel controller(std::make_shared<core::CleanupSettings>(defaults),
                                  std::make_shared<core::CleanupStats>(defaults), defaults);
    const RestorePoint marked = helperPoint(h, "marked");
    const RestorePoint unmarked = helperPoint(h, "unmarked");
    VeldoHelperItemResult stopped = testsupport::result(marked.trashURL, Outcome::failed);
    stopped.message =
        "Veldo's helper stopped while checking it; it is still in the Trash. Try Undo again.";
    stopped.retryable = true;
    VeldoHelperItemResult failed = testsupport::result(unmarked.trashURL, Outcome::failed);
    failed.message = "It couldn't be put back. Try Undo again.";
    h.reply({stopped, failed}, "restore");
    removal::UninstallOutcome outcome;
    outcome.trashed = {marked.item, unmarked.item};
    outcome.restorePoints = {marked, unmarked};
    controller.setLastOutcome(outcome);
    controller.setShowResultBanner(true);

    Task<void> undo = controller.undoLastRemoval();
    ASSERT_TRUE(testsupport::ControllerFixture::waitFor([&] { return undo.isDone(); }));
    ASSERT_TRUE(controller.lastOutcome());
    EXPECT_EQ(controller.lastOutcome()->restorePoints, std::vector<RestorePoint>{marked});
    EXPECT_EQ(controller.lastOutcome()->trashed, std::vector<core::LeftoverItem>{marked.item});
    EXPECT_TRUE(controller.showResultBanner());
    ASSERT_EQ(controller.lastUndoFailures().size(), 2u);
    EXPECT_EQ(controller.lastUndoFailures()[0].reason, *stopped.message);
    EXPECT_EQ(controller.lastUndoFailures()[1].reason, *failed.message);
    ASSERT_TRUE(controller.activeAlert());
    EXPECT_EQ(controller.activeAlert()->title, "Couldn’t Undo");
    EXPECT_FALSE(controller.dropNotice());
    EXPECT_TRUE(h.osascript.prompts().empty());
}

} // namespace
} // namespace veldo::controller
