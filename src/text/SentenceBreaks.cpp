// Splits again the sentences of the source that a cleanup joined with a comma
// or an "and".
#include <array>
#include <memory>
#include <string>

#include "text/Restorers.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

// Words that commonly open a sentence; a break before one of them is trusted.
constexpr std::array<std::u16string_view, 44> kSentenceStarters = {
    u"and",    u"so",       u"but",       u"this",    u"that",    u"these",   u"those",
    u"there",  u"it",       u"i",         u"we",      u"you",     u"they",    u"he",
    u"she",    u"then",     u"also",      u"now",     u"plus",    u"my",      u"our",
    u"let's",  u"what",     u"how",       u"why",     u"maybe",   u"if",      u"honestly",
    u"basically", u"anyway", u"i'm",      u"it's",    u"that's",  u"there's", u"we're",
    u"they're", u"you're",  u"he's",      u"she's",   u"i've",    u"i'd",     u"i'll",
    u"we'll",  u"we've",
};

bool isOneOf(const UnicodeString& word, std::u16string_view const* begin, std::u16string_view const* end) {
  for (auto it = begin; it != end; ++it) {
    if (word == UnicodeString(it->data(), static_cast<int32_t>(it->size()))) return true;
  }
  return false;
}

bool isSentenceStarter(const UnicodeString& lower) {
  return isOneOf(lower, kSentenceStarters.data(), kSentenceStarters.data() + kSentenceStarters.size());
}

// "and", "so" and "but": the first three starters.
bool isConjunction(const UnicodeString& lower) {
  return isOneOf(lower, kSentenceStarters.data(), kSentenceStarters.data() + 3);
}

// A word, a sentence mark, and the capitalised word and two more words that
// open the next sentence.
const icu::RegexPattern& breakPattern() {
  static const icu::RegexPattern& pattern = unicode::constantPattern(
      uR"re(([\p{L}\p{N}']+)[.!?][ \t]+([A-Z][\p{L}']*)[ \t]+([\p{L}\p{N}']+)[ \t]+([\p{L}\p{N}']+))re");
  return pattern;
}

// The words of the sentence in progress before `limit`: the text since the last
// sentence mark or line feed, split at spaces.
int wordsInProgress(const UnicodeString& text, int32_t limit) {
  int32_t start = limit;
  while (start > 0) {
    const char16_t unit = text.charAt(start - 1);
    if (unit == u'.' || unit == u'!' || unit == u'?' || unit == u'\n') break;
    --start;
  }
  int words = 0;
  bool inWord = false;
  for (int32_t i = start; i < limit; ++i) {
    const bool space = text.charAt(i) == u' ';
    if (!space && !inWord) ++words;
    inWord = !space;
  }
  return words;
}

struct Break {
  UnicodeString before;  // the word before the break (group 1)
  UnicodeString starter;  // the capitalised word after it (group 2)
  UnicodeString next1;
  UnicodeString next2;
};

// The pattern that finds the place in the cleanup where the break was merged:
// the word before, an optional comma, an optional "and"/"so"/"but", and the
// words after (the starter itself left out when it is a conjunction the
// cleanup may have dropped). Every word is taken literally; the separators
// are runs of spaces or tabs.
std::unique_ptr<icu::RegexPattern> mergedPattern(const Break& b, bool conjunction) {
  const UnicodeString gap(u"[ \t]+");
  UnicodeString source(uR"re((?<![\p{L}\p{N}'])()re");
  source += unicode::quotedForPattern(b.before);
  // "\t" in these plain literals is a real tab character, as in `gap`.
  source += UnicodeString(u"),?[ \t]+((?:and|so|but)[ \t]+)?(");
  if (!conjunction) {
    source += unicode::quotedForPattern(b.starter);
    source += gap;
  }
  source += unicode::quotedForPattern(b.next1);
  source += gap;
  source += unicode::quotedForPattern(b.next2);
  source += UnicodeString(uR"re()(?![\p{L}\p{N}']))re");
  UParseError parseError{};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexPattern> pattern(
      icu::RegexPattern::compile(source, UREGEX_CASE_INSENSITIVE, parseError, status));
  if (U_FAILURE(status)) return nullptr;
  return pattern;
}

// Splits the one merged place of `b` in `text`; false when there is not
// exactly one.
bool splitMerged(UnicodeString& text, const Break& b) {
  const bool conjunction = isConjunction(unicode::lowercased(b.starter));
  const auto pattern = mergedPattern(b, conjunction);
  if (!pattern) return false;
  const auto matcher = unicode::matcherFor(*pattern, text);
  UErrorCode status = U_ZERO_ERROR;
  if (!matcher->find(status) || U_FAILURE(status)) return false;
  const int32_t start = matcher->start(status);
  const int32_t limit = matcher->end(status);
  const UnicodeString word = matcher->group(1, status);
  const UnicodeString joiner = matcher->start(2, status) >= 0 ? matcher->group(2, status) : UnicodeString();
  const UnicodeString tail = matcher->group(3, status);
  if (U_FAILURE(status)) return false;
  if (matcher->find(status)) return false;  // more than one place: not clear which
  if (U_FAILURE(status)) return false;

  const UnicodeString rest = unicode::withFirstUppercased(conjunction ? joiner + tail : tail);
  text.replace(start, limit - start, word + UnicodeString(u". ") + rest);
  return true;
}

}  // namespace

std::string restoreSentenceBreaks(std::string_view sourceUtf8, std::string_view cleanedUtf8) {
  const UnicodeString source = unicode::fromUtf8(sourceUtf8);
  UnicodeString text = unicode::fromUtf8(cleanedUtf8);
  bool changed = false;

  const auto matcher = unicode::matcherFor(breakPattern(), source);
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find(status) && U_SUCCESS(status)) {
    Break b{matcher->group(1, status), matcher->group(2, status), matcher->group(3, status),
            matcher->group(4, status)};
    const int32_t wordStart = matcher->start(1, status);
    if (U_FAILURE(status)) break;
    if (!isSentenceStarter(unicode::lowercased(b.starter))) continue;
    // The word before the break must be a whole word, ending a sentence of
    // at least three words before it.
    if (wordStart > 0 && source.charAt(wordStart - 1) != u' ') continue;
    if (wordsInProgress(source, wordStart) < 3) continue;
    if (splitMerged(text, b)) changed = true;
  }
  return changed ? unicode::toUtf8(text) : std::string(cleanedUtf8);
}

}  // namespace quorvel::TextHelpers
