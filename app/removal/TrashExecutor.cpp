// The Trash executor: safety check, attributes, launchd boot-out, the move, and the outcome.
#include "app/removal/TrashExecutor.h"

#include <memory>
#include <string>
#include <utility>

#include <unistd.h>

#include "app/core/AppManagementDenial.h"
#include "app/core/CommandRunner.h"
#include "app/core/RemovalSafetyApp.h"
#include "platform/FileManager.h"
#include "platform/SecurityScopedAccess.h"
#include "platform/SystemError.h"

namespace veldo::removal::TrashExecutor {

using core::LeftoverItem;
using platform::MacPath;

namespace {

constexpr std::string_view kRequiresAdminMessage = "Requires administrator privileges.";

std::string_view verbText(LaunchctlVerb verb)
{
    return verb == LaunchctlVerb::bootout ? "bootout" : "bootstrap";
}

bool isPlistIn(const MacPath& url, const std::string& folder)
{
    return url.pathExtension() == "plist" &&
           url.deletingLastPathComponent().standardized().path() == folder;
}

// A failed item: its sentence, and whether an administrator move may still remove it.
void recordFailure(const LeftoverItem& item, const platform::SystemError& error,
                   UninstallOutcome& outcome)
{
    if (item.requiresAdmin || core::RemovalSafety::isPermissionError(error))
        outcome.escalatableIDs.insert(item.url.path());
    outcome.failed.push_back({item, item.requiresAdmin ? std::string(kRequiresAdminMessage)
                                                       : error.localizedDescription()});
}

void handleItem(const LeftoverItem& item, const common::RemovalSafety::PreparedContext& context,
                platform::FileManager& fileManager, platform::FileManager::TrashRun& run,
                UninstallOutcome& outcome)
{
    // The check judges the item in the folder the run holds open for its attribute read and its
    // move, resolved as that descriptor names it.
    const std::optional<MacPath> folder = run.openFolderOfItem(item.url);
    auto refusal = folder ? common::removalRefusal(item.url, *folder, context)
                          : common::removalRefusal(item.url, context);
    if (refusal) {
        outcome.failed.push_back({item, common::removalRefusalMessage(*refusal)});
        outcome.refusedIDs.insert(item.url.path());
        return;
    }
    auto attributes = run.attributesOfItem(item.url);
    if (!attributes) {
        // Only a missing item is gone. One that can't be read (behind a folder only root can
        // search, a loop of links, a name too long) is still in place: a failure, never missing.
        if (platform::meansMissing(attributes.error()))
            outcome.alreadyMissing.push_back(item);
        else
            recordFailure(item, attributes.error(), outcome);
        return;
    }
    const bool bootedOut = !item.requiresAdmin &&
                           isLaunchAgentPlist(item.url, context.context().homeDirectory) &&
                           fileManager.isWritableFile(item.url.deletingLastPathComponent());
    if (bootedOut)
        runLaunchctlInUserDomain(item.url, LaunchctlVerb::bootout);
    auto moved = run.trashItem(item.url);
    if (moved) {
        outcome.trashed.push_back(item);
        if (const auto& trashURL = moved.value())
            outcome.restorePoints.push_back(RestorePoint{.item = item, .trashURL = *trashURL});
        return;
    }
    if (bootedOut)
        runLaunchctlInUserDomain(item.url, LaunchctlVerb::bootstrap);
    if (item.category == core::LeftoverCategory::application &&
        core::isAppManagementDenial(moved.error(), item.url))
        outcome.appManagementDenialIDs.insert(item.url.path());
    recordFailure(item, moved.error(), outcome);
}

} // namespace

UninstallOutcome runUninstall(const std::vector<LeftoverItem>& items,
                              const common::RemovalSafety::Context& context,
                              const std::vector<core::ScopedAccessRoot>& roots,
                              std::stop_token stop)
{
    std::vector<std::unique_ptr<platform::SecurityScopedAccess>> accesses;
    for (const core::ScopedAccessRoot& root : roots) {
        auto access = std::make_unique<platform::SecurityScopedAccess>(root.url);
        if (access->isAccessing())
            accesses.push_back(std::move(access));
    }
    UninstallOutcome outcome = performUninstall(items, context, std::move(stop));
    // Stopped in root order, as they were started.
    for (auto& access : accesses)
        access.reset();
    return outcome;
}

UninstallOutcome performUninstall(const std::vector<LeftoverItem>& items,
                                  const common::RemovalSafety::Context& context,
                                  std::stop_token stop)
{
    UninstallOutcome outcome;
    auto split = core::RemovalSafety::filterRemovable(items, true);
    outcome.nested = std::move(split.covered);
    if (split.removable.empty())
        return outcome;
    // The home folder and the bundles are normalised, and the Trash is opened and listed, once
    // for the run; each item is still checked, read and moved on its own.
    const common::RemovalSafety::PreparedContext prepared(context);
    outcome.trashed.reserve(split.removable.size());
    outcome.restorePoints.reserve(split.removable.size());
    platform::FileManager& fileManager = platform::defaultFileManager();
    const std::unique_ptr<platform::FileManager::TrashRun> run = fileManager.beginTrashRun();
    for (const LeftoverItem& item : split.removable) {
        if (stop.stop_requested())
            outcome.failed.push_back({item, std::string(kStoppedMessage)});
        else
            handleItem(item, prepared, fileManager, *run, outcome);
    }
    return outcome;
}

bool isLaunchAgentPlist(const MacPath& url, const MacPath& home)
{
    return isPlistIn(url, "/Library/LaunchAgents") ||
           isPlistIn(url, home.standardized()
                              .appendingPathComponent("Library")
                              .appendingPathComponent("LaunchAgents")
                              .path());
}

bool isSystemDaemonPlist(const MacPath& url)
{
    return isPlistIn(url, "/Library/LaunchDaemons");
}

void runLaunchctlInUserDomain(const MacPath& url, LaunchctlVerb verb, std::stop_token stop)
{
    // launchctl takes a host path; the Mac path itself would name another file.
    auto hostPath = platform::resolvedHostPath(url, platform::FollowLinks::no);
    if (!hostPath)
        return;
    const std::vector<std::string> arguments{
        std::string(verbText(verb)), "gui/" + std::to_string(::getuid()), hostPath->string()};
    (void)core::CommandRunner::run(MacPath("/bin/launchctl"), arguments,
                                   core::CommandRunner::processEnvironment(), kLaunchctlTimeout, {},
                                   std::move(stop));
}

void bootOutAgents(const std::vector<MacPath>& urls, std::stop_token stop)
{
    for (const MacPath& url : urls)
        runLaunchctlInUserDomain(url, LaunchctlVerb::bootout, stop);
}

void bootstrapAgents(const std::vector<MacPath>& urls, std::stop_token stop)
{
    for (const MacPath& url : urls)
        runLaunchctlInUserDomain(url, LaunchctlVerb::bootstrap, stop);
}

} // namespace veldo::removal::TrashExecutor
