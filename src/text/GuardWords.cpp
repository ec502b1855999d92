// Content words, stems, the kept share and invented words: the word-level
// comparisons of a cleanup with its raw transcript.
#include "text/GuardWords.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "text/CleanupGuards.h"
#include "text/NameText.h"
#include "text/RuleFallback.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace guards {
namespace {

// Words too common to tell whether a cleanup kept what was said.
const WordViews& commonWords() {
  static const WordViews words = [] {
    static constexpr std::u16string_view text =
        u"that this with have from they them their there then than what when where which "
        u"will would could should about into your just like okay yeah also make sure let's "
        u"lets need going really thing things first second third actually scratch part last "
        u"basically know that's it's wait mean sorry list bulleted format cleanly nicely";
    WordViews set;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(u' ', start);
      if (end == std::u16string_view::npos) end = text.size();
      if (end > start) set.insert(text.substr(start, end - start));
      start = end + 1;
    }
    return set;
  }();
  return words;
}

// Tried in this order; only the first that fits is removed.
constexpr std::u16string_view kStemSuffixes[] = {u"ingly", u"edly", u"ings", u"ing", u"ied", u"ies",
                                                 u"ed",    u"es",   u"s",    u"ly",  u"er"};

// Every token, and every two and three neighbouring tokens run together.
// The views point into `pool`.
std::vector<WordView> knownForms(const std::vector<WordView>& t, std::u16string& pool) {
  // Sized first, so that the pool never moves while views into it are taken.
  size_t units = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    size_t run = 0;
    for (size_t count = 1; count <= 3 && i + count <= t.size(); ++count) units += (run += t[i + count - 1].size());
  }
  pool.reserve(units);
  std::vector<WordView> forms;
  forms.reserve(t.size() * 3);
  for (size_t i = 0; i < t.size(); ++i) {
    const size_t start = pool.size();
    for (size_t count = 1; count <= 3 && i + count <= t.size(); ++count) {
      pool += t[i + count - 1];
      forms.emplace_back(pool.data() + start, pool.size() - start);
    }
  }
  return forms;
}

// Whether some form has the stem `stem`. Removing at most one suffix and then
// at most one "e" gives a form's stem, so such a form is the stem followed by
// an optional "e" and an optional suffix: only those few are looked up.
bool someFormHasStem(const WordViews& forms, WordView stem) {
  std::u16string candidate;
  for (int withE = 0; withE < 2; ++withE) {
    for (int suffix = -1; suffix < static_cast<int>(std::size(kStemSuffixes)); ++suffix) {
      candidate.assign(stem);
      if (withE) candidate += u'e';
      if (suffix >= 0) candidate += kStemSuffixes[suffix];
      if (forms.contains(candidate) && stemOf(candidate) == stem) return true;
    }
  }
  return false;
}

std::u32string pointsOf(WordView word) {
  std::u32string points;
  for (size_t i = 0; i < word.size();) {
    UChar32 c;
    U16_NEXT(word.data(), i, word.size(), c);
    points.push_back(static_cast<char32_t>(c));
  }
  return points;
}

// Whether the edit distance of a and b (insertions, deletions, substitutions
// of single characters) is at most `limit`. Two rows, stopping as soon as a
// row's smallest value exceeds the limit.
template <class Unit>
bool withinEdits(std::basic_string_view<Unit> a, std::basic_string_view<Unit> b, int limit,
                 std::vector<int>& rows) {
  const size_t n = a.size();
  const size_t m = b.size();
  if (static_cast<int64_t>(n > m ? n - m : m - n) > limit) return false;
  if (n == 0 || m == 0) return static_cast<int64_t>(n + m) <= limit;
  rows.resize(2 * (m + 1));
  int* previous = rows.data();
  int* current = rows.data() + m + 1;
  for (size_t j = 0; j <= m; ++j) previous[j] = static_cast<int>(j);
  for (size_t i = 1; i <= n; ++i) {
    current[0] = static_cast<int>(i);
    int rowMin = current[0];
    for (size_t j = 1; j <= m; ++j) {
      const int substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
      rowMin = std::min(rowMin, current[j]);
    }
    if (rowMin > limit) return false;
    std::swap(previous, current);
  }
  return previous[m] <= limit;
}

}  // namespace

