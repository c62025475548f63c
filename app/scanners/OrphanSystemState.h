// What runs and what is loaded on the Mac, as the orphan scan sees it: the executables of the
// running processes, the labels of the loaded launchd jobs (with the readers of launchctl's two
// listings), and the programs that the system's launch daemons name.
//
// Blocking; any thread. Nothing fails loudly: what can't be read is left out, and the labels
// are absent when launchctl could not answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::scanners::OrphanScanner {

// The executable of every process whose executable can be read, as its Mac path (invalid UTF-8
// repaired), in process order (see platform/ProcessList.h: another user's processes can't be read
// on Linux).
std::vector<std::string> runningExecutablePaths();

// The labels (as written) of the jobs loaded in the user's and the system's launchd domains:
// "/bin/launchctl" "list", then "/bin/launchctl" "print" "system", each with the app's own
// environment and 10 seconds. Absent when either run can't start, exits non-zero, times out or
// has its output cut at the runner's limit.
std::optional<std::unordered_set<std::string>> loadedLaunchdLabels();

// The labels of "launchctl list" output: after the header line, the third tab-separated field
// of each line, trimmed of spaces and tabs, when not empty. Empty lines are dropped first; with
// fewer than two lines, nothing.
std::unordered_set<std::string> parseLaunchctlList(std::string_view output);

// The labels of "launchctl print system" output: the third field (split at spaces and tabs) of
// each line with more than two fields between the line "services = {" and the next line "}"
// (or the end), lines trimmed of spaces and tabs.
std::unordered_set<std::string> parseLaunchctlServices(std::string_view output);

// The program paths of the launch daemons in `folder`: of each visible "*.plist" (any case) that
// reads as a launchd job, its program path when it begins with "/", normalised (links of its
// folder resolved inside the Mac root) and lower-cased. Empty when the folder can't be listed.
std::unordered_set<std::string> daemonProgramPaths(const platform::MacPath& folder);

} // namespace veldo::scanners::OrphanScanner
