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
  matcher->region(start, text.length(), status);
  // Look-behind may look before the tail; "$" still means the end of the text.
  matcher->useTransparentBounds(true);
  matcher->useAnchoringBounds(false);

  icu::UnicodeString result;
  int32_t keptFrom = 0;
  bool matched = false;
  while (matcher->find()) {
    matched = true;
    result.append(text, keptFrom, matcher->start(status) - keptFrom);
    keptFrom = matcher->end(status);
  }
  if (!matched) return text;
  result.append(text, keptFrom, text.length() - keptFrom);
  return result;
}

}  // namespace quorvel::TextHelpers
