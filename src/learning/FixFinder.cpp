// Word-level comparison of a typed dictation with the field's text, and the
// judgement of each changed stretch as a correction.
#include "learning/FixFinder.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <set>
#include <unordered_map>

#include "text/EditDistance.h"
#include "text/Graphemes.h"
#include "text/NameText.h"
#include "text/Unicode.h"

namespace quorvel::FixFinder {
namespace {

using nametext::lowerKey;

bool isSentenceEnd(std::string_view character) {
  return character == "." || character == "!" || character == "?" || character == "\n";
}

// The [begin, end) of `text` without punctuation and symbols at either end.
std::pair<int32_t, int32_t> trimmedRange(const icu::UnicodeString& text, int32_t begin, int32_t end) {
  while (begin < end && nametext::isPunctuationOrSymbol(text.char32At(begin))) {
    begin += U16_LENGTH(text.char32At(begin));
  }
  while (end > begin && nametext::isPunctuationOrSymbol(text.char32At(end - 1))) {
    end -= U16_LENGTH(text.char32At(end - 1));
  }
  return {begin, end};
}

// Calls visit(begin, end) for each whitespace-separated piece of text.
template <class Visit>
void forEachPiece(const icu::UnicodeString& text, Visit visit) {
  const int32_t n = text.length();
  int32_t i = 0;
  while (i < n) {
    while (i < n && unicode::isWhitespace(text.char32At(i))) i += U16_LENGTH(text.char32At(i));
    if (i >= n) break;
    int32_t end = i;
    while (end < n && !unicode::isWhitespace(text.char32At(end))) end += U16_LENGTH(text.char32At(end));
    visit(i, end);
    i = end;
  }
}

std::vector<Token> tokensOf(const icu::UnicodeString& text) {
  std::vector<Token> out;
  forEachPiece(text, [&](int32_t begin, int32_t end) {
    const auto [from, to] = trimmedRange(text, begin, end);
    if (from >= to) return;
    const icu::UnicodeString word(text, from, to - from);
    out.push_back({unicode::toUtf8(word), unicode::toUtf8(unicode::lowercased(word))});
  });
  return out;
}

// The user-perceived characters of a text.
std::vector<std::u16string> graphemesOf(const icu::UnicodeString& text) {
  const std::vector<int32_t> starts = graphemes::starts(text);
  std::vector<std::u16string> out;
  out.reserve(starts.size() - 1);
  for (size_t k = 0; k + 1 < starts.size(); ++k) {
    out.emplace_back(reinterpret_cast<const char16_t*>(text.getBuffer()) + starts[k],
                     static_cast<size_t>(starts[k + 1] - starts[k]));
  }
  return out;
}

int characterLength(std::string_view text) { return graphemes::count(unicode::fromUtf8(text)); }

bool hasLetter(const icu::UnicodeString& text) {
  for (UChar32 c : nametext::codePoints(text)) {
    if (nametext::isLetter(c)) return true;
  }
  return false;
}

bool startsUppercase(std::string_view text) { return nametext::startsUppercase(unicode::fromUtf8(text)); }

bool rare(const std::string& lower, const Frequency& frequency, float limit) {
  const std::optional<float> value = frequency ? frequency(lower) : std::nullopt;
  return !value || *value < limit;
}

bool looksLikeName(const std::vector<Token>& list, const Frequency& frequency, float limit) {
  if (list.empty() || !startsUppercase(list.front().text)) return false;
  for (const Token& token : list) {
    if (isNotName(token.key)) return false;
    if (!rare(lowerKey(token.text), frequency, limit)) return false;
  }
  return true;
}

// What prevEnd needs of each word of a text: the last character as written,
// and whether the word opens a line after the first.
struct WordEnds {
  std::vector<std::string> lastCharacter;
  std::vector<bool> opensLine;

