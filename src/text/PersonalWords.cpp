// The personal vocabulary's editing operations.
#include "text/PersonalWords.h"

#include <algorithm>
#include <map>
#include <unordered_set>
#include <utility>

#include "text/NameSounds.h"
#include "text/NameText.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

using nametext::equalsIgnoringCase;
using nametext::foldedKey;
using nametext::lowerKey;

std::string trimmed(std::string_view text) {
  return unicode::toUtf8(unicode::trimWhitespaceAndLineBreaks(unicode::fromUtf8(text)));
}

bool containsIgnoringCase(const std::vector<std::string>& list, std::string_view word) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& entry) { return equalsIgnoringCase(entry, word); });
}

void eraseIgnoringCase(std::vector<std::string>& list, std::string_view word) {
  const std::string key = foldedKey(word);
  std::erase_if(list, [&](const std::string& entry) { return foldedKey(entry) == key; });
}

void replaceExact(std::vector<std::string>& list, std::string_view from, const std::string& to) {
  for (std::string& entry : list) {
    if (entry == from) entry = to;
  }
}

}  // namespace

std::vector<std::string> PersonalWords::promptNames() const {
  std::unordered_set<std::string> inDictionary;
  for (const std::string& word : dictionary) inDictionary.insert(foldedKey(word));
  std::unordered_set<std::string> taken;
  std::vector<std::string> names;
  auto walk = [&](const std::vector<std::string>& list) {
    for (const std::string& word : list) {
      std::string key = foldedKey(word);
      if (inDictionary.count(key) == 0) continue;
      if (!taken.insert(std::move(key)).second) continue;
      names.push_back(word);
    }
  };
  walk(recent);
  walk(dictionary);
  return names;
}

void PersonalWords::add(std::string_view word) {
  std::string clean = trimmed(word);
  if (clean.empty() || containsIgnoringCase(dictionary, clean)) return;
  dictionary.push_back(std::move(clean));
}

void PersonalWords::rename(std::string_view oldWord, std::string_view newWord) {
  const std::string renamed = trimmed(newWord);
  if (renamed.empty() || renamed == oldWord) return;
  if (std::find(dictionary.begin(), dictionary.end(), oldWord) == dictionary.end()) return;
  const bool merges = std::any_of(dictionary.begin(), dictionary.end(), [&](const std::string& entry) {
    return entry != oldWord && equalsIgnoringCase(entry, renamed);
  });
  if (merges) {
    std::erase(dictionary, std::string(oldWord));
  } else {
    replaceExact(dictionary, oldWord, renamed);
  }
  for (auto& [heard, written] : aliases) {
    if (written == oldWord) written = renamed;
  }
  replaceExact(learned, oldWord, renamed);
  replaceExact(recent, oldWord, renamed);
}

void PersonalWords::remove(const std::vector<std::string>& words) {
  std::unordered_set<std::string> gone;
  for (const std::string& word : words) gone.insert(lowerKey(word));
  auto isGone = [&](const std::string& entry) { return gone.count(lowerKey(entry)) > 0; };
  std::erase_if(dictionary, isGone);
  std::erase_if(learned, isGone);
  std::erase_if(recent, isGone);
  std::erase_if(aliases, [&](const auto& alias) { return isGone(alias.second); });
}

void PersonalWords::touch(const std::vector<std::string>& words) {
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    eraseIgnoringCase(recent, *it);
    recent.insert(recent.begin(), *it);
  }
  if (recent.size() > recentLimit) recent.resize(recentLimit);
}

bool PersonalWords::noteUsed(std::string_view text) {
  const nametext::SearchText search(unicode::fromUtf8(text));
  std::vector<std::string> used;
  for (const std::string& word : dictionary) {
    if (search.hasWholeWord(unicode::fromUtf8(word))) used.push_back(word);
  }
  if (used.empty()) return false;
  if (recent.size() >= used.size() &&
      std::equal(used.begin(), used.end(), recent.begin(), [](const std::string& a, const std::string& b) {
        return lowerKey(a) == lowerKey(b);
      })) {
    return false;
  }
  touch(used);
  return true;
}

void PersonalWords::swap(std::string_view heard, std::string_view meant) {
  const std::string from = trimmed(heard);
  const std::string to = trimmed(meant);
  if (from.empty() || to.empty() || equalsIgnoringCase(from, to)) return;
  std::erase_if(aliases, [&](const auto& alias) { return equalsIgnoringCase(alias.first, from); });
  aliases[from] = to;
}

void PersonalWords::unlearn(std::string_view word) {
  std::erase_if(aliases, [&](const auto& alias) { return equalsIgnoringCase(alias.second, word); });
  eraseIgnoringCase(dictionary, word);
  eraseIgnoringCase(learned, word);
  eraseIgnoringCase(recent, word);
}

PersonalWords::AbsorbCounts PersonalWords::absorb(const std::vector<LearnedFix>& fixes) {
  AbsorbCounts counts;
  for (const LearnedFix& fix : fixes) {
    const std::string heard = trimmed(fix.heard);
    const std::string meant = trimmed(fix.meant);
    // A correction to nothing is no word to learn (and would put an empty
    // entry into the dictionary).
    if (meant.empty()) continue;
    const std::string h = lowerKey(heard);
    const std::string m = lowerKey(meant);

    std::vector<std::string> reverse;
    for (const auto& [key, value] : aliases) {
      if (lowerKey(key) == m && lowerKey(value) == h) reverse.push_back(key);
    }
    const bool heardWasLearned = std::any_of(learned.begin(), learned.end(),
                                             [&](const std::string& entry) { return lowerKey(entry) == h; });
    if (!reverse.empty()) {
      for (const std::string& key : reverse) aliases.erase(key);
      if (heardWasLearned) unlearn(h);
      ++counts.unlearned;
      continue;
    }
    if (heardWasLearned) unlearn(h);
    if (!fix.learn.value_or(true)) continue;
    if (fix.replace) swap(heard, meant);
    if (!containsIgnoringCase(dictionary, meant)) {
      dictionary.push_back(meant);
      learned.push_back(meant);
    }
    touch({meant});
    ++counts.learned;
  }
  return counts;
}

bool PersonalWords::repairLearned() {
  bool changed = false;
  const std::vector<std::string> original = learned;
  for (const std::string& word : original) {
    const std::string clean = FixFinder::withoutLeadingNotName(word);
    if (clean == word || clean.empty()) continue;
    std::erase(dictionary, word);
    if (!containsIgnoringCase(dictionary, clean)) dictionary.push_back(clean);
    replaceExact(learned, word, clean);
    replaceExact(recent, word, clean);
    changed = true;
  }
  std::map<std::string, std::string> rebuilt;
  for (const auto& [key, value] : aliases) {
    std::string cleanKey = FixFinder::withoutLeadingNotName(key);
    std::string cleanValue = FixFinder::withoutLeadingNotName(value);
    if (cleanKey != key || cleanValue != value) changed = true;
    if (equalsIgnoringCase(cleanKey, cleanValue)) continue;
    rebuilt[std::move(cleanKey)] = std::move(cleanValue);
  }
  if (rebuilt != aliases) changed = true;
  aliases = std::move(rebuilt);
  return changed;
}

}  // namespace quorvel
