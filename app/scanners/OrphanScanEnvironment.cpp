// Building the orphan scan's snapshot of the Mac.
#include "app/scanners/OrphanScanEnvironment.h"

#include "app/core/CommandRunner.h"
#include "app/leftovers/LeftoverScanner.h"
#include "app/leftovers/NameText.h"
#include "app/scanners/OrphanBundleWalk.h"
#include "app/scanners/OrphanSystemState.h"
#include "platform/Home.h"
#include "platform/MainBundle.h"
#include "platform/Unicode.h"

namespace veldo::scanners {

namespace {

using platform::MacPath;

std::unordered_set<std::string> lowerCasedAll(const std::unordered_set<std::string>& values)
{
    std::unordered_set<std::string> out;
    for (const std::string& value : values)
        out.insert(platform::lowercased(value));
    return out;
}

bool isInsideTrash(const MacPath& url)
{
    const std::string path = platform::lowercased(url.standardized().path());
    return path.find("/.trash/") != std::string::npos ||
           path.find("/.trashes/") != std::string::npos;
}

} // namespace

OrphanScanEnvironment
OrphanScanEnvironment::build(const std::vector<core::InstalledApp>& installedApps,
                             const std::stop_token& stop)
{
    return build(installedApps, stop, Sources{});
}

OrphanScanEnvironment
OrphanScanEnvironment::build(const std::vector<core::InstalledApp>& installedApps,
                             const std::stop_token& stop, const Sources& sources)
{
    const platform::ApplicationRegistry& registry =
        sources.registry ? *sources.registry : platform::systemApplicationRegistry();
    const platform::RunningApplicationSource& running =
        sources.runningApplications ? *sources.runningApplications
                                    : platform::ProcRunningApplications::shared();
    const platform::Clock& clock = sources.clock ? *sources.clock : platform::SystemClock::shared();

    OrphanScanEnvironment env;
    env.home = platform::homeDirectory();

    std::vector<MacPath> bundles;
    bundles.reserve(installedApps.size());
    for (const core::InstalledApp& app : installedApps)
        bundles.push_back(app.url);
    for (MacPath& bundle : OrphanScanner::appBundles(env.home, stop))
        bundles.push_back(std::move(bundle));
    for (MacPath& bundle : OrphanScanner::libraryBundles(
             {MacPath("/Library"), env.home.appendingPathComponent("Library")}, stop))
        bundles.push_back(std::move(bundle));

    std::unordered_set<std::string> identifiers;
    std::unordered_set<std::string> teams;
    std::unordered_set<std::string> groups;
    for (const MacPath& bundle : bundles) {
        if (stop.stop_requested())
            break;
        if (auto identifier = OrphanScanner::bundleIdentifier(bundle))
            identifiers.insert(std::move(*identifier));
        identifiers.merge(leftovers::LeftoverScanner::embeddedBundleIDs(bundle));
        auto signing = OrphanScanner::signingInfo(bundle);
        if (signing.teamID)
            teams.insert(std::move(*signing.teamID));
        groups.merge(signing.appGroups);
    }
    for (const core::InstalledApp& app : installedApps) {
        if (app.bundleID)
            identifiers.insert(*app.bundleID);
    }

    std::unordered_set<std::string> runningIdentifiers;
    for (const platform::RunningApplication& app : running.runningApplications()) {
        if (app.bundleIdentifier)
            runningIdentifiers.insert(*app.bundleIdentifier);
    }
    env.runningExecutablePaths = OrphanScanner::runningExecutablePaths();
    auto labels = OrphanScanner::loadedLaunchdLabels();

    env.protectedBundles = {platform::mainBundleURL()};
    if (const std::string own = platform::mainBundleIdentifier(); !own.empty())
        env.ownBundleID = platform::lowercased(own);
    env.now = clock.now();
    env.systemLibrary = MacPath("/Library");

    for (const std::string& identifier : identifiers) {
        if (!identifier.empty())
            env.installedBundleIDs.insert(platform::lowercased(identifier));
    }
    for (const std::string& team : teams)
        env.installedTeamIDs.insert(platform::uppercased(team));
    env.installedAppGroups = lowerCasedAll(groups);
    env.runningBundleIDs = lowerCasedAll(runningIdentifiers);
    if (labels)
        env.loadedLaunchdLabels = lowerCasedAll(*labels);

    env.isRegisteredWithLaunchServices = [registry = &registry](std::string_view identifier) {
        for (const MacPath& url : registry->applicationURLs(identifier)) {
            if (!isInsideTrash(url))
                return true;
        }
        return false;
    };
    env.isCommandInstalled = [](std::string_view name) {
        return core::CommandRunner::which(name, *core::CommandRunner::searchPath(), false)
            .has_value();
    };
    env.staleInterval = kStaleInterval;
    return env;
}

} // namespace veldo::scanners
