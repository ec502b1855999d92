// Word tokens with their positions, and the longest-common-subsequence alignment
// of two token lists that the restorers use to see which source words survived
// in a cleanup. Internal to src/text and its tests.
#pragma once

#include <unicode/unistr.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvel::TextHelpers::alignment {

// A run of letters, numbers and straight apostrophes ("[\p{L}\p{N}']+").
struct WordToken {
  icu::UnicodeString word;  // lower-cased (root locale)
  int32_t start = 0;        // UTF-16 range in the text it was found in
  int32_t limit = 0;
};

// The word tokens of `text`, left to right.
std::vector<WordToken> wordTokens(const icu::UnicodeString& text);

// For each source token, the index of the cleaned token it is matched to, or -1.
//
// The alignment is a longest common subsequence of the lower-cased words, and
// among the longest ones always this one: walking from the start, equal tokens
// are matched; otherwise the walk advances in `cleaned` when that keeps at
// least as long a subsequence ahead as advancing in `source` would.
//
// nullopt when the texts are too long to align (more than
// kMaxAlignedWordPairs pairs); the caller then restores nothing.
std::optional<std::vector<int32_t>> align(const std::vector<WordToken>& source,
                                          const std::vector<WordToken>& cleaned);

}  // namespace quorvel::TextHelpers::alignment
