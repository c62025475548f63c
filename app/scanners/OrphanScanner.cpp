// The orphan scan driver: the walk over the location table, its filters, and the grouping.
#include "app/scanners/OrphanScanner.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/core/InstalledAppInventory.h"
#include "app/core/LaunchdJob.h"
#include "app/leftovers/ProtectedLocations.h"
#include "app/scanners/OrphanJudge.h"
#include "app/scanners/OrphanLocation.h"
#include "app/scanners/OrphanMeasure.h"
#include "app/scanners/OrphanSystemState.h"
#include "common/RemovalSafety.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

namespace {

using platform::MacPath;

OrphanScanResult cancelledEmpty()
{
    OrphanScanResult result;
    result.wasCancelled = true;
    return result;
}

// The visible names of a location folder, in byte order.
std::optional<std::vector<std::string>> visibleNames(const MacPath& folder)
{
    auto names = platform::listDirectory(folder);
    if (!names)
        return std::nullopt;
    std::vector<std::string> visible;
    visible.reserve(names->size());
    for (std::string& name : *names) {
        if (!name.starts_with('.'))
            visible.push_back(std::move(name));
    }
    std::sort(visible.begin(), visible.end());
    return visible;
}

// Whether a launch job is still in use: its program is on disk, or an app it names is installed
// or running.
bool jobInUse(const core::LaunchdJob& job, const Judge& judge)
{
    if (job.programPath && job.programPath->starts_with('/') &&
        platform::exists(MacPath(*job.programPath)))
        return true;
    return std::any_of(job.associatedBundleIdentifiers.begin(),
                       job.associatedBundleIdentifiers.end(), [&](const std::string& identifier) {
                           const std::string key = platform::lowercased(identifier);
                           return judge.installed.matches(key) || judge.running.matches(key);
                       });
}

class LocationWalk
{
public:
    LocationWalk(OrphanScanEnvironment environment, const std::stop_token& stop)
        : m_judge(std::move(environment)), m_stop(stop),
          m_safety(common::RemovalSafety::Context{
              m_judge.env.home, m_judge.env.protectedBundles, {}, false})
    {
        if (m_judge.env.systemLibrary)
            m_daemonPrograms = daemonProgramPaths(
                m_judge.env.systemLibrary->appendingPathComponent("LaunchDaemons"));
        for (const std::string& path : m_judge.env.runningExecutablePaths)
            m_runningPaths.push_back(
                platform::lowercased(common::RemovalSafety::normalizedPath(MacPath(path))));
    }

    OrphanScanResult run()
    {
        for (const Location& location : locations(m_judge.env.home, m_judge.env.systemLibrary)) {
            if (m_stop.stop_requested()) {
                m_cancelled = true;
                break;
            }
            if (!walkLocation(location))
                break;
        }
        OrphanScanResult result;
        result.groups = group(std::move(m_found));
        result.unreadableLocations = std::move(m_unreadable);
        result.wasCancelled = m_cancelled;
        return result;
    }

private:
    // False when the walk is to stop altogether.
    bool walkLocation(const Location& location)
    {
        if (!platform::exists(location.url))
            return true;
        auto names = visibleNames(location.url);
        if (!names) {
            m_unreadable.push_back(location.url);
            return true;
        }
        for (const std::string& name : *names) {
            if (m_stop.stop_requested()) {
                m_cancelled = true;
                return false;
            }
            if (!considerEntry(location, name))
                return false;
        }
        return true;
    }

    // False when the measurement was stopped.
    bool considerEntry(const Location& location, const std::string& name)
    {
        const MacPath url = location.url.appendingPathComponent(name);
        std::optional<core::LaunchdJob> job;
        if (location.style == NameStyle::launchPlist)
            job = core::LaunchdJob::fromPlist(url);
        const auto found = candidate(name, location.style, job ? job->label : std::nullopt);
        if (!found)
            return true;
        const Verdict verdict = m_judge.judge(*found, location);
        if (verdict.isClaimed())
            return true;
        if (job && jobInUse(*job, m_judge))
            return true;
        const std::string path = platform::lowercased(common::RemovalSafety::normalizedPath(url));
        if (location.style == NameStyle::helperTool && m_daemonPrograms.contains(path))
            return true;
        if (!m_taken.insert(path).second)
            return true;
        if (common::removalRefusal(url, m_safety))
            return true;
        if (leftovers::LeftoverScanner::isProtectedLocation(url, {}, m_judge.env.home))
            return true;
        if (containsAnyPath(path, m_runningPaths))
            return true;

        const auto measured = measure(url, m_stop);
        if (!measured) {
            m_cancelled = true;
            return false;
        }
        auto [confidence, reason] =
            m_judge.applyingStaleness(verdict.confidence, verdict.reason, measured->lastModified);
        if (measured->containsAppBundle && confidence == core::MatchConfidence::medium) {
            reason += " Review first: it contains an app bundle.";
            confidence = core::MatchConfidence::low;
        }
        core::LeftoverCategory category = location.category;
        if (location.style == NameStyle::httpStorage &&
            platform::lowercased(url.pathExtension()) == "binarycookies")
            category = core::LeftoverCategory::cookies;

        OrphanFinding finding{
            core::LeftoverItem{url, category, measured->bytes, location.requiresAdmin, confidence},
            measured->lastModified, std::move(reason)};
        m_found.push_back(FoundOrphan{*found, std::move(finding)});
        return true;
    }

