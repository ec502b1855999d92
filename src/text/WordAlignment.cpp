// Aligns the words of a transcript with the words of its cleanup by longest
// common subsequence, keeping one decision bit per pair of words.
#include "text/WordAlignment.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "text/Restorers.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

std::size_t alignmentBytes(std::size_t sourceWords, std::size_t cleanedWords) {
  const std::size_t rowWords = (cleanedWords + 63) / 64;
  return sourceWords * rowWords * sizeof(uint64_t)             // decision bits
         + 2 * (cleanedWords + 1) * sizeof(int32_t)             // two rows of lengths
         + (sourceWords + cleanedWords) * sizeof(int32_t);      // word numbers
}

namespace alignment {
namespace {

// Each distinct word as a small number, so the table compares integers.
void numberWords(const std::vector<WordToken>& source, const std::vector<WordToken>& cleaned,
                 std::vector<int32_t>& sourceIds, std::vector<int32_t>& cleanedIds) {
  std::unordered_map<std::u16string, int32_t> ids;
  auto idOf = [&ids](const icu::UnicodeString& word) {
    std::u16string key(word.getBuffer(), static_cast<size_t>(word.length()));
    return ids.emplace(std::move(key), static_cast<int32_t>(ids.size())).first->second;
  };
  sourceIds.reserve(source.size());
  for (const WordToken& token : source) sourceIds.push_back(idOf(token.word));
  cleanedIds.reserve(cleaned.size());
  for (const WordToken& token : cleaned) cleanedIds.push_back(idOf(token.word));
}

}  // namespace

std::vector<WordToken> wordTokens(const icu::UnicodeString& text) {
  static const icu::RegexPattern& word = unicode::constantPattern(uR"re([\p{L}\p{N}']+)re");
  std::vector<WordToken> tokens;
  const auto matcher = unicode::matcherFor(word, text);
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find(status) && U_SUCCESS(status)) {
    WordToken token;
    token.start = matcher->start(status);
    token.limit = matcher->end(status);
    if (U_FAILURE(status)) break;
    token.word = unicode::lowercased(text.tempSubStringBetween(token.start, token.limit));
    tokens.push_back(std::move(token));
  }
  return tokens;
}

std::optional<std::vector<int32_t>> align(const std::vector<WordToken>& source,
                                          const std::vector<WordToken>& cleaned) {
  std::vector<int32_t> s;
  std::vector<int32_t> c;
  numberWords(source, cleaned, s, c);
  std::vector<int32_t> match(s.size(), -1);

  // The walk matches equal words at the start one by one, and what follows a
  // common start depends only on the words after it: align only the rest.
  size_t prefix = 0;
  while (prefix < s.size() && prefix < c.size() && s[prefix] == c[prefix]) {
    match[prefix] = static_cast<int32_t>(prefix);
    ++prefix;
  }
  const size_t n = s.size() - prefix;
  const size_t m = c.size() - prefix;
  if (n == 0 || m == 0) return match;
  if (n > kMaxAlignedWordPairs / m) return std::nullopt;

  // advanceCleaned(i, j), for words that differ: L[i+1][j] <= L[i][j+1], where
  // L[i][j] is the longest common subsequence of s[i...] and c[j...]. Rows of
  // L are computed from the end, two at a time; only the decisions are kept.
  const size_t rowWords = (m + 63) / 64;
  std::vector<uint64_t> advanceCleaned(n * rowWords, 0);
  std::vector<int32_t> below(m + 1, 0);
  std::vector<int32_t> here(m + 1, 0);
  const int32_t* sw = s.data() + prefix;
  const int32_t* cw = c.data() + prefix;
  for (size_t i = n; i-- > 0;) {
    uint64_t* row = advanceCleaned.data() + i * rowWords;
    const int32_t word = sw[i];
    here[m] = 0;
    for (size_t j = m; j-- > 0;) {
      if (word == cw[j]) {
        here[j] = below[j + 1] + 1;
      } else if (below[j] <= here[j + 1]) {
        here[j] = here[j + 1];
        row[j >> 6] |= uint64_t{1} << (j & 63);
      } else {
        here[j] = below[j];
      }
    }
    std::swap(below, here);
  }

  size_t i = 0;
  size_t j = 0;
  while (i < n && j < m) {
    if (sw[i] == cw[j]) {
      match[prefix + i] = static_cast<int32_t>(prefix + j);
      ++i;
      ++j;
    } else if ((advanceCleaned[i * rowWords + (j >> 6)] >> (j & 63)) & 1) {
      ++j;
    } else {
      ++i;
    }
  }
  return match;
}

}  // namespace alignment
}  // namespace quorvel::TextHelpers
