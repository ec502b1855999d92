// The word notions of the cleanup guards on UTF-16 text, shared by the guard
// files so that one decision builds each word list once. Words are views into
// the lower-cased text that owns them. Internal to src/text.
#pragma once

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quorvel::TextHelpers::guards {

using WordView = std::u16string_view;

// A set of word views in one open-addressed table, iterated in insertion
// order: the guards build several per decision, and a node per word would
// cost an allocation each.
class WordViews {
 public:
  explicit WordViews(size_t expected = 8);

  // False when the word was already there.
  bool insert(WordView word);
  bool contains(WordView word) const;

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  std::vector<WordView>::const_iterator begin() const { return items_.begin(); }
  std::vector<WordView>::const_iterator end() const { return items_.end(); }

 private:
  size_t slotOf(WordView word) const;
  void rehash(size_t capacity);

  std::vector<WordView> slots_;  // a default view (null data) marks a free slot
  std::vector<WordView> items_;
};

// Letters (with their combining marks) and numbers.
bool isTokenCharacter(UChar32 c);

// A text lower-cased (root locale) and its tokens: maximal runs of letters and
// numbers. The views stay valid while the object lives; it cannot be copied
// or moved.
class LowerWords {
 public:
  explicit LowerWords(const icu::UnicodeString& text);
  LowerWords(const LowerWords&) = delete;
  LowerWords& operator=(const LowerWords&) = delete;

  const icu::UnicodeString& lower() const { return lower_; }
  const std::vector<WordView>& tokens() const { return tokens_; }

 private:
  icu::UnicodeString lower_;
  std::vector<WordView> tokens_;
};

// Tokens of at least four characters that are not common words.
WordViews contentWordsOf(const std::vector<WordView>& tokens);

// The share of `raw` also in `cleaned`; 1 when `raw` is empty.
double keptShare(const WordViews& raw, const WordViews& cleaned);

// The words of `cleanedContent` that the raw transcript's tokens cannot
// account for, in no particular order.
std::vector<WordView> invented(const std::vector<WordView>& rawTokens, const WordViews& cleanedContent);

// At least 2 invented words and at least a quarter of the content words.
bool tooManyInvented(size_t invented, size_t contentWords);

// The stem, always a prefix of the word (a view into it).
WordView stemOf(WordView word);

// changesMeaning on texts already lower-cased.
bool meaningChanged(const icu::UnicodeString& rawLower, const icu::UnicodeString& cleanedLower);

// Number of code points.
int32_t length(WordView word);

}  // namespace quorvel::TextHelpers::guards
