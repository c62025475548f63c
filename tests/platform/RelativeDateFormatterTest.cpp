// Relative dates in the abbreviated units style.
#include "platform/RelativeDateFormatter.h"

#include <ctime>

#include <gtest/gtest.h>

namespace veldo::platform {
namespace {

using RelativeDateFormatter::localizedString;
using RelativeDateFormatter::TimePoint;
using std::chrono::seconds;

// A local calendar time; months and days may run past their range (mktime normalises them).
TimePoint local(int year, int month, int day, int hour = 12, int minute = 0, int second = 0)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

TEST(RelativeDateFormatter, EachUnitStartsWhereItsWholeCountReachesOne)
{
    const TimePoint now = local(2026, 6, 15);
    constexpr int kDay = 86'400;
    const struct
    {
        seconds before;
        const char* text;
    } byDuration[] = {
        {seconds(0), "0 sec. ago"},
        {seconds(1), "1 sec. ago"},
        {seconds(59), "59 sec. ago"},
        {seconds(60), "1 min. ago"},
        {seconds(119), "1 min. ago"},
        {seconds(59 * 60 + 59), "59 min. ago"},
        {seconds(3'600), "1 hr. ago"},
        {seconds(23 * 3'600 + 3'599), "23 hr. ago"},
        {seconds(kDay), "1 day ago"},
        {seconds(2 * kDay), "2 days ago"},
        {seconds(7 * kDay - 1), "6 days ago"},
        {seconds(7 * kDay), "1 wk. ago"},
        {seconds(14 * kDay), "2 wk. ago"},
        {seconds(28 * kDay - 1), "3 wk. ago"},
        {seconds(28 * kDay), "4 wk. ago"},
    };
    for (const auto& c : byDuration)
        EXPECT_EQ(localizedString(now - c.before, now), c.text) << c.before.count() << " s";

    const struct
    {
        TimePoint date;
        const char* text;
    } byCalendar[] = {
        {local(2026, 5, 16), "4 wk. ago"}, // 30 days, not yet a month
        {local(2026, 5, 15), "1 mo. ago"},
        {local(2026, 5, 15, 12, 0, 1), "4 wk. ago"},
        {local(2025, 7, 15), "11 mo. ago"},
        {local(2025, 6, 15), "1 yr. ago"},
        {local(2025, 6, 15, 12, 0, 1), "11 mo. ago"},
        {local(2023, 1, 2), "3 yr. ago"},
    };
    for (const auto& c : byCalendar)
        EXPECT_EQ(localizedString(c.date, now), c.text);
}

TEST(RelativeDateFormatter, FutureDatesReadIn)
{
    const TimePoint now = local(2026, 6, 15);
    EXPECT_EQ(localizedString(now + seconds(5 * 60), now), "in 5 min.");
    EXPECT_EQ(localizedString(now + seconds(86'400), now), "in 1 day");
    EXPECT_EQ(localizedString(now + seconds(3 * 86'400 + 5), now), "in 3 days");
    EXPECT_EQ(localizedString(local(2026, 8, 15), now), "in 2 mo.");
    EXPECT_EQ(localizedString(local(2028, 1, 1), now), "in 1 yr.");
}

} // namespace
} // namespace veldo::platform