WordViews::WordViews(size_t expected) {
  size_t capacity = 16;
  while (capacity < expected * 2) capacity *= 2;
  slots_.resize(capacity);
  items_.reserve(expected);
}

size_t WordViews::slotOf(WordView word) const {
  return std::hash<WordView>{}(word) & (slots_.size() - 1);
}

void WordViews::rehash(size_t capacity) {
  slots_.assign(capacity, WordView());
  for (WordView word : items_) {
    size_t i = slotOf(word);
    while (slots_[i].data() != nullptr) i = (i + 1) & (slots_.size() - 1);
    slots_[i] = word;
  }
}

bool WordViews::insert(WordView word) {
  size_t i = slotOf(word);
  while (slots_[i].data() != nullptr) {
    if (slots_[i] == word) return false;
    i = (i + 1) & (slots_.size() - 1);
  }
  slots_[i] = word;
  items_.push_back(word);
  if (items_.size() * 2 > slots_.size()) rehash(slots_.size() * 2);
  return true;
}

bool WordViews::contains(WordView word) const {
  for (size_t i = slotOf(word); slots_[i].data() != nullptr; i = (i + 1) & (slots_.size() - 1)) {
    if (slots_[i] == word) return true;
  }
  return false;
}

bool isTokenCharacter(UChar32 c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
  return nametext::isLetterOrNumber(c);
}

LowerWords::LowerWords(const UnicodeString& text) : lower_(unicode::lowercased(text)) {
  const char16_t* units = lower_.getBuffer();
  const int32_t n = lower_.length();
  int32_t start = -1;
  for (int32_t i = 0; i < n;) {
    const int32_t at = i;
    UChar32 c;
    U16_NEXT(units, i, n, c);
    if (isTokenCharacter(c)) {
      if (start < 0) start = at;
    } else if (start >= 0) {
      tokens_.emplace_back(units + start, static_cast<size_t>(at - start));
      start = -1;
    }
  }
  if (start >= 0) tokens_.emplace_back(units + start, static_cast<size_t>(n - start));
}

int32_t length(WordView word) {
  int32_t count = 0;
  for (size_t i = 0; i < word.size(); ++count) U16_FWD_1(word.data(), i, word.size());
  return count;
}

WordViews contentWordsOf(const std::vector<WordView>& tokens) {
  const WordViews& common = commonWords();
  WordViews words(tokens.size());
  for (WordView token : tokens) {
    if (length(token) >= 4 && !common.contains(token)) words.insert(token);
  }
  return words;
}

double keptShare(const WordViews& raw, const WordViews& cleaned) {
  if (raw.empty()) return 1.0;
  const auto kept = std::count_if(raw.begin(), raw.end(), [&](WordView w) { return cleaned.contains(w); });
  return static_cast<double>(kept) / static_cast<double>(raw.size());
}

// Whether the word has more than `count` code points.
bool longerThan(WordView word, int32_t count) {
  // A code point takes at most two units.
  if (static_cast<int64_t>(word.size()) > 2 * static_cast<int64_t>(count)) return true;
  return length(word) > count;
}

WordView stemOf(WordView word) {
  WordView result = word;
  for (WordView suffix : kStemSuffixes) {
    if (!result.ends_with(suffix)) continue;
    // The suffixes are ASCII: one code point per unit.
    if (longerThan(result.substr(0, result.size() - suffix.size()), 2)) {
      result.remove_suffix(suffix.size());
      break;
    }
  }
  if (result.ends_with(u'e') && longerThan(result, 3)) result.remove_suffix(1);
  return result;
}

