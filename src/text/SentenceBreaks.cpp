// Splits again the sentences of the source that a cleanup joined with a comma
// or an "and".
#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "text/Restorers.h"
#include "text/RulePatterns.h"
#include "text/RuleFallback.h"
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
const icu::RegexPattern& breakPattern() { return patterns::compiled<patterns::kBreakPlace>(); }

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

// A pattern built from words of the source; nullptr when it does not compile.
std::unique_ptr<icu::RegexPattern> compiled(const UnicodeString& source, uint32_t flags) {
  UParseError parseError{};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(source, flags, parseError, status));
  if (U_FAILURE(status)) return nullptr;
  return pattern;
}

// The pattern that finds the place in the cleanup where the break was merged:
// the word before, an optional comma, an optional "and"/"so"/"but", and the
// words after (the starter itself left out when it is a conjunction the
// cleanup may have dropped), all ignoring case. Every word is taken literally;
// the separators are runs of spaces or tabs.
//
// Only the words are marked case-insensitive, inside their groups: compiling
// the letter class of the word edges ignoring case would close it over case
// variants, which costs milliseconds per pattern. The one character that
// closure adds, U+0345 (a combining mark that case-folds to iota), is written
// into the class, so the pattern matches exactly what the fully
// case-insensitive one does.
std::unique_ptr<icu::RegexPattern> mergedPattern(const Break& b, bool conjunction) {
  const UnicodeString gap(u"[ \t]+");  // a real tab in the class
  const UnicodeString edge(uR"re([\p{L}\p{N}'\u0345])re");
  UnicodeString source(u"(?<!");
  source += edge;
  source += u")((?i)";
  source += unicode::quotedForPattern(b.before);
  source += u"),?";
  source += gap;
  source += u"((?i:and|so|but)";
  source += gap;
  source += u")?((?i)";
  if (!conjunction) {
    source += unicode::quotedForPattern(b.starter);
    source += gap;
  }
  source += unicode::quotedForPattern(b.next1);
  source += gap;
  source += unicode::quotedForPattern(b.next2);
  source += u")(?!";
  source += edge;
  source += u")";
  return compiled(source, 0);
}

struct MergedPlace {
  int32_t start = 0;
  int32_t limit = 0;
  UnicodeString word;    // the word before the break, as the cleanup writes it
  UnicodeString joiner;  // "and " or the like, when the cleanup has one
  UnicodeString tail;    // the words after the break
};

// The places where `merged` matches in `text`, left to right and without
// overlaps, as a plain search would give them; at most `limit` of them.
//
// Every place begins with the word before the break, so the merged pattern is
// tried only where a search for that word alone lands: a search for the whole
// pattern would test its look-behind at every position of a long text.
std::vector<MergedPlace> mergedPlaces(const UnicodeString& text, const icu::RegexPattern& merged,
                                      const icu::RegexPattern& firstWord, size_t limit) {
  std::vector<MergedPlace> places;
  UErrorCode status = U_ZERO_ERROR;
  const auto candidates = unicode::matcherFor(firstWord, text);
  const auto matcher = unicode::matcherFor(merged, text);
  matcher->useTransparentBounds(true);  // the look-behind sees the text before a candidate
  matcher->useAnchoringBounds(false);
  const int32_t length = text.length();
  int32_t from = 0;
  while (places.size() < limit && from <= length && candidates->find(from, status) && U_SUCCESS(status)) {
    const int32_t at = candidates->start(status);
    matcher->region(at, length, status);
    if (U_FAILURE(status)) break;
    if (!matcher->lookingAt(status) || U_FAILURE(status)) {
      from = at + 1;
      continue;
    }
    MergedPlace place;
    place.start = matcher->start(status);
    place.limit = matcher->end(status);
    place.word = matcher->group(1, status);
    if (matcher->start(2, status) >= 0) place.joiner = matcher->group(2, status);
    place.tail = matcher->group(3, status);
    if (U_FAILURE(status)) break;
    from = std::max(place.limit, at + 1);
    places.push_back(std::move(place));
  }
  return places;
}

// The text folded for case, with every run of spaces and tabs as one space.
// A merged place always shows up in it as plain text, which is far cheaper to
// look for than compiling the place's pattern (most breaks were kept).
UnicodeString searchForm(const UnicodeString& text) {
  UnicodeString form;
  bool inGap = false;
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t unit = text.charAt(i);
    const bool gap = unit == u' ' || unit == u'\t';
    if (!gap || !inGap) form.append(gap ? u' ' : unit);
    inGap = gap;
  }
  return form.foldCase(U_FOLD_CASE_DEFAULT);
}

UnicodeString folded(const UnicodeString& word) {
  UnicodeString copy(word);
  return copy.foldCase(U_FOLD_CASE_DEFAULT);
}

// Whether the merged pattern of `b` can match at all: each of its forms (with
// or without the comma, with or without a joining "and", "so" or "but") taken
// literally must occur in the search form. Word edges are left to the pattern.
bool mayHoldMergedPlace(const UnicodeString& form, const Break& b, bool conjunction) {
  UnicodeString tail;
  if (!conjunction) tail += folded(b.starter) + UnicodeString(u" ");
  tail += folded(b.next1) + UnicodeString(u" ") + folded(b.next2);
  const UnicodeString before = folded(b.before);
  for (const char16_t* comma : {u"", u","}) {
    for (const char16_t* joiner : {u"", u"and ", u"so ", u"but "}) {
      const UnicodeString place = before + UnicodeString(comma) + UnicodeString(u" ") +
                                  UnicodeString(joiner) + tail;
      if (form.indexOf(place) >= 0) return true;
    }
  }
  return false;
}

// Splits the one merged place of `b` in `text`; false when there is not
// exactly one.
bool splitMerged(UnicodeString& text, const UnicodeString& form, const Break& b) {
  const bool conjunction = isConjunction(unicode::lowercased(b.starter));
  if (!mayHoldMergedPlace(form, b, conjunction)) return false;
  const auto merged = mergedPattern(b, conjunction);
  const auto firstWord = compiled(unicode::quotedForPattern(b.before), UREGEX_CASE_INSENSITIVE);
  if (!merged || !firstWord) return false;
  const std::vector<MergedPlace> places = mergedPlaces(text, *merged, *firstWord, 2);
  if (places.size() != 1) return false;  // none, or not clear which
  const MergedPlace& place = places.front();
  const UnicodeString rest = unicode::withFirstUppercased(conjunction ? place.joiner + place.tail : place.tail);
  text.replace(place.start, place.limit - place.start, place.word + UnicodeString(u". ") + rest);
  return true;
}

std::string restoreBreaks(std::string_view sourceUtf8, std::string_view cleanedUtf8) {
  const UnicodeString source = unicode::fromUtf8(sourceUtf8);
  UnicodeString text = unicode::fromUtf8(cleanedUtf8);
  UnicodeString form = searchForm(text);
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
    if (splitMerged(text, form, b)) {
      changed = true;
      form = searchForm(text);
    }
  }
  return changed ? unicode::toUtf8(text) : std::string(cleanedUtf8);
}

}  // namespace

std::string restoreSentenceBreaks(std::string_view source, std::string_view cleaned) {
  return answerOr(std::string(cleaned), [&] { return restoreBreaks(source, cleaned); });
}

}  // namespace quorvel::TextHelpers
