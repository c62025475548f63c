// UninstallViewModel: selection pruning, where an app now is, and the wait for apps to quit.
#include <unordered_set>

#include "app/controller/UninstallViewModel.h"
#include "app/core/TrashNoticeGate.h"
#include "platform/Home.h"

namespace veldo::controller {

bool UninstallViewModel::selectionSurvivesAppScan(const std::string& id, const IdSet& listedAppIDs,
                                                  const std::optional<std::string>& detailAppID)
{
    return toolSelectionIDs().contains(id) || listedAppIDs.contains(id) || detailAppID == id;
}

bool UninstallViewModel::selectionSurvivesSelectionChange(
    const std::string& id, const IdSet& listedAppIDs, const std::optional<std::string>& detailAppID,
    const IdSet& newSelection)
{
    return toolSelectionIDs().contains(id) || listedAppIDs.contains(id) ||
           (newSelection.size() == 1 && detailAppID == id);
}

DetailAppLocation UninstallViewModel::detailAppLocation(const core::InstalledApp& app) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!m_services.fileExists(app.url))
        return DetailAppLocation::removed;
    return core::isInTrash(app.url, platform::homeDirectory()) ? DetailAppLocation::inTrash
                                                               : DetailAppLocation::installed;
}

std::optional<std::string>
UninstallViewModel::helperProcessesNotice(const std::vector<core::InstalledApp>& apps)
{
    if (apps.empty())
        return std::nullopt;
    std::string names;
    for (const core::InstalledApp& app : apps) {
        if (!names.empty())
            names += ", ";
        names += "\u201C" + app.name + "\u201D";
    }
    return "Helpers of " + names +
           " are still running and may recreate some files. Quit them from the menu bar or "
           "Activity Monitor.";
}

std::function<Result<std::vector<core::LeftoverItem>>()> UninstallViewModel::leftoverScanWork(
    core::InstalledApp app, std::vector<core::ScopedAccessRoot> roots, std::stop_token stop) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    return [scan = m_services.leftoverScan, app = std::move(app), roots = std::move(roots),
            stop = std::move(stop)] { return scan(app, roots, stop); };
}

Task<QuitWaitResult> UninstallViewModel::waitForAppsToQuit(std::vector<core::InstalledApp> apps,
                                                           std::chrono::milliseconds timeout)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QuitWaitResult result;
    for (;;) {
        result = {};
        for (const core::InstalledApp& app : apps) {
            const core::RunningAppStatus status = m_services.runningStatus(app);
            if (status.isRunning)
                result.stillRunning.push_back(app);
            else if (!status.helperNames.empty())
                result.helpersOnly.push_back(app);
        }
        if ((result.stillRunning.empty() && result.helpersOnly.empty()) ||
            std::chrono::steady_clock::now() >= deadline)
            break;
        co_await sleepFor(m_services.durations.quitWaitInterval);
    }
    // One app listed twice (a link and its target) is one app: a main process still running
    // under either path keeps it out of the helpers-only list.
    std::unordered_set<std::string> running;
    for (const core::InstalledApp& app : result.stillRunning)
        running.insert(app.url.standardized().path());
    std::erase_if(result.helpersOnly, [&](const core::InstalledApp& app) {
        return running.contains(app.url.standardized().path());
    });
    co_return result;
}

Task<std::optional<QuitWaitResult>> UninstallViewModel::quitBeforeRemoval(core::InstalledApp app,
                                                                          std::string notDone)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!m_settings->quitBeforeRemoving())
        co_return QuitWaitResult{};
    const core::RunningAppStatus status = m_services.runningStatus(app);
    if (!status.isRunning && status.helperNames.empty())
        co_return QuitWaitResult{};
    m_services.requestQuit(app);
    std::vector<core::InstalledApp> quitting{app};
    Task<QuitWaitResult> wait =
        waitForAppsToQuit(std::move(quitting), m_services.durations.quitWaitTimeout);
    QuitWaitResult left = co_await wait;
    if (m_selectedAppID == app.id())
        setRunningStatus(m_services.runningStatus(app));
    if (!left.stillRunning.empty()) {
        setDropNotice("\u201C" + app.name + "\u201D didn’t quit, so " + notDone +
                      ". Quit it and try again.");
        setIsRemoving(false);
        co_return std::nullopt;
    }
    co_return left;
}

} // namespace veldo::controller
