// HostFiles: the few reads of host files (not Mac paths) that the application makes.
//
// Blocking, thread-safe, no errors: what cannot be read answers empty or false.
#pragma once

#include <cstddef>
#include <string>

#include "platform/HostPath.h"

namespace veldo::platform {

// Up to `maxBytes` of the file's text (links followed); "" when it cannot be opened.
std::string readHostText(const HostPath& path, std::size_t maxBytes);

// True for a regular file (links followed) that this process may execute.
bool isExecutableHostFile(const HostPath& path);

// The "/proc/self/fd/N" name of an open descriptor: opening, executing or asking access() of it
// reaches the very file the descriptor holds, never a path looked up again.
HostPath descriptorName(int fd);

// The host path the kernel gives for what an open descriptor holds (where descriptorName leads);
// empty when /proc can't tell.
HostPath hostPathOfDescriptor(int fd);

} // namespace veldo::platform
