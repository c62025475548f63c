// OrphanScanEnvironment: the one snapshot per orphan scan of what is present on the Mac — the
// identifiers, signing teams and application groups of installed software, what runs, which
// launchd jobs are loaded, and the app's own bundle — that the judge and the location walk read.
//
// build() blocks on the file system and on two launchctl runs, on the scan's own thread; it
// never fails: what can't be read contributes nothing, and labels that can't be read are absent.
// A stop requested through `stop` ends the gathering of bundles (and the walks inside it); the
// build then completes with what it found. The built value is immutable; its two functions may
// be called from any thread and keep no state (they use the registry given to build(), which
// must outlive the environment).
#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/core/InstalledApp.h"
#include "platform/ApplicationRegistry.h"
#include "platform/Clock.h"
#include "platform/MacPath.h"
#include "platform/RunningApplications.h"

namespace veldo::scanners {

struct OrphanScanEnvironment
{
    // 30 days: how long a file must have been left alone to count as stale.
    static constexpr double kStaleInterval = 2592000;

    platform::MacPath home; // the real user's home folder
    // "/Library" when built; when absent the system folders are not walked.
    std::optional<platform::MacPath> systemLibrary;
    std::unordered_set<std::string> installedBundleIDs; // lower-cased, none empty
    std::unordered_set<std::string> installedTeamIDs;   // upper-cased
    std::unordered_set<std::string> installedAppGroups; // lower-cased
    std::unordered_set<std::string> runningBundleIDs;   // lower-cased
    std::vector<std::string> runningExecutablePaths;    // as read, in process order
    // Lower-cased; absent when they could not be read (unlike an empty set: none loaded).
    std::optional<std::unordered_set<std::string>> loadedLaunchdLabels;
    // Whether the application registry knows an app with this identifier outside a Trash.
    std::function<bool(std::string_view)> isRegisteredWithLaunchServices;
    // Whether a tool of that name is on the tool search path (placeholder tools don't count).
    std::function<bool(std::string_view)> isCommandInstalled;
    std::vector<platform::MacPath> protectedBundles; // the app's own bundle
    std::optional<std::string> ownBundleID;          // lower-cased
    core::Date now;
    double staleInterval = kStaleInterval;

    // Where build() asks; null members mean the system's own.
    struct Sources
    {
        const platform::ApplicationRegistry* registry = nullptr;
        const platform::RunningApplicationSource* runningApplications = nullptr;
        const platform::Clock* clock = nullptr;
    };

    // Builds the snapshot from the installed-app list: the bundle identifiers, embedded
    // identifiers and signing of the apps, of the hidden and nested apps (appBundles) and of
    // the bundles of "/Library" and the home's "Library" (libraryBundles), in that order, plus
    // the apps' own identifiers; the running applications and executables; the loaded launchd
    // labels; the main bundle; the time.
    static OrphanScanEnvironment build(const std::vector<core::InstalledApp>& installedApps,
                                       const std::stop_token& stop, const Sources& sources);
    // The same, asking the system's own sources.
    static OrphanScanEnvironment build(const std::vector<core::InstalledApp>& installedApps,
                                       const std::stop_token& stop = {});
};

} // namespace veldo::scanners
