// The Home page's statistics over the history.
#include <gtest/gtest.h>

#include <ctime>

#include "app/history/Stats.h"

namespace quorvel {
namespace {

using std::chrono::system_clock;

// A local wall-clock time, in whatever zone the test runs in.
system_clock::time_point local(int year, int month, int day, int hour, int minute) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_isdst = -1;
  return system_clock::from_time_t(std::mktime(&tm));
}

DictationEntry entry(system_clock::time_point date, std::string text, double audio = 0, long waitMs = 0) {
  DictationEntry e;
  e.date = date;
  e.text = std::move(text);
  e.audio = audio;
  e.waitMs = waitMs;
  return e;
}

TEST(Stats, CountsTodaysWordsByTheLocalCalendarDay) {
  const auto now = local(2026, 3, 2, 10, 0);
  const Stats stats({
                        entry(local(2026, 3, 1, 23, 59), "yesterday late words"),
                        entry(local(2026, 3, 2, 0, 0), "first thing"),
                        entry(local(2026, 3, 2, 9, 30), "  three  more\nwords "),
                        entry(local(2026, 3, 3, 0, 1), "tomorrow is not today"),
                    },
                    now);
  EXPECT_EQ(stats.today, 5);
}

TEST(Stats, FailedDictationsCountNowhere) {
  const auto now = local(2026, 3, 2, 10, 0);
  EXPECT_EQ(Stats({entry(now, "", 0, 0), entry(now, "", -100, -100000)}, now), Stats());
  EXPECT_EQ(Stats({}, now), Stats());
}

TEST(Stats, TimeSavedAddsNothingForASlowDictation) {
  const auto now = local(2026, 3, 2, 10, 0);
  // 80 words: 2 minutes to type; 30 s spoken + 30 s waited saves 1 minute.
  std::string eighty;
  for (int i = 0; i < 80; ++i) eighty += "word ";
  const DictationEntry quick = entry(now, eighty, 30, 30000);
  // 4 words: 0.1 minutes to type, but 60 s of speaking: would be −0.9.
  const DictationEntry slow = entry(now, "four words took long", 60, 0);
  EXPECT_EQ(Stats({quick, slow}, now).minutesSaved, 1);
  EXPECT_EQ(Stats({slow}, now).minutesSaved, 0);
  // Rounded to the nearest minute: 1.5 becomes 2.
  const DictationEntry half = entry(now, eighty, 30, 0);  // 2 − 0.5 = 1.5
  EXPECT_EQ(Stats({half}, now).minutesSaved, 2);
}

TEST(Stats, DamagedNumbersDoNotInflateTheTimeSaved) {
  const auto now = local(2026, 3, 2, 10, 0);
  // Negative durations from a damaged line count as none: 1 word = 0.025 min.
  EXPECT_EQ(Stats({entry(now, "word", -1e12, -5000000)}, now).minutesSaved, 0);
  EXPECT_EQ(Stats({entry(now, "word", std::numeric_limits<double>::quiet_NaN(), 0)}, now).minutesSaved, 0);
}

TEST(Stats, WordsAreThePiecesBetweenWhiteSpace) {
  EXPECT_EQ(wordsIn(""), 0);
  EXPECT_EQ(wordsIn(" \n\t "), 0);
  EXPECT_EQ(wordsIn("one"), 1);
  EXPECT_EQ(wordsIn("one\u00a0two\u2003three — four"), 5);
  EXPECT_EQ(wordsIn("\xFF\xFE broken"), 2);
}

}  // namespace
}  // namespace quorvel
