// Relative dates in the abbreviated units style.
#include "platform/RelativeDateFormatter.h"

#include <cstdint>
#include <ctime>

namespace veldo::platform::RelativeDateFormatter {

namespace {

struct CalendarTime
{
    std::int64_t monthIndex; // year × 12 + month
    // The rest of the date within its month, compared as a whole: day, hour, minute, second.
    std::int64_t withinMonth;
};

CalendarTime calendarTime(TimePoint t)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    return {static_cast<std::int64_t>(local.tm_year) * 12 + local.tm_mon,
            ((static_cast<std::int64_t>(local.tm_mday) * 24 + local.tm_hour) * 60 + local.tm_min) *
                    60 +
                local.tm_sec};
}

// Whole calendar months from `earlier` to `later` (later ≥ earlier).
std::int64_t wholeMonths(TimePoint earlier, TimePoint later)
{
    const CalendarTime a = calendarTime(earlier);
    const CalendarTime b = calendarTime(later);
    std::int64_t months = b.monthIndex - a.monthIndex;
    if (months > 0 && b.withinMonth < a.withinMonth)
        --months;
    return months;
}

std::string counted(std::int64_t count, const char* unit)
{
    return std::to_string(count) + " " + unit;
}

} // namespace

std::string localizedString(TimePoint date, TimePoint now)
{
    const bool future = date > now;
    const TimePoint earlier = future ? now : date;
    const TimePoint later = future ? date : now;
    const std::int64_t seconds =
        std::chrono::duration_cast<std::chrono::seconds>(later - earlier).count();
    const std::int64_t months = wholeMonths(earlier, later);

    std::string amount;
    if (months >= 12)
        amount = counted(months / 12, "yr.");
    else if (months >= 1)
        amount = counted(months, "mo.");
    else if (seconds >= 7 * 86'400)
        amount = counted(seconds / (7 * 86'400), "wk.");
    else if (seconds >= 86'400)
        amount = counted(seconds / 86'400, seconds / 86'400 == 1 ? "day" : "days");
    else if (seconds >= 3'600)
        amount = counted(seconds / 3'600, "hr.");
    else if (seconds >= 60)
        amount = counted(seconds / 60, "min.");
    else
        amount = counted(seconds, "sec.");
    return future ? "in " + amount : amount + " ago";
}

} // namespace veldo::platform::RelativeDateFormatter
