// UninstallViewModel: exporting the cleanup report and revealing an alert's items.
#include <utility>

#include "app/controller/UninstallViewModel.h"
#include "app/leftovers/CleanupReport.h"
#include "app/leftovers/CleanupReportExport.h"
#include "platform/MacFileSystem.h"
#include "platform/SystemError.h"

namespace veldo::controller {

namespace {

using Destination = std::optional<platform::MacPath>;

// The sentence of a report that could not be written to `destination`.
std::string reportFailureMessage(const Error& error, const platform::MacPath& destination)
{
    const std::string file = "The file “" + destination.lastPathComponent() + "” couldn’t be saved";
    if (error.code == ErrorCode::invalidArgument)
        return file + " because the app’s name or an item’s path isn’t valid UTF-8 text.";
    if (error.systemErrno != 0)
        return file + ": " +
               platform::SystemError::posix(error.systemErrno).localizedDescription() + ".";
    return file + ".";
}

} // namespace

Task<void> UninstallViewModel::exportReport()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const std::optional<core::InstalledApp> app = selectedApp();
    if (!app)
        co_return;
    // What the report holds is fixed now: the panel is window-modal and the detail pane may
    // change while it is open.
    std::vector<core::LeftoverItem> items = m_leftovers;
    IdSet selected = m_selectedLeftoverIDs;

    SavePanelRequest request;
    request.title = "Export Cleanup Report";
    request.proposedFileName = leftovers::proposedReportFileName(app->name);
    request.allowedExtensions = {"json"};
    request.canCreateDirectories = true;
    auto openPanel = [this, request = std::move(request)](
                         std::shared_ptr<PromptContinuation<Destination>> continuation) {
        m_services.chooseSaveLocation(request, [continuation](Destination chosen) {
            continuation->resume(std::move(chosen));
        });
    };
    const Destination destination = co_await waitForAnswer<Destination>(std::move(openPanel));
    if (!destination)
        co_return;

    auto write = [report = leftovers::CleanupReport::make(*app, items, selected),
                  path = *destination] { return leftovers::writeCleanupReport(report, path); };
    const Result<void> written = co_await inBackground(m_toolPool, std::move(write));
    if (!written) {
        m_services.showErrorAlert(reportFailureMessage(written.error(), *destination));
        co_return;
    }
    m_services.reveal({*destination});
}

void UninstallViewModel::revealAlertURLs(std::vector<platform::MacPath> urls)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::erase_if(urls, [](const platform::MacPath& url) {
        return !platform::fileStatus(url, platform::FollowLinks::no);
    });
    if (!urls.empty())
        m_services.reveal(urls);
}

} // namespace veldo::controller
