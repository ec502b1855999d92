// US-English spelling checks through Hunspell, serialised by the spell lock.
#include "text/SpellCheck.h"

#include <hunspell.hxx>
#include <unicode/utf16.h>

#include <mutex>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/Log.h"
#include "support/ProgramValues.h"
#include "text/NameText.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

// The words a spelling check looks at: whitespace-separated pieces trimmed of
// punctuation and symbols; pieces without a letter (numbers, marks) are skipped.
std::vector<std::string> wordsToCheck(std::string_view text) {
  const icu::UnicodeString unicodeText = unicode::fromUtf8(text);
  std::vector<std::string> words;
  int32_t i = 0;
  const int32_t n = unicodeText.length();
  while (i < n) {
    while (i < n && unicode::isWhitespace(unicodeText.char32At(i))) {
      i += U16_LENGTH(unicodeText.char32At(i));
    }
    int32_t end = i;
    while (end < n && !unicode::isWhitespace(unicodeText.char32At(end))) {
      end += U16_LENGTH(unicodeText.char32At(end));
    }
    int32_t begin = i;
    int32_t stop = end;
    while (begin < stop && nametext::isPunctuationOrSymbol(unicodeText.char32At(begin))) {
      begin += U16_LENGTH(unicodeText.char32At(begin));
    }
    while (stop > begin && nametext::isPunctuationOrSymbol(unicodeText.char32At(stop - 1))) {
      stop -= U16_LENGTH(unicodeText.char32At(stop - 1));
    }
    bool hasLetter = false;
    for (int32_t k = begin; k < stop; k += U16_LENGTH(unicodeText.char32At(k))) {
      if (nametext::isLetter(unicodeText.char32At(k))) hasLetter = true;
    }
    if (hasLetter) words.push_back(unicode::toUtf8(icu::UnicodeString(unicodeText, begin, stop - begin)));
    i = end;
  }
  return words;
}

std::filesystem::path systemDictionaryFolder() {
  for (const char* folder : {"/usr/share/hunspell", "/usr/share/myspell/dicts", "/usr/share/myspell"}) {
    if (pathExists(std::filesystem::path(folder) / "en_US.dic")) return folder;
  }
  return "/usr/share/hunspell";
}

bool isPlainAsciiWord(std::string_view word) {
  if (word.empty()) return false;
  for (char c : word) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  }
  return true;
}

}  // namespace

SpellChecker::SpellChecker(std::filesystem::path affix, std::filesystem::path dictionary)
    : affix_(std::move(affix)), dictionary_(std::move(dictionary)) {}

SpellChecker::~SpellChecker() = default;

void SpellChecker::loadOnce() {
  if (tried_) return;
  tried_ = true;
  if (!pathExists(affix_) || !pathExists(dictionary_)) {
    logLine("Quorvel: no en_US spelling dictionary at " + dictionary_.string() +
            "; every word counts as unknown");
    return;
  }
  hunspell_ = std::make_unique<Hunspell>(affix_.c_str(), dictionary_.c_str());
}

bool SpellChecker::loaded() {
  std::scoped_lock lock(spellLock());
  loadOnce();
  return hunspell_ != nullptr;
}

bool SpellChecker::isRealWord(std::string_view word) {
  // The common case, one plain word, needs no splitting.
  std::vector<std::string> words;
  if (isPlainAsciiWord(word)) {
    words.emplace_back(word);
  } else {
    words = wordsToCheck(word);
  }
  std::scoped_lock lock(spellLock());
  loadOnce();
  if (!hunspell_) return false;
  for (const std::string& each : words) {
    if (!hunspell_->spell(each)) return false;
  }
  return true;
}

bool isRealWord(std::string_view word) {
  static SpellChecker checker = [] {
    const std::filesystem::path folder = systemDictionaryFolder();
    return SpellChecker(folder / "en_US.aff", folder / "en_US.dic");
  }();
  return checker.isRealWord(word);
}

}  // namespace quorvel
