// ControllerServices: the real services behind the controller's seam.
#include "app/controller/ControllerServices.h"

#include "app/core/AppCopyLocator.h"
#include "app/core/InstalledAppInventory.h"
#include "app/leftovers/HomebrewCaskIndex.h"
#include "app/leftovers/HomebrewCaskUninstall.h"
#include "app/leftovers/LeftoverScanner.h"
#include "app/removal/AdminMover.h"
#include "app/removal/PrivilegedHelper.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "app/removal/TrashExecutor.h"
#include "app/removal/UndoExecutor.h"
#include "app/scanners/OrphanScanner.h"
#include "app/scanners/PackageRemover.h"
#include "app/scanners/PackageScanner.h"
#include "app/scanners/ToolchainScanner.h"
#include "platform/ApplicationRegistry.h"
#include "platform/MacFileSystem.h"
#include "platform/RunningApplicationsSnapshot.h"
#include "platform/UserDefaults.h"

namespace veldo::controller {

ControllerServices ControllerServices::withDefaults() const
{
    ControllerServices services = *this;
    if (!services.runningStatus)
        services.runningStatus = [](const core::InstalledApp& app) {
            return core::runningStatus(app);
        };
    if (!services.fileExists)
        services.fileExists = [](const platform::MacPath& path) { return platform::exists(path); };
    if (!services.removalRefusal)
        services.removalRefusal = [](const platform::MacPath& url,
                                     const common::RemovalSafety::PreparedContext& context) {
            return common::removalRefusal(url, context);
        };
    if (!services.batchLeftoverScan && services.leftoverScan)
        services.batchLeftoverScan =
            [scan = services.leftoverScan](const core::InstalledApp& app,
                                           const std::vector<core::ScopedAccessRoot>& roots,
                                           leftovers::FolderListingCache&, std::stop_token stop) {
                return scan(app, roots, std::move(stop));
            };
    if (!services.batchLeftoverScan)
        services.batchLeftoverScan =
            [](const core::InstalledApp& app, const std::vector<core::ScopedAccessRoot>& roots,
               leftovers::FolderListingCache& listings, std::stop_token stop) {
                return leftovers::LeftoverScanner::scan(
                    app, roots, leftovers::LeftoverScanner::darwinUserDirectories(),
                    leftovers::LeftoverScanner::receiptLeftovers,
                    platform::systemApplicationRegistry(), listings, std::move(stop));
            };
    if (!services.leftoverScan)
        services.leftoverScan = [](const core::InstalledApp& app,
                                   const std::vector<core::ScopedAccessRoot>& roots,
                                   std::stop_token stop) {
            return leftovers::LeftoverScanner::scan(
                app, roots, leftovers::LeftoverScanner::darwinUserDirectories(),
                leftovers::LeftoverScanner::receiptLeftovers, platform::systemApplicationRegistry(),
                std::move(stop));
        };
    if (!services.appScan)
        services.appScan = [](const std::vector<core::ScopedAccessRoot>& roots,
                              bool includeSystemApps, std::stop_token stop) {
            return core::InstalledAppInventory::scan(roots, includeSystemApps, {}, std::move(stop));
        };
    if (!services.loadApp)
        services.loadApp = [](const platform::MacPath& url) {
            return core::InstalledAppInventory::load(url);
        };
    if (!services.requestQuit)
        services.requestQuit = [](const core::InstalledApp& app) { core::requestQuit(app); };
    if (!services.runningApplications)
        services.runningApplications =
            []() -> std::shared_ptr<const platform::RunningApplicationSource> {
            return std::make_shared<platform::RunningApplicationsSnapshot>(
                platform::ProcRunningApplications::shared());
        };
    if (!services.loadCaskIndex)
        services.loadCaskIndex = [](bool force, std::stop_token stop) {
            return leftovers::HomebrewCasks::loadIndex(
                force, leftovers::HomebrewCasks::kInfoTimeout, std::move(stop));
        };
    if (!services.orphanScan)
        services.orphanScan = [](const std::optional<std::vector<core::InstalledApp>>& apps,
                                 std::stop_token stop) {
            return scanners::OrphanScanner::scan(apps, stop);
        };
    if (!services.toolchainScan)
        services.toolchainScan = [](const platform::MacPath& home, std::stop_token stop) {
            return scanners::ToolchainScanner::scan(home, std::move(stop));
        };
    if (!services.trashRun)
        services.trashRun = [](const std::vector<core::LeftoverItem>& items,
                               const common::RemovalSafety::Context& context,
                               const std::vector<core::ScopedAccessRoot>& roots,
                               std::stop_token stop) {
            return removal::TrashExecutor::runUninstall(items, context, roots, std::move(stop));
        };
    if (!services.helperUsable)
        services.helperUsable = [](std::stop_token stop) {
            const auto defaults = platform::UserDefaults::standard();
            const auto daemon = removal::helperDaemonService();
            return removal::PrivilegedHelper::isHelperUsable(
                *defaults, *daemon, removal::PrivilegedHelper::kVersionTimeout, std::move(stop));
        };
    if (!services.adminMove)
        services.adminMove = [](const std::vector<platform::MacPath>& items,
                                const common::RemovalSafety::Context& context,
                                std::stop_token stop) {
            return removal::AdminRemover::moveToTrash(items, context, std::move(stop));
        };
    if (!services.bootOutAgents)
        services.bootOutAgents = [](const std::vector<platform::MacPath>& urls,
                                    std::stop_token stop) {
            removal::TrashExecutor::bootOutAgents(urls, std::move(stop));
        };
    if (!services.bootstrapAgents)
        services.bootstrapAgents = [](const std::vector<platform::MacPath>& urls,
                                      std::stop_token stop) {
            removal::TrashExecutor::bootstrapAgents(urls, std::move(stop));
        };
    if (!services.undo)
        services.undo = [](const std::vector<removal::RestorePoint>& points,
                           const std::vector<core::ScopedAccessRoot>& roots, std::stop_token stop) {
            return removal::UndoExecutor::performUndo(points, roots, std::move(stop));
        };
    if (!services.libraryWatcher)
        services.libraryWatcher = [](std::chrono::milliseconds debounce) {
            auto watcher = std::make_shared<core::AppLibraryWatcher>(
                std::nullopt, std::nullopt, core::AppLibraryWatcher::WorkspaceObservation::on,
                debounce);
            LibraryWatcherSession session{watcher, watcher->events()};
            watcher->start();
            return session;
        };
    if (!services.applicationURLs)
        services.applicationURLs = [](const std::string& bundleID) {
            return platform::systemApplicationRegistry().applicationURLs(bundleID);
        };
    if (!services.spotlightCopies)
        services.spotlightCopies = [](const std::string& bundleID,
                                      std::chrono::milliseconds timeout, std::stop_token stop) {
            return core::AppCopyLocator::spotlightCopies(bundleID, timeout, std::move(stop));
        };
    if (!services.caskUninstall)
        services.caskUninstall = [](const std::string& token, leftovers::HomebrewCasks::Zap zap,
                                    std::stop_token stop) {
            return leftovers::HomebrewCasks::uninstall(
                token, zap, leftovers::HomebrewCasks::kUninstallTimeout, {}, std::move(stop));
        };
    if (!services.packageScan)
        services.packageScan = [](std::stop_token stop) {
            return scanners::PackageScanner::scanPackages(scanners::PackageScanner::kListingTimeout,
                                                          std::move(stop));
        };
    if (!services.packageRemoval)
        services.packageRemoval = [](const std::vector<core::DevPackage>& packages,
                                     std::stop_token stop) {
            return scanners::PackageRemover::removePackages(packages, {}, std::move(stop));
        };
    if (!services.chooseSaveLocation)
        services.chooseSaveLocation = [](const SavePanelRequest&, SavePanelAnswer answer) {
            answer(std::nullopt);
        };
    if (!services.showErrorAlert)
        services.showErrorAlert = [](const std::string&) {};
    if (!services.reveal)
        services.reveal = [](const std::vector<platform::MacPath>&) {};
    return services;
}

} // namespace veldo::controller
