// The application's log: syslog and a standard-error copy.
#include "platform/Log.h"

#include <cstdio>
#include <mutex>
#include <string>

#include <syslog.h>

#include "platform/ErrnoName.h"

namespace veldo::platform {

namespace {

constexpr std::string_view kSubsystem = "orbelkan.Veldo";

std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

void logError(std::string_view category, std::string_view text)
{
    std::lock_guard lock(logMutex());
    // openlog keeps the tag's pointer until closelog, so the tag lives through both under the
    // lock; without LOG_CONS nothing reaches the console when no syslog daemon listens.
    const std::string tag = std::string(kSubsystem) + "/" + std::string(category);
    ::openlog(tag.c_str(), LOG_PID, LOG_USER);
    ::syslog(LOG_ERR, "%.*s", static_cast<int>(text.size()), text.data());
    ::closelog();
    std::fprintf(stderr, "veldo: [%.*s] %.*s\n", static_cast<int>(category.size()), category.data(),
                 static_cast<int>(text.size()), text.data());
}

void logError(std::string_view category, std::string_view text, const Error& error)
{
    if (error.systemErrno == 0)
        logError(category, text);
    else
        logError(category,
                 std::string(text) + " (" + std::string(errnoName(error.systemErrno)) + ")");
}

} // namespace veldo::platform
