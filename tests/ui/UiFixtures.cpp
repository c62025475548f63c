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

    // The Trash run leaves the items that need an administrator to an administrator move.
    removal::UninstallOutcome refused;
    refused.failed.push_back(failure(
        uiItem("/Library/LaunchDaemons/com.quill.helper.plist", 1'024, true, C::launchAgents)));
    refused.failed.push_back(failure(uiItem("/Library/Application Support/Quill", 9'000, true)));
    for (const auto& failed : refused.failed)
        refused.escalatableIDs.insert(failed.item.id());
    gallery.push_back({"couldnt-remove", refused});
    // One of them refused by the removal-safety policy: never offered for removal by hand.
    auto refusedByPolicy = refused;
    refusedByPolicy.escalatableIDs.erase(refused.failed.back().item.id());
    refusedByPolicy.refusedIDs.insert(refused.failed.back().item.id());
    gallery.push_back({"couldnt-remove-refused", refusedByPolicy});

    auto partly = movedOutcome(
        {uiItem("/Users/me/Library/Caches/com.quill.app", 48'300'000, false, C::caches),
         uiItem("/Users/me/Library/Logs/Quill", 2'500'000, false, C::logs)},
        1);
    partly.alreadyMissing.push_back(uiItem("/Users/me/Library/Saved Application State/q", 0));
    partly.failed.push_back(failure(
        uiItem("/Library/LaunchDaemons/com.quill.helper.plist", 1'024, true, C::launchAgents)));
    partly.escalatableIDs.insert("/Library/LaunchDaemons/com.quill.helper.plist");
    partly.failed.push_back(failure(uiItem("/Users/me/Library/Containers/com.quill.app", 0)));
    gallery.push_back({"partly-removed-undo", partly});
    auto partlyPlain = partly;
    partlyPlain.restorePoints.clear();
    gallery.push_back({"partly-removed", partlyPlain});
    return gallery;
}

namespace {

scanners::OrphanFinding orphan(std::string path, std::int64_t bytes,
                               core::MatchConfidence confidence, core::LeftoverCategory category,
                               std::string reason, bool requiresAdmin = false, int daysAgo = -1)
{
    scanners::OrphanFinding finding;
    finding.item.url = platform::MacPath(std::move(path));
    finding.item.sizeBytes = bytes;
    finding.item.confidence = confidence;
    finding.item.category = category;
    finding.item.requiresAdmin = requiresAdmin;
    finding.reason = std::move(reason);
    if (daysAgo >= 0)
        finding.lastModified =
            core::Date(std::chrono::seconds(1'773'000'000)) - std::chrono::hours(24 * daysAgo);
    return finding;
}

} // namespace

scanners::OrphanScanResult orphanGallery(const std::string& home)
{
    using core::LeftoverCategory;
    using core::MatchConfidence;
    const std::string gone =
        "No installed app, running process or loaded job uses this identifier.";
    scanners::OrphanScanResult result;
    result.groups = {
        {"com.quillworks.Quill",
         "Quill",
         {orphan(home + "/Library/Application Support/Quill", 412'000'000, MatchConfidence::medium,
                 LeftoverCategory::supportFiles, gone, false, 40),
          orphan(home + "/Library/Caches/com.quillworks.Quill", 96'500'000, MatchConfidence::medium,
                 LeftoverCategory::caches, gone, false, 12),
          orphan("/Library/LaunchDaemons/com.quillworks.Quill.helper.plist", 2'048,
                 MatchConfidence::medium, LeftoverCategory::launchAgents,
                 gone + " It sits in a system folder, so moving it needs administrator rights.",
                 true, 90),
          orphan(home + "/Library/Preferences/com.quillworks.Quill.plist", 0, MatchConfidence::low,
                 LeftoverCategory::preferences,
                 "Changed 3 days ago: an app may still be using it. The name also matches a "
                 "vendor folder shared by other apps from the same developer, and it holds "
                 "documents.",
                 false, 3)}},
        {"org.inkwell.editor",
         "Inkwell",
         {orphan(home + "/Library/Containers/org.inkwell.editor", 1'250'000'000,
                 MatchConfidence::high, LeftoverCategory::containers, gone)}},
        {"net.margins.sync",
         "Margins Sync",
         {orphan(home + "/Library/Logs/Margins Sync", 840'000, MatchConfidence::medium,
                 LeftoverCategory::logs, gone),
          orphan(home + "/Library/HTTPStorages/net.margins.sync", 12'000, MatchConfidence::low,
                 LeftoverCategory::webData, gone)}},
    };
    return result;
}

namespace {

core::ToolchainItem tool(core::ToolchainKind kind, std::string title, std::string path,
                         std::int64_t bytes, bool cache, bool data = false, bool admin = false)
{
    core::ToolchainItem item;
    item.kind = kind;
    item.title = std::move(title);
    item.url = platform::MacPath(std::move(path));
    item.sizeBytes = bytes;
    item.isCache = cache;
    item.holdsUserData = data;
    item.requiresAdmin = admin;
    return item;
}

core::DevPackage package(core::PackageManagerKind manager, std::string name, std::string version,
                         std::int64_t bytes)
{
    return {manager, std::move(name), std::move(version), bytes};
}

} // namespace

std::vector<core::ToolchainGroup> toolchainSample(const std::string& home)
{
    using core::ToolchainKind;
    return {
        {ToolchainKind::xcode,
         {tool(ToolchainKind::xcode, "Derived Data", home + "/Library/Developer/Xcode/DerivedData",
               18'400'000'000, true),
          tool(ToolchainKind::xcode, "iOS 17.2 Simulator Runtime",
               "/Library/Developer/CoreSimulator/Volumes/iOS_21C62", 7'100'000'000, false, false,
               true),
          tool(ToolchainKind::xcode, "Simulator Devices",
               home + "/Library/Developer/CoreSimulator/Devices", 3'900'000'000, false, true)}},
        {ToolchainKind::node,
         {tool(ToolchainKind::node, "npm Cache", home + "/.npm/_cacache", 2'300'000'000, true),
          tool(ToolchainKind::node, "nvm: Node 18.19.0", home + "/.nvm/versions/node/v18.19.0",
               190'000'000, false)}},
        {ToolchainKind::cloud,
         {tool(ToolchainKind::cloud, "Docker Disk Image",
               home + "/Library/Containers/com.docker.docker/Data/vms/0/data/Docker.raw",
               24'000'000'000, true, true)}},
    };
}

std::vector<core::PackageGroup> packageSample()
{
    using core::PackageManagerKind;
    return {
        {PackageManagerKind::brewFormula,
         {package(PackageManagerKind::brewFormula, "ffmpeg", "6.1.1", 52'400'000),
          package(PackageManagerKind::brewFormula, "git", "2.43.0", 48'100'000),
          package(PackageManagerKind::brewFormula, "wget", "1.21.4", 4'200'000)}},
        {PackageManagerKind::brewCask,
         {package(PackageManagerKind::brewCask, "quill", "3.2.0", 210'000'000)}},
        {PackageManagerKind::npm,
         {package(PackageManagerKind::npm, "typescript", "5.3.3", 22'800'000),
          package(PackageManagerKind::npm, "@angular/cli", "", 0)}},
        {PackageManagerKind::pip,
         {package(PackageManagerKind::pip, "requests", "2.31.0", 0),
          package(PackageManagerKind::pip, "numpy", "1.26.3", 61'000'000)}},
        {PackageManagerKind::gem, {package(PackageManagerKind::gem, "bundler", "2.5.4", 0)}},
    };
}

scanners::PackageRemover::Result packageResultSample(bool failures)
{
    using core::PackageManagerKind;
    scanners::PackageRemover::Result result;
    for (const char* name : {"ffmpeg", "git", "wget", "jq", "tree", "htop"})
        result.removed.push_back(package(PackageManagerKind::brewFormula, name, "1.0", 12'000'000));
    if (failures) {
        result.failed.push_back({package(PackageManagerKind::npm, "typescript", "5.3.3", 0),
                                 "npm ERR! code EACCES npm ERR! syscall rename npm ERR! path "
                                 "/usr/local/lib/node_modules/typescript"});
        result.failed.push_back(
            {package(PackageManagerKind::pip, "numpy", "1.26.3", 0), "Required by pandas"});
    }
    return result;
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
