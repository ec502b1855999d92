// Every constant pattern compiles; the rules answer any input, from several
// threads at once; the end-anchored search gives exactly the plain results.
#include "StraightforwardRules.h"
#include "text/EndAnchoredPattern.h"
#include "text/RulePatterns.h"
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::TextHelpers {
namespace {

TEST(RulePatterns, EveryConstantPatternCompiles) {
  for (const auto& source : patterns::kAll) {
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(
        icu::UnicodeString(source.source.data(), static_cast<int32_t>(source.source.size())),
        source.flags, parseError, status));
    EXPECT_TRUE(U_SUCCESS(status)) << unicode::toUtf8(icu::UnicodeString(
                                          source.source.data(),
                                          static_cast<int32_t>(source.source.size())))
                                   << ": " << u_errorName(status) << " at offset "
                                   << parseError.offset;
  }
}

TEST(EndAnchoredPatternDeathTest, RejectsPatternsItCannotBound) {
  const patterns::PatternSource wildcard{u"a.b$"};
  const patterns::PatternSource wordClass{u"\\w+$"};
  const patterns::PatternSource negated{u"[^x]+$"};
  const patterns::PatternSource unanchored{u"abc"};
  EXPECT_DEATH(EndAnchoredPattern{wildcard}, "wildcard");
  EXPECT_DEATH(EndAnchoredPattern{wordClass}, "character-class escape");
  EXPECT_DEATH(EndAnchoredPattern{negated}, "negates a class");
  EXPECT_DEATH(EndAnchoredPattern{unanchored}, "not anchored");
}

// Texts made of the pieces the closing commands are built from, so that near
// misses, partial commands, case variants and long runs come up often.
std::string randomCommandishText(std::mt19937& random) {
  static const char* const pieces[] = {
      "that's it", "thats it", "THAT'S IT", "that’s it", "That'ſ it", "okay", "Okay,", "and",
      "so", "but", "yeah", "YEAH!", "format", "clean", "tidy", "this", "that", "it", "everything",
      "up", "cleanly", "nicely", "properly", "let's", "please", "can you", "now", ".", ",", "!",
      "?", " ", "  ", "\n", "\t", "\u00A0", "\u2028", "😀", "é", "Ω", "日本", "Send it", "x",
      "K", "\u212A", "ﬆ", "—", "-", "'", "’", "Hi Sam", "Best regards Alex", "Scratch that.",
      "- ", "New bullet", "i", "the the", "`code`", "`Word`", "done. next", "um,", "..."};
  std::uniform_int_distribution<size_t> count(0, 14);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> spaced(0, 2);
  std::string text;
  for (size_t i = count(random); i > 0; --i) {
    text += pieces[pick(random)];
    if (spaced(random) > 0) text += ' ';
  }
  return text;
}

TEST(EndAnchoredPattern, RemovesExactlyWhatAWholeTextReplaceRemoves) {
  std::vector<std::unique_ptr<EndAnchoredPattern>> anchored;
  for (const auto& source : patterns::kClosingCommands) {
    anchored.push_back(std::make_unique<EndAnchoredPattern>(source));
  }
  std::mt19937 random(20240611);
  int removals = 0;
  for (int round = 0; round < 6000; ++round) {
    const icu::UnicodeString text = unicode::fromUtf8(randomCommandishText(random));
    for (size_t p = 0; p < anchored.size(); ++p) {
      const icu::UnicodeString expected =
          straightforward::replace(patterns::kClosingCommands[p], text, u"");
      const icu::UnicodeString actual = anchored[p]->removeMatches(text);
      ASSERT_EQ(unicode::toUtf8(actual), unicode::toUtf8(expected))
          << "pattern " << p << " on \"" << unicode::toUtf8(text) << "\"";
      if (expected != text) ++removals;
    }
  }
  EXPECT_GT(removals, 300);  // the inputs do exercise the removals
}

// The patterns that say where a match cannot begin find exactly the matches
// of their plain forms, one after the other as a search loop takes them.
TEST(RulePatterns, StartGuardsChangeNoMatch) {
  struct Case {
    const patterns::PatternSource& guarded;
    std::u16string_view plain;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {patterns::kSoundLabel, uR"re(\s*[\(\[\*]([A-Za-z][A-Za-z_' ]{1,38})[\)\]\*]\s*(?:-\s+)?)re",
       {" ", "  ", "\n", "\t", "(", ")", "[", "]", "*", "laughs", "music", "a", "_", "'", "-", "- ", "x y",
        "\u00A0", "é", "Word"}},
      {patterns::kSpaceBeforeMark, uR"re(\s+([,.?!]))re", {" ", "  ", "\n", "\t", ",", ".", "?", "!", "a", "\u2028"}},
      {patterns::kBreakPlace,
       uR"re(([\p{L}\p{N}']+)[.!?][ \t]+([A-Z][\p{L}']*)[ \t]+([\p{L}\p{N}']+)[ \t]+([\p{L}\p{N}']+))re",
       {" ", "\t", ".", "! ", "? ", "We ", "So ", "and ", "it's ", "'", "x1", "A ", "é", ", ", "\n", "Ω",
        "word. ", "end. We go ", "aaaa"}},
  };
  std::mt19937 random(1312);
  for (const Case& c : cases) {
    const auto plain = unicode::compileOrAbort(c.plain);
    const auto guarded = unicode::compileOrAbort(c.guarded.source, c.guarded.flags);
    std::uniform_int_distribution<size_t> pick(0, c.pieces.size() - 1);
    std::uniform_int_distribution<int> count(0, 30);
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
      std::string utf8;
      for (int k = count(random); k > 0; --k) utf8 += c.pieces[pick(random)];
      const icu::UnicodeString text = unicode::fromUtf8(utf8);
      const auto matches = [&text](const icu::RegexPattern& pattern) {
        std::vector<std::vector<int32_t>> all;
        auto matcher = unicode::matcherFor(pattern, text);
        UErrorCode status = U_ZERO_ERROR;
        while (matcher->find()) {
          std::vector<int32_t> spans;
          for (int32_t g = 0; g <= matcher->groupCount(); ++g) {
            spans.push_back(matcher->start(g, status));
            spans.push_back(matcher->end(g, status));
          }
          all.push_back(std::move(spans));
        }
        return all;
      };
      const auto expected = matches(*plain);
      ASSERT_EQ(matches(*guarded), expected) << utf8;
      found += static_cast<int>(expected.size());
    }
    EXPECT_GT(found, 300) << unicode::toUtf8(icu::UnicodeString(c.plain.data(), static_cast<int32_t>(c.plain.size())));
  }
}

