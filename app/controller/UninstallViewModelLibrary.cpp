// UninstallViewModel: the app-library watcher's events, the app-list refresh and Trash notices.
#include <algorithm>
#include <chrono>
#include <utility>

#include <QMetaObject>
#include <QPointer>

#include "app/controller/UninstallViewModel.h"
#include "app/core/AppCopyLocator.h"
#include "app/core/TrashNoticeGate.h"
#include "platform/Home.h"
#include "platform/Unicode.h"

namespace veldo::controller {

namespace {

template <typename... Handlers>
struct Overloaded : Handlers...
{
    using Handlers::operator()...;
};
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

std::vector<TrashedAppNotice> withoutNotice(std::vector<TrashedAppNotice> notices,
                                            const std::string& id)
{
    std::erase_if(notices, [&](const TrashedAppNotice& notice) { return notice.id == id; });
    return notices;
}

} // namespace

void UninstallViewModel::startLibraryWatcher()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_libraryStream || m_shutDown)
        return;
    LibraryWatcherSession session = m_services.libraryWatcher(m_services.durations.libraryDebounce);
    m_libraryWatcher = std::move(session.watcher);
    m_libraryStream = std::move(session.stream);
    if (!m_libraryStream)
        return;

    // The reader is stopped and joined before the controller goes, so `this` outlives every
    // post; an event that arrives after shutdown is dropped by the handler.
    const QPointer<UninstallViewModel> self(this);
    m_libraryReader = std::make_unique<StreamReader<core::AppLibraryWatcher::Event>>(
        m_libraryStream, [this, self](core::AppLibraryWatcher::Event event) {
            QMetaObject::invokeMethod(
                this,
                [self, event = std::move(event)] {
                    if (self)
                        self->handleLibraryEvent(event);
                },
                Qt::QueuedConnection);
        });
}

void UninstallViewModel::stopLibraryWatcher()
{
    if (m_appsRefreshTimer)
        m_appsRefreshTimer->stop();
    m_libraryReader.reset(); // stops and joins the reader, ends the stream
    m_libraryWatcher.reset();
}

void UninstallViewModel::handleLibraryEvent(const core::AppLibraryWatcher::Event& event)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_shutDown)
        return;
    std::visit(
        Overloaded{
            [this](const core::AppLibraryWatcher::AppMovedToTrash& moved) {
                detailAppTrashed(moved.bundle);
                handleAppTrashed(moved.bundle);
            },
            [this](const core::AppLibraryWatcher::AppRemoved& removed) {
                detailAppTrashed(removed.bundle);
                handleAppTrashed(removed.bundle);
            },
            [this](const core::AppLibraryWatcher::RunningAppsChanged&) { refreshRunningStatus(); },
            [this](const core::AppLibraryWatcher::TrashAccessChanged& access) {
                setCanReadTrash(access.readable);
            },
            [this](const core::AppLibraryWatcher::AppsChanged&) { scheduleAppsRefresh(); },
        },
        event);
}

void UninstallViewModel::scheduleAppsRefresh()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_shutDown)
        return;
    if (m_appsRefreshTask) {
        m_appsRefreshTask->cancel();
        m_appsRefreshTask = nullptr;
    }
    if (!m_appsRefreshTimer) {
        m_appsRefreshTimer = new QTimer(this);
        m_appsRefreshTimer->setSingleShot(true);
        m_appsRefreshTimer->setTimerType(Qt::PreciseTimer);
        connect(m_appsRefreshTimer, &QTimer::timeout, this,
                &UninstallViewModel::appsRefreshTimerFired);
    }
    m_appsRefreshTimer->start(m_services.durations.appsRefreshDelay);
}

void UninstallViewModel::appsRefreshTimerFired()
{
    if (m_shutDown)
        return;
    if (m_isRemoving || m_isUndoing) {
        m_appsRefreshTimer->start(m_services.durations.appsRefreshRecheck);
        return;
    }
    if (!hasGrantedAccess(core::AccessRootKind::applications) &&
        !hasGrantedAccess(core::AccessRootKind::userApplications))
        return;
    Task<void> refresh = refreshAppsAfterLibraryChange();
    if (!refresh.isDone())
        m_appsRefreshTask = refresh.handle();
}

Task<void> UninstallViewModel::refreshAppsAfterLibraryChange()
{
    const TaskHandle self = co_await thisTask();
    co_await scanApps();
    if (self->isCancelled())
        co_return;
    co_await refreshDetailLocation();
}

