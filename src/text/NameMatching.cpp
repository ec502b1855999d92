// Matching the user's names against a transcript.
#include "text/NameMatching.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "text/NameSounds.h"
#include "text/NameText.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

using nametext::equalsIgnoringCase;

std::u16string asU16(const icu::UnicodeString& text) {
  return std::u16string(text.getBuffer(), static_cast<size_t>(text.length()));
}

// The words of a lower-cased text, split at every character that is not a
// letter or a number (or, with lettersOnly, not a letter).
std::vector<icu::UnicodeString> wordsOf(const icu::UnicodeString& lower, bool lettersOnly) {
  std::vector<icu::UnicodeString> words;
  icu::UnicodeString current;
  for (int32_t i = 0; i < lower.length();) {
    const UChar32 c = lower.char32At(i);
    i += U16_LENGTH(c);
    const bool inWord = lettersOnly ? (nametext::isLetter(c) || (nametext::isMark(c) && !current.isEmpty()))
                                    : nametext::isLetterOrNumber(c);
    if (inWord) {
      current.append(c);
    } else if (!current.isEmpty()) {
      words.push_back(current);
      current.remove();
    }
  }
  if (!current.isEmpty()) words.push_back(current);
  return words;
}

// The name in lower case with everything but letters and numbers removed.
icu::UnicodeString squashed(std::string_view name) {
  const icu::UnicodeString lower = unicode::lowercased(unicode::fromUtf8(name));
  icu::UnicodeString out;
  for (int32_t i = 0; i < lower.length();) {
    const UChar32 c = lower.char32At(i);
    i += U16_LENGTH(c);
    if (nametext::isLetterOrNumber(c)) out.append(c);
  }
  return out;
}

const std::map<std::u16string, std::u16string>& letterNames() {
  static const std::map<std::u16string, std::u16string> names{
      {u"bee", u"b"}, {u"see", u"c"}, {u"cee", u"c"}, {u"dee", u"d"}, {u"eff", u"f"},
      {u"gee", u"g"}, {u"jay", u"j"}, {u"kay", u"k"}, {u"el", u"l"},  {u"em", u"m"},
      {u"en", u"n"},  {u"pee", u"p"}, {u"cue", u"q"}, {u"queue", u"q"}, {u"ar", u"r"},
      {u"ess", u"s"}, {u"tee", u"t"}, {u"vee", u"v"}, {u"ex", u"x"},  {u"why", u"y"},
      {u"zee", u"z"}, {u"zed", u"z"}};
  return names;
}

std::vector<std::u16string> windowTexts(std::string_view text) {
  const std::vector<icu::UnicodeString> words =
      wordsOf(unicode::lowercased(unicode::fromUtf8(text)), /*lettersOnly=*/false);
  std::vector<std::u16string> plain;
  std::vector<std::u16string> spelled;
  plain.reserve(words.size());
  spelled.reserve(words.size());
  for (const icu::UnicodeString& word : words) {
    plain.push_back(asU16(word));
    auto it = letterNames().find(plain.back());
    spelled.push_back(it == letterNames().end() ? plain.back() : it->second);
  }
  std::unordered_set<std::u16string> seen;
  std::vector<std::u16string> out;
  auto addWindow = [&](std::u16string window) {
    if (seen.insert(window).second) out.push_back(std::move(window));
  };
  auto isOneCharacter = [](const std::u16string& word) {
    return nametext::characterCount(icu::UnicodeString(word.data(), static_cast<int32_t>(word.size()))) == 1;
  };
  for (const std::vector<std::u16string>* list : {&plain, &spelled}) {
    const size_t n = list->size();
    for (size_t i = 0; i < n; ++i) {
      std::u16string joined;
      for (size_t k = i; k < n && k < i + 3; ++k) {
        joined += (*list)[k];
        addWindow(joined);
      }
    }
    // Maximal runs of two or more one-character words: spelled-out letters.
    for (size_t i = 0; i < n;) {
      size_t end = i;
      while (end < n && isOneCharacter((*list)[end])) ++end;
      if (end - i >= 2) {
        std::u16string run;
        for (size_t k = i; k < end; ++k) run += (*list)[k];
        addWindow(std::move(run));
      }
      i = end == i ? i + 1 : end;
    }
  }
  return out;
}

// One name window with what the comparisons need, computed once.
struct Window {
  std::u16string text;
  FixFinder::SoundProfile sound;  // sound.lower holds the code points
};