TEST(Normalize, MatchesTheWholeTextSearch) {
  static const char* const pieces[] = {"[", "]", "(", ")", "silence", "MUSIC", "ſilence", "blank_audio",
                                       "inaudible ", " ", "\n", "-", "— ", "word", "é"};
  std::mt19937 random(5);
  std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> count(0, 20);
  int tagged = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    for (int k = count(random); k > 0; --k) text += pieces[pick(random)];
    const std::string expected = straightforward::normalize(text);
    ASSERT_EQ(normalize(text), expected) << text;
    if (expected.size() + 1 < text.size()) ++tagged;
  }
  EXPECT_GT(tagged, 300);
}

TEST(FinishingChain, MatchesTheStraightforwardRules) {
  std::mt19937 random(7);
  for (int round = 0; round < 1500; ++round) {
    const std::string text = randomCommandishText(random) + randomCommandishText(random);
    ASSERT_EQ(stripClosingCommands(text), straightforward::stripClosingCommands(text)) << text;
    ASSERT_EQ(removeLeftoverCommands(text), straightforward::removeLeftoverCommands(text)) << text;
    ASSERT_EQ(lightClean(text), straightforward::lightClean(text)) << text;
    ASSERT_EQ(formatLetter(text), straightforward::formatLetter(text)) << text;
    ASSERT_EQ(removeDashes(text), straightforward::removeDashes(text)) << text;
    ASSERT_EQ(sturdyGrammar(text), straightforward::sturdyGrammar(text)) << text;
  }
}

