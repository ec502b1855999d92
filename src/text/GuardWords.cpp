// Content words, stems, the kept share and invented words: the word-level
// comparisons of a cleanup with its raw transcript.
#include "text/GuardWords.h"

#include <unicode/utf16.h>

#include <algorithm>
#include <map>
#include <unordered_set>

#include "text/CleanupGuards.h"
#include "text/NameText.h"
#include "text/RuleFallback.h"
#include "text/Unicode.h"

namespace quorvel::TextHelpers {

using icu::UnicodeString;

namespace guards {
namespace {

// Words too common to tell whether a cleanup kept what was said.
const std::unordered_set<Word>& commonWords() {
  static const std::unordered_set<Word> words = [] {
    const std::u16string_view text =
        u"that this with have from they them their there then than what when where which "
        u"will would could should about into your just like okay yeah also make sure let's "
        u"lets need going really thing things first second third actually scratch part last "
        u"basically know that's it's wait mean sorry list bulleted format cleanly nicely";
    std::unordered_set<Word> set;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(u' ', start);
      if (end == std::u16string_view::npos) end = text.size();
      if (end > start) set.emplace(text.substr(start, end - start));
      start = end + 1;
    }
    return set;
  }();
  return words;
}

// Tried in this order; only the first that fits is removed.
constexpr std::u16string_view kStemSuffixes[] = {u"ingly", u"edly", u"ings", u"ing", u"ied", u"ies",
                                                 u"ed",    u"es",   u"s",    u"ly",  u"er"};

std::vector<UChar32> pointsOf(const Word& word) {
  std::vector<UChar32> points;
  for (size_t i = 0; i < word.size();) {
    UChar32 c;
    U16_NEXT(word.data(), i, word.size(), c);
    points.push_back(c);
  }
  return points;
}

// Every token, and every two and three neighbouring tokens run together.
std::unordered_set<Word> knownForms(const std::vector<Word>& t) {
  std::unordered_set<Word> forms;
  forms.reserve(t.size() * 3);
  for (size_t i = 0; i < t.size(); ++i) {
    forms.insert(t[i]);
    if (i + 1 < t.size()) forms.insert(t[i] + t[i + 1]);
    if (i + 2 < t.size()) forms.insert(t[i] + t[i + 1] + t[i + 2]);
  }
  return forms;
}

}  // namespace

Word wordOf(const UnicodeString& text) {
  return Word(text.getBuffer(), static_cast<size_t>(text.length()));
}

int32_t length(const Word& word) {
  int32_t count = 0;
  for (size_t i = 0; i < word.size(); ++count) U16_FWD_1(word.data(), i, word.size());
  return count;
}

std::vector<Word> tokens(const UnicodeString& lower) {
  std::vector<Word> out;
  Word current;
  for (int32_t i = 0; i < lower.length();) {
    const UChar32 c = lower.char32At(i);
    const int32_t size = U16_LENGTH(c);
    if (nametext::isLetterOrNumber(c)) {
      current.append(lower.getBuffer() + i, static_cast<size_t>(size));
    } else if (!current.empty()) {
      out.push_back(std::move(current));
      current.clear();
    }
    i += size;
  }
  if (!current.empty()) out.push_back(std::move(current));
  return out;
}

WordSet contentWords(const UnicodeString& text) {
  const auto& common = commonWords();
  WordSet words;
  for (Word& token : tokens(unicode::lowercased(text))) {
    if (length(token) >= 4 && !common.count(token)) words.insert(std::move(token));
  }
  return words;
}

double keptShare(const WordSet& raw, const WordSet& cleaned) {
  if (raw.empty()) return 1.0;
  const auto kept = std::count_if(raw.begin(), raw.end(), [&](const Word& w) { return cleaned.count(w) > 0; });
  return static_cast<double>(kept) / static_cast<double>(raw.size());
}

Word stem(const Word& word) {
  Word result = word;
  const int32_t total = length(word);
  for (std::u16string_view suffix : kStemSuffixes) {
    if (result.size() < suffix.size() ||
        std::u16string_view(result).substr(result.size() - suffix.size()) != suffix) {
      continue;
    }
    // The suffixes are ASCII: one code point per unit.
    if (total - static_cast<int32_t>(suffix.size()) > 2) {
      result.resize(result.size() - suffix.size());
      break;
    }
  }
  if (!result.empty() && result.back() == u'e' && length(result) >= 4) result.pop_back();
  return result;
}

WordSet invented(const UnicodeString& raw, const WordSet& cleanedContent) {
  WordSet unknown;
  if (cleanedContent.empty()) return unknown;
  const std::unordered_set<Word> forms = knownForms(tokens(unicode::lowercased(raw)));
  std::unordered_set<Word> stems;
  stems.reserve(forms.size());
  for (const Word& form : forms) stems.insert(stem(form));

  // The forms by length, as code points, built only when a word needs the
  // edit-distance test.
  std::map<int32_t, std::vector<std::vector<UChar32>>> byLength;
  bool grouped = false;
  for (const Word& w : cleanedContent) {
    if (forms.count(w) || stems.count(stem(w))) continue;
    if (!grouped) {
      for (const Word& form : forms) {
        std::vector<UChar32> points = pointsOf(form);
        byLength[static_cast<int32_t>(points.size())].push_back(std::move(points));
      }
      grouped = true;
    }
    const std::vector<UChar32> points = pointsOf(w);
    const int32_t n = static_cast<int32_t>(points.size());
    const int d = n < 6 ? 2 : n / 3;
    bool near = false;
    for (auto it = byLength.lower_bound(n - d); !near && it != byLength.end() && it->first <= n + d; ++it) {
      for (const std::vector<UChar32>& form : it->second) {
        if (nametext::boundedDistance(form, points, d) <= d) {
          near = true;
          break;
        }
      }
    }
    if (!near) unknown.insert(w);
  }
  return unknown;
}

bool tooManyInvented(size_t invented, size_t contentWords) {
  return invented >= 2 && invented * 4 >= std::max<size_t>(1, contentWords);
}

}  // namespace guards

