// Bit-parallel edit distance: the column of differences of the classic
// table is kept as bit vectors (a +1 and a −1 vector per 64 rows), and one
// column step is a few word operations per block of rows.
#include "text/EditDistance.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace quorvel {
namespace {

using Word = std::uint64_t;
constexpr int kBits = 64;

// The vertical differences of one block of 64 rows.
struct Block {
  Word plus = ~Word{0};  // rows whose value is one more than the row above
  Word minus = 0;        // rows whose value is one less than the row above
};

// Advances one block by a column. `match` marks the block's rows whose
// symbol equals the column's; `carryIn` is the horizontal difference entering
// the block's top row (−1, 0 or +1). Answers the difference leaving the row
// `lastBit`.
int advance(Block& block, Word match, int carryIn, Word lastBit) {
  const Word pv = block.plus;
  const Word mv = block.minus;
  const Word xv = match | mv;
  if (carryIn < 0) match |= 1;
  const Word xh = (((match & pv) + pv) ^ pv) | match;
  Word ph = mv | ~(xh | pv);
  Word mh = pv & xh;
  int carryOut = 0;
  if (ph & lastBit) carryOut = 1;
  if (mh & lastBit) carryOut = -1;
  ph <<= 1;
  mh <<= 1;
  if (carryIn < 0) {
    mh |= 1;
  } else if (carryIn > 0) {
    ph |= 1;
  }
  block.plus = mh | ~(xv | ph);
  block.minus = ph & xv;
  return carryOut;
}

}  // namespace

int editDistance(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
  // What both share at the beginning and at the end costs nothing.
  while (!a.empty() && !b.empty() && a.front() == b.front()) {
    a = a.subspan(1);
    b = b.subspan(1);
  }
  while (!a.empty() && !b.empty() && a.back() == b.back()) {
    a = a.first(a.size() - 1);
    b = b.first(b.size() - 1);
  }
  if (a.size() > b.size()) std::swap(a, b);
  if (a.empty()) return static_cast<int>(b.size());

  // The shorter sequence runs down the rows.
  const std::size_t rows = a.size();
  const std::size_t blocks = (rows + kBits - 1) / kBits;
  std::unordered_map<std::uint32_t, std::vector<Word>> matches;
  for (std::size_t i = 0; i < rows; ++i) {
    auto& mask = matches[a[i]];
    if (mask.empty()) mask.assign(blocks, 0);
    mask[i / kBits] |= Word{1} << (i % kBits);
  }
  std::vector<Block> column(blocks);
  const Word lastRow = Word{1} << ((rows - 1) % kBits);
  const Word topBit = Word{1} << (kBits - 1);
  int score = static_cast<int>(rows);
  for (const std::uint32_t symbol : b) {
    const auto found = matches.find(symbol);
    const std::vector<Word>* mask = found == matches.end() ? nullptr : &found->second;
    int carry = 1;  // the top row grows by one per column
    for (std::size_t k = 0; k < blocks; ++k) {
      const Word match = mask ? (*mask)[k] : 0;
      carry = advance(column[k], match, carry, k + 1 == blocks ? lastRow : topBit);
    }
    score += carry;
  }
  return score;
}

}  // namespace quorvel
