// The shared UTF-16 helpers: conversion, quoting, whole words, trimming, case
// and cuts that never split a surrogate pair.
#include "text/Unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::unicode {
namespace {

TEST(Utf8Conversion, RepairsInvalidBytesAndRoundTripsValidText) {
  struct Case {
    std::string input, output;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"é ß Ω 日本 😀", "é ß Ω 日本 😀"},
      {std::string("nul\0inside", 10), std::string("nul\0inside", 10)},
      {"\xFF", "\xEF\xBF\xBD"},
      {"a\xC3", "a\xEF\xBF\xBD"},                     // truncated sequence at the end
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // encoded surrogate
      {"\xF0\x9F\x98", "\xEF\xBF\xBD"},               // truncated emoji
  };
  for (const auto& c : cases) EXPECT_EQ(toUtf8(fromUtf8(c.input)), c.output);
}

TEST(Cuts, NeverSplitASurrogatePair) {
  const icu::UnicodeString text = fromUtf8("ab😀cd");  // units: a b D83D DE00 c d
  EXPECT_EQ(toUtf8(prefixOfAtMost(text, 3)), "ab");
  EXPECT_EQ(toUtf8(prefixOfAtMost(text, 4)), "ab😀");
  EXPECT_EQ(toUtf8(prefixOfAtMost(text, 0)), "");
  EXPECT_EQ(toUtf8(prefixOfAtMost(text, 99)), "ab😀cd");
  EXPECT_EQ(toUtf8(suffixOfAtMost(text, 3)), "cd");
  EXPECT_EQ(toUtf8(suffixOfAtMost(text, 4)), "😀cd");
  EXPECT_EQ(toUtf8(suffixOfAtMost(text, -1)), "");
  EXPECT_EQ(toUtf8(suffixOfAtMost(text, 99)), "ab😀cd");
}

TEST(WholeWords, QuotesTheWordAndIgnoresCase) {
  struct Case {
    const char* text;
    const char* word;
    bool found;
  } cases[] = {
      {"Call Anna today", "anna", true},
      {"Annabel called", "anna", false},
      {"cost is $5 (approx)", "(approx)", false},  // \b needs a word character at the edge
      {"see a.b.c here", "a.b.c", true},
      {"a.b.c", "axbxc", false},                // dots are literal
      {"odd \\E word", "\\E", false},
      {"x\\Ey", "x\\Ey", true},                 // "\E" inside the word stays literal
      {"Ünïcødé names", "ünïcødé", true},
      {"", "word", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(containsWholeWord(fromUtf8(c.text), fromUtf8(c.word)), c.found)
        << c.text << " / " << c.word;
  }
}

TEST(Trimming, DistinguishesSpacesFromLineBreaks) {
  EXPECT_EQ(toUtf8(trimSpacesAndTabs(fromUtf8(" \t\u00A0x y\u3000\t "))), "x y");
  EXPECT_EQ(toUtf8(trimSpacesAndTabs(fromUtf8("\nx\n"))), "\nx\n");
  EXPECT_EQ(toUtf8(trimWhitespaceAndLineBreaks(fromUtf8("\r\n\u2028 x \u0085\u2029"))), "x");
  EXPECT_EQ(toUtf8(trimWhitespaceAndLineBreaks(fromUtf8(" \n\t "))), "");
  EXPECT_EQ(toUtf8(trimCharacters(fromUtf8("\"(word.)\""), u"\"(.)")), "word");
  EXPECT_EQ(toUtf8(trimCharacters(fromUtf8("😀x😀"), u"x")), "😀x😀");
}

TEST(CaseMapping, UsesFullUnicodeMappings) {
  EXPECT_EQ(toUtf8(uppercased(fromUtf8("straße"))), "STRASSE");
  EXPECT_EQ(toUtf8(lowercased(fromUtf8("ΟΔΟΣ"))), "\u03BF\u03B4\u03BF\u03C2");  // final sigma
  EXPECT_EQ(toUtf8(withFirstUppercased(fromUtf8("ßa"))), "SSa");
  EXPECT_EQ(toUtf8(withFirstUppercased(fromUtf8("𐐨x"))), "𐐀x");  // Deseret: a surrogate pair
  EXPECT_EQ(toUtf8(withFirstUppercased(fromUtf8(""))), "");
  // Root locale, not Turkish: "i" becomes "I".
  EXPECT_EQ(toUtf8(uppercased(fromUtf8("i"))), "I");
}

TEST(ConstantPatternDeathTest, APatternThatDoesNotCompileAbortsWithItsText) {
  EXPECT_DEATH(constantPattern(u"(unclosed"), "does not compile.*\\(unclosed");
}

}  // namespace
}  // namespace quorvel::unicode