  explicit WordEnds(std::string_view text) {
    const icu::UnicodeString unicodeText = unicode::fromUtf8(text);
    int32_t lineStart = 0;
    int lineIndex = 0;
    while (lineStart <= unicodeText.length()) {
      int32_t lineEnd = unicodeText.indexOf(u'\n', lineStart);
      if (lineEnd < 0) lineEnd = unicodeText.length();
      const icu::UnicodeString line(unicodeText, lineStart, lineEnd - lineStart);
      bool first = true;
      forEachPiece(line, [&](int32_t begin, int32_t end) {
        const auto [from, to] = trimmedRange(line, begin, end);
        if (from >= to) return;
        // The last character: the last code point with any marks before it.
        int32_t last = end - U16_LENGTH(line.char32At(end - 1));
        while (last > begin && nametext::isMark(line.char32At(last))) {
          last -= U16_LENGTH(line.char32At(last - 1));
        }
        lastCharacter.push_back(unicode::toUtf8(icu::UnicodeString(line, last, end - last)));
        opensLine.push_back(first && lineIndex > 0);
        first = false;
      });
      lineStart = lineEnd + 1;
      ++lineIndex;
    }
  }

  // prevEnd for token i of a list of `count` tokens that ends the text.
  std::string before(int i, size_t count) const {
    const int offset = std::max(0, static_cast<int>(lastCharacter.size()) - static_cast<int>(count));
    const int word = offset + i;
    if (i < 1 || word > static_cast<int>(lastCharacter.size())) return ".";
    if (word < static_cast<int>(opensLine.size()) && opensLine[static_cast<size_t>(word)]) return "\n";
    return lastCharacter[static_cast<size_t>(word - 1)];
  }
};

std::string joinTexts(const std::vector<Token>& list, int from, int to) {
  std::string out;
  for (int i = from; i < to; ++i) {
    if (i > from) out += ' ';
    out += list[static_cast<size_t>(i)].text;
  }
  return out;
}

struct Region {
  int typedStart, typedEnd, nowStart, nowEnd;
};

}  // namespace

std::vector<Token> tokens(std::string_view text) { return tokensOf(unicode::fromUtf8(text)); }

std::vector<std::string> keys(const std::vector<Token>& list) {
  std::vector<std::string> out;
  out.reserve(list.size());
  for (const Token& token : list) out.push_back(token.key);
  return out;
}

int distance(std::string_view a, std::string_view b) {
  // Each distinct grapheme becomes one symbol.
  std::unordered_map<std::u16string, std::uint32_t> ids;
  const auto symbols = [&ids](std::string_view text) {
    std::vector<std::uint32_t> out;
    for (std::u16string& grapheme : graphemesOf(unicode::fromUtf8(text))) {
      out.push_back(ids.try_emplace(std::move(grapheme), static_cast<std::uint32_t>(ids.size())).first->second);
    }
    return out;
  };
  const std::vector<std::uint32_t> left = symbols(a);
  const std::vector<std::uint32_t> right = symbols(b);
  return editDistance(left, right);
}

bool soundsAlike(std::string_view a, std::string_view b) {
  const int longer = std::max(characterLength(a), characterLength(b));
  if (distance(a, b) <= 0.4 * longer) return true;
  const std::string key = soundKey(a);
  return key.size() >= 2 && key == soundKey(b);
}

bool unusual(std::string_view word, const Frequency& frequency) {
  if (!hasLetter(unicode::fromUtf8(word))) return false;
  return rare(lowerKey(word), frequency, static_cast<float>(everyday));
}

bool learnable(std::string_view word, const Frequency& frequency) {
  if (unusual(word, frequency)) return true;
  return startsUppercase(word) && rare(lowerKey(word), frequency, 4.0f);
}

std::vector<std::pair<int, int>> align(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  const size_t n = a.size();
  const size_t m = b.size();
  // Work on the reversed lists: ra[i] = a[n-1-i]. table[i][j] is the longest
  // common subsequence of ra[i..] and rb[j..].
  auto ra = [&](size_t i) -> const std::string& { return a[n - 1 - i]; };
  auto rb = [&](size_t j) -> const std::string& { return b[m - 1 - j]; };
  std::vector<std::vector<int>> table(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      table[i][j] = ra(i) == rb(j) ? table[i + 1][j + 1] + 1 : std::max(table[i + 1][j], table[i][j + 1]);
    }
  }
  std::vector<std::pair<int, int>> pairs;
  size_t i = 0;
  size_t j = 0;
  while (i < n && j < m) {
    if (ra(i) == rb(j)) {
      pairs.emplace_back(static_cast<int>(n - 1 - i), static_cast<int>(m - 1 - j));
      ++i;
      ++j;
    } else if (table[i + 1][j] >= table[i][j + 1]) {
      ++i;
    } else {
      ++j;
    }
  }
  std::reverse(pairs.begin(), pairs.end());
  return pairs;
}