void UninstallViewModel::refreshRunningStatus()
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (const std::optional<core::InstalledApp> app = selectedApp();
        app && selectedApps().size() <= 1)
        setRunningStatus(m_services.runningStatus(*app));

    if (m_batchResults.empty())
        return;
    std::vector<BatchAppResult> results = m_batchResults;
    bool changed = false;
    for (BatchAppResult& result : results) {
        const bool running = m_services.runningStatus(result.app).isRunning;
        changed = changed || running != result.isRunning;
        result.isRunning = running;
    }
    if (changed)
        setBatchResults(std::move(results));
}

void UninstallViewModel::handleAppTrashed(core::WatchedAppBundle bundle)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (!m_offerCleanupForTrashedApps)
        return;
    if (bundle.bundleID && hasLiveInstalledCopy(platform::lowercased(*bundle.bundleID), bundle))
        return;
    const bool busy = m_isRemoving || m_isUndoing;
    const platform::MacPath trash = platform::homeDirectory().appendingPathComponent(".Trash");
    if (!m_trashNoticeGate.decide(bundle, busy, trash, std::chrono::system_clock::now()))
        return;
    core::InstalledApp app = core::TrashNoticeGate::installedApp(bundle);
    prepareTrashNotice(std::move(bundle), std::move(app), m_grantedAccess).detach();
}

bool UninstallViewModel::hasLiveInstalledCopy(const std::string& bundleID,
                                              const core::WatchedAppBundle& bundle) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    std::vector<std::string> ownPaths;
    for (const std::optional<platform::MacPath>& url : {bundle.trashURL, bundle.originalURL})
        if (url)
            ownPaths.push_back(url->standardized().path());
    const platform::MacPath home = platform::homeDirectory();
    return std::ranges::any_of(m_apps, [&](const core::InstalledApp& app) {
        if (!app.bundleID || platform::lowercased(*app.bundleID) != bundleID)
            return false;
        const std::string path = app.url.standardized().path();
        return std::ranges::find(ownPaths, path) == ownPaths.end() &&
               !core::isInTrash(app.url, home) && m_services.fileExists(app.url);
    });
}

Task<void> UninstallViewModel::prepareTrashNotice(core::WatchedAppBundle bundle,
                                                  core::InstalledApp app,
                                                  std::vector<core::ScopedAccessRoot> accessRoots)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (bundle.bundleID) {
        std::vector<platform::MacPath> excluded;
        for (const std::optional<platform::MacPath>& url : {bundle.trashURL, bundle.originalURL})
            if (url)
                excluded.push_back(url->standardized());
        auto findCopy = [registry = m_services.applicationURLs, search = m_services.spotlightCopies,
                         bundleID = *bundle.bundleID, searches = !bundle.trashURL,
                         excluded = std::move(excluded),
                         timeout = m_services.durations.copySearchTimeout,
                         home = platform::homeDirectory(), stop = shutdownToken()] {
            const auto usable = [&](const platform::MacPath& url) {
                return core::AppCopyLocator::isUsableCopy(url, excluded, home);
            };
            if (std::ranges::any_of(registry(bundleID), usable))
                return true;
            return searches && std::ranges::any_of(search(bundleID, timeout, stop), usable);
        };
        const bool hasCopy = co_await inBackground(m_scanPool, std::move(findCopy));
        if (hasCopy)
            co_return;
    }

    auto scan = [service = m_services.leftoverScan, app, roots = std::move(accessRoots),
                 stop = shutdownToken()] { return service(app, roots, stop); };
    Result<std::vector<core::LeftoverItem>> found =
        co_await inBackground(m_scanPool, std::move(scan));
    if (!found)
        co_return;
    std::vector<core::LeftoverItem> kept = removingAppBundle(app.url, *found);
    std::erase_if(kept, [](const core::LeftoverItem& item) {
        return item.category == core::LeftoverCategory::application;
    });
    if (kept.empty() || !m_offerCleanupForTrashedApps)
        co_return;

    TrashedAppNotice notice;
    notice.id = core::TrashNoticeGate::offerKey(bundle);
    notice.itemCount = static_cast<int>(kept.size());
    notice.totalBytes = removableBytes(kept);
    notice.items = std::move(kept);
    notice.bundle = std::move(bundle);
    notice.app = std::move(app);
    if (notice.bundle.originalURL) {
        const auto deleted =
            m_deletedByHomebrew.find(notice.bundle.originalURL->standardized().path());
        if (deleted != m_deletedByHomebrew.end()) {
            notice.deletedByHomebrew = std::chrono::steady_clock::now() - deleted->second <
                                       m_trashNoticeGate.expectationLifetime;
            m_deletedByHomebrew.erase(deleted);
        }
    }
    std::vector<TrashedAppNotice> notices = withoutNotice(m_trashNotices, notice.id);
    notices.push_back(std::move(notice));
    setTrashNotices(std::move(notices));
}

