// Aligns the words of a transcript with the words of its cleanup by longest
// common subsequence, keeping one decision bit per pair of words.
#include "text/WordAlignment.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <string_view>
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
  std::unordered_map<std::u16string_view, int32_t> ids;
  ids.reserve(source.size() + cleaned.size());
  auto idOf = [&ids](std::u16string_view word) {
    return ids.emplace(word, static_cast<int32_t>(ids.size())).first->second;
  };
  sourceIds.reserve(source.size());
  for (const WordToken& token : source) sourceIds.push_back(idOf(token.word));
  cleanedIds.reserve(cleaned.size());
  for (const WordToken& token : cleaned) cleanedIds.push_back(idOf(token.word));
}

}  // namespace

WordTokens wordTokens(const icu::UnicodeString& text) {
  // The character class [\p{L}\p{N}'], scanned directly: this runs on every
  // word of long dictations.
  auto inWord = [](UChar32 c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'\'';
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
  };
  WordTokens result;
  std::vector<std::pair<size_t, size_t>> words;  // offset and length in the pool
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  int32_t i = 0;
  while (i < length) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(units, i, length, c);
    if (!inWord(c)) continue;
    bool ascii = c < 0x80;
    int32_t limit = i;
    while (limit < length) {
      int32_t next = limit;
      U16_NEXT(units, next, length, c);
      if (!inWord(c)) break;
      ascii = ascii && c < 0x80;
      limit = next;
    }
    i = limit;
    const size_t offset = result.pool.size();
    if (ascii) {
      for (int32_t k = start; k < limit; ++k) {
        const char16_t unit = units[k];
        result.pool.push_back(unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit);
      }
    } else {
      const icu::UnicodeString lower = unicode::lowercased(text.tempSubStringBetween(start, limit));
      result.pool.insert(result.pool.end(), lower.getBuffer(), lower.getBuffer() + lower.length());
    }
    words.emplace_back(offset, result.pool.size() - offset);
    result.tokens.push_back(WordToken{{}, start, limit});
  }
  // The pool has stopped growing: the views can be taken now.
  for (size_t k = 0; k < words.size(); ++k) {
    result.tokens[k].word = std::u16string_view(result.pool.data() + words[k].first, words[k].second);
  }
  return result;
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
    // From the end of the row, 64 decisions gathered in a register per store.
    for (size_t block = rowWords; block-- > 0;) {
      const size_t first = block * 64;
      const size_t last = std::min(m, first + 64);
      uint64_t bits = 0;
      for (size_t j = last; j-- > first;) {
        const int32_t down = below[j];
        const int32_t right = here[j + 1];
        const bool equal = word == cw[j];
        const bool skipCleaned = !equal && down <= right;
        here[j] = equal ? below[j + 1] + 1 : std::max(down, right);
        bits |= static_cast<uint64_t>(skipCleaned) << (j - first);
      }
      row[block] = bits;
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
