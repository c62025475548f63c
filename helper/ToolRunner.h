// ToolRunner: runs the one outside tool of the helper daemon ("/bin/launchctl") as a child
// process with a fixed environment, no input, its output captured and a hard time limit; and
// runLaunchctl, the guarded binding the Trash mover gets as its `launchctl` function.
//
// The tool is a Mac path, run at its host path inside the Mac root. Before each run that host
// path is checked without following links: every folder from the host "/" down, and the tool, must
// be owned by root and writable by no one else (group write passes when the group is root's, and
// a root-owned folder with the sticky bit passes), and the tool must be a regular file. On a Mac
// only root can change "/bin/launchctl"; a fake Mac may be anyone's, and root must not run what
// another account wrote. A tool that fails the check is one that can't be started.
//
// run() blocks the calling thread: at most the limit, one grace for SIGTERM to work, and one grace
// more for the pipe to reach its end after the child has ended (a grandchild may hold it open),
// unless the kill itself hangs. Safe on any thread; keeps no state.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::helper {

namespace ToolRunner {

// The whole environment of the child.
inline constexpr std::string_view kPathVariable = "PATH=/usr/bin:/bin:/usr/sbin:/sbin";
inline constexpr std::chrono::milliseconds kDefaultGrace{5000};

struct RunResult
{
    // The exit status, the number of the signal that ended the child, or -1 when it could not
    // be started.
    std::int32_t status = -1;
    // Everything the child wrote to standard output and standard error, interleaved as written,
    // decoded as UTF-8 with invalid sequences replaced by U+FFFD; for a tool that could not be
    // started, the description of the error.
    std::string output;
    bool timedOut = false;
};

// Runs `tool` with `arguments` (argv[0] is the tool's Mac path). The child's standard input is
// the null device and standard output and error share one pipe. At the limit the child gets
// SIGTERM, one `grace` later SIGKILL, and the run then waits for it to end. After the child has
// ended the pipe is read for at most one `grace` more and then closed. Logs "Couldn't start …"
// at error level when the tool can't be started, and "<tool> <first argument> exited <status>"
// at info level otherwise (category "tools").
RunResult run(const platform::MacPath& tool, const std::vector<std::string>& arguments,
              std::chrono::milliseconds timeout, std::chrono::milliseconds grace = kDefaultGrace);

// The check above, on a host path: EPERM when an owner or mode is wrong or the tool is not a
// regular file (a symbolic link included), else the errno of a failing call (ENOENT for a
// missing tool).
Result<void> checkToolPath(const std::string& hostPath);

// The same check of a folder: every folder from the host "/" down to it, itself included.
Result<void> checkFolderPath(const std::string& hostPath);

// The ownership rule of the check for one object's status.
bool isWritableOnlyByRoot(const struct stat& status, bool folder);

} // namespace ToolRunner

// Runs "/bin/launchctl" with `arguments` (30-second limit) only when they are exactly a verb
// ("bootout" or "bootstrap"), "system" and a property list directly inside
// "/Library/LaunchDaemons" (isLaunchDaemonPlist); the path goes to the tool as its host path.
// Anything else returns at once, runs nothing and logs nothing. The result is not reported.
void runLaunchctl(const std::vector<std::string>& arguments);

} // namespace veldo::helper
