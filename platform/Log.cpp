// The application's log: syslog and a standard-error copy, or a test's recorder.
#include "platform/Log.h"

#include <cstdio>
#include <mutex>
#include <utility>

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

testing::LogRecorder*& activeRecorder()
{
    static testing::LogRecorder* recorder = nullptr;
    return recorder;
}

std::string_view codeName(ErrorCode code)
{
    switch (code) {
    case ErrorCode::ioFailure:
        return "ioFailure";
    case ErrorCode::invalidArgument:
        return "invalidArgument";
    case ErrorCode::unreadable:
        return "unreadable";
    case ErrorCode::refused:
        return "refused";
    case ErrorCode::cancelled:
        return "cancelled";
    case ErrorCode::timedOut:
        return "timedOut";
    }
    return "unknown";
}

} // namespace

void logError(std::string_view category, std::string_view text)
{
    std::lock_guard lock(logMutex());
    if (testing::LogRecorder* recorder = activeRecorder()) {
        recorder->m_lines.push_back(std::string(category) + ": " + std::string(text));
        return;
    }
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
    const std::string_view cause =
        error.systemErrno != 0 ? errnoName(error.systemErrno) : codeName(error.code);
    logError(category, std::string(text) + " (" + std::string(cause) + ")");
}

namespace testing {

LogRecorder::LogRecorder()
{
    std::lock_guard lock(logMutex());
    m_previous = std::exchange(activeRecorder(), this);
}

LogRecorder::~LogRecorder()
{
    std::lock_guard lock(logMutex());
    if (activeRecorder() == this)
        activeRecorder() = m_previous;
}

std::vector<std::string> LogRecorder::lines() const
{
    std::lock_guard lock(logMutex());
    return m_lines;
}

} // namespace testing

} // namespace veldo::platform