std::string prevEnd(std::string_view text, const std::vector<Token>& tokenList, int i) {
  return WordEnds(text).before(i, tokenList.size());
}

bool contains(const std::vector<std::string>& list, const std::vector<std::string>& run) {
  if (run.empty() || run.size() > list.size()) return false;
  return std::search(list.begin(), list.end(), run.begin(), run.end()) != list.end();
}

bool touching(std::string_view word, std::string_view before) {
  const icu::UnicodeString unicodeBefore = unicode::fromUtf8(before);
  if (unicodeBefore.isEmpty()) return false;
  // The last character: skip combining marks back to the letter they sit on.
  int32_t end = unicodeBefore.length();
  UChar32 c = unicodeBefore.char32At(end - 1);
  while (nametext::isMark(c) && end > U16_LENGTH(c)) {
    end -= U16_LENGTH(c);
    c = unicodeBefore.char32At(end - 1);
  }
  if (!nametext::isLetter(c) && !u_isdigit(c)) return false;
  const std::vector<Token> wordTokens = tokens(word);
  if (wordTokens.empty()) return false;
  // Only the last piece of `before` matters; it holds the letter just found.
  int32_t pieceStart = unicodeBefore.length();
  while (pieceStart > 0 && !unicode::isWhitespace(unicodeBefore.char32At(pieceStart - 1))) {
    pieceStart -= U16_LENGTH(unicodeBefore.char32At(pieceStart - 1));
  }
  const std::vector<Token> lastPiece =
      tokensOf(icu::UnicodeString(unicodeBefore, pieceStart, unicodeBefore.length() - pieceStart));
  return !lastPiece.empty() && lastPiece.back().key == wordTokens.back().key;
}

bool editedAtEnd(std::string_view old, std::string_view now) {
  const std::vector<std::string> o = keys(tokens(old));
  const std::vector<std::string> n = keys(tokens(now));
  for (size_t dropOld = 0; dropOld <= std::min<size_t>(2, o.size()); ++dropOld) {
    for (size_t dropNew = 0; dropNew <= std::min<size_t>(2, n.size()); ++dropNew) {
      const size_t oldLength = o.size() - dropOld;
      const size_t newLength = n.size() - dropNew;
      const size_t m = std::min(oldLength, newLength);
      const size_t k = std::min<size_t>(m, 6);
      const bool same = std::equal(o.begin() + static_cast<long>(oldLength - k), o.begin() + static_cast<long>(oldLength),
                                   n.begin() + static_cast<long>(newLength - k));
      if (same && (m > 2 || (oldLength == k && newLength == k))) return true;
    }
  }
  return false;
}

