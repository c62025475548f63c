// RelativeDateFormatter: a date relative to now in the Mac's abbreviated units style, in English
// ("5 min. ago", "3 hr. ago", "2 days ago", "in 3 wk.").
//
// The unit is the largest whose whole count is at least 1: years, months (both by the calendar
// in the local time zone), weeks, days, hours, minutes, else seconds; the count is truncated.
// Abbreviations are "sec.", "min.", "hr.", "wk.", "mo.", "yr." whatever the count; days read
// "day" for 1 and "days" otherwise. A date before `now` (or equal to it) reads "… ago", a later
// one "in …". Pure apart from reading the time-zone database; any thread.
#pragma once

#include <chrono>
#include <string>

namespace veldo::platform::RelativeDateFormatter {

using TimePoint = std::chrono::system_clock::time_point;

std::string localizedString(TimePoint date, TimePoint now);

} // namespace veldo::platform::RelativeDateFormatter
