// UninstallViewModel: Undo of the last removal.
#include <algorithm>
#include <unordered_set>
#include <utility>

#include "app/controller/UninstallViewModel.h"
#include "app/core/PathDisplay.h"
#include "platform/Home.h"

namespace veldo::controller {

namespace {

constexpr std::size_t kListedFailures = 8;

std::string plural(std::size_t count)
{
    return count == 1 ? "" : "s";
}

} // namespace

bool UninstallViewModel::canBeUndone(const removal::UninstallOutcome& outcome)
{
    return !outcome.restorePoints.empty();
}

bool UninstallViewModel::undoNeedsAdministrator(const removal::UninstallOutcome& outcome)
{
    return std::ranges::any_of(outcome.restorePoints,
                               [](const removal::RestorePoint& point) { return point.needsAdmin; });
}

bool UninstallViewModel::canUndo() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_lastOutcome && canBeUndone(*m_lastOutcome) && !m_isUndoing && !m_isRemoving;
}

std::string UninstallViewModel::undoTitle() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return m_lastOutcome && undoNeedsAdministrator(*m_lastOutcome) ? "Undo Last Cleanup…"
                                                                   : "Undo Last Cleanup";
}

Task<void> UninstallViewModel::undoLastRemoval()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!canUndo())
        co_return;
    setIsUndoing(true);
    const std::size_t total = m_lastOutcome->restorePoints.size();
    auto work = [service = m_services.undo, points = m_lastOutcome->restorePoints,
                 roots = m_grantedAccess,
                 stop = shutdownToken()] { return service(points, roots, stop); };
    const removal::RestoreReport report = co_await inBackground(m_toolPool, std::move(work));
    setIsUndoing(false);

    if (!report.restored.empty()) {
        std::int64_t bytes = 0;
        std::int64_t bundles = 0;
        for (const core::LeftoverItem& item : report.restored) {
            bytes += item.sizeBytes;
            if (item.category == core::LeftoverCategory::application)
                ++bundles;
        }
        m_stats->subtract(bytes, static_cast<std::int64_t>(report.restored.size()), bundles);
    }

    // The points another Undo may still put back are kept. Those the cancelled password dialog
    // left are only counted in the notice; every other failure is reported now, the helper's
    // retryable points too (their sentences say to try again).
    std::vector<removal::RestorePoint> retry;
    std::vector<const removal::RestoreReport::Failure*> others;
    std::size_t awaitingPassword = 0;
    for (const removal::RestoreReport::Failure& failure : report.failed) {
        if (failure.retryable)
            retry.push_back(failure.point);
        const bool dialogPoint = failure.retryable && report.authorizationCancelled &&
                                 failure.point.needsAdmin && !failure.point.movedByHelper;
        if (dialogPoint)
            ++awaitingPassword;
        else
            others.push_back(&failure);
    }

    if (!retry.empty() && m_lastOutcome) {
        removal::UninstallOutcome kept = *m_lastOutcome;
        std::unordered_set<std::string> retryPaths;
        for (const removal::RestorePoint& point : retry)
            retryPaths.insert(point.item.id());
        std::erase_if(kept.trashed, [&](const core::LeftoverItem& item) {
            return !retryPaths.contains(item.id());
        });
        kept.restorePoints = retry;
        setLastOutcome(std::move(kept));
    } else {
        setShowResultBanner(false);
        setLastOutcome(std::nullopt);
    }

    std::vector<UndoFailure> failures;
    failures.reserve(others.size());
    for (const removal::RestoreReport::Failure* failure : others)
        failures.push_back(UndoFailure{QUuid::createUuid(), failure->point.item,
                                       failure->point.trashURL, failure->reason});
    setLastUndoFailures(std::move(failures));

    if (others.empty() && !retry.empty()) {
        setDropNotice("Undo needs your administrator password to put " +
                      std::to_string(awaitingPassword) + " system item" + plural(awaitingPassword) +
                      " back. Press Undo to try again.");
    } else if (!others.empty()) {
        const std::string home = platform::homeDirectory().path();
        std::string message = "Restored " + std::to_string(report.restored.size()) + " of " +
                              std::to_string(total) + " item" + plural(total) +
                              ". These are still in the Trash:\n";
        std::vector<platform::MacPath> reveal;
        for (std::size_t i = 0; i < others.size(); ++i) {
            const removal::RestoreReport::Failure& failure = *others[i];
            reveal.push_back(failure.point.trashURL);
            if (i >= kListedFailures)
                continue;
            if (i > 0)
                message += "\n";
            message += "• " + core::abbreviatedPath(failure.point.item.url.path(), home) + " — " +
                       failure.reason;
        }
        if (others.size() > kListedFailures)
            message += "\n… and " + std::to_string(others.size() - kListedFailures) + " more.";
        setActiveAlert(NoticeAlert{QUuid::createUuid(),
                                   report.restored.empty() ? "Couldn’t Undo" : "Partly Undone",
                                   std::move(message), std::move(reveal)});
    }

    if (report.restored.empty())
        co_return;
    Task<void> rescan = rescanAfterUndo(report.restored);
    co_await rescan;
}

Task<void> UninstallViewModel::rescanAfterUndo(std::vector<core::LeftoverItem> restored)
{
    emptyLeftoverCache();
    if (m_lastOutcomeSource != OutcomeSource::toolchain)
        setHasScannedDeveloper(false);
    const bool appCameBack = std::ranges::any_of(restored, [](const core::LeftoverItem& item) {
        return item.category == core::LeftoverCategory::application;
    });
    if (appCameBack) {
        Task<void> apps = scanApps();
        co_await apps;
        if (m_selectedAppIDs.empty() && m_lastRemovedApp) {
            const std::string removedPath = m_lastRemovedApp->url.standardized().path();
            const bool removedAppBack =
                std::ranges::any_of(restored, [&](const core::LeftoverItem& item) {
                    return item.url.standardized().path() == removedPath;
                });
            const auto listed = std::ranges::find_if(m_apps, [&](const core::InstalledApp& app) {
                return app.url.path() == m_lastRemovedApp->url.path();
            });
            if (removedAppBack && listed != m_apps.end()) {
                Task<void> show = showApp(*listed);
                co_await show;
                co_return;
            }
        }
    }
    if (m_lastOutcomeSource == OutcomeSource::orphans ||
        m_selectedAppIDs == IdSet{"veldo://orphans"}) {
        Task<void> scan = scanOrphans();
        co_await scan;
    } else if (m_lastOutcomeSource == OutcomeSource::toolchain ||
               m_selectedAppIDs == IdSet{"veldo://developer"}) {
        Task<void> scan = scanDeveloper();
        co_await scan;
    } else {
        Task<void> scan = scanLeftovers();
        co_await scan;
    }
}

} // namespace veldo::controller
