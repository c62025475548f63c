// CommandRunner: the one way the app runs child programs, and where it finds them.
//
// run starts a program with an argument vector, a complete environment and a time-out, gives
// it the null device (or a given text) as standard input, collects standard output and standard
// error while it runs, stops it when the time-out passes or a stop is requested (SIGTERM, or the
// signal the options name, then SIGKILL 3 seconds later), and hands back one Output. Every call
// blocks the calling thread; many calls may run at once on different threads.
//
// Paths are Mac paths: the executable given to run, the folders of the search path and what
// which() answers. Tests of existence, type, permissions and identity go through the Mac root;
// run opens the program inside the root (links followed there) and starts the child from that
// descriptor, so no path is looked up again on the host (see platform/ChildProcess.h; a script
// sees its own name as "/dev/fd/3"). With an empty root all of this is the identity.
//
// searchPath() and commandLineToolsInstalled() are computed once, on first use (thread-safe),
// and afresh after a change of Mac root.
#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "platform/HostPath.h"
#include "platform/MacPath.h"

namespace veldo::core::CommandRunner {

// What a finished child left. (The members carry the names stdout and stderr; glibc defines
// those two macros as themselves, so they are safe as member names.)
struct Output
{
    // Standard output, UTF-8 with each invalid sequence as U+FFFD: all of it, or its first
    // kMaxOutputBytes bytes (before repair) when `truncated`.
    std::string stdout;
    std::string stderr; // the same for standard error
    // The exit status when the child exited; the signal number when a signal ended it (9 for
    // a child killed at its time-out, 15 when SIGTERM ended it, 1 for SIGHUP).
    std::int32_t code = 0;
    bool timedOut = false;  // still running when the time-out passed (it was then stopped)
    bool truncated = false; // a stream passed kMaxOutputBytes; the rest was read and dropped

