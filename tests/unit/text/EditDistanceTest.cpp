// The word-parallel edit distance against the plain table, on random
// sequences long enough to span several blocks of rows.
#include "text/EditDistance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace quorvel {
namespace {

using Symbols = std::vector<std::uint32_t>;

int plainDistance(const Symbols& a, const Symbols& b) {
  std::vector<int> previous(b.size() + 1), current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = static_cast<int>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = static_cast<int>(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
    }
    std::swap(previous, current);
  }
  return previous[b.size()];
}

TEST(EditDistance, AgreesWithThePlainTable) {
  std::mt19937 random(4242);
  const size_t lengths[] = {0, 1, 2, 63, 64, 65, 127, 128, 129, 200};
  std::uniform_int_distribution<size_t> anyLength(0, 300);
  std::uniform_int_distribution<int> alphabetSize(1, 6);
  for (int round = 0; round < 600; ++round) {
    const size_t n = round < 100 ? lengths[round % std::size(lengths)] : anyLength(random);
    const size_t m = round < 100 ? lengths[(round / std::size(lengths)) % std::size(lengths)] : anyLength(random);
    std::uniform_int_distribution<std::uint32_t> symbol(0, static_cast<std::uint32_t>(alphabetSize(random)));
    Symbols a(n), b(m);
    for (auto& s : a) s = symbol(random);
    for (auto& s : b) s = symbol(random);
    // Now and then one a near copy of the other, as names and their misspellings are.
    if (round % 3 == 0 && !a.empty()) {
      b = a;
      for (int edits = round % 7; edits > 0 && !b.empty(); --edits) b[random() % b.size()] = symbol(random);
    }
    ASSERT_EQ(editDistance(a, b), plainDistance(a, b)) << "lengths " << a.size() << " and " << b.size();
    ASSERT_EQ(editDistance(b, a), plainDistance(a, b));
  }
}

}  // namespace
}  // namespace quorvel
