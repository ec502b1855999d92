// User-perceived characters (extended grapheme clusters) in UTF-16 text: where
// the last one starts and how many there are, so that "the last character" of a
// text is an emoji or a letter with its accents, never a lone surrogate or a
// bare combining mark.
#pragma once

#include <unicode/unistr.h>

#include <cstdint>
#include <vector>

namespace quorvel::graphemes {

// Start of the character that ends at `end`. REQUIRES: 0 < end <= text.length().
// Gives end - 1 only for a lone code unit; a surrogate pair and a letter with
// its combining marks are stepped over whole.
int32_t previousStart(const icu::UnicodeString& text, int32_t end);

// Where each character of `text` starts, in order, with text.length() last:
// an empty text gives {0}, and character k is [starts[k], starts[k + 1]).
std::vector<int32_t> starts(const icu::UnicodeString& text);

// Number of characters in `text`.
int32_t count(const icu::UnicodeString& text);

// Line feed, vertical tab, form feed, carriage return (U+000A...U+000D), next
// line (U+0085), line separator (U+2028) and paragraph separator (U+2029).
constexpr bool isLineTerminator(UChar32 c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

}  // namespace quorvel::graphemes
