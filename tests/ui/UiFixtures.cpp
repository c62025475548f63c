// Shared outcomes and controllers of the window tests and the tour.
#include "tests/ui/UiFixtures.h"

#include <utility>

#include "app/core/CleanupSettings.h"
#include "platform/Home.h"

namespace veldo::testsupport {

core::LeftoverItem uiItem(std::string path, std::int64_t bytes, bool requiresAdmin,
                          core::LeftoverCategory category)
{
    core::LeftoverItem item;
    item.url = platform::MacPath(std::move(path));
    item.sizeBytes = bytes;
    item.requiresAdmin = requiresAdmin;
    item.category = category;
    return item;
}

removal::UninstallOutcome movedOutcome(std::vector<core::LeftoverItem> trashed,
                                       std::size_t restorable)
{
    removal::UninstallOutcome outcome;
    for (std::size_t i = 0; i < trashed.size() && i < restorable; ++i) {
        removal::RestorePoint point;
        point.item = trashed[i];
        point.trashURL =
            platform::MacPath("/Users/me/.Trash/" + trashed[i].url.lastPathComponent());
        outcome.restorePoints.push_back(point);
    }
    outcome.trashed = std::move(trashed);
    return outcome;
}

removal::UninstallOutcome::Failure failure(core::LeftoverItem item)
{
    return {std::move(item), "You don’t have permission to move this item."};
}

std::vector<NamedOutcome> bannerGallery()
{
    using C = core::LeftoverCategory;
    std::vector<NamedOutcome> gallery;

    auto moved = movedOutcome(
        {uiItem("/Applications/Quill.app", 182'400'000, false, C::application),
         uiItem("/Users/me/Library/Caches/com.quill.app", 48'300'000, false, C::caches),
         uiItem("/Users/me/Library/Preferences/com.quill.app.plist", 4'096, false, C::preferences)},
        3);
    gallery.push_back({"moved-undo", moved});
    auto movedPlain = moved;
    movedPlain.restorePoints.clear();
    gallery.push_back({"moved", movedPlain});

    removal::UninstallOutcome blocked;
    const auto app = uiItem("/Applications/Quill.app", 182'400'000, false, C::application);
    blocked.failed.push_back(failure(app));
    blocked.appManagementDenialIDs.insert(app.id());
    gallery.push_back({"permission-needed", blocked});

    removal::UninstallOutcome refused;
    refused.failed.push_back(failure(
        uiItem("/Library/LaunchDaemons/com.quill.helper.plist", 1'024, true, C::launchAgents)));
    refused.failed.push_back(failure(uiItem("/Library/Application Support/Quill", 9'000, true)));
    gallery.push_back({"couldnt-remove", refused});

    auto partly = movedOutcome(
        {uiItem("/Users/me/Library/Caches/com.quill.app", 48'300'000, false, C::caches),
         uiItem("/Users/me/Library/Logs/Quill", 2'500'000, false, C::logs)},
        1);
    partly.alreadyMissing.push_back(uiItem("/Users/me/Library/Saved Application State/q", 0));
    partly.failed.push_back(failure(
        uiItem("/Library/LaunchDaemons/com.quill.helper.plist", 1'024, true, C::launchAgents)));
    partly.failed.push_back(failure(uiItem("/Users/me/Library/Containers/com.quill.app", 0)));
    gallery.push_back({"partly-removed-undo", partly});
    auto partlyPlain = partly;
    partlyPlain.restorePoints.clear();
    gallery.push_back({"partly-removed", partlyPlain});
    return gallery;
}

UiController::UiController()
    : defaults(std::make_shared<platform::UserDefaults>(
          platform::homeDirectory().appendingPathComponent("Library/Preferences/veldo-ui.plist"))),
      settings(std::make_shared<core::CleanupSettings>(defaults)),
      stats(std::make_shared<core::CleanupStats>(defaults)),
      model(std::make_unique<controller::UninstallViewModel>(settings, stats, defaults))
{
}

} // namespace veldo::testsupport