uint64_t soundBucket(UChar32 firstSound, const std::string& key) {
  return std::hash<std::string>{}(key) * 1315423911u ^ static_cast<uint64_t>(firstSound);
}

struct WindowSet {
  std::vector<Window> windows;
  std::unordered_set<std::u16string> exact;
  std::unordered_map<UChar32, std::vector<const Window*>> byFirst;
  std::unordered_map<uint64_t, std::vector<const Window*>> bySound;

  explicit WindowSet(std::string_view text) {
    std::vector<std::u16string> texts = windowTexts(text);
    windows.reserve(texts.size());
    for (std::u16string& each : texts) {
      Window window;
      window.sound = FixFinder::soundProfileOfLowercase(nametext::codePoints(std::u16string_view(each)));
      window.text = std::move(each);
      windows.push_back(std::move(window));
    }
    for (const Window& window : windows) {
      exact.insert(window.text);
      if (!window.sound.lower.empty()) byFirst[window.sound.lower.front()].push_back(&window);
      if (window.sound.allLetters && window.sound.length >= 4) {
        bySound[soundBucket(window.sound.firstSound, window.sound.key)].push_back(&window);
      }
    }
  }
};

struct SquashedName {
  icu::UnicodeString text;
  FixFinder::SoundProfile sound;  // sound.lower holds the code points, sound.length the characters

  explicit SquashedName(std::string_view name)
      : text(squashed(name)), sound(FixFinder::soundProfileOfLowercase(nametext::codePoints(text))) {}
};

bool lengthsClose(int32_t a, int32_t b) { return std::abs(a - b) <= 3; }

bool nearWindow(const WindowSet& set, const SquashedName& s) {
  if (set.exact.count(asU16(s.text)) > 0) return true;
  const FixFinder::SoundProfile& sound = s.sound;
  if (sound.allLetters && sound.length >= 4 && sound.key.size() >= 2) {
    if (auto it = set.bySound.find(soundBucket(sound.firstSound, sound.key)); it != set.bySound.end()) {
      for (const Window* w : it->second) {
        if (lengthsClose(w->sound.length, sound.length) && FixFinder::soundsLikeName(w->sound, sound)) return true;
      }
    }
  }
  if (sound.length >= 4) {
    const int limit = sound.length < 6 ? 1 : 2;  // distance below 2, below 3
    if (auto it = set.byFirst.find(sound.lower.front()); it != set.byFirst.end()) {
      for (const Window* w : it->second) {
        if (lengthsClose(w->sound.length, sound.length) &&
            nametext::boundedDistance(w->sound.lower, sound.lower, limit) <= limit) {
          return true;
        }
      }
    }
  }
  return false;
}

std::vector<std::string> relevantIn(const nametext::SearchText& search, std::string_view text,
                                    const std::vector<std::string>& names) {
  std::vector<std::string> kept;
  std::optional<WindowSet> windows;
  for (const std::string& name : names) {
    if (search.hasWholeWord(unicode::fromUtf8(name))) {
      kept.push_back(name);
      continue;
    }
    const SquashedName s(name);
    if (s.text.isEmpty()) continue;
    if (!windows) windows.emplace(text);
    if (nearWindow(*windows, s)) kept.push_back(name);
  }
  return kept;
}

}  // namespace

bool hasWord(std::string_view text, std::string_view word) {
  return nametext::SearchText(unicode::fromUtf8(text)).hasWholeWord(unicode::fromUtf8(word));
}

std::set<std::string> nameWindows(std::string_view text) {
  std::set<std::string> windows;
  for (const std::u16string& window : windowTexts(text)) {
    windows.insert(unicode::toUtf8(icu::UnicodeString(window.data(), static_cast<int32_t>(window.size()))));
  }
  return windows;
}

std::vector<std::string> relevantNames(std::string_view text, const std::vector<std::string>& names) {
  const nametext::SearchText search(unicode::fromUtf8(text));
  return relevantIn(search, text, names);
}

bool mightBeSaid(std::string_view name, std::string_view text) {
  if (hasWord(text, name)) return true;
  const SquashedName s(name);
  if (s.text.isEmpty()) return false;
  const int32_t length = s.sound.length;
  const UChar32 first = s.sound.lower.front();
  for (const std::u16string& each : windowTexts(text)) {
    const FixFinder::SoundProfile window =
        FixFinder::soundProfileOfLowercase(nametext::codePoints(std::u16string_view(each)));
    if (!lengthsClose(window.length, length)) continue;
    if (window.lower == s.sound.lower) return true;
    if (FixFinder::soundsLikeName(window, s.sound)) return true;
    const int limit = window.lower.front() == first ? (length < 4 ? 2 : length / 2) : (length > 4 ? 2 : -1);
    if (limit >= 0 && nametext::boundedDistance(window.lower, s.sound.lower, limit) <= limit) return true;
  }
  return false;
}

