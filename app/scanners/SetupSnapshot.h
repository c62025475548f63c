// SetupSnapshot: saves a record of the user's developer setup into a chosen folder, so that the
// same packages can be installed again elsewhere.
//
// Each file comes from the package manager's own command, found on the tool search path
// (CommandRunner::which over searchPath()) and run through CommandRunner::runWithUserEnvironment
// with an argument vector, one after another:
//   "Brewfile"          brew "bundle" "dump" "--file=<host path of the Brewfile>" "--force"
//                       (brew writes it itself)
//   "requirements.txt"  the standard output of pip3 (else pip) "freeze"
//   "npm-global.txt"    the standard output of npm "ls" "-g" "--depth=0"; a non-zero exit after a
//                       listing still counts and adds the note "npm reported dependency warnings"
//   "gems.txt"          the standard output of gem "list" "--local" (any gem, the system's too)
// A manager that is not found is skipped. The three text files are written atomically
// (platform::writeFileAtomically), replacing files of the same name; a file that cannot be
// written keeps its old content. A run that cannot start, fails, times out, whose output was cut
// short or (npm) is empty leaves its file unwritten and names it as failed. The Brewfile counts
// as written only when brew succeeded and a file is there afterwards that was absent before or
// whose identity or modification time changed (links at its path followed), so that an old
// Brewfile left in place is never reported as a fresh one. Nothing is ever deleted.
//
// The folder is a Mac path; existence checks and writes go through the Mac root. Blocks for as
// long as the children run (at most `timeout` each, plus the runner's stop sequence); call it
// from background work. Thread-safe; no state. A stop requested through `stop` ends the running
// child and starts no further one; the files not produced are then named as failed.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::scanners::SetupSnapshot {

// How long each export command may run.
inline constexpr std::chrono::milliseconds kExportTimeout = std::chrono::seconds(300);

// Runs the four exports into `folder` and returns the status line (snapshotSummary).
std::string exportDeveloperSnapshot(const platform::MacPath& folder,
                                    std::chrono::milliseconds timeout = kExportTimeout,
                                    std::stop_token stop = {});

// The status line: "No package managers found to export." when nothing was exported or failed;
// else "Exported " and the exported names joined with ", ", "Could not export " and the failed
// names likewise (each only when there are any), then every note, joined with " · ".
std::string snapshotSummary(const std::vector<std::string>& exported,
                            const std::vector<std::string>& failed,
                            const std::vector<std::string>& notes);

} // namespace veldo::scanners::SetupSnapshot
