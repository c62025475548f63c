// PinnedProcess: a client process of the helper daemon, held by a process descriptor so that its
// process id names the same process for as long as the descriptor shows it running.
//
// A process pinned after the fact (pidfd_open of a process id that arrived earlier) carries the
// moment its bytes arrived, in clock ticks since boot: it only counts as that sender when it had
// started by then (a process id reused in between names a younger process).
//
// The calls read /proc and the process's own descriptors; safe on any thread.
#pragma once

#include <cstdint>
#include <optional>

#include <sys/types.h>

#include "base/UniqueFd.h"

namespace veldo::helper {

struct PinnedProcess
{
    pid_t pid = 0;
    base::UniqueFd pidfd;
    // Set when pinned by pidfd_open after the fact: the boot-time tick its bytes were read in.
    std::optional<std::uint64_t> startedBy;

    // The process `pid` opened now with pidfd_open, to have started by `startedBy`; an empty
    // descriptor when it is gone.
    static PinnedProcess openedLate(pid_t pid, std::uint64_t startedBy);
};

// CLOCK_BOOTTIME in clock ticks (the unit of the start time in "/proc/<pid>/stat").
std::uint64_t bootTicksNow();

// The process id a process descriptor shows in this process's namespace ("Pid:" of its fdinfo):
// -1 when the process has ended, 0 when it is outside the namespace, none when unreadable.
std::optional<long> pidOfProcessDescriptor(int pidfd);

} // namespace veldo::helper
