// Runs an end-anchored pattern on the only tail of the text that can hold a match.
#include "text/EndAnchoredPattern.h"

#include "text/Unicode.h"

#include <unicode/utf16.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quorvel::TextHelpers {
namespace {

[[noreturn]] void rejectPattern(std::u16string_view source, const char* why) {
  std::string utf8;
  icu::UnicodeString(source.data(), static_cast<int32_t>(source.size())).toUTF8String(utf8);
  std::fprintf(stderr, "quorvel: end-anchored pattern %s (pattern: %s)\n", why, utf8.c_str());
  std::abort();
}

// Checks that every character a match can consume is written literally in the
// pattern or is whitespace, so that the pattern's own characters bound its matches.
void requireLiteralCharacters(std::u16string_view source) {
  bool inClass = false;
  for (size_t i = 0; i < source.size(); ++i) {
    const char16_t c = source[i];
    if (c == u'\\') {
      if (i + 1 >= source.size()) rejectPattern(source, "ends in a backslash");
      const char16_t escaped = source[++i];
      // Escapes that stand for open-ended character classes.
      if (std::u16string_view(u"wWdDSpPXNhHvVR").find(escaped) != std::u16string_view::npos) {
        rejectPattern(source, "uses a character-class escape");
      }
      continue;
    }
    if (inClass) {
      if (c == u']') inClass = false;
      continue;
    }
    if (c == u'[') {
      if (i + 1 < source.size() && source[i + 1] == u'^') rejectPattern(source, "negates a class");
      inClass = true;
    } else if (c == u'.') {
      rejectPattern(source, "uses the \".\" wildcard");
    }
  }
  if (source.empty() || source.back() != u'$') rejectPattern(source, "is not anchored at the end");
}

// A greedy run that opens the pattern ("[...]*" or "\s*", after inline flags
// and one look-behind of a class), as pattern text; empty when the pattern
// opens otherwise.
struct Opening {
  std::u16string_view run;         // the run's class, or empty
  std::u16string_view lookBehind;  // the class a look-behind before it asks for, or empty
};

Opening openingOf(std::u16string_view source) {
  Opening opening;
  std::u16string_view rest = source;
  if (rest.starts_with(u"(?i)")) rest.remove_prefix(4);
  if (rest.starts_with(u"(?<!")) return {};
  if (rest.starts_with(u"(?<=[")) {
    // A look-behind of one class, as the closing commands use.
    const size_t close = rest.find(u"])");
    if (close == std::u16string_view::npos || rest.find(u'(', 1) < close) return {};
    opening.lookBehind = rest.substr(4, close - 3);
    rest.remove_prefix(close + 2);
  } else if (rest.starts_with(u"(?<=")) {
    return {};
  }
  size_t end = 0;
  if (rest.starts_with(u"\\s")) {
    end = 2;
  } else if (rest.starts_with(u"[")) {
    end = rest.find(u']');
    if (end == std::u16string_view::npos) return {};
    ++end;
  } else {
    return {};
  }
  // Only a plain greedy star: a lazy or possessive run backtracks otherwise.
  if (end >= rest.size() || rest[end] != u'*') return {};
  if (end + 1 < rest.size() && (rest[end + 1] == u'?' || rest[end + 1] == u'+')) return {};
  opening.run = rest.substr(0, end);
  return opening;
}

// The characters of `alphabet` that the one-character class `single` takes,
// asked of the pattern engine so case folding and "\s" mean what they mean in
// the pattern.
icu::UnicodeSet takenBy(std::u16string_view single, bool ignoringCase, const icu::UnicodeSet& alphabet) {
  icu::UnicodeSet taken;
  const auto pattern = unicode::compileOrAbort(std::u16string(ignoringCase ? u"(?i)" : u"") + std::u16string(single));
  for (int32_t i = 0; i < alphabet.getRangeCount(); ++i) {
    for (UChar32 c = alphabet.getRangeStart(i); c <= alphabet.getRangeEnd(i); ++c) {
      const icu::UnicodeString one(c);
      auto matcher = unicode::matcherFor(*pattern, one);
      UErrorCode status = U_ZERO_ERROR;
      if (matcher->matches(status) && U_SUCCESS(status)) taken.add(c);
    }
  }
  return taken;
}

}  // namespace

