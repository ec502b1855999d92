// Tidying raw speech-server output: bracketed tags, sound labels, stray dashes
// and whitespace that the speech model writes around the words.
#include "text/RulePatterns.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace quorvel::TextHelpers {
namespace {

using icu::UnicodeString;

// Stems of the non-speech sounds speech models annotate, matched as substrings
// of a lower-cased label ("chuckl" covers chuckles and chuckling).
constexpr std::array<std::u16string_view, 45> kSoundWords = {
    u"music",   u"rewind",     u"laugh",      u"chuckl", u"applause", u"clap",   u"cough",
    u"sigh",    u"silence",    u"inaudible",  u"blank",  u"noise",    u"static", u"beep",
    u"click",   u"breath",     u"sniff",      u"whoosh", u"buzz",     u"ring",   u"typing",
    u"footstep", u"wind",      u"crowd",      u"cheer",  u"humm",     u"sing",   u"bell",
    u"tape",    u"engine",     u"vibrat",     u"background", u"indistinct", u"mumbl", u"crying",
    u"sneez",   u"gasp",       u"groan",      u"knock",  u"door",     u"bark",   u"rustl",
    u"sound",   u"audio",      u"video"};

// Labels of this many words or more are taken to be speech, not annotations.
constexpr int kSpokenLabelWords = 5;

int spaceSeparatedWords(const UnicodeString& label) {
  int words = 0;
  for (const UnicodeString& part : unicode::splitLiteral(label, UnicodeString(u" "))) {
    if (!part.isEmpty()) ++words;
  }
  return words;
}

bool namesASound(const UnicodeString& label) {
  if (spaceSeparatedWords(label) >= kSpokenLabelWords) return false;
  if (label == unicode::uppercased(label)) return true;
  const UnicodeString lower = unicode::lowercased(label);
  for (std::u16string_view stem : kSoundWords) {
    if (lower.indexOf(stem.data(), static_cast<int32_t>(stem.size()), 0) >= 0) return true;
  }
  return false;
}

}  // namespace

std::string normalize(std::string_view raw) {
  const icu::RegexPattern& tags = patterns::compiled<patterns::kTranscriptTags>();
  const icu::RegexPattern& whitespace = patterns::compiled<patterns::kWhitespace>();
  const icu::RegexPattern& leadingDashes = patterns::compiled<patterns::kLeadingDashes>();

  // Every tag ends in "]" or ")": past the last of them no tag can begin, and
  // leaving that part out of the search spares a scan to the end from every
  // open bracket in it.
  const UnicodeString source = unicode::fromUtf8(raw);
  const int32_t searchEnd = std::max(source.lastIndexOf(u']'), source.lastIndexOf(u')')) + 1;
  UnicodeString text = unicode::replaceAll(tags, UnicodeString(source, 0, searchEnd), u" ");
  text.append(source, searchEnd, source.length() - searchEnd);
  text = unicode::replaceAll(whitespace, text, u" ");
  text = unicode::trimWhitespaceAndLineBreaks(text);
  text = unicode::replaceAll(leadingDashes, text, u"");
  return unicode::toUtf8(text);
}

std::string dropSoundLabels(std::string_view raw) {
  const icu::RegexPattern& label = patterns::compiled<patterns::kSoundLabel>();
  const icu::RegexPattern& leadingDash = patterns::compiled<patterns::kLeadingDash>();
  const icu::RegexPattern& whitespaceRuns = patterns::compiled<patterns::kWhitespaceRuns>();

  const UnicodeString source = unicode::fromUtf8(raw);
  UnicodeString text;
  {
    auto matcher = unicode::matcherFor(label, source);
    UErrorCode status = U_ZERO_ERROR;
    int32_t keptFrom = 0;
    while (matcher->find()) {
      if (!namesASound(matcher->group(1, status))) continue;
      text.append(source, keptFrom, matcher->start(status) - keptFrom);
      text.append(u' ');
      keptFrom = matcher->end(status);
    }
    text.append(source, keptFrom, source.length() - keptFrom);
  }
  text = unicode::replaceLiteral(text, UnicodeString(u"♪"), UnicodeString(u" "));
  text = unicode::replaceAll(leadingDash, text, u"");
  text = unicode::replaceAll(whitespaceRuns, text, u" ");
  return unicode::toUtf8(unicode::trimWhitespaceAndLineBreaks(text));
}

}  // namespace quorvel::TextHelpers