    Judge m_judge;
    const std::stop_token& m_stop;
    common::RemovalSafety::PreparedContext m_safety;
    std::unordered_set<std::string> m_daemonPrograms;
    std::vector<std::string> m_runningPaths;
    std::unordered_set<std::string> m_taken;
    std::vector<MacPath> m_unreadable;
    std::vector<FoundOrphan> m_found;
    bool m_cancelled = false;
};

} // namespace

OrphanScanResult scan(const std::optional<std::vector<core::InstalledApp>>& installedApps,
                      const std::stop_token& stop, const OrphanScanEnvironment::Sources& sources)
{
    if (stop.stop_requested())
        return cancelledEmpty();
    std::vector<core::InstalledApp> apps;
    if (installedApps) {
        apps = *installedApps;
    } else {
        core::InventorySources inventorySources;
        if (sources.runningApplications)
            inventorySources.running = sources.runningApplications;
        if (sources.clock)
            inventorySources.clock = sources.clock;
        auto listed =
            core::InstalledAppInventory::scan(defaultAccessRoots(),
                                              /*includeSystemApps=*/true, inventorySources, stop);
        // The inventory fails only when stopped. Scanning without the installed apps would
        // offer their files as orphans, so a failed listing never goes on to the scan.
        if (!listed || stop.stop_requested())
            return cancelledEmpty();
        apps = std::move(*listed);
    }
    return scan(OrphanScanEnvironment::build(apps, stop, sources), stop);
}

OrphanScanResult scan(OrphanScanEnvironment environment, const std::stop_token& stop)
{
    return LocationWalk(std::move(environment), stop).run();
}

std::vector<OrphanGroup> group(std::vector<FoundOrphan> found)
{
    std::stable_sort(found.begin(), found.end(), [](const FoundOrphan& a, const FoundOrphan& b) {
        return a.candidate.key.size() < b.candidate.key.size();
    });

    // Group keys never lie below one another (a key below an earlier one joins it), so a key has
    // at most one group key among itself and its parents at a ".".
    std::vector<OrphanGroup> groups;
    std::unordered_map<std::string, std::size_t> groupOfKey;
    for (FoundOrphan& orphan : found) {
        const std::string& key = orphan.candidate.key;
        std::optional<std::size_t> index;
        for (std::size_t dot = key.find('.'); dot != std::string::npos && !index;
             dot = key.find('.', dot + 1)) {
            if (auto it = groupOfKey.find(key.substr(0, dot)); it != groupOfKey.end())
                index = it->second;
        }
        if (!index) {
            if (auto it = groupOfKey.find(key); it != groupOfKey.end())
                index = it->second;
        }
        if (!index) {
            index = groups.size();
            groupOfKey.emplace(key, *index);
            groups.push_back(OrphanGroup{orphan.candidate.id, {}, {}});
        }
        groups[*index].findings.push_back(std::move(orphan.finding));
    }

    for (OrphanGroup& g : groups) {
        std::stable_sort(g.findings.begin(), g.findings.end(),
                         [](const OrphanFinding& a, const OrphanFinding& b) {
                             const auto ca = static_cast<int>(a.item.category);
                             const auto cb = static_cast<int>(b.item.category);
                             if (ca != cb)
                                 return ca < cb;
                             return a.item.sizeBytes > b.item.sizeBytes;
                         });
        g.displayName = displayName(g.bundleID);
    }

    struct Ranked
    {
        core::MatchConfidence confidence;
        std::int64_t bytes;
        OrphanGroup group;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(groups.size());
    for (OrphanGroup& g : groups)
        ranked.push_back(Ranked{g.confidence(), g.totalBytes(), std::move(g)});
    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.confidence != b.confidence)
            return a.confidence < b.confidence;
        return a.bytes > b.bytes;
    });
    std::vector<OrphanGroup> sorted;
    sorted.reserve(ranked.size());
    for (Ranked& r : ranked)
        sorted.push_back(std::move(r.group));
    return sorted;
}

} // namespace veldo::scanners::OrphanScanner
