// Sound keys and the sound-alike test for names.
#include "text/NameSounds.h"

#include <unicode/utf16.h>

#include <cstdlib>
#include <vector>

#include "text/NameText.h"
#include "text/Unicode.h"

namespace quorvel::FixFinder {
namespace {

char soundClass(UChar32 c) {
  switch (c) {
    case 'b': case 'f': case 'p': case 'v': return '1';
    case 'c': case 'g': case 'j': case 'k': case 'q': case 's': case 'x': case 'z': return '2';
    case 'd': case 't': return '3';
    case 'l': return '4';
    case 'm': case 'n': return '5';
    case 'r': return '6';
    default: return 0;
  }
}

// A character with combining marks on it is not one of the plain letters.
struct Character {
  UChar32 base;
  bool marked;
};

std::vector<Character> characters(const std::vector<UChar32>& points) {
  std::vector<Character> out;
  out.reserve(points.size());
  for (UChar32 c : points) {
    if (!out.empty() && nametext::isMark(c)) {
      out.back().marked = true;
    } else {
      out.push_back({c, false});
    }
  }
  return out;
}

std::string soundKeyOf(const std::vector<Character>& chars) {
  std::string key;
  char previous = 0;
  for (size_t i = 1; i < chars.size(); ++i) {
    const UChar32 c = chars[i].marked ? 0 : chars[i].base;
    if (const char digit = soundClass(c)) {
      if (digit != previous) key.push_back(digit);
      previous = digit;
    } else if (c == 'h' || c == 'w') {
      // "h" and "w" keep a run of one class together.
    } else {
      previous = 0;
    }
  }
  return key;
}

UChar32 firstSoundOf(const std::vector<UChar32>& lower) {
  if (lower.size() >= 2 && lower[0] == 'p' && lower[1] == 'h') return 'f';
  const UChar32 first = lower.front();
  switch (first) {
    case 'c': case 'k': case 'q': return 'k';
    case 's': case 'z': return 's';
    case 'f': case 'v': return 'f';
    case 'g': case 'j': return 'j';
    case 'a': case 'e': case 'i': case 'o': case 'u': case 'y': return 'a';
    default: return first;
  }
}

}  // namespace

const std::set<std::string, std::less<>>& notName() {
  static const std::set<std::string, std::less<>> words{
      "i",     "hey",   "hi",     "hello", "dear", "yo",    "thanks",  "thank", "cheers", "the",
      "and",   "but",   "so",     "yes",   "yeah", "no",    "okay",    "ok",    "please", "sorry",
      "well",  "also",  "then",   "ask",   "tell", "call",  "email",   "text",  "message", "send",
      "to",    "from",  "with",   "for",   "at",   "on",    "in",      "by",    "about",  "love",
      "best",  "i'll",  "i'm",    "i've",  "i'd",  "i\u2019ll", "i\u2019m", "i\u2019ve", "i\u2019d"};
  return words;
}

bool isNotName(std::string_view lowerWord) { return notName().count(lowerWord) > 0; }

std::string soundKey(std::string_view word) {
  return soundKeyOf(characters(nametext::codePoints(unicode::fromUtf8(word))));
}

SoundProfile soundProfileOfLowercase(std::vector<UChar32> lower) {
  SoundProfile profile;
  const std::vector<Character> chars = characters(lower);
  profile.length = static_cast<int32_t>(chars.size());
  profile.allLetters = !chars.empty();
  for (const Character& c : chars) {
    if (!nametext::isLetter(c.base)) profile.allLetters = false;
  }
  profile.firstSound = lower.empty() ? 0 : firstSoundOf(lower);
  profile.key = soundKeyOf(chars);
  profile.lower = std::move(lower);
  return profile;
}

SoundProfile soundProfile(const icu::UnicodeString& word) {
  return soundProfileOfLowercase(nametext::codePoints(unicode::lowercased(word)));
}

bool soundsLikeName(const SoundProfile& a, const SoundProfile& b) {
  if (a.lower == b.lower) return false;
  if (a.length < 4 || b.length < 4) return false;
  if (std::abs(a.length - b.length) > 3) return false;
  if (!a.allLetters || !b.allLetters) return false;
  if (a.firstSound != b.firstSound) return false;
  if (b.key.size() < 2) return false;
  return a.key == b.key;
}

bool soundsLikeName(std::string_view a, std::string_view b) {
  return soundsLikeName(soundProfile(unicode::fromUtf8(a)), soundProfile(unicode::fromUtf8(b)));
}

std::string withoutLeadingNotName(std::string_view text) {
  std::vector<std::string_view> words;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  size_t first = 0;
  while (words.size() - first >= 2) {
    const icu::UnicodeString trimmed = [&] {
      const icu::UnicodeString word = unicode::lowercased(unicode::fromUtf8(words[first]));
      int32_t begin = 0;
      int32_t end = word.length();
      while (begin < end && nametext::isPunctuation(word.char32At(begin))) {
        begin += U16_LENGTH(word.char32At(begin));
      }
      while (end > begin && nametext::isPunctuation(word.char32At(end - 1))) {
        end -= U16_LENGTH(word.char32At(end - 1));
      }
      return icu::UnicodeString(word, begin, end - begin);
    }();
    if (!isNotName(unicode::toUtf8(trimmed))) break;
    ++first;
  }
  std::string out;
  for (size_t i = first; i < words.size(); ++i) {
    if (i > first) out += ' ';
    out += words[i];
  }
  return out;
}

}  // namespace quorvel::FixFinder
