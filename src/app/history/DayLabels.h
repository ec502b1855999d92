// Dates and times as the windows show them, in the user's locale and time
// zone: "Today", "Yesterday" or "Monday, March 2" over a day of the history,
// "9:15 AM" for a dictation, "Today, 9:15 AM" over the last one.
//
// Main thread only (the formatters are made once and reused).
#pragma once

#include <chrono>
#include <string>

namespace quorvel {

using TimePoint = std::chrono::system_clock::time_point;

// "Today", "Yesterday", else the full weekday, month and day ("Monday, March 2").
std::string dayTitle(TimePoint date, TimePoint now);
// The locale's short time ("9:15 AM", "09:15").
std::string shortTime(TimePoint date);
// "Today, 9:15 AM", "Yesterday, 9:15 AM", else the abbreviated date and the
// time ("Mar 1, 2026, 9:15 AM").
std::string whenLabel(TimePoint date, TimePoint now);
// A count with the locale's digit grouping ("12,480").
std::string groupedNumber(long long value);

}  // namespace quorvel
