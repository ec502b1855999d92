// The finishing rules written the plain way: every pattern compiled on each
// call and run over the whole text. The tests compare the library against it
// (same results on many inputs) and the benchmarks measure what the library
// saves. Not for production use.
#pragma once

#include "text/RulePatterns.h"
#include "text/Unicode.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::TextHelpers::straightforward {

using icu::UnicodeString;

inline std::unique_ptr<icu::RegexPattern> compile(const patterns::PatternSource& source) {
  UParseError parseError{};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(
      UnicodeString(source.source.data(), static_cast<int32_t>(source.source.size())),
      source.flags, parseError, status));
  return U_SUCCESS(status) ? std::move(pattern) : nullptr;
}

inline UnicodeString replace(const patterns::PatternSource& source, const UnicodeString& text,
                             const UnicodeString& replacement) {
  return unicode::replaceAll(*compile(source), text, replacement);
}

inline bool endsWithMark(const UnicodeString& text) {
  return text.endsWith(UnicodeString(u".")) || text.endsWith(UnicodeString(u"!")) ||
         text.endsWith(UnicodeString(u"?"));
}

inline std::string stripClosingCommands(std::string_view raw) {
  const UnicodeString input = unicode::fromUtf8(raw);
  UnicodeString text = input;
  bool changed = true;
  while (changed) {
    changed = false;
    for (const auto& command : patterns::kClosingCommands) {
      UnicodeString next = replace(command, text, u"");
      if (next != text) {
        text = next;
        changed = true;
      }
    }
  }
  text = unicode::trimWhitespaceAndLineBreaks(text);
  if (text.isEmpty()) return unicode::toUtf8(unicode::trimWhitespaceAndLineBreaks(input));
  if (!endsWithMark(text)) text += u'.';
  return unicode::toUtf8(text);
}

inline std::string removeLeftoverCommands(std::string_view raw) {
  std::vector<UnicodeString> lines;
  for (const UnicodeString& line : unicode::splitLiteral(unicode::fromUtf8(raw), u"\n")) {
    UnicodeString prefix, body = line;
    if (line.startsWith(UnicodeString(u"- "))) {
      prefix = u"- ";
      body = UnicodeString(line, 2);
    }
    std::vector<UnicodeString> kept;
    for (const UnicodeString& part : unicode::splitLiteral(body, u". ")) {
      const UnicodeString sentence = unicode::trimSpacesAndTabs(part);
      if (sentence.isEmpty()) continue;
      const bool closed = sentence.endsWith(UnicodeString(u".")) || sentence.endsWith(UnicodeString(u"!"));
      if (!unicode::containsMatch(*compile(patterns::kLeftoverCommand),
                                  closed ? sentence : sentence + UnicodeString(u"."))) {
        kept.push_back(sentence);
      }
    }
    if (!kept.empty()) {
      UnicodeString joined = unicode::join(kept, u". ");
      if (body.endsWith(UnicodeString(u".")) && !joined.endsWith(UnicodeString(u"."))) joined += u'.';
      lines.push_back(prefix + joined);
    } else if (unicode::trimSpacesAndTabs(line).isEmpty()) {
      lines.push_back(line);
    }
  }
  const UnicodeString text = replace(patterns::kBlankLineRuns, unicode::join(lines, u"\n"), u"\n\n");
  return unicode::toUtf8(unicode::trimWhitespaceAndLineBreaks(text));
}

inline std::string normalize(std::string_view raw) {
  UnicodeString text = replace(patterns::kTranscriptTags, unicode::fromUtf8(raw), u" ");
  text = replace(patterns::kWhitespace, text, u" ");
  text = unicode::trimWhitespaceAndLineBreaks(text);
  return unicode::toUtf8(replace(patterns::kLeadingDashes, text, u""));
}

