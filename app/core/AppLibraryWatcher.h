// AppLibraryWatcher: watches the application folders and the user's Trash and reports apps
// moved to the Trash, removed, launched or quit, and changes of the Trash's readability, as
// events to any number of subscribers.
//
// The snapshots and their comparison are AppLibrarySnapshot's. The watcher object owns one
// serial worker thread on which all its state lives; file-system changes are coalesced and
// answered with a full rescan.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/core/EventStream.h"
#include "app/core/WatchedAppBundle.h"
#include "platform/Clock.h"
#include "platform/MacPath.h"
#include "platform/PlistValue.h"

namespace veldo::core {

class AppLibraryWatcher
{
public:
    // What a snapshot stores for one bundle.
    struct Entry
    {
        std::optional<std::string> bundleID;
        std::string name;
        std::optional<std::string> version;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // Standardised bundle path (case as found on disk) → summary, in plain string order.
    using Snapshot = std::map<std::string, Entry>;

    struct AppMovedToTrash
    {
        WatchedAppBundle bundle;
        friend bool operator==(const AppMovedToTrash&, const AppMovedToTrash&) = default;
    };
    struct AppRemoved
    {
        WatchedAppBundle bundle;
        friend bool operator==(const AppRemoved&, const AppRemoved&) = default;
    };
    struct RunningAppsChanged
    {
        std::optional<platform::MacPath> bundleURL;
        std::optional<std::string> bundleID;
        bool launched = false;
        friend bool operator==(const RunningAppsChanged&, const RunningAppsChanged&) = default;
    };
    struct TrashAccessChanged
    {
        bool readable = true;
        friend bool operator==(const TrashAccessChanged&, const TrashAccessChanged&) = default;
    };
    struct AppsChanged
    {
        friend bool operator==(const AppsChanged&, const AppsChanged&) = default;
    };
    using Event = std::variant<AppMovedToTrash, AppRemoved, RunningAppsChanged, TrashAccessChanged,
                               AppsChanged>;

    // Launch and quit notifications of applications (the workspace's), delivered on any thread.
    class Workspace
    {
    public:
        virtual ~Workspace() = default;
        // Starts delivering to `handler` until the returned token is released; the release
        // waits for a call in progress, so the watcher is never kept alive on the delivering
        // thread. An absent bundle path or identifier means the notification did not name an
        // application.
        virtual std::shared_ptr<void>
        observe(std::function<void(std::optional<platform::MacPath> bundleURL,
                                   std::optional<std::string> bundleID, bool launched)>
                    handler) = 0;
    };

    struct Options
    {
        platform::Clock* clock = &platform::SystemClock::shared();
        std::shared_ptr<Workspace> workspace;         // none: the running-application list, polled
        std::chrono::milliseconds streamLatency{300}; // coalescing of file-system changes
    };

    // Whether the watcher also reports launches and quits of applications (RunningAppsChanged).
    enum class WorkspaceObservation
    {
        off,
        on,
    };

    // Builds the watcher; starts nothing and reads no folder. No folders means "/Applications"
    // and the real home's "Applications"; no Trash means the real home's ".Trash".
    AppLibraryWatcher(std::optional<std::vector<platform::MacPath>> applicationFolders,
                      std::optional<platform::MacPath> trashFolder,
                      WorkspaceObservation workspaceObservation,
                      std::chrono::milliseconds debounceInterval, Options options);
    AppLibraryWatcher(std::optional<std::vector<platform::MacPath>> applicationFolders,
                      std::optional<platform::MacPath> trashFolder,
                      WorkspaceObservation workspaceObservation,
                      std::chrono::milliseconds debounceInterval);
    // Tears down: stops watching, drops pending work and ends every subscriber's stream.
    ~AppLibraryWatcher();
    AppLibraryWatcher(const AppLibraryWatcher&) = delete;
    AppLibraryWatcher& operator=(const AppLibraryWatcher&) = delete;

    // A new stream of events emitted from now on; cancelling it unsubscribes.
    std::shared_ptr<EventStream<Event>> events();

    // Takes the baseline snapshots and starts watching, asynchronously on the watcher's queue.
    // Does nothing while watching runs; a start that found nothing to watch can be repeated.
    void start();

    // The wait before a rescan: the debounce interval, but never past `maximumLatency` after
    // the first change of a burst (`elapsed` ago); never negative.
    static std::chrono::nanoseconds debounceDelay(std::chrono::nanoseconds elapsed,
                                                  std::chrono::nanoseconds debounceInterval,
                                                  std::chrono::nanoseconds maximumLatency);

    static constexpr std::chrono::seconds kMaximumLatency{5};

private:
    class Impl;
    std::shared_ptr<Impl> m_impl;
};

} // namespace veldo::core
