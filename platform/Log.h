// Log: the application's log lines, the stand-in for unified logging in its plain C++ layers.
//
// A line goes to syslog (facility user, level error, tag "orbelkan.Veldo/<category>") and to
// standard error as "veldo: [<category>] <text>". The text reaches the system log as it stands:
// callers leave out what is private (paths, file and app names) and name keys, counts and error
// numbers instead. Any thread: syslog's tag is process-wide, so a line is written under one lock.
//
// Tests hold a LogRecorder: while one exists, lines go to it instead, as "<category>: <text>"
// (to the newest one; the one before takes them again when it ends).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace veldo::platform {

void logError(std::string_view category, std::string_view text);
// `text`, then what failed in brackets: the errno's name ("EACCES"), else the error's code.
void logError(std::string_view category, std::string_view text, const Error& error);

namespace testing {

class LogRecorder
{
public:
    LogRecorder();
    ~LogRecorder();
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // The lines logged since it was made, in order.
    std::vector<std::string> lines() const;

private:
    friend void platform::logError(std::string_view, std::string_view);
    LogRecorder* m_previous = nullptr;
    std::vector<std::string> m_lines;
};

} // namespace testing

} // namespace veldo::platform
