// The user's own vocabulary (names, products, terms), its editing operations,
// and the name matching that decides which names a transcript may contain,
// repairs misheard names by sound and enforces the user's spellings.
//
// PersonalWords is a plain value: a caller loads it from the cleanup
// configuration, changes its own copy and stores it back (CleanupConfig).
// Everything here is pure except isRealWord (text/SpellCheck.h), and may be
// called from any thread. Words are UTF-8; quotes, backslashes, pattern
// characters and emoji in words are matched literally.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "text/LearnedFix.h"
#include "text/SpellCheck.h"

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

// A spelling test for a single word (isRealWord, or a fake in tests).
using WordTest = std::function<bool(std::string_view)>;

// Whole-word search: "\b" + word (literally) + "\b", ignoring case.
// An empty word is never found.
bool hasWord(std::string_view text, std::string_view word);

// The spellings a spoken name may have produced in `text`: one to three
// consecutive lower-cased words run together, and runs of single characters,
// also with spoken letter names ("bee", "cee", ...) turned into letters.
std::set<std::string> nameWindows(std::string_view text);

// The names (in the given order) that `text` may contain: written as a whole
// word, or close to one of its name windows (same letters, same sound, or a
// small edit distance).
std::vector<std::string> relevantNames(std::string_view text, const std::vector<std::string>& names);

// A more lenient form of relevantNames for one name, used by the cleanup guards.
bool mightBeSaid(std::string_view name, std::string_view text);

// The names to show the language model for `text`: the relevant ranked names
// not yet written correctly, then up to 6 extra names that sound like a word of
// the text; at most 24 in all.
std::vector<std::string> namesForCleanup(std::string_view text, const std::vector<std::string>& ranked,
                                         const std::vector<std::string>& extra);

// Each word of four or more ASCII letters that sounds like exactly one name
// (ignoring case) and is not a real word is replaced by that name.
std::string namesBySound(std::string_view text, const std::vector<std::string>& names,
                         const WordTest& isRealWord);

// applyDictionary with the words' dictionary and aliases, then namesBySound.
std::string spellNames(std::string_view text, const PersonalWords& words,
                       const std::vector<std::string>& names, const WordTest& isRealWord);

// The aliases applied (heard -> written, whole words, ignoring case), then each
// dictionary word's spelling enforced: its own case, and for words of more than
// four characters without a space, near misses (edit distance 1, or 2 when
// capitalised, same first letter) replaced.
std::string applyDictionary(std::string_view text, const std::vector<std::string>& dictionary,
                            const std::map<std::string, std::string>& aliases = {});

}  // namespace quorvel
