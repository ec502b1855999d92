// The plain table edit distance over UTF-16 units, as the rules measured it
// before the word-parallel distance: the baseline the "Before" rows of the
// benchmarks time.
#pragma once

#include <unicode/unistr.h>

#include <algorithm>
#include <vector>

namespace quorvel::bench {

inline int plainEditDistance(const icu::UnicodeString& left, const icu::UnicodeString& right) {
  std::vector<int> previous(static_cast<size_t>(right.length()) + 1), current(previous.size());
  for (size_t j = 0; j < previous.size(); ++j) previous[j] = static_cast<int>(j);
  for (int32_t i = 1; i <= left.length(); ++i) {
    current[0] = i;
    for (int32_t j = 1; j <= right.length(); ++j) {
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                             previous[j - 1] + (left.charAt(i - 1) == right.charAt(j - 1) ? 0 : 1)});
    }
    std::swap(previous, current);
  }
  return previous.back();
}

}  // namespace quorvel::bench
