// UninstallViewModel: the app list and leftover scans, the selection, drops, opening apps and
// quit, and the orphan and developer scans.
#include <algorithm>
#include <iterator>
#include <unordered_set>
#include <utility>

#include "app/controller/UninstallViewModel.h"
#include "app/core/InstalledAppInventory.h"
#include "app/core/TrashNoticeGate.h"
#include "platform/Home.h"
#include "platform/Inflection.h"
#include "platform/SecurityScopedAccess.h"
#include "platform/Unicode.h"

namespace veldo::controller {

namespace {

constexpr std::string_view kNotAnApplicationNotice = "That item isn't a macOS application.";

IdSet idsOf(const std::vector<core::InstalledApp>& apps)
{
    IdSet ids;
    for (const core::InstalledApp& app : apps)
        ids.insert(app.id());
    return ids;
}

} // namespace

template <typename R>
Task<R> UninstallViewModel::backgroundScan(std::function<R(std::stop_token)> work,
                                           bool stopsOnCancel)
{
    const TaskHandle self = co_await thisTask();
    std::stop_token stop = stopsOnCancel ? self->stopToken(shutdownToken()) : shutdownToken();
    auto job = [work = std::move(work), stop = std::move(stop)] { return work(stop); };
    co_return co_await inBackground(m_scanPool, std::move(job));
}

void UninstallViewModel::publishBatchResults(std::vector<BatchAppResult> value)
{
    forgetVerdicts();
    assignAlways(m_batchResults, std::move(value), &UninstallViewModel::batchResultsChanged);
}

void UninstallViewModel::publishOrphanResult(scanners::OrphanScanResult value,
                                             RemovalVerdicts verdicts)
{
    adoptVerdicts(std::move(verdicts));
    assignAlways(m_orphanResult, std::move(value), &UninstallViewModel::orphanResultChanged);
}

void UninstallViewModel::publishToolchainGroups(std::vector<core::ToolchainGroup> value)
{
    assignAlways(m_toolchainGroups, std::move(value), &UninstallViewModel::toolchainGroupsChanged);
}

void UninstallViewModel::emptyLeftoverCache()
{
    if (!m_leftoverCache.empty())
        setLeftoverCache({});
    setLeftoverCacheGeneration(m_leftoverCacheGeneration + 1);
}

QUuid UninstallViewModel::supersedeScan(const TaskHandle& task,
                                        void (UninstallViewModel::*setToken)(QUuid))
{
    if (task)
        task->cancel();
    QUuid token = QUuid::createUuid();
    (this->*setToken)(token);
    return token;
}

Task<void> UninstallViewModel::scanApps()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const QUuid token = supersedeScan(m_appsTask, &UninstallViewModel::setAppsScanToken);
    if (!hasGrantedAccess(core::AccessRootKind::applications) &&
        !hasGrantedAccess(core::AccessRootKind::userApplications)) {
        setIsScanningApps(false);
        setApps({});
        clearDetail();
        co_return;
    }
    setIsScanningApps(true);

    using AppList = Result<std::vector<core::InstalledApp>>;
    auto scan = [service = m_services.appScan, roots = m_grantedAccess,
                 includeSystemApps = m_includeSystemApps](std::stop_token stop) {
        return service(roots, includeSystemApps, std::move(stop));
    };
    Task<AppList> task = backgroundScan<AppList>(std::move(scan), false);
    setAppsTask(task.handle());
    AppList result = co_await task;

    if (m_appsScanToken != token)
        co_return;
    setAppsTask(nullptr);
    if (!result) {
        // Only a stop fails the inventory; the list shown stays what it was.
        setIsScanningApps(false);
        co_return;
    }
    setApps(std::move(*result));
    setIsScanningApps(false);
    emptyLeftoverCache();
    pruneSelections();
    refreshCaskIndex(false);
}

void UninstallViewModel::pruneSelections()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const IdSet listed = idsOf(m_apps);
    const std::optional<std::string> detailID =
        m_detailApp ? std::optional<std::string>(m_detailApp->id()) : std::nullopt;

    IdSet selected = m_selectedAppIDs;
    std::erase_if(selected, [&](const std::string& id) {
        return !selectionSurvivesAppScan(id, listed, detailID);
    });
    setSelectedAppIDs(std::move(selected));

    if (m_selectedAppID && !listed.contains(*m_selectedAppID) && m_selectedAppID != detailID)
        clearDetail();

    IdSet included = m_batchIncludedIDs;
    std::erase_if(included, [&](const std::string& id) { return !listed.contains(id); });
    setBatchIncludedIDs(std::move(included));

    std::vector<BatchAppResult> results = m_batchResults;
    std::erase_if(results,
                  [&](const BatchAppResult& result) { return !listed.contains(result.app.id()); });
    publishBatchResults(std::move(results));
}

