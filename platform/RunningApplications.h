// The applications running for the current user, and asking one of them to quit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "platform/MacPath.h"

namespace veldo::platform {

// One running process, as the workspace describes a running application.
struct RunningApplication
{
    pid_t processIdentifier = 0;
    std::optional<MacPath> bundleURL;     // the app bundle it runs from, when it has one
    std::optional<MacPath> executableURL; // its executable
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    // When the process started, in the system's own units; 0 when unknown. Lets terminate()
    // make sure the process id still names this very process.
    std::uint64_t startTime = 0;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

class RunningApplicationSource
{
public:
    virtual ~RunningApplicationSource() = default;
    // A fresh snapshot of the running applications, in the system's order. Never fails: what
    // can't be read is left out.
    virtual std::vector<RunningApplication> runningApplications() const = 0;
    // Asks the application to quit. True when the request was delivered; false when the process
    // is gone, is no longer the one listed, or refused the request.
    virtual bool terminate(const RunningApplication& application) const = 0;
};

// The Linux source, read from /proc at each call: every process whose real user is the calling
// process's real user and whose executable (/proc/PID/exe, a trailing " (deleted)" dropped) lies
// inside the Mac root, in ascending process-id order. `executableURL` is the executable's Mac
// path; `bundleURL` is the ".app" folder whose "Contents/MacOS" holds the executable directly
// (none for an executable anywhere else); the identifier and the name (CFBundleDisplayName, else
// CFBundleName) come from that bundle's "Contents/Info.plist". terminate() sends SIGTERM through
// a process descriptor after checking the start time, so a reused process id is never
// signalled; an application listed without a start time is not signalled at all. Thread-safe.
class ProcRunningApplications final : public RunningApplicationSource
{
public:
    std::vector<RunningApplication> runningApplications() const override;
    bool terminate(const RunningApplication& application) const override;
    static const ProcRunningApplications& shared();
};

} // namespace veldo::platform