std::vector<std::string> namesForCleanup(std::string_view text, const std::vector<std::string>& ranked,
                                         const std::vector<std::string>& extra) {
  constexpr size_t maxNames = 24;
  constexpr size_t maxExtra = 6;
  const nametext::SearchText search(unicode::fromUtf8(text));
  std::vector<std::string> names;
  for (std::string& name : relevantIn(search, text, ranked)) {
    if (!search.hasWholeWord(unicode::fromUtf8(name))) names.push_back(std::move(name));
  }

  if (!extra.empty()) {
    // The text's words by first sound and sound key, for the sound-alike test.
    std::unordered_map<uint64_t, std::vector<FixFinder::SoundProfile>> bySound;
    std::unordered_set<std::u16string> seen;
    for (const icu::UnicodeString& word :
         wordsOf(unicode::lowercased(search.text()), /*lettersOnly=*/true)) {
      if (!seen.insert(asU16(word)).second) continue;
      FixFinder::SoundProfile profile = FixFinder::soundProfile(word);
      if (!profile.allLetters || profile.length < 4) continue;
      bySound[soundBucket(profile.firstSound, profile.key)].push_back(std::move(profile));
    }
    const size_t primaryCount = names.size();
    size_t taken = 0;
    for (const std::string& name : extra) {
      if (taken == maxExtra) break;
      const bool isPrimary = std::any_of(names.begin(), names.begin() + static_cast<long>(primaryCount),
                                         [&](const std::string& p) { return equalsIgnoringCase(p, name); });
      if (isPrimary) continue;
      const FixFinder::SoundProfile profile = FixFinder::soundProfile(unicode::fromUtf8(name));
      auto it = bySound.find(soundBucket(profile.firstSound, profile.key));
      if (it == bySound.end()) continue;
      const bool sounds = std::any_of(it->second.begin(), it->second.end(), [&](const auto& word) {
        return FixFinder::soundsLikeName(word, profile);
      });
      if (!sounds || search.hasWholeWord(unicode::fromUtf8(name))) continue;
      names.push_back(name);
      ++taken;
    }
  }
  if (names.size() > maxNames) names.resize(maxNames);
  return names;
}

std::string namesBySound(std::string_view text, const std::vector<std::string>& names,
                         const WordTest& isRealWord) {
  struct Candidate {
    std::string name;
    icu::UnicodeString unicodeName;
    FixFinder::SoundProfile sound;
  };
  std::vector<Candidate> candidates;
  for (const std::string& name : names) {
    if (name.find(' ') != std::string::npos) continue;
    const icu::UnicodeString unicodeName = unicode::fromUtf8(name);
    if (nametext::characterCount(unicodeName) <= 3) continue;
    candidates.push_back({name, unicodeName, FixFinder::soundProfile(unicodeName)});
  }
  if (candidates.empty()) return std::string(text);

  static const icu::RegexPattern& asciiWord = unicode::constantPattern(uR"re(\b[A-Za-z]{4,}\b)re");
  const icu::UnicodeString input = unicode::fromUtf8(text);
  auto matcher = unicode::matcherFor(asciiWord, input);
  icu::UnicodeString out;
  int32_t copied = 0;
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find()) {
    const int32_t start = matcher->start(status);
    const int32_t end = matcher->end(status);
    if (U_FAILURE(status)) break;
    const icu::UnicodeString word(input, start, end - start);
    const bool isName = std::any_of(candidates.begin(), candidates.end(), [&](const Candidate& c) {
      return nametext::equalsIgnoringCase(word, c.unicodeName);
    });
    if (isName) continue;
    const FixFinder::SoundProfile sound = FixFinder::soundProfile(word);
    std::vector<const Candidate*> alike;
    for (const Candidate& c : candidates) {
      if (FixFinder::soundsLikeName(sound, c.sound)) alike.push_back(&c);
    }
    if (alike.empty()) continue;
    const bool oneName = std::all_of(alike.begin(), alike.end(), [&](const Candidate* c) {
      return nametext::equalsIgnoringCase(c->name, alike.front()->name);
    });
    if (!oneName) continue;
    if (isRealWord && isRealWord(unicode::toUtf8(word))) continue;
    out.append(input, copied, start - copied);
    out.append(unicode::fromUtf8(alike.front()->name));
    copied = end;
  }
  if (copied == 0) return std::string(text);
  out.append(input, copied, input.length() - copied);
  return unicode::toUtf8(out);
}

