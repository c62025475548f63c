// Log: the application's log lines, the stand-in for unified logging in its plain C++ layers.
//
// A line goes to syslog (facility user, level error, tag "orbelkan.Veldo/<category>") and to
// standard error as "veldo: [<category>] <text>". The text reaches the system log as it stands:
// callers leave out what is private (paths, file and app names) and name keys, counts and error
// numbers instead. Any thread: syslog's tag is process-wide, so a line is written under one lock.
#pragma once

#include <string_view>

#include "base/Result.h"

namespace veldo::platform {

void logError(std::string_view category, std::string_view text);
// `text`, then the errno's name in brackets ("EACCES") when a system call failed.
void logError(std::string_view category, std::string_view text, const Error& error);

} // namespace veldo::platform
