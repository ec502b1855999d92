// Re-inserts source sentences that a cleanup dropped without being asked to.
#include <array>
#include <map>
#include <string>
#include <unordered_set>

#include <unicode/utf16.h>

#include "text/Restorers.h"
#include "text/RuleFallback.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"
#include "text/WordAlignment.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

// A source sentence holding one of these asked for an edit; it is never restored.
constexpr std::array<std::u16string_view, 11> kCommandWords = {
    u"format",     u"bullet",      u"list",        u"new paragraph", u"new line",  u"that's it",
    u"thats it",   u"delete that", u"clean this",  u"clean that",    u"clean it",
};

constexpr std::array<std::u16string_view, 7> kShortFillers = {u"um", u"uh", u"ah", u"er",
                                                              u"erm", u"hmm", u"mm"};

// The speaker corrected himself in or next to a sentence: "wait", "I mean", a
// leading "no", a trailing-off "...", a cut-off "wor- ", a dangling "the,".
const icu::RegexPattern& selfCorrection() {
  static const icu::RegexPattern& pattern = unicode::constantPattern(
      uR"re((?i)\b(wait|scratch that|i mean|i meant|actually|never ?mind|sorry|correction|instead|or rather|or no|hold on|let me rephrase)\b|(?i)^(no|nope|or no)\b|\.\.\.|…|\w-(\s|$)|(?i)\b(the|a|an|of|to|and|some)\s*,)re");
  return pattern;
}

bool isSentenceMark(char16_t c) { return c == u'.' || c == u'!' || c == u'?'; }

struct Sentence {
  UnicodeString text;
  int32_t start = 0;  // its range in the source
  int32_t limit = 0;
};

// The source cut at line feeds and after a sentence mark that ends the text or
// is followed by whitespace; each sentence trimmed of spaces and tabs, empty
// ones dropped. A sentence never spans a line feed, so it is one range of the
// source.
std::vector<Sentence> sourceSentences(const UnicodeString& source) {
  std::vector<Sentence> sentences;
  const int32_t length = source.length();
  int32_t start = 0;
  auto finish = [&](int32_t limit) {
    int32_t from = start;
    int32_t to = limit;
    while (from < to && unicode::isSpaceOrTab(source.char32At(from))) from += U16_LENGTH(source.char32At(from));
    while (to > from && unicode::isSpaceOrTab(source.char32At(to - 1))) to -= U16_LENGTH(source.char32At(to - 1));
    if (to > from) sentences.push_back({source.tempSubStringBetween(from, to), from, to});
  };
  for (int32_t i = 0; i < length; ++i) {
    const char16_t unit = source.charAt(i);
    if (unit == u'\n') {
      finish(i);
      start = i + 1;
    } else if (isSentenceMark(unit) && (i + 1 == length || unicode::isWhitespace(source.char32At(i + 1)))) {
      finish(i + 1);
      start = i + 1;
    }
  }
  finish(length);
  return sentences;
}

bool holdsCommand(const UnicodeString& sentence) {
  const UnicodeString lower = unicode::lowercased(sentence);
  for (std::u16string_view command : kCommandWords) {
    if (lower.indexOf(command.data(), static_cast<int32_t>(command.size()), 0) >= 0) return true;
  }
  return false;
}

bool isShortFiller(std::u16string_view word) {
  for (std::u16string_view filler : kShortFillers) {
    if (word == filler) return true;
  }
  return false;
}

// Where a sentence goes back: after the sentence of the cleaned text that
// holds `after` (the last aligned word before it), past any closing quote or
// bracket; 0 when no word before it was aligned.
int32_t insertionPoint(const UnicodeString& cleaned, const alignment::WordToken* after) {
  if (after == nullptr) return 0;
  const int32_t length = cleaned.length();
  int32_t point = length;
  for (int32_t i = after->limit; i < length; ++i) {
    const char16_t unit = cleaned.charAt(i);
    if (unit == u'\n') {
      point = i;
      break;
    }
    if (isSentenceMark(unit)) {
      point = i + 1;
      break;
    }
  }
  while (point < length) {
    const char16_t unit = cleaned.charAt(point);
    if (unit != u'"' && unit != u'\'' && unit != u')' && unit != u'\u201D' && unit != u'\u2019') break;
    ++point;
  }
  return point;
}

