// RunningAppStatus: whether an installed app runs, under which process, with which helpers;
// and asking it to quit.
//
// Every function reads a fresh list of running applications from the given source (the /proc
// source by default) and keeps nothing. Paths are compared with every symbolic link resolved
// (inside the Mac root), identifiers lower-cased. The functions block on /proc and the file
// system only briefly and may be called from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "app/core/InstalledApp.h"
#include "platform/RunningApplications.h"

namespace veldo::core {

struct RunningAppStatus
{
    bool isRunning = false;                 // some running application is this app itself
    std::optional<pid_t> processIdentifier; // the first such application's process id
    std::vector<std::string> helperNames;   // the app's helper processes, each name once

    static const RunningAppStatus notRunning;

    friend bool operator==(const RunningAppStatus&, const RunningAppStatus&) = default;
};

inline const RunningAppStatus RunningAppStatus::notRunning{};

// The running applications that are `app` itself: those whose bundle is the app's bundle; or,
// only when none is, those with the app's bundle identifier (compared lower-cased) that have no
// bundle or run from a translocated copy (a bundle path containing "/AppTranslocation/").
std::vector<platform::RunningApplication> runningApplicationsMatching(
    const InstalledApp& app,
    const platform::RunningApplicationSource& source = platform::ProcRunningApplications::shared());

// The running applications, other than those above, whose bundle or executable lies strictly
// inside the app's bundle (login items, embedded agents, XPC services), in the source's order.
std::vector<platform::RunningApplication> helperProcesses(
    const InstalledApp& app,
    const platform::RunningApplicationSource& source = platform::ProcRunningApplications::shared());

// How a helper is named: its localised name (when not empty), else its bundle's name without the
// extension, else its executable's name, else "pid " and its process id.
std::string helperDisplayName(const platform::RunningApplication& helper);

// The app's status from one reading of the running applications: helperNames holds the
// helperDisplayName of each helper, a repeated name once. Helpers alone never make the app run.
RunningAppStatus runningStatus(
    const InstalledApp& app,
    const platform::RunningApplicationSource& source = platform::ProcRunningApplications::shared());

// Asks every matching application, then every helper, to quit. True when every matching
// application accepted the request (true when none runs: nothing is sent); the helpers' answers
// do not count. Returns at once: the caller polls runningStatus to see the app go.
bool requestQuit(const InstalledApp& app, const platform::RunningApplicationSource& source =
                                              platform::ProcRunningApplications::shared());

} // namespace veldo::core