    friend bool operator==(const Output&, const Output&) = default;
};

// Most bytes kept of each output stream.
inline constexpr std::size_t kMaxOutputBytes = std::size_t{64} << 20;

// An environment, passed to a child whole: the child sees exactly these variables.
using Environment = std::map<std::string, std::string>;

// How long the stop sequence waits after the terminate signal before SIGKILL, and at most for
// each output pipe to reach its end once the child has ended.
inline constexpr std::chrono::milliseconds kTerminateGrace{3'000};
inline constexpr std::chrono::milliseconds kOutputDrainWait{3'000};
// A time-out that never passes.
inline constexpr std::chrono::milliseconds kNoTimeLimit = std::chrono::milliseconds::max();

// The waits of the stop sequence (shorter in tests), and what the child starts with.
struct RunOptions
{
    std::chrono::milliseconds terminateGrace = kTerminateGrace;
    std::chrono::milliseconds outputDrainWait = kOutputDrainWait;
    // The signal that asks the child to end, before SIGKILL. An interactive shell ignores
    // SIGTERM and ends on SIGHUP (a hang-up).
    int terminateSignal = SIGTERM;
    // Written to the child's standard input while both output pipes are drained, so no amount
    // of it blocks the run; the pipe is closed once all is written, when the child stops
    // reading, or when it ends. None: the null device.
    std::optional<std::string> standardInput;
    // The child's working folder (a Mac path, links resolved inside the root); none: the app's.
    // One that can't be entered fails the start with its errno.
    std::optional<platform::MacPath> workingDirectory;
};

// Runs the program at `executable` (a Mac path; not searched for) with `arguments` and exactly
// `environment`, for at most `timeout` (kNoTimeLimit, or anything beyond about thirty years: no
// limit; below 0 counts as 0). Both pipes are drained while the child runs, so no amount of
// output blocks it; beyond kMaxOutputBytes a stream's bytes are read and dropped. When the
// time-out passes the child gets the terminate signal (SIGTERM unless the options name another),
// then SIGKILL when it is still there the terminate grace later; the call then waits for it to
// end. Once it has ended, each pipe gets up to the drain wait to reach its end (a descendant may
// hold it open); what was read by then is returned. A call therefore lasts at most timeout +
// grace + 2 × drain wait (9 s by default) unless the child survives SIGKILL.
//
// A stop requested through `stop` while the child runs ends it the same way (terminate signal,
// SIGKILL after the grace); the call returns as soon as the child has ended, without waiting for
// the pipes, and fails with cancelled. A stop requested before the start runs nothing. Once the
// time-out has passed the run ends as a time-out; once the child has ended by itself, a stop
// only cuts the wait for its pipes short.
// Fails with ioFailure and the errno of the failed start when the program could not be
// started (ENOENT: missing; EACCES: not executable; …).
Result<Output> run(const platform::MacPath& executable, const std::vector<std::string>& arguments,
                   const Environment& environment, std::chrono::milliseconds timeout,
                   const RunOptions& options = {}, std::stop_token stop = {});

// run with the app's own environment, its "PATH" replaced by childSearchPath(searchPath(), the
// app's own PATH).
Result<Output> runWithUserEnvironment(const platform::MacPath& executable,
                                      const std::vector<std::string>& arguments,
                                      std::chrono::milliseconds timeout,
                                      const RunOptions& options = {}, std::stop_token stop = {});

// The first folder + "/" + name in `searchPath` that is an executable regular file, whose
// status can be read, that is not writable by others, and that is no Apple placeholder tool
// unless `stubsAcceptable`. None for an empty name, a name holding "/", or no match. Callers
// pass searchPath() and commandLineToolsInstalled().
std::optional<platform::MacPath> which(std::string_view name,
                                       const std::vector<platform::MacPath>& searchPath,
                                       bool stubsAcceptable);

// The usable tool folders, in order: those the user's interactive login shell reports (host
// folders, taken as the same paths on the Mac: on a Mac they are; inside a Mac root they are
// looked up in the root, never on the host), the version managers' folders, "/opt/homebrew/bin",
// "/usr/local/bin", "/usr/bin", "/bin",
// "/usr/sbin", "/sbin", then the app's own PATH, all passed through usableDirectories. The first
// call runs the login shell (up to 5 s); a stop requested through `stop` meanwhile ends the shell
// (or the wait for another caller's run) and fails with cancelled, keeping nothing. Fails only
// then.
Result<std::vector<platform::MacPath>> searchPath(std::stop_token stop = {});

// Whether Apple's Command Line Tools are installed (so /usr/bin holds real tools). With an
// empty root on Linux, true: the host's tools are real.
bool commandLineToolsInstalled();

// which(name, searchPath(stop), commandLineToolsInstalled()): the tool the user's own shell would
// start for `name`. None also when a stop requested through `stop` ends the first look-up of the
// search path (the login shell's run, see searchPath).
std::optional<platform::MacPath> findTool(std::string_view name, const std::stop_token& stop = {});

// The names of Apple's placeholder tools in /usr/bin.
const std::set<std::string, std::less<>>& appleStubTools();

// The app's own process environment.
Environment processEnvironment();

// ---- The steps of the above, for tests and for callers that compose their own. ----

// run, for a program given by its host path (no mapping).
Result<Output> runHostProgram(const platform::HostPath& hostExecutable,
                              const std::vector<std::string>& arguments,
                              const Environment& environment, std::chrono::milliseconds timeout,
                              const RunOptions& options = {}, std::stop_token stop = {});

// searchPath's rule for given parts: `loginFolders`, versionManagerDirectories(home), the fixed
// folders, then `inheritedPath` split at ":" (empty pieces dropped), through usableDirectories.
std::vector<platform::MacPath> composeSearchPath(const std::vector<platform::MacPath>& loginFolders,
                                                 const platform::MacPath& home,
                                                 std::string_view inheritedPath);

// The "PATH" value for a child: each search-path folder mapped to its host path, joined with
// ":"; inside a Mac root followed by the absolute pieces of `inheritedPath` (host folders, so
// that real tools still resolve) not already listed. With an empty root, just the search path.
std::string childSearchPath(const std::vector<platform::MacPath>& searchPath,
                            std::string_view inheritedPath);

// The user's login shell as a host path: the first of $SHELL and the user database's shell
// that "/etc/shells" allows and that is an executable file; else "/bin/zsh".
platform::HostPath loginShell();

// The folders the login shell reports as its PATH (run as an interactive login shell with the
// marker script, 5-second time-out); none when the run fails, times out or exits non-zero, or
// is stopped through `stop`. An interactive shell ignores SIGTERM, so a time-out or a stop hangs
// it up (SIGHUP, which it passes on to its jobs) rather than waiting the grace for SIGKILL.
std::vector<platform::HostPath> loginShellPath(std::stop_token stop = {});

// The folders in the login shell's output: the text between the first two markers
// "__VELDO_PATH__", split at ":" with empty pieces dropped. None with fewer than two markers.
std::vector<platform::HostPath> parseLoginShellPath(std::string_view output);

// nvm's chosen node folder, then home's ".pyenv/shims", ".rbenv/shims", ".asdf/shims",
// ".local/share/mise/shims", ".volta/bin", ".local/bin", whether or not they exist.
std::vector<platform::MacPath> versionManagerDirectories(const platform::MacPath& home);

// The "bin" folder of the nvm node version that ".nvm/alias/default" names (the highest
// version of that release line), or of the highest version; none without versions.
std::optional<platform::MacPath> nvmNodeBinDirectory(const platform::MacPath& home);

// Compares with digit runs taken as numbers ("v9.11.2" < "v20.1.0"): below, equal or above 0.
int compareNumerically(std::string_view a, std::string_view b);

// Keeps, in order, the entries that are absolute, not yet listed, existing folders that are not
// writable by others; a trailing "/" is dropped first (but "/" stays "/").
std::vector<platform::MacPath> usableDirectories(const std::vector<platform::MacPath>& entries);

// Whether the path is one of Apple's placeholder tools: in exactly "/usr/bin", and either
// named in appleStubTools() or the same file as "/usr/bin/python3".
bool isAppleStub(const platform::MacPath& path);

} // namespace veldo::core::CommandRunner
