// The edit distance (insertions, deletions and substitutions, each costing 1)
// between two sequences of symbols, computed a machine word of rows at a time
// so that long inputs stay fast: O(⌈m / 64⌉ · n) for lengths m ≤ n, after the
// common beginning and end are set aside. Pure; any thread may call.
#pragma once

#include <cstdint>
#include <span>

namespace quorvel {

int editDistance(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b);

}  // namespace quorvel
