// The sound-alike tests shared by the correction finder and the personal
// dictionary: the sound key of a word, whether two words sound like the same
// name, and the words that never start a name.
//
// These live in the text library because the personal words need them; the
// rest of the correction finder (src/learning/FixFinder.h) adds to the same
// namespace. Pure functions, safe from any thread.
#pragma once

#include <unicode/unistr.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::FixFinder {

// A word whose Zipf frequency is at least this is an everyday word.
inline constexpr double everyday = 3.2;

// The 49 lower-case words that never start a name and are never learned as one.
const std::set<std::string, std::less<>>& notName();
bool isNotName(std::string_view lowerWord);

// The sound classes of the letters after the first (b f p v 1, c g j k q s x z 2,
// d t 3, l 4, m n 5, r 6), a class not repeated while only "h" or "w" stand
// between; any other character breaks a run. No letter prefix, no padding:
// "smith" gives "53"; a word of one character gives "".
std::string soundKey(std::string_view word);

// Whether two words sound like the same name: both at least 4 letters and
// nothing else, lengths within 3, different ignoring case, the same first sound
// ("ph" = f; c k q; s z; f v; g j; vowels and y), and equal sound keys of at
// least two digits.
bool soundsLikeName(std::string_view a, std::string_view b);

// `text` split at single spaces, with leading words that cannot start a name
// dropped while at least two words remain, joined with single spaces again.
std::string withoutLeadingNotName(std::string_view text);

// A word prepared once for many soundsLikeName comparisons.
struct SoundProfile {
  std::vector<UChar32> lower;  // the lower-cased word's code points
  int32_t length = 0;          // characters
  bool allLetters = false;     // and at least one
  UChar32 firstSound = 0;
  std::string key;             // soundKey of the lower-cased word
};
SoundProfile soundProfile(const icu::UnicodeString& word);
// The same for a word already in lower case, given as code points.
SoundProfile soundProfileOfLowercase(std::vector<UChar32> lower);
bool soundsLikeName(const SoundProfile& a, const SoundProfile& b);

}  // namespace quorvel::FixFinder
