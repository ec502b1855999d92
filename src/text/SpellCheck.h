// Whether a word is spelled correctly in United States English, through
// Hunspell and the en_US dictionary.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

class Hunspell;

namespace quorvel {

// True when a spelling check of `word` in en_US finds no misspelling: every
// word of the text (split at whitespace, trimmed of punctuation; pieces
// without a letter are not checked) is known to the dictionary.
//
// Uses the system dictionary (/usr/share/hunspell/en_US.aff and .dic, or the
// myspell folder), loaded at the first call. Without a dictionary every word
// is unknown (false) and the absence is logged once.
//
// Thread safety: callable from any thread; each check holds spellLock().
bool isRealWord(std::string_view word);

// One dictionary. The process-wide checker behind isRealWord is one of these;
// tests make their own to try a missing dictionary.
class SpellChecker {
 public:
  SpellChecker(std::filesystem::path affix, std::filesystem::path dictionary);
  ~SpellChecker();
  SpellChecker(const SpellChecker&) = delete;
  SpellChecker& operator=(const SpellChecker&) = delete;

  // As isRealWord, against this checker's dictionary. Holds spellLock().
  bool isRealWord(std::string_view word);
  bool loaded();

 private:
  // REQUIRES: spellLock() held.
  void loadOnce();

  std::filesystem::path affix_;
  std::filesystem::path dictionary_;
  // Guarded by spellLock().
  bool tried_ = false;
  std::unique_ptr<Hunspell> hunspell_;
};

}  // namespace quorvel
