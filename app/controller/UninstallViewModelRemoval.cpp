// UninstallViewModel: the removal engine and the single-app uninstall.
#include <algorithm>
#include <map>
#include <unordered_set>
#include <utility>

#include "app/controller/UninstallViewModel.h"
#include "app/core/AppProtection.h"
#include "app/core/SystemSettings.h"
#include "app/removal/TrashExecutor.h"
#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/SystemError.h"
#include "platform/SystemSound.h"

namespace veldo::controller {

namespace {

using removal::UninstallOutcome;

std::int64_t totalBytes(const std::vector<core::LeftoverItem>& items)
{
    std::int64_t total = 0;
    for (const core::LeftoverItem& item : items)
        total += item.sizeBytes;
    return total;
}

// Only a missing entry is gone; an entry that can't be read is still there.
bool isStillThere(const platform::MacPath& url)
{
    const auto status = platform::fileStatus(url, platform::FollowLinks::no);
    if (status)
        return true;
    return !platform::meansMissing(status.error().systemErrno);
}

} // namespace

void RemovalCount::add(const std::vector<core::LeftoverItem>& moved) const
{
    if (!tally || moved.empty())
        return;
    RemovalTally::Totals totals{.bytes = totalBytes(moved),
                                .items = static_cast<std::int64_t>(moved.size())};
    if (countsAsApp)
        totals.apps = std::ranges::count_if(moved, countsAsApp);
    tally->add(totals);
}

RemovalCount
UninstallViewModel::openTally(std::function<bool(const core::LeftoverItem&)> countsAsApp)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    RemovalCount count{std::make_shared<RemovalTally>(), std::move(countsAsApp)};
    m_openTallies.push_back(count.tally);
    return count;
}

void UninstallViewModel::closeTally(const RemovalCount& count)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::erase(m_openTallies, count.tally);
}

void UninstallViewModel::expectRemoval(const std::vector<core::LeftoverItem>& items,
                                       const std::vector<core::InstalledApp>& apps)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (items.empty())
        return;
    std::unordered_set<std::string> paths;
    std::vector<platform::MacPath> urls;
    urls.reserve(items.size());
    for (const core::LeftoverItem& item : items) {
        paths.insert(item.url.standardized().path());
        urls.push_back(item.url);
    }
    std::vector<std::string> bundleIDs;
    for (const core::InstalledApp& app : apps)
        if (app.bundleID && paths.contains(app.url.standardized().path()))
            bundleIDs.push_back(*app.bundleID);
    m_trashNoticeGate.expect(urls, bundleIDs, std::chrono::system_clock::now());
}

void UninstallViewModel::expectTrashLocations(const UninstallOutcome& outcome)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<platform::MacPath> urls;
    urls.reserve(outcome.restorePoints.size());
    for (const removal::RestorePoint& point : outcome.restorePoints)
        urls.push_back(point.trashURL);
    m_trashNoticeGate.expect(urls, {}, std::chrono::system_clock::now());
}

void UninstallViewModel::playCompletionSound(const UninstallOutcome& outcome) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_settings->playCompletionSound())
        platform::SystemSound::play(outcome.failed.empty() ? "Glass" : "Funk");
}

Task<UninstallOutcome> UninstallViewModel::runTrash(std::vector<core::LeftoverItem> items,
                                                    RemovalCount count)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    auto work = [service = m_services.trashRun, items = std::move(items),
                 context = removalSafetyContext(), roots = m_grantedAccess, stop = shutdownToken(),
                 count = std::move(count)] {
        UninstallOutcome outcome = service(items, context, roots, stop);
        count.add(outcome.trashed);
        return outcome;
    };
    co_return co_await inBackground(m_toolPool, std::move(work));
}

