// The Home page's two readouts over the history: words dictated today and the
// minutes saved against typing at 40 words a minute. Failed dictations (no
// typed text) count nowhere, and a dictation that took longer to speak and
// wait for than to type adds nothing rather than taking time away.
//
// Pure; "today" is the local calendar day of `now`.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/history/DictationLog.h"

namespace quorvel {

struct Stats {
  std::int64_t today = 0;         // words in today's dictations
  std::int64_t minutesSaved = 0;  // rounded to the nearest minute

  Stats() = default;
  Stats(const std::vector<DictationEntry>& entries, std::chrono::system_clock::time_point now);

  bool operator==(const Stats&) const = default;
};

// Words of a typed text: the pieces between white-space characters.
std::int64_t wordsIn(std::string_view text);

// The local calendar day holding `time`: [start, end). Days of 23 or 25
// hours around a clock change are measured as the calendar has them.
struct LocalDay {
  std::chrono::system_clock::time_point start;
  std::chrono::system_clock::time_point end;
  bool contains(std::chrono::system_clock::time_point time) const {
    return time >= start && time < end;
  }
};
LocalDay localDayOf(std::chrono::system_clock::time_point time);

}  // namespace quorvel