std::string spellNames(std::string_view text, const PersonalWords& words,
                       const std::vector<std::string>& names, const WordTest& isRealWord) {
  return namesBySound(applyDictionary(text, words.dictionary, words.aliases), names, isRealWord);
}

namespace {

// A word of the text that the dictionary's near-miss test may replace.
struct SpellingCandidate {
  int32_t start = 0;
  int32_t end = 0;
  std::vector<UChar32> lower;
  UChar32 firstFolded = 0;
  bool capitalised = false;
};

std::vector<SpellingCandidate> spellingCandidates(const icu::UnicodeString& text) {
  static const icu::RegexPattern& pattern =
      unicode::constantPattern(uR"re(\b[A-Za-z][A-Za-z']{2,}\b)re");
  std::vector<SpellingCandidate> out;
  auto matcher = unicode::matcherFor(pattern, text);
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find()) {
    SpellingCandidate c;
    c.start = matcher->start(status);
    c.end = matcher->end(status);
    if (U_FAILURE(status)) break;
    for (int32_t i = c.start; i < c.end; ++i) {
      const char16_t unit = text.charAt(i);
      c.lower.push_back(unit >= u'A' && unit <= u'Z' ? unit - u'A' + u'a' : unit);
    }
    c.firstFolded = c.lower.front();
    c.capitalised = text.charAt(c.start) >= u'A' && text.charAt(c.start) <= u'Z';
    out.push_back(std::move(c));
  }
  return out;
}

}  // namespace

std::string applyDictionary(std::string_view text, const std::vector<std::string>& dictionary,
                            const std::map<std::string, std::string>& aliases) {
  auto search = std::make_unique<nametext::SearchText>(unicode::fromUtf8(text));
  auto replaceText = [&](icu::UnicodeString next) {
    search = std::make_unique<nametext::SearchText>(std::move(next));
  };
  for (const auto& [heard, written] : aliases) {
    const icu::UnicodeString from = unicode::fromUtf8(heard);
    if (!search->mayContain(from)) continue;
    icu::UnicodeString next = search->replacedWholeWord(from, unicode::fromUtf8(written));
    if (next != search->text()) replaceText(std::move(next));
  }

  std::optional<std::vector<SpellingCandidate>> candidates;  // of the current text
  for (const std::string& entry : dictionary) {
    const icu::UnicodeString word = unicode::fromUtf8(entry);
    if (word.isEmpty()) continue;
    if (search->mayContain(word)) {
      icu::UnicodeString next = search->replacedWholeWord(word, word);
      if (next != search->text()) {
        replaceText(std::move(next));
        candidates.reset();
      }
    }
    const int32_t length = nametext::characterCount(word);
    if (word.indexOf(u' ') >= 0 || length <= 4) continue;

    if (!candidates) candidates = spellingCandidates(search->text());
    const std::vector<UChar32> lower = nametext::codePoints(unicode::lowercased(word));
    const UChar32 first = u_foldCase(word.char32At(0), U_FOLD_CASE_DEFAULT);
    std::vector<const SpellingCandidate*> replaced;
    for (const SpellingCandidate& c : *candidates) {
      if (c.firstFolded != first) continue;
      const auto candidateLength = static_cast<int32_t>(c.lower.size());
      if (std::abs(candidateLength - length) >= 3) continue;
      const int d = nametext::boundedDistance(c.lower, lower, 2);
      const bool replace = (d == 1 && (candidateLength > 4 || c.capitalised)) || (d == 2 && c.capitalised);
      if (replace) replaced.push_back(&c);
    }
    if (replaced.empty()) continue;
    const icu::UnicodeString& current = search->text();
    icu::UnicodeString next;
    int32_t copied = 0;
    for (const SpellingCandidate* c : replaced) {
      next.append(current, copied, c->start - copied);
      next.append(word);
      copied = c->end;
    }
    next.append(current, copied, current.length() - copied);
    replaceText(std::move(next));
    candidates.reset();
  }
  return unicode::toUtf8(search->text());
}

}  // namespace quorvel