TEST(FormatLetter, FindsTheSameSignOffAsAWholeTextSearch) {
  static const char* const greetings[] = {"Hi Sam ", "hey there Ana, ", "Good morning team. ",
                                          "Dear Dr. Lee, ", "Hi Sam"};
  static const char* const signOffs[] = {
      "Best regards Alex", ". all the best, Jo Park.", "thanks so much Priya O’Neil  ",
      "! Cheers\u00A0Al", "Take care\n\tBo", "kind regards alex", "Best  regards   Al Bo Cy",
      "thanks Ana. Best Bo"};
  std::mt19937 random(11);
  std::uniform_int_distribution<size_t> greeting(0, std::size(greetings) - 1);
  std::uniform_int_distribution<size_t> signOff(0, std::size(signOffs) - 1);
  int letters = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string text = std::string(greetings[greeting(random)]) +
                             randomCommandishText(random) + " " + signOffs[signOff(random)];
    const auto expected = straightforward::formatLetter(text);
    ASSERT_EQ(formatLetter(text), expected) << text;
    if (expected) ++letters;
  }
  EXPECT_GT(letters, 300);
}

// Every rule applied to one text; returns something that depends on every result.
std::string applyEveryRule(const std::string& text) {
  std::string all = normalize(text) + dropSoundLabels(text) + std::to_string(wordCount(text));
  for (const auto& sentence : sentenceList(text, 4)) all += sentence;
  for (const auto& piece : sentencePieces(text, 4)) all += piece;
  const SentenceGroups groups = groupSentences({text, text}, 4);
  all += groups.rest + joinPieces({text, text});
  all += lightClean(text) + removeDashes(text) + greetingWithoutComma(text) + sturdyGrammar(text);
  all += fixProse(text) + stripClosingCommands(text) + removeLeftoverCommands(text);
  all += formatLetter(text).value_or("-") + std::to_string(levenshtein(text, "that's it"));
  return all;
}

TEST(Rules, AnswerAnyInput) {
  std::mt19937 random(99);
  std::uniform_int_distribution<int> byte(0, 255);
  // Long runs of spaces or marks are kept short here: several of the patterns
  // take time quadratic in the length of such a run (see the benchmarks).
  std::vector<std::string> inputs = {"", std::string(1, '\0'), "\xFF\xFE\xFD", "\xF0\x9F\x98",
                                     "`", "- ", "\n\n\n", std::string(300, '.'),
                                     std::string(300, ' '), std::string(50000, '(')};
  std::string longProse;
  for (int i = 0; i < 4000; ++i) longProse += "Well — um, i said the the plan works, and yeah. ";
  inputs.push_back(longProse + "That's it.");
  for (int i = 0; i < 300; ++i) {
    std::string bytes;
    for (int k = 0; k < 40; ++k) bytes += static_cast<char>(byte(random));
    inputs.push_back(bytes);
  }
  for (const auto& input : inputs) {
    const std::string result = applyEveryRule(input);
    EXPECT_TRUE(unicode::toUtf8(unicode::fromUtf8(result)) == result) << "output is valid UTF-8";
  }
}

TEST(Rules, SafeFromSeveralThreadsAtOnce) {
  std::vector<std::string> texts;
  std::mt19937 random(3);
  for (int i = 0; i < 200; ++i) texts.push_back(randomCommandishText(random));
  std::vector<std::string> expected;
  for (const auto& text : texts) expected.push_back(applyEveryRule(text));

  std::vector<std::vector<std::string>> results(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&, t] {
      for (const auto& text : texts) results[t].push_back(applyEveryRule(text));
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace quorvel::TextHelpers
