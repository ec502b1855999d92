// The final full stop of chat messages: dropping it, and telling from the
// field's text whether the user later added or removed one.
#include <unicode/utf16.h>

#include <set>

#include "text/Fitting.h"
#include "text/Graphemes.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

// Lower-case words whose own full stop is not the end of a message.
bool isAbbreviation(const UnicodeString& lowerWord) {
  static const std::set<std::u16string> abbreviations = {
      u"a.m.", u"p.m.", u"etc.", u"e.g.", u"i.e.", u"vs.",
      u"jr.",  u"sr.",  u"inc.", u"ltd.", u"co.",  u"st."};
  return abbreviations.contains(
      std::u16string(lowerWord.getBuffer(), static_cast<size_t>(lowerWord.length())));
}

bool isList(const UnicodeString& text) {
  return text.startsWith(UnicodeString(u"- ")) || text.indexOf(UnicodeString(u"\n- ")) >= 0;
}

// The text after the last space or line feed.
UnicodeString lastWord(const UnicodeString& text) {
  int32_t start = text.length();
  while (start > 0 && text.charAt(start - 1) != u' ' && text.charAt(start - 1) != u'\n') --start;
  return UnicodeString(text, start);
}

bool finalPeriodMayGo(const UnicodeString& trimmed) {
  if (!trimmed.endsWith(UnicodeString(u".")) || trimmed.endsWith(UnicodeString(u".."))) {
    return false;
  }
  if (isList(trimmed)) return false;
  const UnicodeString word = lastWord(trimmed);
  if (isAbbreviation(unicode::lowercased(word))) return false;
  // A full stop inside the last word ("U.S.", "notes.txt.", "v1.2.") makes the
  // final one part of it.
  return UnicodeString(word, 0, word.length() - 1).indexOf(u'.') < 0;
}

UChar32 lastCharacter(const UnicodeString& text) {
  return text.char32At(graphemes::previousStart(text, text.length()));
}

}  // namespace

std::string dropFinalPeriod(std::string_view raw) {
  UnicodeString text = unicode::fromUtf8(raw);
  if (finalPeriodMayGo(unicode::trimWhitespaceAndLineBreaks(text))) {
    text.remove(text.lastIndexOf(u'.'), 1);
  }
  return unicode::toUtf8(text);
}

bool addedFinalPeriod(std::string_view rawTyped, std::string_view rawNow) {
  const UnicodeString typed = unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(rawTyped));
  if (graphemes::count(typed) < 2) return false;
  const UChar32 last = lastCharacter(typed);
  if (last == u'.' || last == u'!' || last == u'?' || last == u'\u2026') return false;
  const UnicodeString withStop = typed + UnicodeString(u".");
  return unicode::fromUtf8(rawNow).indexOf(withStop) >= 0;
}

bool removedFinalPeriod(std::string_view rawTyped, std::string_view rawNow) {
  const UnicodeString typed = unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(rawTyped));
  if (graphemes::count(typed) <= 2) return false;
  if (!typed.endsWith(UnicodeString(u".")) || typed.endsWith(UnicodeString(u".."))) return false;
  const UnicodeString now = unicode::fromUtf8(rawNow);
  if (now.indexOf(typed) >= 0) return false;

  const UnicodeString stem(typed, 0, typed.length() - 1);
  const int32_t found = now.lastIndexOf(stem);
  if (found < 0) return false;
  int32_t next = found + stem.length();
  while (next < now.length() && unicode::isSpaceOrTab(now.char32At(next))) {
    next += U16_LENGTH(now.char32At(next));
  }
  return next == now.length() || graphemes::isLineTerminator(now.char32At(next));
}

}  // namespace quorvel::TextHelpers
