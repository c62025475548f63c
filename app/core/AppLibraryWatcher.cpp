// The app-library watcher's queue, file-system watching, debounce and delivery.
#include "app/core/AppLibraryWatcher.h"

#include <algorithm>

#include "app/core/AppLibrarySnapshot.h"
#include "app/core/PollingWorkspace.h"
#include "platform/FolderWatcher.h"
#include "platform/Home.h"
#include "platform/MacFileSystem.h"
#include "platform/Package.h"
#include "platform/SerialQueue.h"

namespace veldo::core {

using platform::MacPath;

class AppLibraryWatcher::Impl : public std::enable_shared_from_this<AppLibraryWatcher::Impl>
{
public:
    Impl(std::vector<MacPath> folders, MacPath trash, bool observesWorkspace,
         std::chrono::milliseconds debounce, Options options)
        : m_applicationFolders(std::move(folders)), m_trashFolder(std::move(trash)),
          m_debounceInterval(debounce), m_observesWorkspace(observesWorkspace),
          m_options(std::move(options)),
          m_queue(std::make_unique<platform::SerialQueue>("orbelkan.Veldo.AppLibraryWatcher"))
    {
    }

    platform::SerialQueue& queue() { return *m_queue; }

    std::shared_ptr<EventStream<Event>> subscribe()
    {
        auto stream = std::make_shared<EventStream<Event>>();
        std::uint64_t id = 0;
        m_queue->sync([&] {
            id = m_nextSubscriber++;
            if (m_stopped)
                stream->finish();
            else
                m_continuations.emplace(id, stream);
        });
        std::weak_ptr<Impl> weak = weak_from_this();
        stream->setOnTermination([weak, id] {
            if (auto self = weak.lock())
                self->m_queue->async([weak, id] {
                    if (auto s = weak.lock())
                        s->m_continuations.erase(id);
                });
        });
        return stream;
    }

    void startOnQueue()
    {
        if (m_stopped || m_stream)
            return;
        m_apps = AppLibrarySnapshot::snapshotApps(m_applicationFolders);
        auto [trash, readable] = AppLibrarySnapshot::snapshotTrash(m_trashFolder);
        m_trash = std::move(trash);
        m_trashReadable = readable;
        if (!readable)
            emit(TrashAccessChanged{false});
        createStream();
        if (m_observesWorkspace && !m_observersAdded)
            addWorkspaceObservers();
    }

    void stopOnQueue()
    {
        m_stopped = true;
        m_workspaceObservers.clear();
        if (m_pendingWork) {
            m_queue->cancel(*m_pendingWork);
            m_pendingWork.reset();
        }
        m_firstPendingEvent.reset();
        m_stream.reset(); // joins the watching thread; no callback after this
        for (auto& [id, stream] : m_continuations)
            stream->finish();
        m_continuations.clear();
    }

    // Folders whose own entries are watched: each existing application folder, its plain
    // subfolders and the Contents folder of each bundle in it, then the Trash and its plain
    // subfolders. (inotify sees one folder's entries; a Mac's event stream sees the subtree.)
    std::vector<MacPath> watchedFolders() const
    {
        std::vector<MacPath> folders;
        auto addWithPlainSubfolders = [&](const MacPath& folder) {
            folders.push_back(folder);
            auto names = platform::listDirectory(folder);
            if (!names)
                return;
            for (const auto& n : *names) {
                const MacPath entry = folder.appendingPathComponent(n);
                if (platform::isPlainFolder(entry))
                    folders.push_back(entry);
            }
        };
        for (const auto& folder : m_applicationFolders) {
            if (!platform::exists(folder))
                continue;
            addWithPlainSubfolders(folder);
            for (const auto& bundle : AppLibrarySnapshot::appBundles(folder))
                folders.push_back(bundle.appendingPathComponent("Contents"));
        }
        if (platform::exists(m_trashFolder))
            addWithPlainSubfolders(m_trashFolder);
        return folders;
    }

    void createStream()
    {
        bool anyRoot = platform::exists(m_trashFolder);
        for (const auto& folder : m_applicationFolders)
            anyRoot = anyRoot || platform::exists(folder);
        if (!anyRoot)
            return;
        std::weak_ptr<Impl> weak = weak_from_this();
        auto watcher = platform::FolderWatcher::create(
            [weak] {
                if (auto self = weak.lock())
                    self->m_queue->async([weak] {
                        if (auto s = weak.lock())
                            s->scheduleRescan();
                    });
            },
            m_options.streamLatency);
        if (!watcher)
            return;
        if ((*watcher)->setFolders(watchedFolders()) == 0)
            return;
        m_stream = std::move(*watcher);
    }

    void addWorkspaceObservers()
    {
        if (!m_options.workspace)
            return;
        m_observersAdded = true;
        std::weak_ptr<Impl> weak = weak_from_this();
        m_workspaceObservers.push_back(m_options.workspace->observe([weak](
                                                                        std::optional<MacPath>
                                                                            bundleURL,
                                                                        std::optional<std::string>
                                                                            bundleID,
                                                                        bool launched) {
            auto self = weak.lock();
            if (!self)
                return;
            Event event = RunningAppsChanged{std::move(bundleURL), std::move(bundleID), launched};
            self->m_queue->async([weak, event = std::move(event)] {
                if (auto s = weak.lock(); s && !s->m_stopped)
                    s->emit(event);
            });
        }));
    }