void UninstallViewModel::clearDetail()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_leftoverTask) {
        m_leftoverTask->cancel();
        setLeftoverTask(nullptr);
    }
    setLeftoverScanToken(QUuid::createUuid());
    setIsScanningLeftovers(false);
    setSelectedAppID(std::nullopt);
    setDetailApp(std::nullopt);
    setLeftovers({});
    setSelectedLeftoverIDs({});
}

Task<void> UninstallViewModel::showApp(core::InstalledApp app)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setDropNotice(std::nullopt);
    setSelectedAppID(app.id());
    setSelectedAppIDs(IdSet{app.id()});
    setDetailApp(app);
    setDetailAppLocation(detailAppLocation(app));
    setRunningStatus(m_services.runningStatus(app));
    co_await loadLeftovers(std::move(app));
}

IdSet UninstallViewModel::defaultLeftoverSelection(
    const std::vector<core::LeftoverItem>& items) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    IdSet ids;
    for (const core::LeftoverItem& item : items) {
        if (item.requiresAdmin && !m_settings->includeAdminRequiredByDefault())
            continue;
        if (!isLetThrough(item.url))
            continue;
        bool selected = false;
        switch (item.confidence) {
        case core::MatchConfidence::certain:
        case core::MatchConfidence::high:
            selected = true;
            break;
        case core::MatchConfidence::medium:
            selected = m_settings->selectMediumConfidence();
            break;
        case core::MatchConfidence::low:
            selected = m_settings->selectLowConfidence();
            break;
        }
        if (selected)
            ids.insert(item.id());
    }
    return ids;
}

Task<void> UninstallViewModel::loadLeftovers(core::InstalledApp app)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const QUuid token = supersedeScan(m_leftoverTask, &UninstallViewModel::setLeftoverScanToken);
    setIsScanningLeftovers(true);
    setLeftovers({});
    setSelectedLeftoverIDs({});
    const std::int64_t generation = m_leftoverCacheGeneration;

    using Items = Result<std::vector<core::LeftoverItem>>;
    auto scan = [service = m_services.leftoverScan, app, roots = m_grantedAccess](
                    std::stop_token stop) { return service(app, roots, std::move(stop)); };
    Task<Items> task = backgroundScan<Items>(std::move(scan), true);
    const TaskHandle handle = task.handle();
    setLeftoverTask(handle);
    Items result = co_await task;

    std::vector<core::LeftoverItem> items;
    if (result) {
        items = std::move(*result);
        if (core::isInTrash(app.url, platform::homeDirectory()))
            items = removingAppBundle(app.url, items);
    }
    if (m_leftoverScanToken != token || handle->isCancelled())
        co_return;
    setLeftoverTask(nullptr);
    if (result && m_leftoverCacheGeneration == generation) {
        LeftoverCache cache = m_leftoverCache;
        cache[app.id()] = items;
        setLeftoverCache(std::move(cache));
    }
    // A detail that says its app was not found promises that nothing is ticked for it.
    const bool notFound = m_detailAppLocation == DetailAppLocation::notFound && m_detailApp &&
                          m_detailApp->id() == app.id();
    setLeftovers(std::move(items));
    // Judged once the list is in place: its verdicts then serve the views too.
    setSelectedLeftoverIDs(notFound ? IdSet{} : defaultLeftoverSelection(m_leftovers));
    setIsScanningLeftovers(false);
}

Task<void> UninstallViewModel::scanLeftovers()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const std::optional<core::InstalledApp> app = selectedApp();
    if (!app)
        co_return;
    if (m_leftoverCache.contains(app->id())) {
        LeftoverCache cache = m_leftoverCache;
        cache.erase(app->id());
        setLeftoverCache(std::move(cache));
    }
    setRunningStatus(m_services.runningStatus(*app));
    co_await loadLeftovers(*app);
}

void UninstallViewModel::detailAppTrashed(core::WatchedAppBundle bundle)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (selectedApps().size() > 1 || !m_detailApp || m_selectedAppID != m_detailApp->id() ||
        m_detailAppLocation != DetailAppLocation::installed || m_isRemoving || m_isUndoing)
        return;
    const core::InstalledApp detail = *m_detailApp;

    bool matches = false;
    if (bundle.originalURL)
        matches = bundle.originalURL->standardized().path() == detail.url.standardized().path();
    else if (bundle.bundleID && detail.bundleID)
        matches = platform::lowercased(*bundle.bundleID) == platform::lowercased(*detail.bundleID);
    if (!matches || m_services.fileExists(detail.url))
        return;

    if (bundle.trashURL) {
        if (std::optional<core::InstalledApp> trashed = m_services.loadApp(*bundle.trashURL)) {
            showApp(std::move(*trashed)).detach();
            return;
        }
    }
    setDetailAppLocation(DetailAppLocation::removed);
    loadLeftovers(detail).detach();
}

