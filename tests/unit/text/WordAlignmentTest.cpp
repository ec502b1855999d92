// The word alignment of the restorers: tokens and their positions, and the
// compact alignment against the plain full table it replaces.
#include "text/Restorers.h"
#include "text/Unicode.h"
#include "text/WordAlignment.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace quorvel::TextHelpers::alignment {
namespace {

// Tokens viewing `words`, which must outlive them.
std::vector<WordToken> tokensOf(const std::vector<std::u16string>& words) {
  std::vector<WordToken> tokens;
  for (const auto& w : words) tokens.push_back(WordToken{w, 0, 0});
  return tokens;
}

// The alignment as first described: the whole table of subsequence lengths,
// then the walk from the start.
std::vector<int32_t> plainAlignment(const std::vector<WordToken>& s, const std::vector<WordToken>& c) {
  const size_t n = s.size();
  const size_t m = c.size();
  std::vector<std::vector<int>> L(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = n; i-- > 0;) {
    for (size_t j = m; j-- > 0;) {
      L[i][j] = s[i].word == c[j].word ? L[i + 1][j + 1] + 1 : std::max(L[i + 1][j], L[i][j + 1]);
    }
  }
  std::vector<int32_t> match(n, -1);
  size_t i = 0;
  size_t j = 0;
  while (i < n && j < m) {
    if (s[i].word == c[j].word) {
      match[i] = static_cast<int32_t>(j);
      ++i;
      ++j;
    } else if (L[i + 1][j] <= L[i][j + 1]) {
      ++j;
    } else {
      ++i;
    }
  }
  return match;
}

TEST(WordTokens, AreRunsOfLettersNumbersAndApostrophes) {
  const icu::UnicodeString text = unicode::fromUtf8("Don't PANIC: 42 CAFÉS, l’Été 😀x");
  const WordTokens found = wordTokens(text);
  const std::vector<WordToken>& tokens = found.tokens;
  std::vector<std::string> words;
  for (const auto& t : tokens) {
    words.push_back(unicode::toUtf8(icu::UnicodeString(t.word.data(), static_cast<int32_t>(t.word.size()))));
  }
  // The curly apostrophe separates; straight ones join.
  EXPECT_EQ(words, (std::vector<std::string>{"don't", "panic", "42", "cafés", "l", "été", "x"}));
  ASSERT_EQ(tokens.size(), 7u);
  EXPECT_EQ(tokens[1].start, 6);
  EXPECT_EQ(tokens[1].limit, 11);
  EXPECT_EQ(tokens[6].start, text.length() - 1);  // after a surrogate pair
}

TEST(Align, GivesThePlainTableResultOnRandomTexts) {
  std::mt19937 random(7);
  const std::u16string vocabulary[] = {u"a", u"b", u"c", u"d", u"the", u"x"};
  for (int round = 0; round < 400; ++round) {
    std::vector<std::u16string> source(random() % 40);
    std::vector<std::u16string> cleaned(random() % 40);
    for (auto& w : source) w = vocabulary[random() % (round % 5 + 2)];
    for (auto& w : cleaned) w = vocabulary[random() % (round % 5 + 2)];
    if (round % 3 == 0 && !cleaned.empty()) source.insert(source.begin(), cleaned.begin(), cleaned.begin() + 1);
    const auto s = tokensOf(source);
    const auto c = tokensOf(cleaned);
    const auto compact = align(s, c);
    ASSERT_TRUE(compact.has_value());
    ASSERT_EQ(*compact, plainAlignment(s, c)) << "round " << round;
  }
}

TEST(Align, TieRuleAdvancesInTheCleanedTextFirst) {
  // "a b" against "b a": both single matches are longest; the walk first
  // skips the cleaned "b" (an equal subsequence remains), then matches "a".
  const std::vector<std::u16string> source = {u"a", u"b"};
  const std::vector<std::u16string> cleaned = {u"b", u"a"};
  const auto match = align(tokensOf(source), tokensOf(cleaned));
  ASSERT_TRUE(match.has_value());
  EXPECT_EQ(*match, (std::vector<int32_t>{1, -1}));
}

TEST(Align, RefusesTextsTooLongToAlign) {
  const size_t side = 11586;  // side * side is just above the limit
  ASSERT_GT(side * side, kMaxAlignedWordPairs);
  const std::vector<std::u16string> as(side, u"a");
  const std::vector<std::u16string> bs(side, u"b");
  const auto s = tokensOf(as);
  const auto c = tokensOf(bs);
  EXPECT_FALSE(align(s, c).has_value());
  // A common start is matched without the table, so only the rest counts.
  EXPECT_TRUE(align(s, s).has_value());
  EXPECT_TRUE(align(s, {}).has_value());
}

}  // namespace
}  // namespace quorvel::TextHelpers::alignment
