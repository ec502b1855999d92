// Content words, stems, the kept share and invented words: the word-level
// comparisons of a cleanup with its raw transcript.
#include "text/GuardWords.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
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

// A set of word views in one open-addressed table: the forms of a long
// transcript are looked up often, and a node per word would cost an
// allocation each.
class FlatViewSet {
 public:
  explicit FlatViewSet(size_t expected) {
    size_t capacity = 16;
    while (capacity < expected * 2) capacity *= 2;
    slots_.resize(capacity);
  }

  void insert(WordView word) {
    size_t i = slotOf(word);
    while (slots_[i].data() != nullptr) {
      if (slots_[i] == word) return;
      i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i] = word;
  }

  bool contains(WordView word) const {
    for (size_t i = slotOf(word); slots_[i].data() != nullptr; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == word) return true;
    }
    return false;
  }

 private:
  size_t slotOf(WordView word) const { return std::hash<WordView>{}(word) & (slots_.size() - 1); }

  std::vector<WordView> slots_;  // a default view (null data) marks a free slot
};

// Every token, and every two and three neighbouring tokens run together.
// The views point into `pool`.
std::vector<WordView> knownForms(const std::vector<WordView>& t, std::u16string& pool) {
  std::vector<std::pair<size_t, size_t>> spans;  // offset and length in pool
  spans.reserve(t.size() * 3);
  for (size_t i = 0; i < t.size(); ++i) {
    const size_t start = pool.size();
    for (size_t count = 1; count <= 3 && i + count <= t.size(); ++count) {
      pool += t[i + count - 1];
      spans.emplace_back(start, pool.size() - start);
    }
  }
  std::vector<WordView> forms;
  forms.reserve(spans.size());
  for (const auto& [offset, size] : spans) forms.emplace_back(pool.data() + offset, size);
  return forms;
}

void appendPoints(WordView word, std::vector<UChar32>& points) {
  for (size_t i = 0; i < word.size();) {
    UChar32 c;
    U16_NEXT(word.data(), i, word.size(), c);
    points.push_back(c);
  }
}

}  // namespace

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
  WordViews words;
  for (WordView token : tokens) {
    if (length(token) >= 4 && !common.count(token)) words.insert(token);
  }
  return words;
}

double keptShare(const WordViews& raw, const WordViews& cleaned) {
  if (raw.empty()) return 1.0;
  const auto kept = std::count_if(raw.begin(), raw.end(), [&](WordView w) { return cleaned.count(w) > 0; });
  return static_cast<double>(kept) / static_cast<double>(raw.size());
}

WordView stemOf(WordView word) {
  WordView result = word;
  for (WordView suffix : kStemSuffixes) {
    if (!result.ends_with(suffix)) continue;
    // The suffixes are ASCII: one code point per unit.
    if (length(word) - static_cast<int32_t>(suffix.size()) > 2) {
      result.remove_suffix(suffix.size());
      break;
    }
  }
  if (result.ends_with(u'e') && length(result) >= 4) result.remove_suffix(1);
  return result;
}

std::vector<WordView> invented(const std::vector<WordView>& rawTokens, const WordViews& cleanedContent) {
  std::vector<WordView> unknown;
  if (cleanedContent.empty()) return unknown;
  std::u16string pool;
  const std::vector<WordView> forms = knownForms(rawTokens, pool);
  FlatViewSet known(forms.size());
  for (WordView form : forms) known.insert(form);
  // Built when a word is first not among the forms: most words are.
  std::optional<FlatViewSet> stems;
  // The forms as code points, one after another, built for the first word
  // that needs the edit-distance test.
  std::vector<UChar32> formPoints;
  std::vector<size_t> formStart;  // forms[k] is formPoints[formStart[k] .. formStart[k + 1])
  std::vector<UChar32> wordPoints;
  std::vector<UChar32> candidate;

  for (WordView w : cleanedContent) {
    if (known.contains(w)) continue;
    if (!stems) {
      stems.emplace(forms.size());
      for (WordView form : forms) stems->insert(stemOf(form));
    }
    if (stems->contains(stemOf(w))) continue;

    if (formStart.empty()) {
      formStart.reserve(forms.size() + 1);
      for (WordView form : forms) {
        formStart.push_back(formPoints.size());
        appendPoints(form, formPoints);
      }
      formStart.push_back(formPoints.size());
    }
    wordPoints.clear();
    appendPoints(w, wordPoints);
    const int64_t n = static_cast<int64_t>(wordPoints.size());
    const int d = n < 6 ? 2 : static_cast<int>(n / 3);
    bool near = false;
    for (size_t k = 0; !near && k < forms.size(); ++k) {
      const int64_t size = static_cast<int64_t>(formStart[k + 1] - formStart[k]);
      if (std::abs(size - n) > d) continue;
      candidate.assign(formPoints.begin() + static_cast<std::ptrdiff_t>(formStart[k]),
                       formPoints.begin() + static_cast<std::ptrdiff_t>(formStart[k + 1]));
      near = nametext::boundedDistance(candidate, wordPoints, d) <= d;
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
