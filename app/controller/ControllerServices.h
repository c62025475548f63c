// ControllerServices: the services the controller calls, one function each; the test seam.
//
// A controller fills every empty member with the real service (withDefaults()), so production
// code passes an empty object and a test replaces only what it scripts. Which thread calls
// each function is said beside it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "app/controller/ControllerDurations.h"
#include "app/controller/LibraryWatcherSession.h"
#include "app/controller/RemovalVerdicts.h"
#include "app/controller/SavePanelRequest.h"
#include "app/core/AccessRootKind.h"
#include "app/core/DevPackage.h"
#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/core/RunningAppStatus.h"
#include "app/core/ToolchainItem.h"
#include "app/leftovers/CaskInfo.h"
#include "app/leftovers/FolderListingCache.h"
#include "app/leftovers/HomebrewCaskUninstall.h"
#include "app/removal/AdminMoveResult.h"
#include "app/removal/RestorePoint.h"
#include "app/removal/RestoreReport.h"
#include "app/removal/UninstallOutcome.h"
#include "app/scanners/OrphanScanResult.h"
#include "app/scanners/PackageRemoverResult.h"
#include "base/Result.h"
#include "common/RemovalSafety.h"
#include "platform/MacPath.h"
#include "platform/RunningApplications.h"

namespace veldo::controller {

struct ControllerServices
{
    // The app's running status now (a /proc reading). GUI thread.
    std::function<core::RunningAppStatus(const core::InstalledApp&)> runningStatus;
    // Whether a file exists at the path, links followed. GUI thread.
    std::function<bool(const platform::MacPath&)> fileExists;
    // The removal-safety verdict on one item. Any thread: the orphan scan judges its findings
    // in the background.
    RemovalVerdicts::Check removalRefusal;

    // The leftovers of one app under the access roots: the leftover scanner with this Mac's
    // per-user folders, installer receipts and application registry. Any thread: the scans run
    // it in the background. A stop through the token fails it with cancelled.
    std::function<Result<std::vector<core::LeftoverItem>>(
        const core::InstalledApp&, const std::vector<core::ScopedAccessRoot>&, std::stop_token)>
        leftoverScan;
    // The same scan for one app of a batch: the scans of one batch share `listings`, so that
    // each Library folder is read once for all of them (see leftovers/FolderListingCache.h).
    // Any thread, several at once. A controller given a leftoverScan but no batchLeftoverScan
    // runs the given leftoverScan here (a test's scripted scan), without the listings.
    std::function<Result<std::vector<core::LeftoverItem>>(
        const core::InstalledApp&, const std::vector<core::ScopedAccessRoot>&,
        leftovers::FolderListingCache& listings, std::stop_token)>
        batchLeftoverScan;

    // The installed apps under the access roots (the inventory), system apps too when asked. Any
    // thread. A stop through the token fails it with cancelled.
    std::function<Result<std::vector<core::InstalledApp>>(
        const std::vector<core::ScopedAccessRoot>&, bool includeSystemApps, std::stop_token)>
        appScan;
    // One bundle on its own (a dropped or opened item); none when it is not an app. GUI thread.
    std::function<std::optional<core::InstalledApp>(const platform::MacPath&)> loadApp;
    // Asks every running instance of the app and its helper applications to quit. GUI thread.
    std::function<void(const core::InstalledApp&)> requestQuit;
    // One reading of the running applications, to judge several apps by. Any thread.
    std::function<std::shared_ptr<const platform::RunningApplicationSource>()> runningApplications;
    // The index of the installed Homebrew casks (brew may run). Any thread. A stop fails it
    // with cancelled.
    std::function<Result<leftovers::CaskIndex>(bool force, std::stop_token)> loadCaskIndex;

    // The orphan scan, over the given apps or, without a list, the installed apps it collects
    // itself. Any thread. A stop answers a result marked cancelled.
    std::function<scanners::OrphanScanResult(const std::optional<std::vector<core::InstalledApp>>&,
                                             std::stop_token)>
        orphanScan;
    // The developer tools' footprint under the home folder. Any thread.
    std::function<std::vector<core::ToolchainGroup>(const platform::MacPath& home, std::stop_token)>
        toolchainScan;

    // Removals and Undo. Each blocks and runs on toolPool; the token is the shutdown token.
    //
    // The Trash run with the user's own rights (the Trash executor).
    std::function<removal::UninstallOutcome(
        const std::vector<core::LeftoverItem>&, const common::RemovalSafety::Context&,
        const std::vector<core::ScopedAccessRoot>&, std::stop_token)>
        trashRun;
    // Whether the privileged helper may be used (standard defaults, the helper daemon's service).
    std::function<bool(std::stop_token)> helperUsable;
    // The administrator move of what the user's rights could not move.
    std::function<removal::AdminRemover::MoveResult(const std::vector<platform::MacPath>&,
                                                    const common::RemovalSafety::Context&,
                                                    std::stop_token)>
        adminMove;
    // launchctl bootout (respectively bootstrap) of user launch agents in the user's domain.
    std::function<void(const std::vector<platform::MacPath>&, std::stop_token)> bootOutAgents;
    std::function<void(const std::vector<platform::MacPath>&, std::stop_token)> bootstrapAgents;
    // The Undo executor.
    std::function<removal::RestoreReport(const std::vector<removal::RestorePoint>&,
                                         const std::vector<core::ScopedAccessRoot>&,
                                         std::stop_token)>
        undo;
    // App-library events, Homebrew, developer packages and the report's panel.
    //
    // Makes the app-library watcher with its default folders, workspace observation on and the
    // given debounce, asks for its stream, then starts it. GUI thread.
    std::function<LibraryWatcherSession(std::chrono::milliseconds debounce)> libraryWatcher;
    // The registered application bundles with this identifier (case ignored). Any thread.
    std::function<std::vector<platform::MacPath>(const std::string& bundleID)> applicationURLs;
    // The bounded metadata search for bundles with this identifier. Any thread; blocks up to
    // the time-out or the stop.
    std::function<std::vector<platform::MacPath>(
        const std::string& bundleID, std::chrono::milliseconds timeout, std::stop_token)>
        spotlightCopies;
    // Homebrew's uninstall of a cask. Any thread; blocks while brew runs.
    std::function<Result<leftovers::HomebrewCasks::UninstallResult>(
        const std::string& token, leftovers::HomebrewCasks::Zap, std::stop_token)>
        caskUninstall;
    // The installed packages of every package manager. Any thread.
    std::function<std::vector<core::PackageGroup>(std::stop_token)> packageScan;
    // Uninstalls the packages one after another through their managers. Any thread.
    std::function<scanners::PackageRemover::Result(const std::vector<core::DevPackage>&,
                                                   std::stop_token)>
        packageRemoval;
    // Opens a save panel and returns at once; the answer comes later through the callback (no
    // nested event loop). Until the windows install theirs, it answers none. GUI thread.
    std::function<void(const SavePanelRequest&, SavePanelAnswer)> chooseSaveLocation;
    // Shows an alert with the sentence of a failure. GUI thread; returns at once.
    std::function<void(const std::string& message)> showErrorAlert;
    // Shows the items selected in a file-manager window. GUI thread; returns at once.
    std::function<void(const std::vector<platform::MacPath>&)> reveal;

    ControllerDurations durations;

    // This object with every empty function replaced by the real service.
    ControllerServices withDefaults() const;
};

} // namespace veldo::controller
