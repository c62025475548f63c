// The requirement every client process of the helper daemon must meet, checked for the process
// that connected and for the process that wrote each request, through /proc:
// - the process still runs (its process descriptor shows its id), and a process pinned after the
//   fact had started by the time its bytes were read;
// - it lives in the daemon's own pid and user namespaces (from another namespace a process can
//   name someone else in its credentials);
// - its executable is the installed app's main executable: the bundle holding the daemon, whose
//   "Contents/Info.plist" (root's, writable by no one else) says "CFBundleIdentifier"
//   "orbelkan.Veldo", names the executable in "CFBundleExecutable" (in "Contents/MacOS", a
//   regular file of root's writable by no one else, no link on the way) and has a valid
//   "CFBundleVersion" not older than the daemon's build;
// - no tracer is attached ("TracerPid" 0);
// - the loader variables of its environment block ("environ": LD_PRELOAD, LD_AUDIT,
//   LD_LIBRARY_PATH, as the block reads now, for the process may overwrite it) lead only through
//   what no one but root could have changed since the loader read it: each name is followed from
//   "/" one entry at a time, every folder on the way root's and writable by no one else (a sticky
//   one passes), every link met root's in a folder no one else may add to, and at the end a
//   regular file of root's writable by no one else (or for LD_LIBRARY_PATH a folder of root's) in
//   such a folder: a library or link in a folder others may add to, sticky or not, is refused
//   (bare library names aside, which the loader looks up in the library folders);
// - every executable mapping is backed by a regular file owned by root and writable by neither
//   group nor others ("[vdso]" and "[vsyscall]" aside), and every other file-backed one, deleted
//   files, shared memory and devices included, by such an object unless its first bytes, read
//   through "map_files", show no ELF file (one that can't be opened or read counts as one; a
//   character device with nothing to read holds none): so the rest of a library of the user's that
//   took away its code (unmapped it or made it unexecutable) still shows, while the data a desktop
//   app maps (font caches, shared-memory buffers of the display server and the toolkit, the GPU's
//   device nodes) is no reason to refuse it.
// What the check cannot see: a process of the same user that may trace the client or write its
// memory (/proc/PID/mem, process_vm_writev) changes its code or its requests unseen (a tracer
// shows only while attached); a library that ran inside the client and took away every trace of
// itself before the daemon looked (all of its mappings, or the ELF header of its own file, which
// its user may overwrite, and its loader variable, overwritten in place) goes unseen too.
// A process that ends while it is read is refused as gone, whatever the reading found missing;
// one whose memory map keeps changing under the check (a mapping listed and gone a moment later)
// is read again, at most three times, and then refused.
//
// Reads only; safe on any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/HelperFileIdentity.h"
#include "helper/PinnedProcess.h"
#include "platform/MacPath.h"

namespace veldo::helper {

// Checks one process behind a connection or a request: none when it passes, else the reason for
// the log line.
using ClientCheck = std::function<std::optional<std::string>(const PinnedProcess& process)>;

// The installed app's main executable, as the bundle holding the daemon names it.
struct InstalledClient
{
    common::HelperFileIdentity executable;
    std::string build;
};

// Reads the app bundle `bundles` names (the daemon's protected bundles: exactly one) for a daemon
// of build `daemonBuild`; `reason` says why when it gives none.
std::optional<InstalledClient> readInstalledClient(const std::vector<platform::MacPath>& bundles,
                                                   const std::string& daemonBuild,
                                                   std::string& reason);

// The checks of one process against `client`; none when it passes.
std::optional<std::string> processRefusal(const PinnedProcess& process,
                                          const InstalledClient& client);

// The daemon's check: the installed client read afresh, then the process.
std::optional<std::string> installedClientRefusal(const PinnedProcess& process);

} // namespace veldo::helper
