// QuitWaitResult: what still runs after the wait for apps to quit.
#pragma once

#include <vector>

#include "app/core/InstalledApp.h"

namespace veldo::controller {

struct QuitWaitResult
{
    std::vector<core::InstalledApp> stillRunning; // the main process still runs
    std::vector<core::InstalledApp> helpersOnly;  // only helper processes still run

    friend bool operator==(const QuitWaitResult&, const QuitWaitResult&) = default;
};

} // namespace veldo::controller
