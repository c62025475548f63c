// HelperLog: the helper daemon's loggers, one per category ("main", "listener", "service",
// "journal", "tools").
//
// Each line goes to syslog (facility daemon, tag "orbelkan.Veldo.Helper/<category>") and to
// standard error as "<UTC time> <level> [<category>] <text>". Formats are the unified-logging
// ones the daemon was written against: "%{public}s" and "%{public}d" are replaced by their value
// as it is, every "%{private}…" by "<private>", so that no path a user named reaches the system
// log. Standard error is written with one write(2) per line, unbuffered, so that a process that
// ends with _exit loses nothing. syslog's tag is process-wide, so openlog and syslog run under one
// lock; openlog is called without LOG_CONS. Loggers live for the whole process and are safe on any
// thread.
#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>

namespace veldo::helper {

class HelperLog final
{
public:
    enum class Level
    {
        debug,
        info,
        notice, // unified logging's "default"
        error,
        fault,
    };

    // The logger of `category`, made on first use and never destroyed.
    static HelperLog& category(std::string_view name);

    const std::string& name() const { return m_category; }

    // Logs `format` with its "%{public}…" and "%{private}…" specifiers replaced, in order, by
    // `values` (a specifier without a value becomes empty text).
    void log(Level level, std::string_view format,
             std::initializer_list<std::string_view> values = {}) const;

    void debug(std::string_view format, std::initializer_list<std::string_view> values = {}) const
    {
        log(Level::debug, format, values);
    }
    void info(std::string_view format, std::initializer_list<std::string_view> values = {}) const
    {
        log(Level::info, format, values);
    }
    void notice(std::string_view format, std::initializer_list<std::string_view> values = {}) const
    {
        log(Level::notice, format, values);
    }
    void error(std::string_view format, std::initializer_list<std::string_view> values = {}) const
    {
        log(Level::error, format, values);
    }

    // The text a line carries: `format` with its specifiers replaced as above. Pure.
    static std::string render(std::string_view format,
                              std::initializer_list<std::string_view> values);

    explicit HelperLog(std::string category);

private:
    std::string m_category;
};

// The logger of the tool runner ("tools") and of the journal ("journal").
HelperLog& toolsLog();
HelperLog& journalLog();
HelperLog& serviceLog();

namespace testing {
// Turns the syslog copy off (tests: CI has no syslog daemon) or on again; the standard-error
// copy is always written.
void setSyslogEnabled(bool enabled);
} // namespace testing

} // namespace veldo::helper
