// Lays out a dictated e-mail that was spoken as one paragraph: greeting line,
// body, closing paragraph, and sign-off with the signature on its own line.
#include "text/RulePatterns.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <array>
#include <string_view>

namespace quorvel::TextHelpers {
namespace {

using icu::UnicodeString;

// Sentence openings that start the closing paragraph, checked in this order.
constexpr std::array<std::u16string_view, 11> kClosingOpenings = {
    u"let me know", u"please let me know", u"looking forward", u"i look forward",
    u"thanks",      u"thank you",          u"feel free",       u"talk soon",
    u"happy to",    u"hope to hear",       u"let's catch up"};

struct Match {
  int32_t start = 0;
  int32_t end = 0;
  UnicodeString first;   // capture group 1
  UnicodeString second;  // capture group 2
};

std::optional<Match> firstMatch(const icu::RegexPattern& pattern, const UnicodeString& text) {
  auto matcher = unicode::matcherFor(pattern, text);
  if (!matcher->find()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  Match match{matcher->start(status), matcher->end(status), matcher->group(1, status),
              matcher->group(2, status)};
  if (U_FAILURE(status)) return std::nullopt;
  return match;
}

// "good morning" -> "Good Morning": each space-separated word capitalised.
UnicodeString capitaliseWords(const UnicodeString& words) {
  std::vector<UnicodeString> parts = unicode::splitLiteral(words, UnicodeString(u" "));
  for (UnicodeString& word : parts) word = unicode::withFirstUppercased(unicode::lowercased(word));
  return unicode::join(parts, UnicodeString(u" "));
}

// "BEST REGARDS" -> "Best regards".
UnicodeString capitaliseFirstWordOnly(const UnicodeString& words) {
  return unicode::withFirstUppercased(unicode::lowercased(words));
}

// A sign-off match touches at most six separate runs of whitespace: before the
// phrase, two inside it ("all the best"), before the signature, one inside it,
// and at the end. Every match therefore lies in the tail that starts one
// character (the optional mark) before the sixth run from the end; searching
// only there finds the same first match without trying every position of a
// long body. One run is added as a margin.
constexpr int kWhitespaceRunsInSignOff = 7;

int32_t signOffSearchStart(const UnicodeString& text) {
  int32_t start = text.length();
  int runs = 0;
  bool inRun = false;
  while (start > 0) {
    const int32_t previous = text.moveIndex32(start, -1);
    const bool space = unicode::isWhitespace(text.char32At(previous));
    if (space && !inRun) ++runs;
    start = previous;
    if (!space && inRun && runs == kWhitespaceRunsInSignOff) break;
    inRun = space;
  }
  return start;
}

std::optional<Match> signOffMatch(const UnicodeString& text) {
  auto matcher = unicode::matcherFor(patterns::compiled<patterns::kLetterSignOff>(), text);
  UErrorCode status = U_ZERO_ERROR;
  matcher->region(signOffSearchStart(text), text.length(), status);
  matcher->useTransparentBounds(true);
  matcher->useAnchoringBounds(false);  // "$" is the end of the text
  if (U_FAILURE(status) || !matcher->find()) return std::nullopt;
  Match match{matcher->start(status), matcher->end(status), matcher->group(1, status),
              matcher->group(2, status)};
  if (U_FAILURE(status)) return std::nullopt;
  return match;
}

bool opensClosingParagraph(const UnicodeString& sentence) {
  const UnicodeString lower = unicode::lowercased(sentence);
  for (std::u16string_view opening : kClosingOpenings) {
    if (lower.startsWith(opening.data(), static_cast<int32_t>(opening.size()))) return true;
  }
  return false;
}

bool endsWithSentenceMark(const UnicodeString& text) {
  if (text.isEmpty()) return false;
  const char16_t last = text.charAt(text.length() - 1);
  return last == u'.' || last == u'!' || last == u'?';
}

}  // namespace

std::optional<std::string> formatLetter(std::string_view raw) {
  const UnicodeString text = unicode::fromUtf8(raw);
  if (text.indexOf(u'\n') >= 0) return std::nullopt;  // already laid out

  const auto greeting = firstMatch(patterns::compiled<patterns::kLetterGreeting>(), text);
  if (!greeting) return std::nullopt;
  const auto signOff = signOffMatch(text);
  if (!signOff || greeting->end >= signOff->start) return std::nullopt;

  UnicodeString greetingLine = capitaliseWords(greeting->first);
  greetingLine += u' ';
  greetingLine += greeting->second;
  greetingLine += u',';

  UnicodeString body = unicode::trimSpacesAndTabs(
      UnicodeString(text, greeting->end, signOff->start - greeting->end));
  if (body.isEmpty()) return std::nullopt;
  body = unicode::withFirstUppercased(body);
  if (!endsWithSentenceMark(body)) body += u'.';

  std::vector<UnicodeString> sentences = unicode::splitLiteral(body, UnicodeString(u". "));
  for (size_t i = 0; i + 1 < sentences.size(); ++i) sentences[i] += u'.';

  // The closing paragraph starts at one of the last two sentences, never the first.
  const size_t count = sentences.size();
  size_t closingStart = count;
  for (size_t i = 1; i < count; ++i) {
    if (i + 2 < count) continue;
    if (opensClosingParagraph(sentences[i])) {
      closingStart = i;
      break;
    }
  }

  const std::vector<UnicodeString> main(sentences.begin(), sentences.begin() + closingStart);
  const std::vector<UnicodeString> closing(sentences.begin() + closingStart, sentences.end());
  std::vector<UnicodeString> blocks = {greetingLine, unicode::join(main, UnicodeString(u" "))};
  if (!closing.empty()) blocks.push_back(unicode::join(closing, UnicodeString(u" ")));
  UnicodeString signature = capitaliseFirstWordOnly(signOff->first);
  signature += u",\n";
  signature += signOff->second;
  blocks.push_back(signature);
  return unicode::toUtf8(unicode::join(blocks, UnicodeString(u"\n\n")));
}

}  // namespace quorvel::TextHelpers
