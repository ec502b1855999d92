// Word counts, sentence lists, groups and pieces, and joining cleaned pieces.
#include "text/TextHelpers.h"
#include "text/Unicode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::TextHelpers {
namespace {

using Texts = std::vector<std::string>;

std::string repeatWords(const std::string& word, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? " " : "") + word;
  return text;
}

struct WordCountCase {
  std::string text;
  int words;
};

TEST(WordCount, CountsRunsOfNonWhitespace) {
  const WordCountCase cases[] = {
      {"", 0},
      {"   \t\n ", 0},
      {"one", 1},
      {"  one  two\tthree\nfour\r\nfive ", 5},
      {"well-known, e.g. this", 3},
      {"café ßtraße Ελληνικά", 3},
      {"日本語のテキスト", 1},  // no spaces, one run
      {"a\u00A0b\u2003c\u3000d", 4},  // NBSP, em space, ideographic space separate words
      {"👍🏽 ok 🎉", 3},
      {"\xFF\xFE broken", 2},  // invalid UTF-8 is a replacement character, still a word
  };
  for (const auto& c : cases) EXPECT_EQ(wordCount(c.text), c.words) << c.text;
}

TEST(ComponentsSeparatedBy, GivesTheTextsBetweenMatches) {
  static const icu::RegexPattern& comma = unicode::constantPattern(u",\\s*");
  struct Case {
    std::string text;
    Texts parts;
  } cases[] = {
      {"", {""}},
      {"no separator", {"no separator"}},
      {"a, b,c", {"a", "b", "c"}},
      {",a,", {"", "a", ""}},
      {"é,😀,", {"é", "😀", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(componentsSeparatedBy(c.text, comma), c.parts) << c.text;
}

TEST(SentenceList, SplitsAfterMarksAndCutsLongSentencesAtCommas) {
  struct Case {
    std::string text;
    int target;
    Texts sentences;
  } cases[] = {
      {"", 4, {}},
      {"One. Two! Three? Four", 4, {"One.", "Two!", "Three?", "Four"}},
      {"Trailing space. ", 4, {"Trailing space."}},
      {"Marks stay.\n\nNew paragraph.", 4, {"Marks stay.", "New paragraph."}},
      {"No break.Here", 4, {"No break.Here"}},
      {"one two three four five, six seven eight.", 4, {"one two three four five,", "six seven eight."}},
      // exactly target * 3 / 2 = 6 words: not cut
      {"one two three, four five six.", 4, {"one two three, four five six."}},
      // the last comma part completes the accumulator: no comma added to it
      {"a b c, d e f g.", 4, {"a b c, d e f g."}},
      {"one two three four, five six seven.", 2, {"one two three four,", "five six seven."}},
      {"a b, c d, e f, g", 2, {"a b,", "c d,", "e f,", "g"}},
      // a sentence without ", " stays whole even when long
      {"a b c d e f g h,i", 2, {"a b c d e f g h,i"}},
      {"Ça va très bien. Straße ist lang.", 4, {"Ça va très bien.", "Straße ist lang."}},
      {"好的。 Next one. 😀 Emoji? Yes", 4, {"好的。 Next one.", "😀 Emoji?", "Yes"}},
  };
  for (const auto& c : cases) EXPECT_EQ(sentenceList(c.text, c.target), c.sentences) << c.text;
}

TEST(SentenceList, WhitespaceOnlyTextIsOneEntry) {
  // Only empty entries are skipped; what counts as a sentence is the caller's matter.
  EXPECT_EQ(sentenceList("   ", 4), Texts{"   "});
}

TEST(SentenceList, SurvivesExtremeTargets) {
  EXPECT_EQ(sentenceList("a b c d.", 2147483647), Texts{"a b c d."});
  EXPECT_EQ(sentenceList("a, b.", 0), (Texts{"a,", "b."}));
  EXPECT_EQ(sentenceList("a, b.", -5), (Texts{"a,", "b."}));
}

TEST(GroupSentences, GroupsUntilTargetAndKeepsTheRest) {
  struct Case {
    Texts sentences;
    int target;
    Texts pieces;
    std::string rest;
  } cases[] = {
      {{}, 5, {}, ""},
      {{"a b c.", "d e f.", "g h i."}, 5, {"a b c. d e f."}, "g h i."},
      {{"a b c.", "d e."}, 5, {"a b c. d e."}, ""},
      {{"one two three four five six."}, 5, {"one two three four five six."}, ""},
      {{"a.", "b."}, 5, {}, "a. b."},
      {{"ä ö.", "ü ß.", "😀 ok."}, 4, {"ä ö. ü ß."}, "😀 ok."},
  };
  for (const auto& c : cases) {
    const SentenceGroups groups = groupSentences(c.sentences, c.target);
    EXPECT_EQ(groups.pieces, c.pieces);
    EXPECT_EQ(groups.rest, c.rest);
  }
}

TEST(SentencePieces, FoldsAShortTailIntoThePieceBefore) {
  const std::string full = repeatWords("word", 29) + " end.";  // 30 words
  const std::string nineTail = repeatWords("tail", 8) + " end.";
  const std::string tenTail = repeatWords("tail", 9) + " end.";
  EXPECT_EQ(sentencePieces(full + " " + nineTail, 30), Texts{full + " " + nineTail});
  EXPECT_EQ(sentencePieces(full + " " + tenTail, 30), (Texts{full, tenTail}));
}

TEST(SentencePieces, EdgeCases) {
  struct Case {
    std::string text;
    int target;
    Texts pieces;
  } cases[] = {
      {"", 30, {}},
      {"Short text.", 30, {"Short text."}},  // no piece to fold into: the rest is the piece
      {"a b. c d. e.", 2, {"a b.", "c d.", "e."}},  // 2 / 3 == 0: nothing is short enough to fold
      {"a b c. d e f. g.", 3, {"a b c.", "d e f.", "g."}},
  };
  for (const auto& c : cases) EXPECT_EQ(sentencePieces(c.text, c.target), c.pieces) << c.text;
}

TEST(SentencePieces, LongTranscriptKeepsEveryWordInOrder) {
  std::string text;
  for (int i = 0; i < 500; ++i) text += "Sentence number " + std::to_string(i) + " is here, with a comma. ";
  const Texts pieces = sentencePieces(text, 60);
  ASSERT_GT(pieces.size(), 1u);
  std::string rejoined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i + 1 < pieces.size()) {
      EXPECT_GE(wordCount(pieces[i]), 60);
    }
    rejoined += (rejoined.empty() ? "" : " ") + pieces[i];
  }
  EXPECT_EQ(rejoined + " ", text);
}

TEST(JoinPieces, SeparatesBySpaceOrBlankLine) {
  struct Case {
    Texts pieces;
    std::string joined;
  } cases[] = {
      {{}, ""},
      {{"a", "", "b"}, "a b"},
      {{"a\nb", "c"}, "a\nb\n\nc"},
      {{"a", "b\nc"}, "a\n\nb\nc"},
      {{"  a \n", "\t", " b  "}, "a b"},
      {{"\n\n", "only"}, "only"},
      {{"é", "😀"}, "é 😀"},
  };
  for (const auto& c : cases) EXPECT_EQ(joinPieces(c.pieces), c.joined);
}

}  // namespace
}  // namespace quorvel::TextHelpers
