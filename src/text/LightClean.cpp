// The deterministic cleanup used whenever the model's answer is not used, and
// the replacement of em and en dashes by ordinary punctuation.
#include "text/RulePatterns.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

std::string lightClean(std::string_view raw) {
  const icu::RegexPattern& fillers = patterns::compiled<patterns::kFillerWords>();
  const icu::RegexPattern& spaceBeforeMark = patterns::compiled<patterns::kSpaceBeforeMark>();
  const icu::RegexPattern& whitespace = patterns::compiled<patterns::kWhitespace>();

  UnicodeString text = unicode::replaceAll(fillers, unicode::fromUtf8(raw), u"");
  text = unicode::replaceAll(spaceBeforeMark, text, u"$1");
  text = unicode::replaceAll(whitespace, text, u" ");
  text = unicode::trimSpacesAndTabs(text);
  return unicode::toUtf8(unicode::withFirstUppercased(text));
}

std::string removeDashes(std::string_view raw) {
  const UnicodeString source = unicode::fromUtf8(raw);
  if (source.indexOf(u'—') < 0 && source.indexOf(u'–') < 0) return unicode::toUtf8(source);

  // The order matters: number ranges first, then dashes whose meaning the
  // neighbouring text settles, and only then the general "comma" reading.
  const icu::RegexPattern& numberRange = patterns::compiled<patterns::kDashNumberRange>();
  const icu::RegexPattern& afterMark = patterns::compiled<patterns::kDashAfterMark>();
  const icu::RegexPattern& lineStart = patterns::compiled<patterns::kDashAtLineStart>();
  const icu::RegexPattern& beforeCapital = patterns::compiled<patterns::kDashBeforeCapital>();
  const icu::RegexPattern& atEnd = patterns::compiled<patterns::kDashAtEnd>();
  const icu::RegexPattern& anyDash = patterns::compiled<patterns::kAnyDash>();
  const icu::RegexPattern& commaBeforeMark = patterns::compiled<patterns::kCommaBeforeMark>();
  const icu::RegexPattern& spaceRuns = patterns::compiled<patterns::kSpaceRuns>();

  UnicodeString text = unicode::replaceAll(numberRange, source, u"$1-$2");
  text = unicode::replaceAll(afterMark, text, u" ");
  text = unicode::replaceAll(lineStart, text, u"");
  text = unicode::replaceAll(beforeCapital, text, u". ");
  text = unicode::replaceAll(atEnd, text, u".");
  text = unicode::replaceAll(anyDash, text, u", ");
  text = unicode::replaceAll(commaBeforeMark, text, u"$1");
  text = unicode::replaceAll(spaceRuns, text, u" ");
  return unicode::toUtf8(text);
}

}  // namespace quorvel::TextHelpers