Task<void> UninstallViewModel::refreshDetailLocation()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (selectedApps().size() > 1 || !m_detailApp || m_selectedAppID != m_detailApp->id() ||
        m_isRemoving || m_isUndoing)
        co_return;
    const core::InstalledApp detail = *m_detailApp;
    const DetailAppLocation now = detailAppLocation(detail);
    const DetailAppLocation before = m_detailAppLocation;

    if (before == DetailAppLocation::notFound && now == DetailAppLocation::removed)
        co_return;
    if (before == now)
        co_return;
    if (before == DetailAppLocation::inTrash && now == DetailAppLocation::removed &&
        detail.bundleID) {
        const std::string wanted = platform::lowercased(*detail.bundleID);
        for (const core::InstalledApp& app : m_apps) {
            if (app.bundleID && platform::lowercased(*app.bundleID) == wanted &&
                m_services.fileExists(app.url)) {
                co_await showApp(app);
                co_return;
            }
        }
    }
    setDetailAppLocation(now);
    co_await loadLeftovers(detail);
}

Task<void> UninstallViewModel::selectApps(IdSet ids)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (ids.size() >= 2)
        std::erase_if(ids, [](const std::string& id) { return toolSelectionIDs().contains(id); });
    const IdSet listed = idsOf(m_apps);
    const std::optional<std::string> detailID =
        m_detailApp ? std::optional<std::string>(m_detailApp->id()) : std::nullopt;
    IdSet kept = ids;
    std::erase_if(kept, [&](const std::string& id) {
        return !selectionSurvivesSelectionChange(id, listed, detailID, ids);
    });
    setSelectedAppIDs(kept);

    if (kept.size() >= 2) {
        clearDetail();
        co_await scanBatch();
        co_return;
    }
    std::optional<core::InstalledApp> shown;
    if (kept.size() == 1 && !toolSelectionIDs().contains(*kept.begin())) {
        const std::string& id = *kept.begin();
        const auto listedApp = std::ranges::find_if(
            m_apps, [&](const core::InstalledApp& app) { return app.id() == id; });
        if (listedApp != m_apps.end())
            shown = *listedApp;
        else if (m_detailApp && m_detailApp->id() == id)
            shown = m_detailApp;
    }
    if (!shown) {
        clearDetail();
        clearBatch();
        co_return;
    }
    clearBatch();
    co_await showApp(std::move(*shown));
}

Task<void> UninstallViewModel::openApps(std::vector<platform::MacPath> urls)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<platform::MacPath> appURLs;
    std::ranges::copy_if(urls, std::back_inserter(appURLs),
                         [](const platform::MacPath& url) { return url.pathExtension() == "app"; });
    if (appURLs.empty()) {
        if (!urls.empty())
            setDropNotice(std::string(kNotAnApplicationNotice));
        co_return;
    }

    if (m_isScanningApps) {
        const TaskHandle self = co_await thisTask();
        while (m_isScanningApps && !self->isCancelled())
            co_await sleepFor(m_services.durations.openAppsPollInterval);
    } else if (m_apps.empty()) {
        co_await scanApps();
    }

    if (appURLs.size() >= 2) {
        std::unordered_set<std::string> wanted;
        for (const platform::MacPath& url : appURLs)
            wanted.insert(url.standardized().path());
        IdSet matched;
        for (const core::InstalledApp& app : m_apps)
            if (wanted.contains(app.url.standardized().path()))
                matched.insert(app.id());
        if (matched.size() >= 2) {
            const std::size_t leftOut = appURLs.size() - matched.size();
            co_await selectApps(std::move(matched));
            if (leftOut >= 1)
                setDropNotice(
                    "Left out " +
                    platform::pluralizedCount(static_cast<std::int64_t>(leftOut), "dropped app") +
                    " that Veldo hasn\u2019t listed. Drop apps from other folders one "
                    "at a time to scan them.");
            co_return;
        }
    }

    co_await handleDrop(appURLs.front());
    if (appURLs.size() >= 2 && !m_dropNotice)
        setDropNotice("Only \u201C" + appURLs.front().deletingPathExtension().lastPathComponent() +
                      "\u201D was opened. Select several apps in the sidebar with \u2318-click to "
                      "remove them together.");
}