Task<UninstallOutcome> UninstallViewModel::performRemoval(UninstallOutcome outcome,
                                                          RemovalCount count)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<core::LeftoverItem> escalation;
    for (const UninstallOutcome::Failure& failure : outcome.failed)
        if (outcome.escalatableIDs.contains(failure.item.id()))
            escalation.push_back(failure.item);
    if (escalation.empty())
        co_return outcome;

    auto probe = [service = m_services.helperUsable, stop = shutdownToken()] {
        return service(stop);
    };
    const bool usesHelper = co_await inBackground(m_toolPool, std::move(probe));

    std::vector<core::LeftoverItem> denied = appManagementDeniedApps(outcome);
    if (allContained(escalation, denied)) {
        Task<AppManagementChoice> ask = requestAppManagementDecision(std::move(denied), usesHelper);
        const AppManagementChoice choice = co_await ask;
        if (choice == AppManagementChoice::openSettings)
            core::SystemSettings::open(core::SystemSettings::kAppManagementURL);
        if (choice != AppManagementChoice::useAdministrator)
            co_return outcome;
    } else {
        Task<bool> ask = requestAdminConfirmation(escalation, usesHelper);
        const bool agreed = co_await ask;
        if (!agreed)
            co_return outcome;
    }

    expectRemoval(escalation, m_apps);

    const platform::MacPath home = platform::homeDirectory();
    std::vector<platform::MacPath> agents;
    for (const core::LeftoverItem& item : escalation)
        if (removal::TrashExecutor::isLaunchAgentPlist(item.url, home))
            agents.push_back(item.url);
    if (!agents.empty()) {
        auto bootOut = [service = m_services.bootOutAgents, agents, stop = shutdownToken()] {
            service(agents, stop);
        };
        co_await inBackground(m_toolPool, std::move(bootOut));
    }

    std::vector<platform::MacPath> urls;
    urls.reserve(escalation.size());
    for (const core::LeftoverItem& item : escalation)
        urls.push_back(item.url);
    auto move = [service = m_services.adminMove, urls = std::move(urls),
                 context = removalSafetyContext(), stop = shutdownToken(), escalation,
                 count = std::move(count)] {
        removal::AdminRemover::MoveResult result = service(urls, context, stop);
        std::unordered_set<std::string> sources;
        for (const removal::AdminRemover::Move& moved : result.moved)
            sources.insert(moved.source.standardized().path());
        // Each path once, as the merge below counts it.
        std::vector<core::LeftoverItem> moved;
        for (const core::LeftoverItem& item : escalation)
            if (sources.erase(item.url.standardized().path()) != 0)
                moved.push_back(item);
        count.add(moved);
        return result;
    };
    const removal::AdminRemover::MoveResult result =
        co_await inBackground(m_toolPool, std::move(move));

    // The later move of one source wins.
    std::map<std::string, const removal::AdminRemover::Move*> moves;
    for (const removal::AdminRemover::Move& moved : result.moved)
        moves[moved.source.standardized().path()] = &moved;

    std::vector<platform::MacPath> stayed;
    for (const platform::MacPath& agent : agents)
        if (!moves.contains(agent.standardized().path()) && isStillThere(agent))
            stayed.push_back(agent);
    if (!stayed.empty()) {
        auto bootstrap = [service = m_services.bootstrapAgents, stayed, stop = shutdownToken()] {
            service(stayed, stop);
        };
        co_await inBackground(m_toolPool, std::move(bootstrap));
    }

    UninstallOutcome merged;
    merged.trashed = outcome.trashed;
    merged.restorePoints = outcome.restorePoints;
    merged.alreadyMissing = outcome.alreadyMissing;
    merged.nested = outcome.nested;
    merged.escalatableIDs = outcome.escalatableIDs;
    merged.appManagementDenialIDs = outcome.appManagementDenialIDs;
    merged.refusedIDs = outcome.refusedIDs;
    // A path the outcome names twice was moved once: it is counted and restorable once.
    std::unordered_set<std::string> settled;
    for (const UninstallOutcome::Failure& failure : outcome.failed) {
        if (!outcome.escalatableIDs.contains(failure.item.id())) {
            merged.failed.push_back(failure);
            continue;
        }
        const std::string p = failure.item.url.standardized().path();
        if (const auto found = moves.find(p); found != moves.end()) {
            if (!settled.insert(p).second)
                continue;
            const removal::AdminRemover::Move& moved = *found->second;
            merged.trashed.push_back(failure.item);
            merged.restorePoints.push_back(removal::RestorePoint{
                .item = failure.item,
                .trashURL = moved.destination,
                .needsAdmin = true,
                .ownerID = moved.ownerID,
                .groupID = moved.groupID,
                .itemDevice = moved.device,
                .itemInode = moved.inode,
                .parentDevice = moved.parentDevice,
                .parentInode = moved.parentInode,
                .parentOwnerID = moved.parentOwnerID,
                .movedByHelper = moved.movedByHelper,
            });
        } else if (result.missing.contains(p)) {
            if (settled.insert(p).second)
                merged.alreadyMissing.push_back(failure.item);
        } else if (const auto sentence = result.failures.find(p);
                   sentence != result.failures.end()) {
            merged.failed.push_back({failure.item, sentence->second});
        } else {
            merged.failed.push_back(failure);
        }
    }
    co_return merged;
}