std::optional<core::InstalledApp>
UninstallViewModel::installedAgain(const core::WatchedAppBundle& bundle) const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const platform::MacPath home = platform::homeDirectory();
    const auto live = [&](const core::InstalledApp& app) {
        return !core::isInTrash(app.url, home) && m_services.fileExists(app.url);
    };
    if (bundle.originalURL) {
        const std::string original = bundle.originalURL->standardized().path();
        const auto back = std::ranges::find_if(m_apps, [&](const core::InstalledApp& app) {
            return app.url.standardized().path() == original && live(app);
        });
        if (back != m_apps.end())
            return *back;
    }
    if (!bundle.bundleID)
        return std::nullopt;
    const std::string wanted = platform::lowercased(*bundle.bundleID);
    // Back where it was before the list caught up with it: the bundle there is the app when
    // it carries the same identifier.
    if (bundle.originalURL && !core::isInTrash(*bundle.originalURL, home) &&
        m_services.fileExists(*bundle.originalURL)) {
        std::optional<core::InstalledApp> onDisk = m_services.loadApp(*bundle.originalURL);
        if (onDisk && onDisk->bundleID && platform::lowercased(*onDisk->bundleID) == wanted)
            return onDisk;
    }
    const auto copy = std::ranges::find_if(m_apps, [&](const core::InstalledApp& app) {
        return app.bundleID && platform::lowercased(*app.bundleID) == wanted && live(app);
    });
    if (copy == m_apps.end())
        return std::nullopt;
    return *copy;
}

Task<void> UninstallViewModel::reviewTrashedApp(TrashedAppNotice notice)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setTrashNotices(withoutNotice(m_trashNotices, notice.id));
    clearBatch();
    // Put back since the notice came: what the detail says about the app must hold now.
    if (std::optional<core::InstalledApp> installed = installedAgain(notice.bundle)) {
        co_await showApp(std::move(*installed));
        co_return;
    }
    co_await showApp(notice.app);
    // Only an app still in the Trash, or seen deleted by Homebrew, is confirmed gone; one that
    // left the Trash again may have been put back anywhere.
    const bool confirmedGone =
        notice.deletedByHomebrew ||
        (notice.bundle.trashURL && m_services.fileExists(*notice.bundle.trashURL));
    if (!confirmedGone && m_selectedAppID == notice.app.id()) {
        setDetailAppLocation(DetailAppLocation::notFound);
        setSelectedLeftoverIDs({});
    }
}

void UninstallViewModel::dismissTrashNotice(const TrashedAppNotice& notice)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    setTrashNotices(withoutNotice(m_trashNotices, notice.id));
}

void UninstallViewModel::dropMovedItemsFromTrashNotices(const removal::UninstallOutcome& outcome)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_trashNotices.empty())
        return;
    std::vector<std::string> gone;
    for (const std::vector<core::LeftoverItem>* list : {&outcome.trashed, &outcome.alreadyMissing})
        for (const core::LeftoverItem& item : *list)
            gone.push_back(item.url.standardized().path());
    if (gone.empty())
        return;
    const auto isGone = [&](const core::LeftoverItem& item) {
        const std::string path = item.url.standardized().path();
        return std::ranges::any_of(gone, [&](const std::string& moved) {
            return path == moved ||
                   (path.starts_with(moved) && (moved.ends_with('/') || path[moved.size()] == '/'));
        });
    };
    std::vector<TrashedAppNotice> notices = m_trashNotices;
    for (TrashedAppNotice& notice : notices) {
        if (std::erase_if(notice.items, isGone) == 0)
            continue;
        notice.itemCount = static_cast<int>(notice.items.size());
        notice.totalBytes = removableBytes(notice.items);
    }
    std::erase_if(notices, [](const TrashedAppNotice& notice) { return notice.items.empty(); });
    setTrashNotices(std::move(notices));
}

} // namespace veldo::controller