std::optional<Fix> judge(std::string_view heardText, std::string_view meantText, const Frequency& frequency,
                         bool midSentence) {
  std::string heard(heardText);
  std::string meant(meantText);
  for (std::string_view possessive : {std::string_view("'s"), std::string_view("\u2019s")}) {
    if (heard.ends_with(possessive) && meant.ends_with(possessive)) {
      heard.resize(heard.size() - possessive.size());
      meant.resize(meant.size() - possessive.size());
    }
  }
  auto lettersAndDigits = [](const std::string& text) {
    const icu::UnicodeString lower = unicode::lowercased(unicode::fromUtf8(text));
    icu::UnicodeString out;
    for (UChar32 c : nametext::codePoints(lower)) {
      if (nametext::isLetterOrNumber(c)) out.append(c);
    }
    return out;
  };
  const icu::UnicodeString h = lettersAndDigits(heard);
  const icu::UnicodeString m = lettersAndDigits(meant);
  if (nametext::characterCount(h) < 2 || nametext::characterCount(m) < 3) return std::nullopt;
  if (!hasLetter(unicode::fromUtf8(meant))) return std::nullopt;

  const std::vector<Token> heardTokens = tokens(heard);
  const std::vector<Token> meantTokens = tokens(meant);
  if (h == m) {
    // Only case, spacing or punctuation changed: a fix only when words were
    // joined or split.
    if (heard == meant || heardTokens.size() == meantTokens.size()) return std::nullopt;
  } else if (!soundsAlike(unicode::toUtf8(h), unicode::toUtf8(m))) {
    return std::nullopt;
  }

  const bool learn =
      std::any_of(meantTokens.begin(), meantTokens.end(),
                  [&](const Token& token) { return learnable(token.text, frequency); }) ||
      looksLikeName(meantTokens, frequency, midSentence ? 5.5f : 4.8f);
  bool replace = true;
  if (heardTokens.size() == 1) {
    replace = unusual(heardTokens.front().text, frequency) ||
              (midSentence && looksLikeName(heardTokens, frequency, 4.5f));
  }
  return Fix{heard, meant, replace, learn};
}

