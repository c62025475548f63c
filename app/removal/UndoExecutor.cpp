// The Undo of the last cleanup.
#include "app/removal/UndoExecutor.h"

#include <algorithm>
#include <memory>
#include <set>

#include "app/removal/AdminRestorer.h"
#include "app/removal/TrashExecutor.h"
#include "platform/FileManager.h"
#include "platform/Home.h"
#include "platform/SecurityScopedAccess.h"

namespace veldo::removal::UndoExecutor {

namespace {

using platform::MacPath;

std::size_t depth(const RestorePoint& point)
{
    return platform::splitPathComponents(point.item.url.standardized().path()).size();
}

} // namespace

std::vector<RestorePoint> orderForUndo(const std::vector<RestorePoint>& points)
{
    std::vector<RestorePoint> ordered = points;
    std::stable_sort(
        ordered.begin(), ordered.end(),
        [](const RestorePoint& a, const RestorePoint& b) { return depth(a) < depth(b); });
    return ordered;
}

RestoreReport restoreUserItems(const std::vector<RestorePoint>& points,
                               const std::vector<core::ScopedAccessRoot>& roots,
                               std::stop_token stop)
{
    std::vector<std::unique_ptr<platform::SecurityScopedAccess>> accesses;
    for (const core::ScopedAccessRoot& root : roots) {
        auto access = std::make_unique<platform::SecurityScopedAccess>(root.url);
        if (access->isAccessing())
            accesses.push_back(std::move(access));
    }
    const MacPath home = platform::homeDirectory();
    platform::FileManager& files = platform::defaultFileManager();
    RestoreReport report;
    for (const RestorePoint& point : points) {
        const MacPath& original = point.item.url;
        const auto fail = [&](std::string reason) {
            report.failed.push_back({point, std::move(reason), false});
        };
        if (stop.stop_requested()) {
            fail(std::string(kStoppedBeforeRestore));
            continue;
        }
        if (!files.attributesOfItem(point.trashURL)) {
            fail("It's no longer in the Trash.");
            continue;
        }
        if (files.attributesOfItem(original)) {
            fail("Something new already exists at its original location.");
            continue;
        }
        auto made = files.createDirectory(original.deletingLastPathComponent(), true);
        if (!made) {
            fail(made.error().localizedDescription());
            continue;
        }
        auto moved = files.moveItem(point.trashURL, original);
        if (!moved) {
            fail(moved.error().localizedDescription());
            continue;
        }
        report.restored.push_back(point.item);
        if (TrashExecutor::isLaunchAgentPlist(original, home))
            TrashExecutor::runLaunchctlInUserDomain(original,
                                                    TrashExecutor::LaunchctlVerb::bootstrap, stop);
    }
    // Stopped in root order, as they were started.
    for (auto& access : accesses)
        access.reset();
    return report;
}

RestoreReport performUndo(const std::vector<RestorePoint>& points,
                          const std::vector<core::ScopedAccessRoot>& roots, std::stop_token stop)
{
    std::vector<RestorePoint> user;
    std::vector<RestorePoint> admin;
    for (const RestorePoint& point : orderForUndo(points))
        (point.needsAdmin ? admin : user).push_back(point);
    RestoreReport report = restoreUserItems(user, roots, stop);
    if (admin.empty())
        return report;

    const MacPath home = platform::homeDirectory();
    const AdminRemover::RestoreResult result = AdminRemover::restore(
        admin,
        [&](const std::vector<RestorePoint>& scriptPoints) {
            return AdminRemover::runRestoreScript(scriptPoints, home, stop);
        },
        stop);
    const std::set<std::string> back(result.restoredIDs.begin(), result.restoredIDs.end());
    std::vector<MacPath> agents;
    for (const RestorePoint& point : admin) {
        if (back.contains(point.item.url.path()) &&
            TrashExecutor::isLaunchAgentPlist(point.item.url, home))
            agents.push_back(point.item.url);
    }
    if (!agents.empty())
        TrashExecutor::bootstrapAgents(agents, stop);
    for (const RestorePoint& point : admin) {
        const std::string& key = point.item.url.path();
        if (back.contains(key)) {
            report.restored.push_back(point.item);
            continue;
        }
        const auto sentence = result.failures.find(key);
        report.failed.push_back(
            {point,
             sentence != result.failures.end() ? sentence->second : "It couldn't be put back.",
             result.retryableIDs.contains(key)});
    }
    report.authorizationCancelled = result.wasCancelled;
    return report;
}

} // namespace veldo::removal::UndoExecutor
