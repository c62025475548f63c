// Error numbers by name, so no code compares numbers of one system with another's.
#pragma once

#include <string_view>

namespace veldo::platform {

// Darwin's EAUTH ("authentication error"), which Linux lacks: a project code far above every
// Linux errno, so no system call can ever report it. The helper's descriptor walk uses it for a
// folder its per-folder check refused.
inline constexpr int kEAUTH = 10080;

// "EACCES" for EACCES; "E<number>" for numbers without a name here.
std::string_view errnoName(int err);

// The number of a name ("ENOENT"); -1 when unknown.
int errnoFromName(std::string_view name);

} // namespace veldo::platform