UnicodeString asRestoredSentence(const UnicodeString& sentence) {
  UnicodeString text = unicode::fromUtf8(lightClean(unicode::toUtf8(sentence)));
  if (text.isEmpty() || !isSentenceMark(text.charAt(text.length() - 1))) text.append(u'.');
  return text;
}

std::string restoreDropped(std::string_view sourceUtf8, std::string_view cleanedUtf8) {
  const UnicodeString cleaned = unicode::fromUtf8(cleanedUtf8);
  // A bulleted list is an edit the speaker asked for; its sentences moved on purpose.
  if (cleaned.startsWith(UnicodeString(u"- ")) || cleaned.indexOf(UnicodeString(u"\n- ")) >= 0) {
    return std::string(cleanedUtf8);
  }
  const UnicodeString source = unicode::fromUtf8(sourceUtf8);
  const std::vector<Sentence> sentences = sourceSentences(source);
  if (sentences.size() < 2) return std::string(cleanedUtf8);

  // The tokens of the whole source are the tokens of its sentences: no token
  // crosses a line feed, a sentence mark or the trimmed spaces.
  const alignment::WordTokens sourceWords = alignment::wordTokens(source);
  const std::vector<alignment::WordToken>& sourceTokens = sourceWords.tokens;
  std::vector<size_t> firstToken;  // per sentence, its first index in sourceTokens
  size_t next = 0;
  for (const Sentence& sentence : sentences) {
    while (next < sourceTokens.size() && sourceTokens[next].start < sentence.start) ++next;
    firstToken.push_back(next);
  }
  firstToken.push_back(sourceTokens.size());
  const alignment::WordTokens cleanedWords = alignment::wordTokens(cleaned);
  const std::vector<alignment::WordToken>& cleanedTokens = cleanedWords.tokens;
  const auto match = alignment::align(sourceTokens, cleanedTokens);
  if (!match) return std::string(cleanedUtf8);

  std::unordered_set<std::u16string_view> cleanedSet;
  for (const alignment::WordToken& token : cleanedTokens) cleanedSet.insert(token.word);
  const icu::RegexPattern& correction = selfCorrection();
  std::vector<bool> corrects(sentences.size());
  for (size_t k = 0; k < sentences.size(); ++k) {
    corrects[k] = unicode::containsMatch(correction, sentences[k].text);
  }

  std::map<int32_t, std::vector<UnicodeString>> insertions;  // point -> sentences, in source order
  for (size_t k = 0; k < sentences.size(); ++k) {
    if (holdsCommand(sentences[k].text)) continue;
    if (corrects[k] || (k > 0 && corrects[k - 1]) || (k + 1 < sentences.size() && corrects[k + 1])) {
      continue;
    }
    int words = 0;
    int matched = 0;
    int present = 0;
    for (size_t t = firstToken[k]; t < firstToken[k + 1]; ++t) {
      const std::u16string_view word = sourceTokens[t].word;
      if (isShortFiller(word)) continue;
      ++words;
      if ((*match)[t] >= 0) ++matched;
      if (cleanedSet.count(word)) ++present;
    }
    if (words < 4 || matched * 4 >= words || present * 4 >= words * 3) continue;

    const alignment::WordToken* after = nullptr;
    for (size_t t = firstToken[k]; t-- > 0;) {
      if ((*match)[t] >= 0) {
        after = &cleanedTokens[static_cast<size_t>((*match)[t])];
        break;
      }
    }
    insertions[insertionPoint(cleaned, after)].push_back(asRestoredSentence(sentences[k].text));
  }
  if (insertions.empty()) return std::string(cleanedUtf8);

  UnicodeString text = cleaned;
  for (auto it = insertions.rbegin(); it != insertions.rend(); ++it) {
    const UnicodeString joined = unicode::join(it->second, UnicodeString(u" "));
    if (it->first == 0) {
      text.insert(0, joined + UnicodeString(u" "));
    } else {
      text.insert(it->first, UnicodeString(u" ") + joined);
    }
  }
  text = unicode::replaceLiteral(text, UnicodeString(u"  "), UnicodeString(u" "));
  return unicode::toUtf8(text);
}

}  // namespace

std::string restoreDroppedSentences(std::string_view source, std::string_view cleaned) {
  return answerOr(std::string(cleaned), [&] { return restoreDropped(source, cleaned); });
}

}  // namespace quorvel::TextHelpers