// White space before a mark, written the plain way (the library's pattern
// says where a match cannot begin).
inline constexpr patterns::PatternSource kPlainSpaceBeforeMark{uR"re(\s+([,.?!]))re"};

inline std::string lightClean(std::string_view raw) {
  UnicodeString text = replace(patterns::kFillerWords, unicode::fromUtf8(raw), u"");
  text = replace(kPlainSpaceBeforeMark, text, u"$1");
  text = replace(patterns::kWhitespace, text, u" ");
  return unicode::toUtf8(unicode::withFirstUppercased(unicode::trimSpacesAndTabs(text)));
}

inline std::string removeDashes(std::string_view raw) {
  UnicodeString text = unicode::fromUtf8(raw);
  if (text.indexOf(u'—') < 0 && text.indexOf(u'–') < 0) return unicode::toUtf8(text);
  text = replace(patterns::kDashNumberRange, text, u"$1-$2");
  text = replace(patterns::kDashAfterMark, text, u" ");
  text = replace(patterns::kDashAtLineStart, text, u"");
  text = replace(patterns::kDashBeforeCapital, text, u". ");
  text = replace(patterns::kDashAtEnd, text, u".");
  text = replace(patterns::kAnyDash, text, u", ");
  text = replace(patterns::kCommaBeforeMark, text, u"$1");
  text = replace(patterns::kSpaceRuns, text, u" ");
  return unicode::toUtf8(text);
}

inline bool inTable(const std::vector<std::u16string>& table, const UnicodeString& word) {
  for (const auto& entry : table) {
    if (word == UnicodeString(entry.data(), static_cast<int32_t>(entry.size()))) return true;
  }
  return false;
}

inline UnicodeString fixProse(const UnicodeString& input) {
  const std::vector<std::u16string> abbreviations = {
      u"e.g", u"i.e", u"etc", u"vs", u"a.m", u"p.m", u"mr", u"mrs", u"ms", u"dr", u"st",
      u"jr", u"sr", u"approx", u"cf", u"no", u"fig", u"inc", u"ltd", u"co", u"u.s", u"u.k"};
  const std::vector<std::u16string> alwaysLowercase = {
      u"npm", u"pnpm", u"git", u"ssh", u"sudo", u"cd", u"ls", u"pip", u"brew", u"curl",
      u"http", u"https", u"www"};
  UnicodeString text = replace(patterns::kSpaceBeforeProseMark, input, u"$1");
  text = replace(patterns::kDoubledSmallWord, text, u"$1");
  text = replace(patterns::kPronounI, text, u"I");
  UnicodeString copy = text;
  auto sentenceEnd = compile(patterns::kSentenceEnd);
  auto matcher = unicode::matcherFor(*sentenceEnd, text);
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find()) {
    const int32_t start = matcher->start(status), end = matcher->end(status);
    int32_t from = start;
    while (from > 0 && !unicode::isWhitespace(text.char32At(text.moveIndex32(from, -1)))) {
      from = text.moveIndex32(from, -1);
    }
    const UnicodeString before = unicode::trimCharacters(
        unicode::lowercased(UnicodeString(text, from, start - from)), u"\"'([.");
    if (inTable(abbreviations, before)) continue;
    int32_t to = end;
    while (to < text.length() && !unicode::isWhitespace(text.char32At(to))) {
      to = text.moveIndex32(to, 1);
    }
    const UnicodeString next =
        unicode::trimCharacters(UnicodeString(text, end, to - end), u".,;:!?'’\")");
    if (next.indexOf(u'.') >= 0 || next.indexOf(u'@') >= 0 || next.indexOf(u'/') >= 0 ||
        next.indexOf(u'_') >= 0 || inTable(alwaysLowercase, unicode::lowercased(next))) {
      continue;
    }
    bool mixedCase = false;
    for (int32_t i = next.moveIndex32(0, 1); i < next.length(); i = next.moveIndex32(i, 1)) {
      if (u_isUUppercase(next.char32At(i))) mixedCase = true;
    }
    if (mixedCase) continue;
    copy.replace(end, 1, unicode::uppercased(UnicodeString(text, end, 1)));
  }
  return copy;
}

