// FolderWatcher: reports changes in a set of folders (each folder's own entries, not its
// subtree), coalesced over a latency, as one callback. The file-system event stand-in.
//
// Changes are read with inotify on a thread of the watcher's own. After the first change, the
// watcher waits `latency` collecting more, then calls the callback once (on its thread). A
// queue overflow is reported the same way, so the caller's rescan covers what was lost.
// setFolders() replaces the watched set (re-arming after a rescan). The destructor stops the
// thread and waits for it; no callback runs after it returns.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::platform {

class FolderWatcher
{
public:
    // Fails when inotify can't be set up.
    static Result<std::unique_ptr<FolderWatcher>> create(std::function<void()> onChange,
                                                         std::chrono::milliseconds latency);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // Watches exactly these folders (Mac paths, links resolved inside the root). Folders that
    // don't exist or can't be watched are skipped; returns how many are watched.
    std::size_t setFolders(const std::vector<MacPath>& folders);

private:
    struct Core;
    explicit FolderWatcher(std::shared_ptr<Core> core);
    std::shared_ptr<Core> m_core;
    std::thread m_thread;
};

} // namespace veldo::platform
