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
#include <string>
#include <vector>

#include "app/controller/ControllerDurations.h"
#include "app/core/AccessRootKind.h"
#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/core/RunningAppStatus.h"
#include "app/core/ToolchainItem.h"
#include "app/leftovers/CaskInfo.h"
#include "app/removal/AdminMoveResult.h"
#include "app/removal/RestorePoint.h"
#include "app/removal/RestoreReport.h"
#include "app/removal/UninstallOutcome.h"
#include "app/scanners/OrphanScanResult.h"
#include "base/Result.h"
#include "common/RemovalSafety.h"
#include "platform/MacPath.h"
#include "platform/RunningApplications.h"

namespace veldo::controller {

// What the save panel asks for.
struct SavePanelRequest
{
    std::string title;
    std::string proposedName;
    // Extensions without the dot; empty allows any.
    std::vector<std::string> allowedExtensions;
    bool canCreateDirectories = true;
};

struct ControllerServices
{
    // The app's running status now (a /proc reading). GUI thread.
    std::function<core::RunningAppStatus(const core::InstalledApp&)> runningStatus;
    // Whether a file exists at the path, links followed. GUI thread.
    std::function<bool(const platform::MacPath&)> fileExists;
    // The removal-safety verdict on one item. GUI thread.
    std::function<std::optional<common::RemovalSafety::Refusal>(
        const platform::MacPath&, const common::RemovalSafety::PreparedContext&)>
        removalRefusal;

    // The leftovers of one app under the access roots: the leftover scanner with this Mac's
    // per-user folders, installer receipts and application registry. Any thread: the scans run
    // it in the background. A stop through the token fails it with cancelled.
    std::function<Result<std::vector<core::LeftoverItem>>(
        const core::InstalledApp&, const std::vector<core::ScopedAccessRoot>&, std::stop_token)>
        leftoverScan;

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

    // The window's services, which the application installs through installUiServices() before
    // any window exists; until then (and in tests that script none) they do nothing. GUI thread.
    //
    // Shows the items in the file manager.
    std::function<void(const std::vector<platform::MacPath>&)> reveal;
    // Asks where to save a file and answers later through the callback, with none when the user
    // cancels; no nested event loop runs meanwhile.
    std::function<void(const SavePanelRequest&,
                       std::function<void(std::optional<platform::MacPath>)>)>
        savePanel;
    // Shows an error: a title and the sentence under it.
    std::function<void(const std::string& title, const std::string& message)> alert;

    ControllerDurations durations;

    // This object with every empty function replaced by the real service.
    ControllerServices withDefaults() const;
};

} // namespace veldo::controller
