// The helper daemon's entry: refuses to run unless root, prepares the process (descriptor limit,
// file-creation mask, SIGPIPE ignored, SIGTERM taken by a thread of its own), checks the Mac's
// system folders and the build floor, settles the moves and put-backs an earlier run left
// unfinished (only when the floor allows serving), and serves the listening socket its activator
// passed as descriptor 3 until the idle exit or SIGTERM. Exits: 77 when not root, 0 otherwise.
#pragma once

#include <optional>

#include <sys/resource.h>

#include "base/UniqueFd.h"
#include "helper/HelperListener.h"

namespace veldo::helper {

struct DaemonSettings
{
    HelperListener::Seconds idleTimeout = HelperListener::Seconds(60.0);
    // False pins clients as on a kernel without SO_PEERPIDFD and SO_PASSPIDFD (tests).
    bool usePidfdOptions = true;
    HelperListener::Limits limits;
};

[[noreturn]] void daemonMain(const DaemonSettings& settings = {});

// The soft descriptor limit to set for `soft` and `hard`: at most 4095 is raised to the smaller of
// `hard` and 4096; none leaves it alone. Pure.
std::optional<rlim_t> raisedDescriptorLimit(rlim_t soft, rlim_t hard);

// Descriptor 3 when LISTEN_PID is this process, LISTEN_FDS is 1 and it is a listening AF_UNIX
// stream socket; else nothing.
base::UniqueFd inheritedListeningSocket();

// The SIGTERM path: stop after the current item, flush the latest reply (at most 2 s), exit 0.
[[noreturn]] void handleTerminationSignal();

} // namespace veldo::helper
