// LibraryWatcherSession: a started app-library watcher and the event stream the controller reads.
#pragma once

#include <memory>

#include "app/core/AppLibraryWatcher.h"
#include "app/core/EventStream.h"

namespace veldo::controller {

struct LibraryWatcherSession
{
    // Kept alive as long as the controller reads its stream; none for a scripted stream.
    std::shared_ptr<core::AppLibraryWatcher> watcher;
    // Asked for before the watcher started, so no event is lost.
    std::shared_ptr<core::EventStream<core::AppLibraryWatcher::Event>> stream;
};

} // namespace veldo::controller
