// Error numbers by name, so no code compares numbers of one system with another's.
#pragma once

#include <string_view>

namespace veldo::platform {

// "EACCES" for EACCES; "E<number>" for numbers without a name here.
std::string_view errnoName(int err);

// The number of a name ("ENOENT"); -1 when unknown.
int errnoFromName(std::string_view name);

} // namespace veldo::platform
