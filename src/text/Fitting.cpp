// Fits a dictation to the text before and after the cursor: the space in
// front, the capital of a sentence that goes on, the space behind and the
// doubled full stop.
#include "text/Fitting.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <string_view>
#include <vector>

#include "text/Graphemes.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

// After one of these nothing is put between the text before and the dictation.
constexpr std::u16string_view kOpeningCharacters =
    u"\"'([{\u201C\u2018/-\u2013\u2014@#$";

constexpr char16_t kRightSingleQuote = u'\u2019';

bool isOpening(UChar32 c) {
  return c <= 0xFFFF && kOpeningCharacters.find(static_cast<char16_t>(c)) != std::u16string_view::npos;
}

bool isLetter(UChar32 c) { return u_isalpha(c); }

// Any character with a Unicode numeric value: digits of every script,
// fractions, Roman numerals, circled and superscript numbers.
bool isNumeric(UChar32 c) {
  return u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isCombiningMark(UChar32 c) { return (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0; }

bool endsInStop(const UnicodeString& text) {
  return text.endsWith(u".") || text.endsWith(u"!") || text.endsWith(u"?");
}

// Lower-cases the first word of `text` when it is a continuation word that
// starts with a capital; answers whether it did. The pronoun "I" and its
// contractions ("I'm", "I’ll") keep their capital, and so does any word not in
// the set, so names are never touched.
bool lowercaseFirstIfContinuing(UnicodeString& text) {
  int32_t start = 0;
  while (start < text.length() && text.charAt(start) == u' ') ++start;

  // The word: letters (with their combining marks) and apostrophes, straight
  // or curly.
  int32_t end = start;
  while (end < text.length()) {
    const UChar32 c = text.char32At(end);
    const bool partOfWord = isLetter(c) || c == u'\'' || c == kRightSingleQuote ||
                            (end > start && isCombiningMark(c));
    if (!partOfWord) break;
    end += U16_LENGTH(c);
  }
  if (end == start) return false;

  const UnicodeString word = unicode::lowercased(UnicodeString(text, start, end - start));
  if (word == UnicodeString(u"i") || word.startsWith(UnicodeString(u"i'")) ||
      word.startsWith(UnicodeString(u"i\u2019"))) {
    return false;
  }
  // The table spells contractions with a straight apostrophe; dictation often
  // comes back with the typographic one, and "It’s" must read as "It's".
  UnicodeString key(word);
  key.findAndReplace(UnicodeString(kRightSingleQuote), UnicodeString(u'\''));
  if (!continuationWords().contains(unicode::toUtf8(key))) return false;

  const UChar32 first = text.char32At(start);
  if (!u_isUUppercase(first)) return false;
  text.replace(start, U16_LENGTH(first), unicode::lowercased(UnicodeString(first)));
  return true;
}

std::string joinedNotes(const std::vector<std::string_view>& notes) {
  if (notes.empty()) return "plain";
  std::string joined;
  for (const std::string_view note : notes) {
    if (!joined.empty()) joined += '+';
    joined += note;
  }
  return joined;
}

}  // namespace

const std::set<std::string>& continuationWords() {
  static const std::set<std::string> words = [] {
    constexpr std::string_view kWords =
        "a an and the but so or nor yet it its it's that this these those we you they he "
        "she we're you're they're is are was were be been to for of in on at by with from "
        "as into about over after before because if when while which what how why where "
        "there here my our your their his her just maybe also then also not no yes okay ok "
        "let's can could would should will do does did have has had than like unless until "
        "though although even still already";
    std::set<std::string> set;
    size_t start = 0;
    while (start < kWords.size()) {
      size_t end = kWords.find(' ', start);
      if (end == std::string_view::npos) end = kWords.size();
      if (end > start) set.emplace(kWords.substr(start, end - start));
      start = end + 1;
    }
    return set;
  }();
  return words;
}

FittedText fitText(std::string_view rawText, std::string_view rawBefore,
                   std::string_view rawAfter) {
  UnicodeString text = unicode::fromUtf8(rawText);
  if (text.isEmpty()) return {"", "none"};

  std::vector<std::string_view> notes;
  const UnicodeString before = unicode::fromUtf8(rawBefore);

  // The end of `before` without its trailing spaces and tabs; c is the
  // character that ends there.
  int32_t contentEnd = before.length();
  while (contentEnd > 0) {
    const int32_t previous = before.moveIndex32(contentEnd, -1);
    if (!unicode::isSpaceOrTab(before.char32At(previous))) break;
    contentEnd = previous;
  }
  const bool spaced = contentEnd < before.length();

  if (contentEnd > 0) {
    const UChar32 c = before.char32At(graphemes::previousStart(before, contentEnd));
    if (!graphemes::isLineTerminator(c)) {
      const bool continues = isLetter(c) || isNumeric(c) || c == u')' || c == u',' || c == u';';
      if (!spaced && !isOpening(c)) {
        text.insert(0, u' ');
        notes.push_back("space");
      }
      if (continues && lowercaseFirstIfContinuing(text)) notes.push_back("lower");
    }
  }

  const UnicodeString after = unicode::fromUtf8(rawAfter);
  if (!after.isEmpty()) {
    const UChar32 next = after.char32At(0);
    if (isLetter(next) || isNumeric(next)) {
      text.append(u' ');
      notes.push_back("space-after");
    } else if (next == u'.' || next == u'!' || next == u'?' || next == u',' || next == u';' ||
               next == u':') {
      if (endsInStop(text)) {
        text.truncate(text.length() - 1);
        notes.push_back("no-double-stop");
      }
    }
  }

  return {unicode::toUtf8(text), joinedNotes(notes)};
}

FittedText fitToContext(std::string_view text, const std::optional<CursorContext>& context) {
  if (!context) return {unicode::toUtf8(unicode::fromUtf8(text)), "none"};
  return fitText(text, context->before, context->after);
}

}  // namespace quorvel::TextHelpers
