// Character-level helpers for matching the user's names and words: letter
// classes, case folding, character counts, a bounded edit distance, and the
// whole-word search and replacement with a cheap pre-check.
//
// Internal to the personal-words code and the correction finder. Every function
// is pure and safe to call from any thread.
#pragma once

#include <unicode/unistr.h>

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quorvel::nametext {

// A letter: general category L (Lu, Ll, Lt, Lm, Lo).
bool isLetter(UChar32 c);
// A letter, a number (category N) or a combining mark (category M); marks are
// counted with the letter they sit on.
bool isLetterOrNumber(UChar32 c);
bool isMark(UChar32 c);
// Category P, or P and S together (what trimming a word of punctuation removes).
bool isPunctuation(UChar32 c);
bool isPunctuationOrSymbol(UChar32 c);

// Code points of the text.
std::vector<UChar32> codePoints(const icu::UnicodeString& text);
std::vector<UChar32> codePoints(std::u16string_view text);

// User-perceived characters, approximated as code points that are not
// combining marks (so "e" + U+0301 counts once).
int32_t characterCount(const icu::UnicodeString& text);

// Full case folding (ICU's default), the key for comparisons ignoring case.
icu::UnicodeString folded(const icu::UnicodeString& text);
bool equalsIgnoringCase(const icu::UnicodeString& a, const icu::UnicodeString& b);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// The UTF-8 of the folded text; plain ASCII takes a fast path.
std::string foldedKey(std::string_view utf8);
// The UTF-8 of the lower-cased text (root locale); plain ASCII takes a fast path.
std::string lowerKey(std::string_view utf8);

// Whether the first character is an upper-case (or title-case) letter.
bool startsUppercase(const icu::UnicodeString& text);

// The edit distance of a and b when it is at most limit, else limit + 1.
// Unit costs over the given code points; case is the caller's business.
int boundedDistance(const std::vector<UChar32>& a, const std::vector<UChar32>& b, int limit);

// A text prepared for many whole-word searches: its folded form lets a word
// that cannot occur be ruled out without running a pattern.
class SearchText {
 public:
  explicit SearchText(icu::UnicodeString text);
  const icu::UnicodeString& text() const { return text_; }
  // True when `word` occurs as a whole word, ignoring case: the pattern "\b" +
  // the word taken literally + "\b". An empty word is never found.
  bool hasWholeWord(const icu::UnicodeString& word) const;
  // Whether the folded text holds the folded word anywhere (necessary for a
  // whole-word match).
  bool mayContain(const icu::UnicodeString& word) const;
  // The text with every whole-word occurrence of `word` replaced by
  // `replacement` taken literally, as the free function below.
  icu::UnicodeString replacedWholeWord(const icu::UnicodeString& word,
                                       const icu::UnicodeString& replacement) const;

 private:
  icu::UnicodeString text_;
  icu::UnicodeString folded_;
  // The folded text's runs of word characters: a word that starts with a word
  // character can only match where its own first run is one of these.
  std::unordered_set<std::u16string> runs_;
};

// Every whole-word, case-insensitive occurrence of `word` in `text` replaced by
// `replacement` taken literally ("$1" and "\" are not special). An empty word
// changes nothing.
icu::UnicodeString replaceWholeWord(const icu::UnicodeString& text, const icu::UnicodeString& word,
                                    const icu::UnicodeString& replacement);

}  // namespace quorvel::nametext
