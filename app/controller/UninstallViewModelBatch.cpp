// UninstallViewModel: the batch removal.
#include <algorithm>
#include <unordered_set>
#include <utility>

#include "app/controller/UninstallViewModel.h"

namespace veldo::controller {

namespace {

std::string quotedNames(const std::vector<core::InstalledApp>& apps)
{
    std::string names;
    for (const core::InstalledApp& app : apps) {
        if (!names.empty())
            names += ", ";
        names += "“" + app.name + "”";
    }
    return names;
}

// Whether `path` is `other` or a folder above it.
bool holdsOrIs(const std::string& path, const std::string& other)
{
    if (path == "/")
        return other.starts_with('/');
    return other.starts_with(path) && (other.size() == path.size() || other[path.size()] == '/');
}

// Whether moving `path` would touch `kept`: the same item, a folder above it, or inside it.
bool overlaps(const std::string& path, const std::string& kept)
{
    return holdsOrIs(path, kept) || holdsOrIs(kept, path);
}

} // namespace

void UninstallViewModel::toggleBatchIncluded(const std::string& id)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!m_batchIncludedIDs.erase(id))
        m_batchIncludedIDs.insert(id);
    Q_EMIT batchIncludedIDsChanged();
}

Task<void> UninstallViewModel::removeBatch()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_isRemoving || m_isUndoing)
        co_return;
    std::vector<BatchAppResult> included = includedBatchResults();
    if (std::ranges::all_of(
            included, [](const BatchAppResult& result) { return result.defaultSelected.empty(); }))
        co_return;
    const IdSet selectionAtStart = m_selectedAppIDs;
    setIsRemoving(true);

    QuitWaitResult left;
    if (m_settings->quitBeforeRemoving()) {
        std::vector<core::InstalledApp> running;
        for (const BatchAppResult& result : included) {
            const core::RunningAppStatus status = m_services.runningStatus(result.app);
            if (status.isRunning || !status.helperNames.empty())
                running.push_back(result.app);
        }
        if (!running.empty()) {
            for (const core::InstalledApp& app : running)
                m_services.requestQuit(app);
            Task<QuitWaitResult> wait =
                waitForAppsToQuit(std::move(running), m_services.durations.quitWaitTimeout);
            left = co_await wait;
        }
    }

    std::unordered_set<std::string> stillRunning;
    for (const core::InstalledApp& app : left.stillRunning)
        stillRunning.insert(app.id());
    // The files of an app that still runs stay, also where another app lists them too, lists a
    // folder that holds them, or lists something inside one of them.
    std::vector<std::string> keptPaths;
    for (const BatchAppResult& result : included) {
        if (!stillRunning.contains(result.app.id()))
            continue;
        for (const auto* list : {&result.leftovers, &result.defaultSelected})
            for (const core::LeftoverItem& item : *list)
                keptPaths.push_back(item.url.standardized().path());
    }
    std::erase_if(included, [&](const BatchAppResult& result) {
        return stillRunning.contains(result.app.id());
    });

    std::optional<std::string> notice;
    if (!left.stillRunning.empty())
        notice = quotedNames(left.stillRunning) + " didn’t quit, so " +
                 (left.stillRunning.size() == 1 ? "its" : "their") + " files were left in place.";
    if (auto helpers = helperProcessesNotice(left.helpersOnly))
        notice = notice ? *notice + " " + *helpers : std::move(*helpers);

    std::vector<core::LeftoverItem> items;
    std::vector<core::InstalledApp> apps;
    for (const BatchAppResult& result : included) {
        for (const core::LeftoverItem& item : result.defaultSelected)
            if (!std::ranges::any_of(keptPaths, [&](const std::string& kept) {
                    return overlaps(item.url.standardized().path(), kept);
                }))
                items.push_back(item);
        apps.push_back(result.app);
    }
    if (items.empty()) {
        setDropNotice(std::move(notice));
        setIsRemoving(false);
        co_return;
    }

    expectRemoval(items, apps);
    const RemovalCount count = openTally([](const core::LeftoverItem& item) {
        return item.category == core::LeftoverCategory::application;
    });
    Task<removal::UninstallOutcome> run = runTrash(std::move(items), count);
    removal::UninstallOutcome trashOutcome = co_await run;
    Task<removal::UninstallOutcome> engine = performRemoval(std::move(trashOutcome), count);
    const removal::UninstallOutcome outcome = co_await engine;
    closeTally(count);

    expectTrashLocations(outcome);
    dropMovedItemsFromTrashNotices(outcome);
    setLastRemovedApp(std::nullopt);
    setLastRemovedAppBundle(false);
    setLastOutcome(outcome);
    setLastOutcomeSource(OutcomeSource::batch);
    setShowResultBanner(true);
    emptyLeftoverCache();

    std::int64_t bytes = 0;
    std::int64_t bundles = 0;
    for (const core::LeftoverItem& item : outcome.trashed) {
        bytes += item.sizeBytes;
        if (item.category == core::LeftoverCategory::application)
            ++bundles;
    }
    m_stats->record(bytes, static_cast<std::int64_t>(outcome.trashed.size()), bundles);

    std::unordered_set<std::string> gonePaths;
    for (const core::LeftoverItem& item : outcome.trashed)
        gonePaths.insert(item.url.standardized().path());
    for (const core::LeftoverItem& item : outcome.nestedItemsTrashedWithParent())
        gonePaths.insert(item.url.standardized().path());
    for (const core::LeftoverItem& item : outcome.alreadyMissing)
        gonePaths.insert(item.url.standardized().path());
    if (!gonePaths.empty() && m_hasScannedDeveloper)
        setHasScannedDeveloper(false);
    playCompletionSound(outcome);

    std::vector<core::InstalledApp> listed = m_apps;
    std::erase_if(listed, [&](const core::InstalledApp& app) {
        return gonePaths.contains(app.url.standardized().path());
    });
    setApps(std::move(listed));

    if (m_selectedAppIDs == selectionAtStart) {
        clearBatch();
        clearDetail();
        setSelectedAppIDs({});
    } else {
        // The user chose something else meanwhile: that selection, less the apps that went,
        // decides the detail and the batch. Its scans run on; the removal does not wait for them.
        Task<void> align = selectApps(m_selectedAppIDs);
        (void)align;
    }
    if (notice)
        setDropNotice(std::move(notice));
    setIsRemoving(false);
}

} // namespace veldo::controller
