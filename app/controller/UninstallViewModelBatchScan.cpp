// UninstallViewModel: the batch scan of several selected apps, and the Homebrew cask lookup.
#include <deque>
#include <utility>

#include "app/controller/UninstallViewModel.h"
#include "app/core/AppProtection.h"
#include "app/leftovers/HomebrewCaskIndex.h"
#include "platform/Home.h"

namespace veldo::controller {

// The inner scans of one batch that have finished and not yet been taken, and the batch task
// waiting for the next of them. GUI thread only, but for the folder readings that the batch's
// scans share (thread-safe).
struct UninstallViewModel::BatchWindow
{
    // None for a scan that produced no list (stopped at shutdown).
    std::deque<std::optional<BatchScanPair>> finished;
    std::shared_ptr<PromptContinuation<bool>> waiting;
    std::shared_ptr<leftovers::FolderListingCache> listings =
        std::make_shared<leftovers::FolderListingCache>();
};

Task<void> UninstallViewModel::scanBatch()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const QUuid token = supersedeScan(m_batchTask, &UninstallViewModel::setBatchScanToken);

    const std::vector<core::InstalledApp> selected = selectedApps();
    IdSet previous;
    for (const BatchAppResult& result : m_batchResults)
        previous.insert(result.app.id());
    std::vector<core::InstalledApp> missing;
    for (const core::InstalledApp& app : selected)
        if (!m_leftoverCache.contains(app.id()))
            missing.push_back(app);
    if (missing.empty()) {
        auto reading = runningAppsWork(selected);
        IdSet running = co_await inBackground(m_scanPool, std::move(reading));
        rebuildBatch(selected, previous, token, running);
        co_return;
    }

    setIsScanningBatch(true);
    const std::int64_t generation = m_leftoverCacheGeneration;
    Task<std::vector<BatchScanPair>> task = batchScanWindow(std::move(missing), m_grantedAccess);
    const TaskHandle handle = task.handle();
    setBatchTask(handle);
    std::vector<BatchScanPair> pairs = co_await task;

    // Before the stale test: a superseded batch still fills the cache.
    if (m_leftoverCacheGeneration == generation && !pairs.empty()) {
        LeftoverCache cache = m_leftoverCache;
        for (BatchScanPair& pair : pairs)
            cache[pair.first.id()] = std::move(pair.second);
        setLeftoverCache(std::move(cache));
    }
    if (m_batchScanToken != token || handle->isCancelled())
        co_return;
    setBatchTask(nullptr);
    auto reading = runningAppsWork(selected);
    IdSet running = co_await inBackground(m_scanPool, std::move(reading));
    rebuildBatch(selected, previous, token, running);
}

Task<std::vector<UninstallViewModel::BatchScanPair>>
UninstallViewModel::batchScanWindow(std::vector<core::InstalledApp> apps,
                                    std::vector<core::ScopedAccessRoot> roots)
{
    const TaskHandle self = co_await thisTask();
    const auto window = std::make_shared<BatchWindow>();
    std::vector<BatchScanPair> collected;
    std::size_t next = 0;
    std::size_t running = 0;
    for (; next < apps.size() && next < kBatchScanWindow; ++next, ++running)
        batchScanOne(window, apps[next], roots).detach();

    while (running > 0) {
        if (window->finished.empty()) {
            auto wait = [window](std::shared_ptr<PromptContinuation<bool>> continuation) {
                window->waiting = std::move(continuation);
            };
            (void)co_await waitForAnswer<bool>(std::move(wait));
        }
        std::optional<BatchScanPair> pair = std::move(window->finished.front());
        window->finished.pop_front();
        --running;
        if (pair)
            collected.push_back(std::move(*pair));
        // Cancelled: nothing more starts; the scans still running finish unseen.
        if (self->isCancelled())
            co_return collected;
        if (next < apps.size()) {
            batchScanOne(window, apps[next++], roots).detach();
            ++running;
        }
    }
    co_return collected;
}

