// Grapheme-cluster boundaries through ICU's character break iterator, with a
// code-point fall-back should ICU fail to create one.
#include "text/Graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>

#include <memory>

namespace quorvel::graphemes {
namespace {

// A character break iterator over `text`, or nullptr when ICU cannot make one.
// REQUIRES: `text` outlives the iterator.
std::unique_ptr<icu::BreakIterator> charactersOf(const icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || iterator == nullptr) return nullptr;
  iterator->setText(text);
  return iterator;
}

}  // namespace

int32_t previousStart(const icu::UnicodeString& text, int32_t end) {
  if (end <= 0) return 0;
  if (end > text.length()) end = text.length();
  if (auto iterator = charactersOf(text)) {
    const int32_t start = iterator->preceding(end);
    if (start != icu::BreakIterator::DONE && start < end) return start;
  }
  return text.moveIndex32(end, -1);
}

int32_t count(const icu::UnicodeString& text) {
  if (auto iterator = charactersOf(text)) {
    int32_t characters = 0;
    iterator->first();
    while (iterator->next() != icu::BreakIterator::DONE) ++characters;
    return characters;
  }
  return text.countChar32();
}

}  // namespace quorvel::graphemes
