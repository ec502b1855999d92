// Grapheme-cluster boundaries through ICU's character break iterator, with a
// code-point fall-back should ICU fail to create one, and a quick path for
// text where every code unit is a character of its own.
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

// Text below U+0300 without a CR LF pair holds no mark, joiner or pair that
// makes two code units one character: one character per code unit.
bool oneUnitEach(const icu::UnicodeString& text) {
  const int32_t length = text.length();
  for (int32_t i = 0; i < length; ++i) {
    const char16_t unit = text.charAt(i);
    if (unit >= 0x300 || (unit == u'\r' && i + 1 < length && text.charAt(i + 1) == u'\n')) return false;
  }
  return true;
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

std::vector<int32_t> starts(const icu::UnicodeString& text) {
  std::vector<int32_t> out;
  const int32_t length = text.length();
  if (oneUnitEach(text)) {
    out.reserve(static_cast<size_t>(length) + 1);
    for (int32_t i = 0; i <= length; ++i) out.push_back(i);
    return out;
  }
  if (auto iterator = charactersOf(text)) {
    for (int32_t at = iterator->first(); at != icu::BreakIterator::DONE; at = iterator->next()) out.push_back(at);
  } else {
    for (int32_t i = 0; i < length; i = text.moveIndex32(i, 1)) out.push_back(i);
  }
  if (out.empty() || out.back() != length) out.push_back(length);
  return out;
}

int32_t count(const icu::UnicodeString& text) { return static_cast<int32_t>(starts(text).size()) - 1; }

}  // namespace quorvel::graphemes