EndAnchoredPattern::EndAnchoredPattern(const patterns::PatternSource& source)
    : pattern_(unicode::compileOrAbort(source.source, source.flags)) {
  requireLiteralCharacters(source.source);
  // Over-including characters only makes the tail longer, never wrong: add every
  // character of the source, all their case variants, and all whitespace ("\s").
  for (char16_t c : source.source) alphabet_.add(c);
  alphabet_.closeOver(USET_CASE_INSENSITIVE);
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeSet whitespace(icu::UnicodeString(u"[\\p{Z}\\p{White_Space}\\t\\n\\f\\r]"),
                                   status);
  if (U_FAILURE(status)) rejectPattern(source.source, "cannot build the whitespace set");
  alphabet_.addAll(whitespace);
  alphabet_.freeze();

  // Only characters of a tail can matter, and those are in the alphabet.
  const Opening opening = openingOf(source.source);
  const bool ignoringCase = source.source.starts_with(u"(?i)");
  if (!opening.run.empty()) {
    openingRun_ = takenBy(opening.run, ignoringCase, alphabet_);
    // A look-behind that a run character satisfies could fail at the run's
    // first position and hold inside it: then no position may be skipped.
    if (!opening.lookBehind.empty() &&
        !takenBy(opening.lookBehind, ignoringCase, alphabet_).containsNone(openingRun_)) {
      openingRun_.clear();
    }
  }
  openingRun_.freeze();
}

bool EndAnchoredPattern::mayBelongToMatch(UChar32 c) const {
  if (alphabet_.contains(c)) return true;
  // A character whose case folding is made of pattern characters can match them
  // ignoring case (a ligature, for instance).
  icu::UnicodeString folded(c);
  folded.foldCase();
  if (folded == icu::UnicodeString(c)) return false;
  return alphabet_.containsAll(folded);
}

int32_t EndAnchoredPattern::tailStart(const icu::UnicodeString& text) const {
  int32_t start = text.length();
  while (start > 0) {
    const int32_t previous = text.moveIndex32(start, -1);
    if (!mayBelongToMatch(text.char32At(previous))) break;
    start = previous;
  }
  return start;
}

icu::UnicodeString EndAnchoredPattern::removeMatches(const icu::UnicodeString& text) const {
  const int32_t start = tailStart(text);
  if (start == text.length()) return text;

  auto matcher = unicode::matcherFor(*pattern_, text);
  UErrorCode status = U_ZERO_ERROR;
  // Look-behind may look before the tail; "$" still means the end of the text.
  matcher->useTransparentBounds(true);
  matcher->useAnchoringBounds(false);

  // The leftmost match, tried from each position where one can begin; it
  // reaches the end of the text, so it is the only one.
  const int32_t length = text.length();
  for (int32_t at = start; at <= length; at = at < length ? text.moveIndex32(at, 1) : length + 1) {
    if (at > start && openingRun_.contains(text.char32At(text.moveIndex32(at, -1)))) continue;
    matcher->region(at, length, status);
    if (U_FAILURE(status)) return text;
    if (!matcher->lookingAt(status) || U_FAILURE(status)) continue;
    icu::UnicodeString result(text, 0, at);
    int32_t keptFrom = matcher->end(status);
    // A match ends at the end of the text, or just before a line break there:
    // the rest is searched as before.
    matcher->region(keptFrom, length, status);
    while (U_SUCCESS(status) && matcher->find()) {
      result.append(text, keptFrom, matcher->start(status) - keptFrom);
      keptFrom = matcher->end(status);
    }
    result.append(text, keptFrom, length - keptFrom);
    return result;
  }
  return text;
}

}  // namespace quorvel::TextHelpers