Task<void> UninstallViewModel::batchScanOne(std::shared_ptr<BatchWindow> window,
                                            core::InstalledApp app,
                                            std::vector<core::ScopedAccessRoot> roots)
{
    using Items = Result<std::vector<core::LeftoverItem>>;
    auto scan = [service = m_services.batchLeftoverScan, app, roots = std::move(roots),
                 listings = window->listings](std::stop_token stop) {
        return service(app, roots, *listings, std::move(stop));
    };
    // Runs to its end whatever happens to the batch; only the shutdown stops it.
    Task<Items> task = backgroundScan<Items>(std::move(scan), false);
    Items result = co_await task;

    if (result)
        window->finished.emplace_back(BatchScanPair{std::move(app), std::move(*result)});
    else
        window->finished.emplace_back(std::nullopt);
    if (std::shared_ptr<PromptContinuation<bool>> waiting = std::exchange(window->waiting, nullptr))
        waiting->resume(true);
}

std::function<IdSet()>
UninstallViewModel::runningAppsWork(std::vector<core::InstalledApp> apps) const
{
    // One reading of the running applications for every app: walking /proc and matching
    // hundreds of processes takes tens of milliseconds, too long for the GUI thread.
    return [reading = m_services.runningApplications, apps = std::move(apps)] {
        const std::shared_ptr<const platform::RunningApplicationSource> source = reading();
        IdSet running;
        for (const core::InstalledApp& app : apps)
            if (core::runningStatus(app, *source).isRunning)
                running.insert(app.id());
        return running;
    };
}

void UninstallViewModel::rebuildBatch(const std::vector<core::InstalledApp>& selected,
                                      const IdSet& previous, const QUuid& token,
                                      const IdSet& running)
{
    if (m_batchScanToken != token)
        return;

    // The verdicts judged for the default selections serve the batch screen's totals as well.
    forgetVerdicts();
    std::vector<BatchAppResult> results;
    for (const core::InstalledApp& app : selected) {
        const auto entry = m_leftoverCache.find(app.id());
        if (entry == m_leftoverCache.end())
            continue;
        BatchAppResult result;
        result.app = app;
        result.leftovers = entry->second;
        result.isProtected = core::appProtectionReason(app).isProtected;
        if (!result.isProtected) {
            const IdSet selection = defaultLeftoverSelection(result.leftovers);
            for (const core::LeftoverItem& item : result.leftovers)
                if (selection.contains(item.id()))
                    result.defaultSelected.push_back(item);
        }
        result.isRunning = running.contains(app.id());
        if (std::optional<leftovers::CaskInfo> cask = caskToken(app.url))
            result.caskToken = std::move(cask->token);
        results.push_back(std::move(result));
    }

    IdSet eligible;
    IdSet all;
    for (const BatchAppResult& result : results) {
        all.insert(result.app.id());
        if (!result.isProtected && !result.defaultSelected.empty())
            eligible.insert(result.app.id());
    }
    IdSet included;
    for (const std::string& id : m_batchIncludedIDs)
        if (previous.contains(id) && all.contains(id))
            included.insert(id);
    for (const std::string& id : eligible)
        if (!previous.contains(id))
            included.insert(id);

    assignAlways(m_batchResults, std::move(results), &UninstallViewModel::batchResultsChanged);
    setBatchIncludedIDs(std::move(included));
    setIsScanningBatch(false);
}

std::optional<leftovers::CaskInfo> UninstallViewModel::caskToken(const platform::MacPath& url) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_caskIndex.empty())
        return std::nullopt;
    return leftovers::HomebrewCasks::cask(url, m_caskIndex, platform::homeDirectory());
}

void UninstallViewModel::refreshCaskIndex(bool force)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_caskIndexTask)
        m_caskIndexTask->cancel();
    Task<void> load = caskIndexLoad(force);
    m_caskIndexTask = load.handle();
}

Task<void> UninstallViewModel::caskIndexLoad(bool force)
{
    const TaskHandle self = co_await thisTask();
    auto load = [service = m_services.loadCaskIndex, force, stop = shutdownToken()] {
        return service(force, stop);
    };
    Result<leftovers::CaskIndex> index = co_await inBackground(m_toolPool, std::move(load));
    if (self->isCancelled() || !index)
        co_return;
    setCaskIndex(std::move(*index));
}

} // namespace veldo::controller
