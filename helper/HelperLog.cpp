// The helper daemon's loggers: syslog and a standard-error copy.
#include "helper/HelperLog.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <map>
#include <memory>

#include <syslog.h>
#include <unistd.h>

namespace veldo::helper {

namespace {

constexpr std::string_view kSubsystem = "orbelkan.Veldo.Helper";

std::atomic<bool>& syslogEnabled()
{
    static std::atomic<bool> enabled{true};
    return enabled;
}

// openlog keeps the tag pointer: every tag ever used stays alive for the process.
std::mutex& syslogMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string_view levelName(HelperLog::Level level)
{
    switch (level) {
    case HelperLog::Level::debug:
        return "debug";
    case HelperLog::Level::info:
        return "info";
    case HelperLog::Level::notice:
        return "default";
    case HelperLog::Level::error:
        return "error";
    case HelperLog::Level::fault:
        return "fault";
    }
    return "default";
}

int syslogPriority(HelperLog::Level level)
{
    switch (level) {
    case HelperLog::Level::debug:
        return LOG_DEBUG;
    case HelperLog::Level::info:
        return LOG_INFO;
    case HelperLog::Level::notice:
        return LOG_NOTICE;
    case HelperLog::Level::error:
        return LOG_ERR;
    case HelperLog::Level::fault:
        return LOG_CRIT;
    }
    return LOG_NOTICE;
}

std::string utcNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    ::gmtime_r(&now.tv_sec, &parts);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    char millis[24];
    std::snprintf(millis, sizeof millis, ".%03ldZ", now.tv_nsec / 1'000'000);
    return std::string(text, length) + millis;
}

void writeWhole(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

HelperLog::HelperLog(std::string category) : m_category(std::move(category))
{
}

HelperLog& HelperLog::category(std::string_view name)
{
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<HelperLog>, std::less<>> loggers;
    std::lock_guard lock(mutex);
    auto it = loggers.find(name);
    if (it == loggers.end())
        it = loggers.emplace(std::string(name), std::make_unique<HelperLog>(std::string(name)))
                 .first;
    return *it->second;
}

std::string HelperLog::render(std::string_view format,
                              std::initializer_list<std::string_view> values)
{
    std::string out;
    const std::string_view* value = values.begin();
    std::size_t i = 0;
    while (i < format.size()) {
        const bool isPublic = format.substr(i).starts_with("%{public}");
        const bool isPrivate = format.substr(i).starts_with("%{private}");
        if (!isPublic && !isPrivate) {
            out.push_back(format[i++]);
            continue;
        }
        i += isPublic ? 9 : 10;
        // The conversion letter(s) after the braces: "s", "d", "lld", …
        while (i < format.size() && format[i] == 'l')
            ++i;
        if (i < format.size())
            ++i;
        const std::string_view text = value != values.end() ? *value++ : std::string_view{};
        out.append(isPublic ? text : std::string_view("<private>"));
    }
    return out;
}

void HelperLog::log(Level level, std::string_view format,
                    std::initializer_list<std::string_view> values) const
{
    const std::string text = render(format, values);
    std::string line = utcNow();
    line.append(" ").append(levelName(level)).append(" [").append(m_category).append("] ");
    line.append(text).push_back('\n');
    writeWhole(STDERR_FILENO, line);

    if (!syslogEnabled().load())
        return;
    static std::map<std::string, std::string, std::less<>> tags;
    std::lock_guard lock(syslogMutex());
    auto it = tags.find(m_category);
    if (it == tags.end())
        it = tags.emplace(m_category, std::string(kSubsystem) + "/" + m_category).first;
    ::openlog(it->second.c_str(), LOG_PID, LOG_DAEMON);
    ::syslog(syslogPriority(level), "%s", text.c_str());
}

HelperLog& toolsLog()
{
    return HelperLog::category("tools");
}

HelperLog& journalLog()
{
    return HelperLog::category("journal");
}

HelperLog& serviceLog()
{
    return HelperLog::category("service");
}

namespace testing {
void setSyslogEnabled(bool enabled)
{
    syslogEnabled().store(enabled);
}
} // namespace testing

} // namespace veldo::helper
