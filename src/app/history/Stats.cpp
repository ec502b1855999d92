// Statistics over the dictation history.
#include "app/history/Stats.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace quorvel {

std::int64_t wordsIn(std::string_view text) {
  // Counted on the UTF-8 bytes directly: the history can hold megabytes.
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
  std::int64_t words = 0;
  bool inWord = false;
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    if (bytes[i] < 0x80) {
      c = bytes[i++];
    } else {
      U8_NEXT(bytes, i, length, c);
    }
    const bool space = c >= 0 && u_isUWhiteSpace(c);
    if (!space && !inWord) ++words;
    inWord = !space;
  }
  return words;
}

LocalDay localDayOf(std::chrono::system_clock::time_point time) {
  using std::chrono::system_clock;
  const std::time_t seconds = system_clock::to_time_t(time);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) {
    const auto start = std::chrono::floor<std::chrono::days>(time);
    return {start, start + std::chrono::days(1)};
  }
  std::tm startTm = local;
  startTm.tm_hour = 0;
  startTm.tm_min = 0;
  startTm.tm_sec = 0;
  startTm.tm_isdst = -1;
  std::tm endTm = startTm;
  endTm.tm_mday += 1;
  const std::time_t start = std::mktime(&startTm);
  const std::time_t end = std::mktime(&endTm);
  if (start == -1 || end == -1 || end <= start) {
    const auto utcStart = std::chrono::floor<std::chrono::days>(time);
    return {utcStart, utcStart + std::chrono::days(1)};
  }
  return {system_clock::from_time_t(start), system_clock::from_time_t(end)};
}

Stats::Stats(const std::vector<DictationEntry>& entries, std::chrono::system_clock::time_point now) {
  const LocalDay day = localDayOf(now);
  double saved = 0;
  for (const DictationEntry& entry : entries) {
    if (entry.text.empty()) continue;
    const std::int64_t words = wordsIn(entry.text);
    if (day.contains(entry.date)) today += words;
    // Negative durations only come from a damaged line; they count as none.
    const double spoken = std::max(0.0, entry.audio);
    const double waited = static_cast<double>(std::max<std::int64_t>(0, entry.waitMs)) / 1000.0;
    const double minutes = static_cast<double>(words) / 40.0 - (spoken + waited) / 60.0;
    // A broken line's huge or odd numbers must not poison the sum.
    if (std::isfinite(minutes) && minutes > 0) saved += minutes;
  }
  const double rounded = std::round(saved);
  minutesSaved = rounded >= static_cast<double>(std::numeric_limits<std::int64_t>::max())
                     ? std::numeric_limits<std::int64_t>::max()
                     : static_cast<std::int64_t>(rounded);
}

}  // namespace quorvel
