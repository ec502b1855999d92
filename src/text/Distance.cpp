// Edit distance between two texts, ignoring case, for fuzzy name and word matching.
#include "text/NameText.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace quorvel::TextHelpers {

int levenshtein(std::string_view a, std::string_view b) {
  const std::vector<UChar32> left = nametext::codePoints(unicode::lowercased(unicode::fromUtf8(a)));
  const std::vector<UChar32> right = nametext::codePoints(unicode::lowercased(unicode::fromUtf8(b)));
  if (left.empty()) return static_cast<int>(right.size());
  if (right.empty()) return static_cast<int>(left.size());

  // Two rows: the distances from a prefix of `left` to every prefix of `right`.
  std::vector<int> previous(right.size() + 1);
  std::vector<int> current(right.size() + 1);
  std::iota(previous.begin(), previous.end(), 0);
  for (size_t i = 1; i <= left.size(); ++i) {
    current[0] = static_cast<int>(i);
    for (size_t j = 1; j <= right.size(); ++j) {
      const int substitution = previous[j - 1] + (left[i - 1] == right[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
    }
    std::swap(previous, current);
  }
  return previous[right.size()];
}

}  // namespace quorvel::TextHelpers
