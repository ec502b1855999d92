// The user's own vocabulary (names, products, terms) and its editing
// operations; text/NameMatching.h uses it on transcripts.
//
// PersonalWords is a plain value: a caller loads it from the cleanup
// configuration, changes its own copy and stores it back (CleanupConfig).
// Everything here is pure and may be called from any thread. Words are UTF-8.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "text/LearnedFix.h"

namespace quorvel {

struct PersonalWords {
  // The user's words in the order the user sees them.
  std::vector<std::string> dictionary;
  // A heard form (what the recogniser writes) -> the form to write instead.
  std::map<std::string, std::string> aliases;
  // Dictionary words that were learned from corrections, oldest first.
  std::vector<std::string> learned;
  // Dictionary words used recently, newest first, at most recentLimit.
  std::vector<std::string> recent;

  static constexpr size_t recentLimit = 50;

  bool operator==(const PersonalWords&) const = default;

  // Recently used words first (newest first), then the rest of the dictionary
  // in its order; no duplicates ignoring case; only words still in the dictionary.
  std::vector<std::string> promptNames() const;

  // Appends the trimmed word unless it is empty or already present ignoring case.
  void add(std::string_view word);

  // Renames a dictionary entry (exact match); merges it into an existing entry
  // equal to the new word ignoring case. Aliases, learned and recent follow.
  void rename(std::string_view oldWord, std::string_view newWord);

  // Removes the words (ignoring case) from dictionary, learned and recent, and
  // every alias that writes one of them.
  void remove(const std::vector<std::string>& words);

  struct AbsorbCounts {
    int learned = 0;
    int unlearned = 0;
    bool operator==(const AbsorbCounts&) const = default;
  };
  // Takes in the user's settled corrections, in order: a correction that undoes
  // an earlier one (the reverse alias exists) removes that alias and unlearns
  // the word; otherwise the meant word is learned (added, touched, and aliased
  // from the heard form when `replace`). A fix with learn == false is not learned.
  AbsorbCounts absorb(const std::vector<LearnedFix>& fixes);

  // Moves the words to the front of `recent` (the first given word first) and
  // keeps at most recentLimit entries.
  void touch(const std::vector<std::string>& words);

  // Touches the dictionary words that occur in `text` as whole words, unless
  // `recent` already starts with exactly them. True when `recent` changed.
  bool noteUsed(std::string_view text);

  // Learned words and aliases that were learned with a stray leading word
  // ("hi Anna") lose it. True when anything changed.
  bool repairLearned();

 private:
  // Sets the alias heard -> meant, replacing aliases of heard in any case.
  void swap(std::string_view heard, std::string_view meant);
  // Removes the word (ignoring case) from every list and every alias writing it.
  void unlearn(std::string_view word);
};

}  // namespace quorvel
