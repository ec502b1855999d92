// Puts back dictionary words that a cleanup lost or misspelled, in the place
// where the source said them.
#include <algorithm>
#include <memory>
#include <string>

#include "text/FoldedText.h"
#include "text/NameText.h"
#include "text/Restorers.h"
#include "text/RuleFallback.h"
#include "text/Unicode.h"
#include "text/WordAlignment.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace {

// Words a speaker says in passing; they do not count when a gap is sized.
bool isLongFiller(std::u16string_view word) {
  static constexpr std::u16string_view kFillers[] = {
      u"um",   u"uh",   u"ah", u"er",   u"erm",   u"hmm",       u"mm",
      u"like", u"so", u"okay", u"well", u"basically", u"actually",
  };
  for (std::u16string_view filler : kFillers) {
    if (word == filler) return true;
  }
  return false;
}

int countMatches(const icu::RegexPattern& pattern, const UnicodeString& text) {
  const auto matcher = unicode::matcherFor(pattern, text);
  UErrorCode status = U_ZERO_ERROR;
  int count = 0;
  while (matcher->find(status) && U_SUCCESS(status)) ++count;
  return count;
}

struct LostWord {
  UnicodeString written;  // as the dictionary spells it
  std::vector<std::u16string> words;  // its word tokens, lower-cased
};

struct Replacement {
  int32_t start;
  int32_t limit;
  UnicodeString written;
};

// Dictionary words whole-word search finds fewer times in the cleanup than in
// the source, in dictionary order.
std::vector<LostWord> lostWords(const UnicodeString& source, const UnicodeString& cleaned,
                                const std::vector<std::string>& dictionary) {
  std::vector<LostWord> lost;
  const FoldedText sourceSearch(source);
  for (const std::string& entry : dictionary) {
    if (entry.empty()) continue;
    const UnicodeString word = unicode::fromUtf8(entry);
    if (!sourceSearch.mayContain(word)) continue;  // the source never says it
    const auto pattern = unicode::wholeWordPattern(word);
    if (!pattern) continue;
    if (countMatches(*pattern, cleaned) >= countMatches(*pattern, source)) continue;
    LostWord item{word, {}};
    for (const alignment::WordToken& token : alignment::wordTokens(word).tokens) {
      item.words.emplace_back(token.word);
    }
    lost.push_back(std::move(item));
  }
  return lost;
}

bool spellsAt(const std::vector<alignment::WordToken>& tokens, size_t p,
              const std::vector<std::u16string>& words) {
  for (size_t i = 0; i < words.size(); ++i) {
    if (tokens[p + i].word != words[i]) return false;
  }
  return true;
}

std::string restoreWords(std::string_view sourceUtf8, std::string_view cleanedUtf8,
                        const std::vector<std::string>& dictionary) {
  const UnicodeString source = unicode::fromUtf8(sourceUtf8);
  const UnicodeString cleaned = unicode::fromUtf8(cleanedUtf8);
  const std::vector<LostWord> lost = lostWords(source, cleaned, dictionary);
  if (lost.empty()) return std::string(cleanedUtf8);

  const alignment::WordTokens sourceWords = alignment::wordTokens(source);
  const alignment::WordTokens cleanedWords = alignment::wordTokens(cleaned);
  const std::vector<alignment::WordToken>& s = sourceWords.tokens;
  const std::vector<alignment::WordToken>& c = cleanedWords.tokens;
  const auto aligned = alignment::align(s, c);
  if (!aligned) return std::string(cleanedUtf8);
  const std::vector<int32_t>& match = *aligned;

  std::vector<Replacement> replacements;
  for (const LostWord& word : lost) {
    const size_t k = word.words.size();
    if (k == 0 || k > s.size()) continue;
    for (size_t p = 0; p + k <= s.size(); ++p) {
      if (!spellsAt(s, p, word.words)) continue;

      // The aligned words on either side pin down where the word went.
      size_t left = p;  // source index of the left anchor, or p when none
      while (left > 0 && match[left - 1] < 0) --left;
      const bool hasLeft = left > 0;
      const size_t leftAnchor = hasLeft ? left - 1 : 0;
      const size_t gapStart = hasLeft ? static_cast<size_t>(match[leftAnchor]) + 1 : 0;
      size_t rightAnchor = p + k;
      while (rightAnchor < s.size() && match[rightAnchor] < 0) ++rightAnchor;
      const size_t gapEnd = rightAnchor < s.size() ? static_cast<size_t>(match[rightAnchor]) : c.size();
      if (gapEnd <= gapStart) continue;

      // The source words in the gap, fillers aside (unless part of the word).
      size_t gapWords = 0;
      size_t offset = 0;  // how many of them come before p
      for (size_t q = hasLeft ? leftAnchor + 1 : 0; q < rightAnchor; ++q) {
        const bool ownWord = q >= p && q < p + k;
        if (!ownWord && isLongFiller(s[q].word)) continue;
        if (q < p) ++offset;
        ++gapWords;
      }
      const size_t candidates = gapEnd - gapStart;
      size_t first = gapStart;
      size_t last = gapEnd - 1;
      if (gapWords == k) {
        if (candidates > k + 2) continue;
      } else {
        if (gapWords != candidates) continue;
        first = gapStart + offset;
        last = first + k - 1;
      }

      const int32_t start = c[first].start;
      const int32_t limit = c[last].limit;
      // The word survived at this place (another one was lost): look further.
      if (nametext::equalsIgnoringCase(cleaned.tempSubStringBetween(start, limit), word.written)) continue;
      const bool overlaps = std::any_of(replacements.begin(), replacements.end(), [&](const Replacement& r) {
        return start < r.limit && r.start < limit;
      });
      if (overlaps) continue;
      replacements.push_back({start, limit, word.written});
      break;
    }
  }
  if (replacements.empty()) return std::string(cleanedUtf8);

  std::sort(replacements.begin(), replacements.end(),
            [](const Replacement& a, const Replacement& b) { return a.start > b.start; });
  UnicodeString text = cleaned;
  for (const Replacement& r : replacements) text.replace(r.start, r.limit - r.start, r.written);
  return unicode::toUtf8(text);
}

}  // namespace

std::string restoreDictionaryWords(std::string_view source, std::string_view cleaned,
                                   const std::vector<std::string>& dictionary) {
  return answerOr(std::string(cleaned), [&] { return restoreWords(source, cleaned, dictionary); });
}

}  // namespace quorvel::TextHelpers