std::vector<WordView> invented(const std::vector<WordView>& rawTokens, const WordViews& cleanedContent) {
  std::vector<WordView> unknown;
  if (cleanedContent.empty()) return unknown;
  std::u16string pool;
  const std::vector<WordView> forms = knownForms(rawTokens, pool);
  WordViews known(forms.size());
  for (WordView form : forms) known.insert(form);
  // Characters are code points; text without surrogate pairs (nearly all)
  // is compared unit by unit, which is the same.
  std::vector<int32_t> formLengths;  // in code points, for the first word that needs them
  bool anySurrogates = false;
  std::vector<int> rows;

  for (WordView w : cleanedContent) {
    if (known.contains(w)) continue;
    if (someFormHasStem(known, stemOf(w))) continue;

    if (formLengths.empty()) {
      formLengths.reserve(forms.size());
      for (WordView form : forms) {
        formLengths.push_back(length(form));
        anySurrogates = anySurrogates || formLengths.back() != static_cast<int32_t>(form.size());
      }
    }
    const int32_t n = length(w);
    const int d = n < 6 ? 2 : n / 3;
    const bool byPoints = anySurrogates || n != static_cast<int32_t>(w.size());
    const std::u32string wordPoints = byPoints ? pointsOf(w) : std::u32string();
    bool near = false;
    for (size_t k = 0; !near && k < forms.size(); ++k) {
      if (std::abs(formLengths[k] - n) > d) continue;
      near = byPoints ? withinEdits<char32_t>(pointsOf(forms[k]), wordPoints, d, rows)
                      : withinEdits<char16_t>(forms[k], w, d, rows);
    }
    if (!near) unknown.push_back(w);
  }
  return unknown;
}

bool tooManyInvented(size_t invented, size_t contentWords) {
  return invented >= 2 && invented * 4 >= std::max<size_t>(1, contentWords);
}

}  // namespace guards

namespace {

template <class Words>
std::set<std::string> asUtf8(const Words& words) {
  std::set<std::string> out;
  for (guards::WordView w : words) {
    out.insert(unicode::toUtf8(UnicodeString(w.data(), static_cast<int32_t>(w.size()))));
  }
  return out;
}

}  // namespace

std::set<std::string> contentWords(std::string_view text) {
  return answerOr(std::set<std::string>{}, [&] {
    const guards::LowerWords words(unicode::fromUtf8(text));
    return asUtf8(guards::contentWordsOf(words.tokens()));
  });
}

std::string wordStem(std::string_view word) {
  return answerOr(std::string(word), [&] {
    const UnicodeString text = unicode::fromUtf8(word);
    const guards::WordView stem = guards::stemOf(guards::WordView(text.getBuffer(), static_cast<size_t>(text.length())));
    return unicode::toUtf8(UnicodeString(stem.data(), static_cast<int32_t>(stem.size())));
  });
}

double keptRatio(std::string_view raw, std::string_view cleaned) {
  return answerOr(0.0, [&] {
    const guards::LowerWords rawWords(unicode::fromUtf8(raw));
    const guards::LowerWords cleanedWords(unicode::fromUtf8(cleaned));
    return guards::keptShare(guards::contentWordsOf(rawWords.tokens()), guards::contentWordsOf(cleanedWords.tokens()));
  });
}

std::set<std::string> inventedWords(std::string_view raw, std::string_view cleaned) {
  return answerOr(std::set<std::string>{}, [&] {
    const guards::LowerWords rawWords(unicode::fromUtf8(raw));
    const guards::LowerWords cleanedWords(unicode::fromUtf8(cleaned));
    return asUtf8(guards::invented(rawWords.tokens(), guards::contentWordsOf(cleanedWords.tokens())));
  });
}

bool inventsWords(std::string_view raw, std::string_view cleaned) {
  return answerOr(true, [&] {
    const guards::LowerWords rawWords(unicode::fromUtf8(raw));
    const guards::LowerWords cleanedWords(unicode::fromUtf8(cleaned));
    const guards::WordViews content = guards::contentWordsOf(cleanedWords.tokens());
    return guards::tooManyInvented(guards::invented(rawWords.tokens(), content).size(), content.size());
  });
}

}  // namespace quorvel::TextHelpers