Task<void> UninstallViewModel::handleDrop(platform::MacPath url)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const platform::MacPath dropped = url.standardized();
    std::optional<core::InstalledApp> shown;
    for (const core::InstalledApp& app : m_apps)
        if (app.url.standardized() == dropped) {
            shown = app;
            break;
        }

    // Held across the leftover scan; a frame destroyed at shutdown still stops it.
    std::optional<platform::SecurityScopedAccess> access;
    if (!shown) {
        access.emplace(dropped);
        shown = m_services.loadApp(dropped);
        if (!shown) {
            setDropNotice(std::string(kNotAnApplicationNotice));
            co_return;
        }
        if (std::ranges::none_of(
                m_apps, [&](const core::InstalledApp& app) { return app.id() == shown->id(); })) {
            std::vector<core::InstalledApp> apps = m_apps;
            apps.push_back(*shown);
            core::InstalledAppInventory::sortByName(apps);
            setApps(std::move(apps));
        }
    }
    co_await showApp(*shown);

    const common::RemovalSafety::PreparedContext context(removalSafetyContext());
    const std::optional<common::RemovalSafety::Refusal> refusal =
        m_services.removalRefusal(shown->url, context);
    setDropNotice(refusal ? std::optional<std::string>(common::removalRefusalMessage(*refusal))
                          : std::nullopt);
}

Task<void> UninstallViewModel::quitAndRescan()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const std::optional<core::InstalledApp> app = selectedApp();
    if (!app)
        co_return;
    m_services.requestQuit(*app);
    // What still runs is shown by the rescan; the wait's answer adds nothing.
    std::vector<core::InstalledApp> quitting{*app};
    Task<QuitWaitResult> wait =
        waitForAppsToQuit(std::move(quitting), m_services.durations.quitWaitTimeout);
    co_await wait;
    if (m_selectedAppID != app->id())
        co_return;
    setRunningStatus(m_services.runningStatus(*app));
    co_await scanLeftovers();
}

void UninstallViewModel::clearBatch()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_batchTask) {
        m_batchTask->cancel();
        setBatchTask(nullptr);
    }
    setBatchScanToken(QUuid::createUuid());
    setIsScanningBatch(false);
    publishBatchResults({});
    setBatchIncludedIDs({});
}

Task<void> UninstallViewModel::scanOrphans()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const QUuid token = supersedeScan(m_orphanTask, &UninstallViewModel::setOrphanScanToken);
    setIsScanningOrphans(true);
    setSelectedOrphanIDs({});

    std::optional<std::vector<core::InstalledApp>> apps;
    if (m_includeSystemApps && !m_apps.empty())
        apps = m_apps;
    // The findings are judged for removal safety on the scan's thread, under the context of the
    // scan's start; the verdicts count only if that is still the context when the result lands.
    using Judged = std::pair<scanners::OrphanScanResult, RemovalVerdicts>;
    auto scan = [service = m_services.orphanScan, check = m_services.removalRefusal,
                 apps = std::move(apps), context = removalSafetyContext()](std::stop_token stop) {
        scanners::OrphanScanResult result = service(apps, stop);
        std::vector<platform::MacPath> urls;
        for (const core::LeftoverItem& item : scanners::OrphanGroup::allItems(result.groups))
            urls.push_back(item.url);
        RemovalVerdicts verdicts = RemovalVerdicts::judge(urls, context, check, stop);
        return Judged(std::move(result), std::move(verdicts));
    };
    Task<Judged> task = backgroundScan<Judged>(std::move(scan), true);
    const TaskHandle handle = task.handle();
    setOrphanTask(handle);
    auto [result, verdicts] = co_await task;

    if (m_orphanScanToken != token || handle->isCancelled())
        co_return;
    setOrphanTask(nullptr);
    const bool cancelled = result.wasCancelled;
    publishOrphanResult(std::move(result), std::move(verdicts));
    setHasScannedOrphans(!cancelled);
    setSelectedOrphanIDs({});
    setIsScanningOrphans(false);
}

Task<void> UninstallViewModel::scanDeveloper()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const QUuid token = supersedeScan(m_developerTask, &UninstallViewModel::setDeveloperScanToken);
    setIsScanningDeveloper(true);
    publishToolchainGroups({});
    setSelectedToolchainIDs({});

    using Groups = std::vector<core::ToolchainGroup>;
    auto scan = [service = m_services.toolchainScan, home = platform::homeDirectory()](
                    std::stop_token stop) { return service(home, std::move(stop)); };
    Task<Groups> task = backgroundScan<Groups>(std::move(scan), false);
    const TaskHandle handle = task.handle();
    setDeveloperTask(handle);
    Groups groups = co_await task;

    if (m_developerScanToken != token || handle->isCancelled())
        co_return;
    setDeveloperTask(nullptr);
    IdSet caches;
    for (const core::ToolchainGroup& group : groups)
        for (const core::ToolchainItem& item : group.items)
            if (item.isCache)
                caches.insert(item.id());
    publishToolchainGroups(std::move(groups));
    setHasScannedDeveloper(true);
    setSelectedToolchainIDs(std::move(caches));
    setIsScanningDeveloper(false);
}

} // namespace veldo::controller