inline std::string sturdyGrammar(std::string_view raw) {
  UnicodeString text = replace(patterns::kQuotedName, unicode::fromUtf8(raw), u"$1");
  text = replace(patterns::kGreetingComma, text, u"$1 $2");
  std::vector<UnicodeString> parts = unicode::splitLiteral(text, u"`");
  for (size_t i = 0; i < parts.size(); i += 2) parts[i] = fixProse(parts[i]);
  return unicode::toUtf8(unicode::join(parts, u"`"));
}

inline std::optional<std::string> formatLetter(std::string_view raw) {
  const UnicodeString text = unicode::fromUtf8(raw);
  if (text.indexOf(u'\n') >= 0) return std::nullopt;
  auto greetingPattern = compile(patterns::kLetterGreeting);
  auto signOffPattern = compile(patterns::kLetterSignOff);
  auto greeting = unicode::matcherFor(*greetingPattern, text);
  auto signOff = unicode::matcherFor(*signOffPattern, text);
  if (!greeting->find() || !signOff->find()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (greeting->end(status) >= signOff->start(status)) return std::nullopt;

  UnicodeString words;
  for (const UnicodeString& word : unicode::splitLiteral(greeting->group(1, status), u" ")) {
    if (!words.isEmpty()) words += u' ';
    words += unicode::withFirstUppercased(unicode::lowercased(word));
  }
  const UnicodeString greetingLine = words + u" " + greeting->group(2, status) + u",";
  const UnicodeString signOffWord =
      unicode::withFirstUppercased(unicode::lowercased(signOff->group(1, status)));
  UnicodeString body = unicode::trimSpacesAndTabs(UnicodeString(
      text, greeting->end(status), signOff->start(status) - greeting->end(status)));
  if (body.isEmpty()) return std::nullopt;
  body = unicode::withFirstUppercased(body);
  if (!endsWithMark(body)) body += u'.';
  std::vector<UnicodeString> sentences = unicode::splitLiteral(body, u". ");
  for (size_t i = 0; i + 1 < sentences.size(); ++i) sentences[i] += u'.';
  const std::vector<std::u16string> openings = {
      u"let me know", u"please let me know", u"looking forward", u"i look forward", u"thanks",
      u"thank you", u"feel free", u"talk soon", u"happy to", u"hope to hear", u"let's catch up"};
  size_t closing = sentences.size();
  for (size_t i = 1; i < sentences.size() && closing == sentences.size(); ++i) {
    if (i + 2 < sentences.size()) continue;
    for (const auto& opening : openings) {
      if (unicode::lowercased(sentences[i]).startsWith(
              UnicodeString(opening.data(), static_cast<int32_t>(opening.size())))) {
        closing = i;
        break;
      }
    }
  }
  std::vector<UnicodeString> blocks = {greetingLine};
  const auto cut = sentences.begin() + static_cast<std::ptrdiff_t>(closing);
  blocks.push_back(unicode::join(std::vector<UnicodeString>(sentences.begin(), cut), u" "));
  if (cut != sentences.end()) {
    blocks.push_back(unicode::join(std::vector<UnicodeString>(cut, sentences.end()), u" "));
  }
  blocks.push_back(signOffWord + u",\n" + signOff->group(2, status));
  return unicode::toUtf8(unicode::join(blocks, u"\n\n"));
}

// The finishing chain as the pipeline runs it after a cleanup.
inline std::string finishingChain(std::string_view text) {
  std::string result = lightClean(removeLeftoverCommands(stripClosingCommands(text)));
  if (auto letter = formatLetter(result)) result = *letter;
  return sturdyGrammar(removeDashes(result));
}

}  // namespace quorvel::TextHelpers::straightforward
