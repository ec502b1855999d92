// The word notions of the cleanup guards on UTF-16 text, shared by the guard
// files so that one decision builds each word set once. Internal to src/text.
#pragma once

#include <unicode/unistr.h>

#include <set>
#include <string>
#include <vector>

namespace quorvel::TextHelpers::guards {

using Word = std::u16string;
using WordSet = std::set<Word>;

Word wordOf(const icu::UnicodeString& text);

// Maximal runs of letters and numbers (combining marks go with their letter)
// of a text already lower-cased.
std::vector<Word> tokens(const icu::UnicodeString& lower);

// Tokens of at least four characters that are not common words; `text` is
// lower-cased here.
WordSet contentWords(const icu::UnicodeString& text);

// The share of `raw` also in `cleaned`; 1 when `raw` is empty.
double keptShare(const WordSet& raw, const WordSet& cleaned);

// The words of `cleanedContent` that the tokens of `raw` cannot account for.
WordSet invented(const icu::UnicodeString& raw, const WordSet& cleanedContent);

// At least 2 invented words and at least a quarter of the content words.
bool tooManyInvented(size_t invented, size_t contentWords);

Word stem(const Word& word);

// Number of code points.
int32_t length(const Word& word);

}  // namespace quorvel::TextHelpers::guards