void UninstallViewModel::toggleLeftover(const core::LeftoverItem& item)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    IdSet ids = m_selectedLeftoverIDs;
    if (!ids.erase(item.id()))
        ids.insert(item.id());
    setSelectedLeftoverIDs(std::move(ids));
}

Task<void> UninstallViewModel::uninstallApp()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_isRemoving || m_isUndoing)
        co_return;
    std::vector<core::LeftoverItem> items = selectedLeftovers();
    if (items.empty())
        co_return;
    const std::optional<core::InstalledApp> selected = selectedApp();
    if (!selected)
        co_return;
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): the coroutine's own copy
    const core::InstalledApp app = *selected;
    if (core::appProtectionReason(app.url).isProtected)
        co_return;
    setIsRemoving(true);

    Task<std::optional<QuitWaitResult>> quit = quitBeforeRemoval(app, "nothing was removed");
    const std::optional<QuitWaitResult> afterQuit = co_await quit;
    if (!afterQuit)
        co_return;
    std::optional<std::string> helperNotice = helperProcessesNotice(afterQuit->helpersOnly);

    std::vector<core::InstalledApp> removing{app};
    expectRemoval(items, removing);
    const RemovalCount count =
        openTally([bundlePath = app.url.standardized().path()](const core::LeftoverItem& item) {
            return item.url.standardized().path() == bundlePath;
        });
    Task<UninstallOutcome> run = runTrash(std::move(items), count);
    UninstallOutcome trashOutcome = co_await run;
    Task<UninstallOutcome> engine = performRemoval(std::move(trashOutcome), count);
    const UninstallOutcome outcome = co_await engine;
    closeTally(count);

    expectTrashLocations(outcome);
    dropMovedItemsFromTrashNotices(outcome);
    setLastOutcome(outcome);
    setLastOutcomeSource(OutcomeSource::app);
    setShowResultBanner(true);
    emptyLeftoverCache();

    std::vector<core::LeftoverItem> gone = outcome.trashed;
    for (core::LeftoverItem& item : outcome.nestedItemsTrashedWithParent())
        gone.push_back(std::move(item));
    gone.insert(gone.end(), outcome.alreadyMissing.begin(), outcome.alreadyMissing.end());
    IdSet goneIDs;
    for (const core::LeftoverItem& item : gone)
        goneIDs.insert(item.id());

    const bool stillSelected = m_selectedAppID == app.id();
    if (stillSelected) {
        std::vector<core::LeftoverItem> kept = m_leftovers;
        std::erase_if(kept,
                      [&](const core::LeftoverItem& item) { return goneIDs.contains(item.id()); });
        setLeftovers(std::move(kept));
        IdSet ticked = m_selectedLeftoverIDs;
        std::erase_if(ticked, [&](const std::string& id) { return goneIDs.contains(id); });
        setSelectedLeftoverIDs(std::move(ticked));
    }

    const std::string bundlePath = app.url.standardized().path();
    const auto isBundle = [&](const core::LeftoverItem& item) {
        return item.url.standardized().path() == bundlePath;
    };
    const bool bundleGone = std::ranges::any_of(gone, isBundle);
    const bool bundleTrashed = std::ranges::any_of(outcome.trashed, isBundle);
    if (bundleGone) {
        std::vector<core::InstalledApp> listed = m_apps;
        std::erase_if(listed, [&](const core::InstalledApp& listedApp) {
            return listedApp.id() == app.id();
        });
        setApps(std::move(listed));
        if (m_selectedAppID == app.id() && m_detailAppLocation == DetailAppLocation::installed)
            setDetailAppLocation(DetailAppLocation::removed);
        if (m_selectedAppID == app.id() && m_leftovers.empty()) {
            setSelectedAppID(std::nullopt);
            setSelectedAppIDs({});
            setDetailApp(std::nullopt);
        }
    }
    pruneSelections();
    setLastRemovedApp(app);
    setLastRemovedAppBundle(bundleTrashed);
    m_stats->record(totalBytes(outcome.trashed), static_cast<std::int64_t>(outcome.trashed.size()),
                    bundleTrashed ? 1 : 0);
    if (!gone.empty())
        setHasScannedDeveloper(false);
    if (helperNotice)
        setDropNotice(std::move(helperNotice));
    playCompletionSound(outcome);
    setIsRemoving(false);
}

} // namespace veldo::controller
