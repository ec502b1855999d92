// Small prose repairs on finished text: greeting commas, space before marks,
// doubled small words, the pronoun "I" and sentence-start capitals, while
// back-quoted code, file names, commands and product names stay as written.
#include "text/RulePatterns.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <array>
#include <string_view>

namespace quorvel::TextHelpers {
namespace {

using icu::UnicodeString;

// Lower-case words that end in a full stop without ending a sentence, written
// without their last full stop.
constexpr std::array<std::u16string_view, 22> kAbbreviations = {
    u"e.g", u"i.e", u"etc", u"vs", u"a.m",  u"p.m", u"mr",  u"mrs", u"ms",  u"dr",  u"st",
    u"jr",  u"sr",  u"approx", u"cf", u"no", u"fig", u"inc", u"ltd", u"co", u"u.s", u"u.k"};

// Words that keep their lower case at a sentence start (commands, protocols).
constexpr std::array<std::u16string_view, 13> kAlwaysLowercase = {
    u"npm", u"pnpm", u"git", u"ssh", u"sudo", u"cd", u"ls",
    u"pip", u"brew", u"curl", u"http", u"https", u"www"};

template <size_t N>
bool contains(const std::array<std::u16string_view, N>& table, const UnicodeString& word) {
  const std::u16string_view view(word.getBuffer(), static_cast<size_t>(word.length()));
  for (std::u16string_view entry : table) {
    if (entry == view) return true;
  }
  return false;
}

UnicodeString withoutGreetingComma(const UnicodeString& text) {
  return unicode::replaceAll(patterns::compiled<patterns::kGreetingComma>(), text, u"$1 $2");
}

// Start of the word that ends just before `end`: after the last whitespace before it.
int32_t wordStartBefore(const UnicodeString& text, int32_t end) {
  int32_t i = end;
  while (i > 0) {
    const int32_t previous = text.moveIndex32(i, -1);
    if (unicode::isWhitespace(text.char32At(previous))) break;
    i = previous;
  }
  return i;
}

// End of the word that starts at `start`: the next whitespace or the end.
int32_t wordEndFrom(const UnicodeString& text, int32_t start) {
  int32_t i = start;
  while (i < text.length()) {
    const UChar32 c = text.char32At(i);
    if (unicode::isWhitespace(c)) break;
    i += U16_LENGTH(c);
  }
  return i;
}

bool hasUppercaseAfterFirst(const UnicodeString& word) {
  if (word.isEmpty()) return false;
  for (int32_t i = U16_LENGTH(word.char32At(0)); i < word.length();) {
    const UChar32 c = word.char32At(i);
    if (u_isUUppercase(c)) return true;
    i += U16_LENGTH(c);
  }
  return false;
}

// Whether the word after a sentence end keeps its lower-case first letter.
bool keepsLowercase(const UnicodeString& nextWord) {
  for (char16_t c : {u'.', u'@', u'/', u'_'}) {
    if (nextWord.indexOf(c) >= 0) return true;  // file name, address, path, identifier
  }
  if (contains(kAlwaysLowercase, unicode::lowercased(nextWord))) return true;
  return hasUppercaseAfterFirst(nextWord);  // mixed-case name such as a product name
}

UnicodeString capitaliseSentenceStarts(const UnicodeString& text) {
  UnicodeString copy(text);
  auto matcher = unicode::matcherFor(patterns::compiled<patterns::kSentenceEnd>(), text);
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find()) {
    const int32_t start = matcher->start(status);
    const int32_t end = matcher->end(status);

    const int32_t before = wordStartBefore(text, start);
    const UnicodeString wordBefore = unicode::trimCharacters(
        unicode::lowercased(UnicodeString(text, before, start - before)), u"\"'([.");
    if (contains(kAbbreviations, wordBefore)) continue;

    const UnicodeString nextWord = unicode::trimCharacters(
        UnicodeString(text, end, wordEndFrom(text, end) - end), u".,;:!?'’\")");
    if (keepsLowercase(nextWord)) continue;

    // The look-ahead guarantees an ASCII lower-case letter here, so lengths and
    // the positions of later matches stay valid.
    copy.setCharAt(end, static_cast<char16_t>(u_toupper(text.charAt(end))));
  }
  return copy;
}

UnicodeString repairProse(const UnicodeString& input) {
  const icu::RegexPattern& spaceBeforeMark = patterns::compiled<patterns::kSpaceBeforeProseMark>();
  const icu::RegexPattern& doubledWord = patterns::compiled<patterns::kDoubledSmallWord>();
  const icu::RegexPattern& pronounI = patterns::compiled<patterns::kPronounI>();

  UnicodeString text = unicode::replaceAll(spaceBeforeMark, input, u"$1");
  text = unicode::replaceAll(doubledWord, text, u"$1");
  text = unicode::replaceAll(pronounI, text, u"I");
  return capitaliseSentenceStarts(text);
}

}  // namespace

std::string greetingWithoutComma(std::string_view text) {
  return unicode::toUtf8(withoutGreetingComma(unicode::fromUtf8(text)));
}

std::string fixProse(std::string_view text) {
  return unicode::toUtf8(repairProse(unicode::fromUtf8(text)));
}

std::string sturdyGrammar(std::string_view raw) {
  const icu::RegexPattern& quotedName = patterns::compiled<patterns::kQuotedName>();

  UnicodeString text = unicode::replaceAll(quotedName, unicode::fromUtf8(raw), u"$1");
  text = withoutGreetingComma(text);
  // Even parts lie outside back-quotes and are prose; odd parts are code.
  std::vector<UnicodeString> parts = unicode::splitLiteral(text, UnicodeString(u"`"));
  for (size_t i = 0; i < parts.size(); i += 2) parts[i] = repairProse(parts[i]);
  return unicode::toUtf8(unicode::join(parts, UnicodeString(u"`")));
}

}  // namespace quorvel::TextHelpers
