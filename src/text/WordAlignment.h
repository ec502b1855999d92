// Word tokens with their positions, and the longest-common-subsequence alignment
// of two token lists that the restorers use to see which source words survived
// in a cleanup. Internal to src/text and its tests.
#pragma once

#include <unicode/unistr.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quorvel::TextHelpers::alignment {

// A run of letters, numbers and straight apostrophes ("[\p{L}\p{N}']+").
struct WordToken {
  std::u16string_view word;  // lower-cased (root locale); see WordTokens
  int32_t start = 0;         // UTF-16 range in the text it was found in
  int32_t limit = 0;
};

// The word tokens of a text and the lower-cased words they view. Moving keeps
// the views valid; copying would not, so it is not allowed.
struct WordTokens {
  WordTokens() = default;
  WordTokens(WordTokens&&) = default;
  WordTokens& operator=(WordTokens&&) = default;
  WordTokens(const WordTokens&) = delete;
  WordTokens& operator=(const WordTokens&) = delete;

  std::vector<char16_t> pool;  // the words, one after another
  std::vector<WordToken> tokens;
};

// The word tokens of `text`, left to right.
WordTokens wordTokens(const icu::UnicodeString& text);

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
