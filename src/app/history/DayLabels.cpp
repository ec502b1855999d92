// Locale-aware date labels through ICU's formatters.
#include "app/history/DayLabels.h"

#include <unicode/datefmt.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>

#include <memory>

#include "app/history/Stats.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

// A plain "C" or "POSIX" environment gives ICU's POSIX locale, whose formats
// read like a program's; people get US English then.
icu::Locale displayLocale() {
  icu::Locale locale = icu::Locale::getDefault();
  const std::string name = locale.getName();
  if (name.empty() || name == "c" || name == "C" || name.find("POSIX") != std::string::npos) {
    return icu::Locale::getUS();
  }
  return locale;
}

UDate icuDate(TimePoint time) {
  return static_cast<UDate>(
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

std::unique_ptr<icu::DateFormat> fromSkeleton(const char16_t* skeleton) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Locale locale = displayLocale();
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(locale, status));
  if (U_FAILURE(status) || !generator) return nullptr;
  const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(skeleton), status);
  if (U_FAILURE(status)) return nullptr;
  auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
  if (U_FAILURE(status)) return nullptr;
  return format;
}

std::string formatted(icu::DateFormat* format, TimePoint time) {
  if (format == nullptr) return {};
  icu::UnicodeString out;
  format->format(icuDate(time), out);
  return unicode::toUtf8(out);
}

icu::DateFormat* timeFormat() {
  static const std::unique_ptr<icu::DateFormat> format(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, displayLocale()));
  return format.get();
}

bool sameDay(TimePoint a, TimePoint b) { return localDayOf(b).contains(a); }

bool yesterday(TimePoint date, TimePoint now) {
  const LocalDay today = localDayOf(now);
  return localDayOf(today.start - std::chrono::seconds(1)).contains(date);
}

}  // namespace

std::string dayTitle(TimePoint date, TimePoint now) {
  if (sameDay(date, now)) return "Today";
  if (yesterday(date, now)) return "Yesterday";
  static const std::unique_ptr<icu::DateFormat> format = fromSkeleton(u"EEEEMMMMd");
  return formatted(format.get(), date);
}

std::string shortTime(TimePoint date) { return formatted(timeFormat(), date); }

std::string whenLabel(TimePoint date, TimePoint now) {
  if (sameDay(date, now)) return "Today, " + shortTime(date);
  if (yesterday(date, now)) return "Yesterday, " + shortTime(date);
  static const std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
      icu::DateFormat::kMedium, icu::DateFormat::kShort, displayLocale()));
  return formatted(format.get(), date);
}

std::string groupedNumber(long long value) {
  UErrorCode status = U_ZERO_ERROR;
  static const std::unique_ptr<icu::NumberFormat> format(
      icu::NumberFormat::createInstance(displayLocale(), status));
  if (!format) return std::to_string(value);
  icu::UnicodeString out;
  format->format(static_cast<int64_t>(value), out);
  return unicode::toUtf8(out);
}

}  // namespace quorvel