std::optional<std::vector<Fix>> corrections(std::string_view typed, std::string_view now,
                                            const Frequency& frequency) {
  constexpr size_t maxTyped = 40;
  std::vector<Token> t = tokens(typed);
  if (t.size() > maxTyped) t.erase(t.begin(), t.end() - static_cast<long>(maxTyped));
  const std::vector<Token> u = tokens(now);
  if (t.empty() || u.empty()) return std::nullopt;
  const WordEnds ends(typed);
  auto midSentenceAt = [&](int i) { return i > 0 && !isSentenceEnd(ends.before(i, t.size())); };
  const int tCount = static_cast<int>(t.size());
  const int uCount = static_cast<int>(u.size());

  std::vector<Fix> fixes;
  if (tCount <= 2) {
    if (uCount != tCount) return std::nullopt;
    for (int p = 0; p < tCount; ++p) {
      const auto up = static_cast<size_t>(p);
      if (t[up].key == u[up].key) continue;
      if (auto fix = judge(t[up].text, u[up].text, frequency, midSentenceAt(p))) fixes.push_back(*fix);
    }
    return fixes;
  }

  const std::vector<std::pair<int, int>> pairs = align(keys(t), keys(u));
  if (static_cast<int>(pairs.size()) < (tCount + 1) / 2) return std::nullopt;

  std::vector<Region> regions;
  for (size_t p = 1; p < pairs.size(); ++p) {
    const auto [i, j] = pairs[p - 1];
    const auto [k, l] = pairs[p];
    if (k > i + 1 || l > j + 1) regions.push_back({i + 1, k, j + 1, l});
  }
  if (const auto [i0, j0] = pairs.front(); i0 > 0) {
    regions.insert(regions.begin(), Region{0, i0, std::max(j0 - i0, 0), j0});
  }
  if (const auto [i1, j1] = pairs.back(); i1 < tCount - 1) {
    regions.push_back({i1 + 1, tCount, j1 + 1, std::min(j1 + 1 + (tCount - i1 - 1), uCount)});
  }
  if (regions.size() > 4) return fixes;

  std::set<int> caseChanged;
  for (const auto& [i, j] : pairs) {
    if (t[static_cast<size_t>(i)].text != u[static_cast<size_t>(j)].text) caseChanged.insert(i);
  }
  std::set<int> absorbed;
  auto T = [&](int i) -> const Token& { return t[static_cast<size_t>(i)]; };
  auto U = [&](int j) -> const Token& { return u[static_cast<size_t>(j)]; };
  auto nowHasCapital = [&](const Region& r) {
    for (int j = r.nowStart; j < r.nowEnd; ++j) {
      if (startsUppercase(U(j).text)) return true;
    }
    return false;
  };
  // An unchanged capitalised word next to a short region is taken in as part of the name.
  auto namePart = [&](int i, int j) {
    return T(i).key == U(j).key && T(i).text == U(j).text && startsUppercase(T(i).text) &&
           !isNotName(T(i).key) && i != 0 && midSentenceAt(i);
  };

  for (Region& r : regions) {
    while (caseChanged.count(r.typedEnd) && r.nowEnd < uCount && T(r.typedEnd).key == U(r.nowEnd).key) {
      absorbed.insert(r.typedEnd);
      ++r.typedEnd;
      ++r.nowEnd;
    }
    while (r.typedStart > 0 && r.nowStart > 0 && caseChanged.count(r.typedStart - 1) &&
           T(r.typedStart - 1).key == U(r.nowStart - 1).key) {
      absorbed.insert(r.typedStart - 1);
      --r.typedStart;
      --r.nowStart;
    }
    while (r.typedEnd - r.typedStart <= 2 && r.typedEnd < tCount && r.nowEnd < uCount &&
           namePart(r.typedEnd, r.nowEnd) && r.nowEnd > r.nowStart && nowHasCapital(r)) {
      ++r.typedEnd;
      ++r.nowEnd;
    }
    while (r.typedEnd - r.typedStart <= 2 && r.typedStart > 0 && r.nowStart > 0 &&
           namePart(r.typedStart - 1, r.nowStart - 1) && unusual(T(r.typedStart - 1).text, frequency) &&
           r.nowEnd > r.nowStart && nowHasCapital(r)) {
      --r.typedStart;
      --r.nowStart;
    }
  }

  for (const Region& r : regions) {
    const int typedLength = r.typedEnd - r.typedStart;
    const int nowLength = r.nowEnd - r.nowStart;
    if (typedLength < 1 || typedLength > 3 || nowLength < 1 || nowLength > 3) continue;
    if (auto fix = judge(joinTexts(t, r.typedStart, r.typedEnd), joinTexts(u, r.nowStart, r.nowEnd), frequency,
                         midSentenceAt(r.typedStart))) {
      fixes.push_back(*fix);
    }
  }

  for (const auto& [k, l] : pairs) {
    const Token& before = T(k);
    const Token& after = U(l);
    if (before.text == after.text || absorbed.count(k) || !startsUppercase(after.text)) continue;
    const Fix fix{before.text, after.text, false, true};
    if (unusual(after.text, frequency) || rare(lowerKey(after.text), frequency, 4.0f)) {
      if (k != 0) fixes.push_back(fix);
    } else if (k > 0 && midSentenceAt(k) && !isNotName(before.key)) {
      fixes.push_back(fix);
    }
  }
  return fixes;
}

std::optional<std::vector<Fix>> visibleCorrections(std::string_view typed, std::string_view now,
                                                   const Frequency& frequency) {
  if (auto whole = corrections(typed, now, frequency)) return whole;
  std::vector<std::string> lines;
  for (const icu::UnicodeString& line :
       unicode::splitLiteral(unicode::fromUtf8(typed), icu::UnicodeString(u"\n"))) {
    const icu::UnicodeString trimmed = unicode::trimWhitespaceAndLineBreaks(line);
    if (!trimmed.isEmpty()) lines.push_back(unicode::toUtf8(trimmed));
  }
  if (lines.size() < 2) return std::nullopt;
  bool found = false;
  std::vector<Fix> fixes;
  for (const std::string& line : lines) {
    auto lineFixes = corrections(line, now, frequency);
    if (!lineFixes) continue;
    found = true;
    for (Fix& fix : *lineFixes) {
      if (std::find(fixes.begin(), fixes.end(), fix) == fixes.end()) fixes.push_back(std::move(fix));
    }
  }
  if (!found) return std::nullopt;
  return fixes;
}

}  // namespace quorvel::FixFinder
