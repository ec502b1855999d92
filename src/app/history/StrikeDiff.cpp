// Longest-common-subsequence diff over normalised words.
#include "app/history/StrikeDiff.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <string>
#include <unordered_map>

namespace quorvel {
namespace {

struct Word {
  std::string_view text;  // as written
  std::string normal;     // lower case, letters and numbers only (UTF-8)
};

// Splits at Unicode white space and normalises each word in one pass.
std::vector<Word> wordsOf(std::string_view text) {
  std::vector<Word> words;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
  int32_t start = -1;
  std::string normal;
  for (int32_t i = 0; i < length;) {
    const int32_t at = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    const bool space = c >= 0 && u_isUWhiteSpace(c);
    if (space) {
      if (start >= 0) {
        words.push_back({text.substr(start, at - start), normal});
        start = -1;
      }
      continue;
    }
    if (start < 0) {
      start = at;
      normal.clear();
    }
    if (c < 0) continue;  // a broken byte is neither letter nor number
    if ((U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_N_MASK)) == 0) continue;
    // Full lower-casing matters little for comparing words; the simple mapping
    // keeps this fast on long dictations.
    const UChar32 lower = u_tolower(c);
    char buffer[4];
    int32_t size = 0;
    UBool failed = false;
    U8_APPEND(reinterpret_cast<uint8_t*>(buffer), size, 4, lower, failed);
    if (!failed) normal.append(buffer, static_cast<size_t>(size));
  }
  if (start >= 0) words.push_back({text.substr(start), normal});
  return words;
}

}  // namespace

std::vector<StruckWord> strikeDiff(std::string_view raw, std::string_view typed) {
  const std::vector<Word> said = wordsOf(raw);
  const std::vector<Word> kept = wordsOf(typed);
  const size_t n = said.size();
  const size_t m = kept.size();
  std::vector<StruckWord> result;
  result.reserve(n);
  if (n == 0) return result;
  if (static_cast<long double>(n) * static_cast<long double>(std::max<size_t>(m, 1)) > maxDiffCells) {
    for (const Word& word : said) result.push_back({std::string(word.text), false});
    return result;
  }

  // Words become small numbers so the table compares integers; 0 stands for a
  // word that normalises to nothing and never matches.
  std::unordered_map<std::string_view, int> ids;
  auto idOf = [&ids](const std::string& normal) {
    if (normal.empty()) return 0;
    return ids.try_emplace(normal, static_cast<int>(ids.size()) + 1).first->second;
  };
  std::vector<int> a(n), b(m);
  for (size_t i = 0; i < n; ++i) a[i] = idOf(said[i].normal);
  for (size_t j = 0; j < m; ++j) b[j] = idOf(kept[j].normal);

  // table[i][j]: the longest common sequence of said[i...] and kept[j...].
  const size_t width = m + 1;
  std::vector<int> table((n + 1) * width, 0);
  auto at = [&](size_t i, size_t j) -> int& { return table[i * width + j]; };
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      at(i, j) = (a[i] != 0 && a[i] == b[j]) ? at(i + 1, j + 1) + 1
                                              : std::max(at(i + 1, j), at(i, j + 1));
    }
  }

  size_t i = 0, j = 0;
  while (i < n) {
    if (j < m && a[i] != 0 && a[i] == b[j]) {
      result.push_back({std::string(said[i].text), false});
      ++i;
      ++j;
    } else if (j < m && at(i, j + 1) >= at(i + 1, j)) {
      ++j;  // a typed word that was not said
    } else {
      result.push_back({std::string(said[i].text), a[i] != 0});
      ++i;
    }
  }
  return result;
}

bool anyCut(const std::vector<StruckWord>& words) {
  return std::any_of(words.begin(), words.end(), [](const StruckWord& word) { return word.cut; });
}

std::string_view saidText(std::string_view raw, std::string_view typed) {
  return raw.empty() ? typed : raw;
}

}  // namespace quorvel
