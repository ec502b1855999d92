// Finds the corrections a user made to a typed dictation: compares the text
// that was typed with the text now in the field, word by word, and judges each
// changed stretch (a misheard name, a new word, a capital letter) as a Fix that
// may later replace the heard form and may be learned as a personal word.
//
// FixFinder is a namespace of pure functions; its only outside input is a
// word-frequency function (Zipf values). Memory, one per watched dictation,
// lets a correction the user is still typing settle before it counts.
// Everything is safe to call from any thread; a Memory belongs to its caller.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "support/Json.h"
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

// The Zipf frequency of a lower-case word, or nothing when it is not listed.
using Frequency = std::function<std::optional<float>(const std::string& lowerWord)>;
using FrequencyTable = std::unordered_map<std::string, float>;

// The words of `text` split at whitespace; pieces left empty by trimming are dropped.
std::vector<Token> tokens(std::string_view text);

// The frequency list at `file` ("word<TAB>zipf" lines; lines without a tab or
// with an unreadable number are skipped; a later line for a word wins). An
// unreadable file gives an empty table.
FrequencyTable loadFrequencies(const std::filesystem::path& file);
// A frequency function reading a shared table.
Frequency frequencyFrom(std::shared_ptr<const FrequencyTable> table);

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

// The corrections of one watched dictation as they settle. A fix whose meant
// word ends at the cursor is pending (the user may still be typing it); it is
// finished once the cursor has left it, and leaves again when the misheard
// words reappear (the correction was undone).
struct Memory {
  std::vector<Fix> finished;
  std::vector<Fix> pending;
  std::optional<std::string> lastBefore;  // last 300 UTF-16 units before the cursor
  std::optional<std::string> lastAfter;   // first 100 UTF-16 units after it

  bool operator==(const Memory&) const = default;

  // One look at the field: `fixes` just found, the text before and after the
  // cursor. Returns the new fixes followed by the settled ones they do not
  // supersede.
  std::vector<Fix> look(const std::vector<Fix>& fixes, std::string_view before, std::string_view after);

 private:
  void remember(const Fix& fix);
};

Json toJson(const Memory& memory);
std::optional<Memory> memoryFromJson(const Json& value);

}  // namespace quorvel::FixFinder