    void scheduleRescan()
    {
        if (m_stopped)
            return;
        const auto now = m_options.clock->now();
        if (!m_firstPendingEvent)
            m_firstPendingEvent = now;
        if (m_pendingWork)
            m_queue->cancel(*m_pendingWork);
        const auto delay =
            debounceDelay(now - *m_firstPendingEvent, m_debounceInterval, kMaximumLatency);
        std::weak_ptr<Impl> weak = weak_from_this();
        m_pendingWork = m_queue->asyncAfter(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(delay), [weak] {
                if (auto s = weak.lock())
                    s->fireRescan();
            });
    }

    void fireRescan()
    {
        if (m_stopped)
            return;
        m_pendingWork.reset();
        m_firstPendingEvent.reset();
        rescan();
    }

    void rescan()
    {
        Snapshot newApps = AppLibrarySnapshot::snapshotApps(m_applicationFolders);
        auto [newTrash, readable] = AppLibrarySnapshot::snapshotTrash(m_trashFolder);
        if (!readable)
            newTrash = m_trash;
        const Snapshot& oldTrash = m_trashReadable ? m_trash : newTrash;
        auto events = AppLibrarySnapshot::diff(m_apps, newApps, oldTrash, newTrash);
        if (readable != m_trashReadable)
            events.emplace_back(TrashAccessChanged{readable});
        m_apps = std::move(newApps);
        m_trash = std::move(newTrash);
        m_trashReadable = readable;
        if (m_stream)
            m_stream->setFolders(watchedFolders());
        for (const auto& e : events)
            emit(e);
    }

    void emit(const Event& event)
    {
        for (auto& [id, stream] : m_continuations)
            stream->yield(event);
    }

private:
    const std::vector<MacPath> m_applicationFolders;
    const MacPath m_trashFolder;
    const std::chrono::milliseconds m_debounceInterval;
    const bool m_observesWorkspace;
    const Options m_options;

    // Everything below lives on the queue.
    std::unique_ptr<platform::FolderWatcher> m_stream;
    std::optional<platform::SerialQueue::WorkId> m_pendingWork;
    std::optional<platform::Clock::TimePoint> m_firstPendingEvent;
    Snapshot m_apps;
    Snapshot m_trash;
    bool m_trashReadable = true;
    std::map<std::uint64_t, std::shared_ptr<EventStream<Event>>> m_continuations;
    std::uint64_t m_nextSubscriber = 1;
    std::vector<std::shared_ptr<void>> m_workspaceObservers;
    bool m_observersAdded = false;
    bool m_stopped = false;

    // Declared last: destroyed first, so no queued work outlives the state it touches.
    std::unique_ptr<platform::SerialQueue> m_queue;
};

AppLibraryWatcher::AppLibraryWatcher(std::optional<std::vector<MacPath>> applicationFolders,
                                     std::optional<MacPath> trashFolder,
                                     WorkspaceObservation workspaceObservation,
                                     std::chrono::milliseconds debounceInterval, Options options)
{
    const bool observesWorkspace = workspaceObservation == WorkspaceObservation::on;
    const MacPath home = platform::homeDirectory();
    std::vector<MacPath> folders = applicationFolders.value_or(std::vector<MacPath>{
        MacPath("/Applications"), home.appendingPathComponent("Applications")});
    MacPath trash = trashFolder.value_or(home.appendingPathComponent(".Trash"));
    if (observesWorkspace && !options.workspace)
        options.workspace = std::make_shared<PollingWorkspace>();
    m_impl = std::make_shared<Impl>(std::move(folders), std::move(trash), observesWorkspace,
                                    debounceInterval, std::move(options));
}

AppLibraryWatcher::AppLibraryWatcher(std::optional<std::vector<MacPath>> applicationFolders,
                                     std::optional<MacPath> trashFolder,
                                     WorkspaceObservation workspaceObservation,
                                     std::chrono::milliseconds debounceInterval)
    : AppLibraryWatcher(std::move(applicationFolders), std::move(trashFolder), workspaceObservation,
                        debounceInterval, Options{})
{
}

AppLibraryWatcher::~AppLibraryWatcher()
{
    m_impl->queue().sync([impl = m_impl.get()] { impl->stopOnQueue(); });
}

std::shared_ptr<EventStream<AppLibraryWatcher::Event>> AppLibraryWatcher::events()
{
    return m_impl->subscribe();
}

void AppLibraryWatcher::start()
{
    std::weak_ptr<Impl> weak = m_impl;
    m_impl->queue().async([weak] {
        if (auto s = weak.lock())
            s->startOnQueue();
    });
}

std::chrono::nanoseconds AppLibraryWatcher::debounceDelay(std::chrono::nanoseconds elapsed,
                                                          std::chrono::nanoseconds debounceInterval,
                                                          std::chrono::nanoseconds maximumLatency)
{
    const auto delay = std::min(maximumLatency - elapsed, debounceInterval);
    return std::max(delay, std::chrono::nanoseconds::zero());
}

} // namespace veldo::core
