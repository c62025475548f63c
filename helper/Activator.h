// The helper's activator (`veldo-helper-activator`), launchd's stand-in: it binds the helper's
// socket and starts the daemon on demand, as launchd starts a job for its Mach service.
//
// It serves only an approved registration: the record
// "/private/var/db/orbelkan.Veldo.ServiceManagement/orbelkan.Veldo.Helper.plist", read through one
// descriptor opened without following links, a regular file with one link, root's and writable by
// no one else, approved, for the label "orbelkan.Veldo.Helper"; and the bundle it names, whose
// "Contents/Library/LaunchDaemons/orbelkan.Veldo.Helper.plist" has the record's "Label", a
// "BundleProgram" inside the bundle and the Mach service "orbelkan.Veldo.Helper". That plist, the
// program and every folder from the host "/" down to them are root's and writable by no one else
// (the tool runner's rule) with no symbolic link inside the Mac root, and the Mac's system folders
// are protected (as the daemon checks them at start).
//
// It makes "/private/var/log" (root's, 0755) when missing, replaces a stale socket only when it is
// a socket of root's, binds the socket (0666), asks for its writers' credentials before it listens
// (so that every connection carries them from its first byte, the one that starts the daemon too)
// and waits. When a client connects it checks everything again and starts the program by its opened
// descriptor (execveat) with the socket as descriptor 3 (LISTEN_FDS=1, LISTEN_PID), only PATH,
// VELDO_MAC_ROOT and the variables named by --pass-env in its environment, and its standard error
// appended to "/private/var/log/orbelkan.Veldo.Helper.log". It waits for the daemon through a
// process descriptor and starts it again on the next connection, at least the restart spacing after
// the last start; connections made meanwhile wait in the socket's backlog. When the record is gone
// or no longer trusted, it removes the socket, sends the daemon SIGTERM, waits for it and ends.
// The socket gets its name only once it is 0666 and listening: a client never finds it closed.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/UniqueFd.h"
#include "platform/ServiceRegistrationRecord.h"

namespace veldo::helper {

struct ActivatorOptions
{
    std::chrono::milliseconds restartSpacing{10000};
    std::vector<std::string> passEnvironment; // variable names
};

// `--restart-spacing SECONDS` and `--pass-env NAME` (repeatable); none, with `error` set, on
// anything else.
std::optional<ActivatorOptions> parseActivatorOptions(const std::vector<std::string>& arguments,
                                                      std::string& error);

// The daemon the registration names, checked as above: its program opened (O_PATH).
struct TrustedService
{
    platform::ServiceRegistrationRecord record;
    std::string programHostPath;
    base::UniqueFd program;
};

// The trusted service, or none with `reason` set.
std::optional<TrustedService> trustedService(std::string& reason);

// Runs the activator until the registration ends; the process's exit status (77 when not root).
int runActivator(const ActivatorOptions& options);

} // namespace veldo::helper
