// Character classes, folding and whole-word search for name matching.
#include "text/NameText.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>

#include "text/Unicode.h"

namespace quorvel::nametext {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Empty or nothing but white space: no word to look for, however it got into
// a dictionary.
bool isBlank(const icu::UnicodeString& word) {
  for (int32_t i = 0; i < word.length(); i = word.moveIndex32(i, 1)) {
    if (!u_isUWhiteSpace(word.char32At(i))) return false;
  }
  return true;
}

// "\" and "$" are special in ICU replacement templates.
icu::UnicodeString literalReplacement(const icu::UnicodeString& replacement) {
  icu::UnicodeString out;
  for (int32_t i = 0; i < replacement.length(); ++i) {
    const char16_t unit = replacement.charAt(i);
    if (unit == u'\\' || unit == u'$') out.append(u'\\');
    out.append(unit);
  }
  return out;
}

}  // namespace

bool isLetter(UChar32 c) { return u_isalpha(c) != 0; }

bool isMark(UChar32 c) { return (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0; }

bool isLetterOrNumber(UChar32 c) {
  return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_N_MASK | U_GC_M_MASK)) != 0;
}

bool isPunctuation(UChar32 c) { return (U_GET_GC_MASK(c) & U_GC_P_MASK) != 0; }

bool isPunctuationOrSymbol(UChar32 c) {
  return (U_GET_GC_MASK(c) & (U_GC_P_MASK | U_GC_S_MASK)) != 0;
}

std::vector<UChar32> codePoints(std::u16string_view text) {
  std::vector<UChar32> points;
  points.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    UChar32 c = 0;
    U16_NEXT(text.data(), i, text.size(), c);
    points.push_back(c);
  }
  return points;
}

std::vector<UChar32> codePoints(const icu::UnicodeString& text) {
  std::vector<UChar32> points;
  points.reserve(static_cast<size_t>(text.length()));
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    points.push_back(c);
    i += U16_LENGTH(c);
  }
  return points;
}

int32_t characterCount(const icu::UnicodeString& text) {
  int32_t count = 0;
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    if (count == 0 || !isMark(c)) ++count;
    i += U16_LENGTH(c);
  }
  return count;
}

icu::UnicodeString folded(const icu::UnicodeString& text) {
  icu::UnicodeString copy(text);
  copy.foldCase(U_FOLD_CASE_DEFAULT);
  return copy;
}

bool equalsIgnoringCase(const icu::UnicodeString& a, const icu::UnicodeString& b) {
  return a.caseCompare(b, U_FOLD_CASE_DEFAULT) == 0;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i];
      char y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  }
  return equalsIgnoringCase(unicode::fromUtf8(a), unicode::fromUtf8(b));
}

std::string foldedKey(std::string_view utf8) {
  if (isAscii(utf8)) return asciiLower(utf8);
  return unicode::toUtf8(folded(unicode::fromUtf8(utf8)));
}

std::string lowerKey(std::string_view utf8) {
  if (isAscii(utf8)) return asciiLower(utf8);
  return unicode::toUtf8(unicode::lowercased(unicode::fromUtf8(utf8)));
}

bool startsUppercase(const icu::UnicodeString& text) {
  if (text.isEmpty()) return false;
  const UChar32 first = text.char32At(0);
  return u_isupper(first) || u_istitle(first);
}

int boundedDistance(const std::vector<UChar32>& a, const std::vector<UChar32>& b, int limit) {
  const int n = static_cast<int>(a.size());
  const int m = static_cast<int>(b.size());
  if (std::abs(n - m) > limit) return limit + 1;
  if (n == 0) return m;
  if (m == 0) return n;
  // Two rows; short words (all names) keep them on the stack.
  constexpr int kStackRow = 64;
  int stackRows[2][kStackRow + 1];
  std::vector<int> heapRows;
  int* previous = stackRows[0];
  int* current = stackRows[1];
  if (m > kStackRow) {
    heapRows.resize(2 * (static_cast<size_t>(m) + 1));
    previous = heapRows.data();
    current = heapRows.data() + m + 1;
  }
  for (int j = 0; j <= m; ++j) previous[j] = j;
  for (int i = 1; i <= n; ++i) {
    current[0] = i;
    int rowMin = i;
    const UChar32 left = a[static_cast<size_t>(i - 1)];
    for (int j = 1; j <= m; ++j) {
      const int substitution = previous[j - 1] + (left == b[static_cast<size_t>(j - 1)] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
      rowMin = std::min(rowMin, current[j]);
    }
    // A row whose smallest value exceeds the limit ends the search.
    if (rowMin > limit) return limit + 1;
    std::swap(previous, current);
  }
  return std::min(previous[m], limit + 1);
}

namespace {

// Characters that ICU's \w certainly counts as word characters (letters,
// marks, decimal digits, connector punctuation). A subset is enough: runs are
// only used to rule words out.
bool isCertainWordCharacter(UChar32 c) {
  return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) != 0;
}

// The first run of word characters of a folded text, when the text starts with one.
std::u16string firstRun(const icu::UnicodeString& foldedText) {
  int32_t end = 0;
  while (end < foldedText.length() && isCertainWordCharacter(foldedText.char32At(end))) {
    end += U16_LENGTH(foldedText.char32At(end));
  }
  return std::u16string(foldedText.getBuffer(), static_cast<size_t>(end));
}

}  // namespace

SearchText::SearchText(icu::UnicodeString text) : text_(std::move(text)), folded_(folded(text_)) {
  const char16_t* units = folded_.getBuffer();
  const int32_t n = folded_.length();
  int32_t i = 0;
  while (i < n) {
    int32_t start = i;
    while (start < n && !isCertainWordCharacter(folded_.char32At(start))) start += U16_LENGTH(folded_.char32At(start));
    int32_t end = start;
    while (end < n && isCertainWordCharacter(folded_.char32At(end))) end += U16_LENGTH(folded_.char32At(end));
    if (end > start) runs_.emplace(units + start, static_cast<size_t>(end - start));
    i = end;
  }
}

bool SearchText::mayContain(const icu::UnicodeString& word) const {
  const icu::UnicodeString foldedWord = folded(word);
  // A whole-word match of a word that starts with a word character begins at
  // the start of a run of the text, and that run ends where the word's first
  // run ends (the word's next character, or its end, is a boundary).
  const std::u16string run = firstRun(foldedWord);
  if (!run.empty()) return runs_.count(run) > 0;
  return folded_.indexOf(foldedWord) >= 0;
}

bool SearchText::hasWholeWord(const icu::UnicodeString& word) const {
  if (isBlank(word) || !mayContain(word)) return false;
  return unicode::containsWholeWord(text_, word);
}

icu::UnicodeString SearchText::replacedWholeWord(const icu::UnicodeString& word,
                                                 const icu::UnicodeString& replacement) const {
  if (isBlank(word) || !mayContain(word)) return text_;
  auto pattern = unicode::wholeWordPattern(word);
  if (!pattern) return text_;
  return unicode::replaceAll(*pattern, text_, literalReplacement(replacement));
}

icu::UnicodeString replaceWholeWord(const icu::UnicodeString& text, const icu::UnicodeString& word,
                                    const icu::UnicodeString& replacement) {
  return SearchText(text).replacedWholeWord(word, replacement);
}

}  // namespace quorvel::nametext
