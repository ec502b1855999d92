// A text with its case-folded form, to rule out cheaply a whole-word search
// that cannot succeed. Internal to src/text.
#pragma once

#include <unicode/stringoptions.h>
#include <unicode/unistr.h>

#include <utility>

namespace quorvel::TextHelpers {

class FoldedText {
 public:
  explicit FoldedText(icu::UnicodeString text) : text_(std::move(text)), folded_(text_) {
    folded_.foldCase(U_FOLD_CASE_DEFAULT);
  }

  const icu::UnicodeString& text() const { return text_; }

  // False only when `word` cannot occur in the text ignoring case: a
  // case-insensitive match folds to the folded word, so the folded text
  // would contain it.
  bool mayContain(const icu::UnicodeString& word) const {
    icu::UnicodeString folded(word);
    folded.foldCase(U_FOLD_CASE_DEFAULT);
    return folded_.indexOf(folded) >= 0;
  }

 private:
  icu::UnicodeString text_;
  icu::UnicodeString folded_;
};

}  // namespace quorvel::TextHelpers
