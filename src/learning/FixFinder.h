// Finds the corrections a user made to a typed dictation: compares the text
// that was typed with the text now in the field, word by word, and judges each
// changed stretch (a misheard name, a new word, a capital letter) as a Fix that
// may later replace the heard form and may be learned as a personal word.
//
// FixFinder is a namespace of pure functions; its only outside input is a
// word-frequency function (WordFrequencies.h). FixMemory.h lets a correction
// the user is still typing settle before it counts. Everything is safe to
// call from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "learning/WordFrequencies.h"
#include "text/LearnedFix.h"
#include "text/NameSounds.h"

namespace quorvel::FixFinder {

using quorvel::Fix;

// One word of a text: as written, trimmed of punctuation and symbols at both
// ends, and its lower-case key (all comparisons use keys).
struct Token {
  std::string text;
  std::string key;
  bool operator==(const Token&) const = default;
};

// The words of `text` split at whitespace; pieces left empty by trimming are dropped.
std::vector<Token> tokens(std::string_view text);
// The keys of a list of tokens, in order.
std::vector<std::string> keys(const std::vector<Token>& list);

// Edit distance over user-perceived characters, case-sensitive.
int distance(std::string_view a, std::string_view b);
// Close in spelling (distance at most 0.4 x the longer length) or equal sound
// keys of at least two digits.
bool soundsAlike(std::string_view a, std::string_view b);

// Has a letter, and is not an everyday word (no frequency, or below 3.2).
bool unusual(std::string_view word, const Frequency& frequency);
// Unusual, or capitalised and not a common word (no frequency, or below 4.0).
bool learnable(std::string_view word, const Frequency& frequency);

// A longest common subsequence of the two word lists as index pairs in
// ascending order; among equally long matchings, words are matched as late as
// possible.
std::vector<std::pair<int, int>> align(const std::vector<std::string>& a, const std::vector<std::string>& b);

// The character that ends the word before token i of `text` (as written, with
// its punctuation), "\n" when token i starts a line after the first, "." when
// there is no such word. `tokenList` may be a tail of the text's tokens; i
// counts in it.
std::string prevEnd(std::string_view text, const std::vector<Token>& tokenList, int i);

// Whether `run` is non-empty and occurs in `list` as a contiguous run.
bool contains(const std::vector<std::string>& list, const std::vector<std::string>& run);

// Whether the cursor sits right at the end of `word`: `before` ends in a
// letter or digit and its last word is the last word of `word` (by key).
bool touching(std::string_view word, std::string_view before);

// Whether `now` is `old` with only its last one or two words changed or added.
bool editedAtEnd(std::string_view old, std::string_view now);

// Decides whether one changed stretch is a correction worth keeping.
std::optional<Fix> judge(std::string_view heard, std::string_view meant, const Frequency& frequency,
                         bool midSentence = true);

// The corrections between the typed text (its last 40 words) and the text now
// in the field. Nothing when the typed text can no longer be found there; an
// empty list when it was found but holds no usable correction (or changed in
// more than four places).
std::optional<std::vector<Fix>> corrections(std::string_view typed, std::string_view now,
                                            const Frequency& frequency);

// corrections, or, when the typed text as a whole is no longer found, the
// corrections of each of its lines (of at least two) against `now`, without
// duplicates.
std::optional<std::vector<Fix>> visibleCorrections(std::string_view typed, std::string_view now,
                                                   const Frequency& frequency);

}  // namespace quorvel::FixFinder
