// The processes of this machine as /proc lists them, and the executables they run.
//
// Everything reads /proc afresh at each call, blocks only on /proc, and is thread-safe. Paths
// handed out are Mac paths: an executable outside the Mac root belongs to no program of this
// Mac and is left out; with an empty root every executable counts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "platform/MacPath.h"

namespace veldo::platform {

// The full executable paths of every listed process whose executable can be read, in /proc's
// (ascending process-id) order. A process whose /proc/PID/exe can't be read (another user's,
// EACCES; a kernel thread; one gone since the listing) is left out; a trailing " (deleted)" is
// dropped. Empty when /proc can't be read.
std::vector<MacPath> runningExecutablePaths();

namespace ProcessList {

// The process ids in the /proc folder `procFd`, ascending.
std::vector<pid_t> processIds(int procFd);

// The host path of the executable of the process whose /proc folder is `pidFd`, without a
// trailing " (deleted)"; none when it can't be read.
std::optional<std::string> executableHostPath(int pidFd);

// Maps the host paths the kernel reports (every link resolved) to Mac paths: the root is
// tried both as set and with its own links resolved.
class RootMapping
{
public:
    RootMapping();
    // The Mac path of `host`; none when it lies outside the root.
    std::optional<MacPath> macPath(const std::string& host) const;

private:
    std::string m_root;
    std::string m_resolvedRoot;
};

} // namespace ProcessList

} // namespace veldo::platform
