// RepeatedLines: keeps the log lines that any local account can make the helper daemon write
// again and again (one for each connection, each refused connection, refused client or refused
// request, an administrator's as much as any other account's) from growing root's log without
// bound.
//
// Lines are counted by account, in windows: the first line of an account opens its window and is
// written, as is the first line of each further kind in that window, up to kKindsPerWindow kinds;
// every other line of the account in the window is only counted. A line's kind is what it says
// but for the process ids it names ("pid 4711" is "pid "), which change with every connection:
// the same refusal of the next process is counted, a refusal for another reason is written. A
// line is written no longer than kLongestLine bytes (cut between characters, with "…"), whatever
// its values hold. Once the window has ended, a window that counted lines writes one more line,
// "… and 1,396 more from uid 1005 in the last minute", to the listener's log; the account's next
// line opens a new window. A flood by one account therefore adds at most kKindsPerWindow + 1
// lines a window, none longer than kLongestLine and its time, level and category.
//
// `schedule(delay)` is asked, when a window opens, to call sweep() once `delay` has passed; the
// ended windows are also swept before every line. Thread-safe; a line is written while the
// object's lock is held, so the lines of one account keep their order.
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "helper/HelperLog.h"

namespace veldo::helper {

class RepeatedLines final
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kKindsPerWindow = 4;
    static constexpr std::size_t kLongestLine = 240;

    explicit RepeatedLines(std::chrono::duration<double> window,
                           std::function<void(Clock::duration)> schedule = {});
    RepeatedLines(const RepeatedLines&) = delete;
    RepeatedLines& operator=(const RepeatedLines&) = delete;

    // Writes `format` with `values` (as HelperLog renders them) to `log` at `level` as above, or
    // counts it for `account`.
    void log(const HelperLog& log, HelperLog::Level level, uid_t account, std::string_view format,
             std::initializer_list<std::string_view> values = {});

    // Writes the count of each window that has ended (of every window when `all`, as before the
    // process exits) and forgets those windows.
    void sweep(bool all = false);

    // "1,396": a count as the lines write it. Pure.
    static std::string countText(long count);

private:
    struct Window
    {
        Clock::time_point opened;
        std::vector<std::string> kinds;
        long counted = 0;
    };

    void sweepLocked(Clock::time_point now, bool all);

    const Clock::duration m_window;
    const std::string m_windowText;
    std::function<void(Clock::duration)> m_schedule;
    std::mutex m_lock;
    std::map<uid_t, Window> m_windows;
};

} // namespace veldo::helper