namespace {

std::set<std::string> asUtf8(const guards::WordSet& words) {
  std::set<std::string> out;
  for (const guards::Word& w : words) {
    out.insert(unicode::toUtf8(UnicodeString(w.data(), static_cast<int32_t>(w.size()))));
  }
  return out;
}

}  // namespace

std::set<std::string> contentWords(std::string_view text) {
  return answerOr(std::set<std::string>{},
                  [&] { return asUtf8(guards::contentWords(unicode::fromUtf8(text))); });
}

std::string wordStem(std::string_view word) {
  return answerOr(std::string(word), [&] {
    const guards::Word stemmed = guards::stem(guards::wordOf(unicode::fromUtf8(word)));
    return unicode::toUtf8(UnicodeString(stemmed.data(), static_cast<int32_t>(stemmed.size())));
  });
}

double keptRatio(std::string_view raw, std::string_view cleaned) {
  return answerOr(0.0, [&] {
    return guards::keptShare(guards::contentWords(unicode::fromUtf8(raw)),
                             guards::contentWords(unicode::fromUtf8(cleaned)));
  });
}

std::set<std::string> inventedWords(std::string_view raw, std::string_view cleaned) {
  return answerOr(std::set<std::string>{}, [&] {
    return asUtf8(guards::invented(unicode::fromUtf8(raw), guards::contentWords(unicode::fromUtf8(cleaned))));
  });
}

bool inventsWords(std::string_view raw, std::string_view cleaned) {
  return answerOr(true, [&] {
    const guards::WordSet content = guards::contentWords(unicode::fromUtf8(cleaned));
    return guards::tooManyInvented(guards::invented(unicode::fromUtf8(raw), content).size(), content.size());
  });
}

}  // namespace quorvel::TextHelpers
