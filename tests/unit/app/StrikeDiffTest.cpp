// The word diff: what the cleanup dropped or changed among the said words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/history/StrikeDiff.h"

namespace quorvel {
namespace {

// The struck words of a diff, in order.
std::vector<std::string> struck(const std::vector<StruckWord>& diff) {
  std::vector<std::string> words;
  for (const auto& word : diff) {
    if (word.cut) words.push_back(word.word);
  }
  return words;
}

std::vector<std::string> shown(const std::vector<StruckWord>& diff) {
  std::vector<std::string> words;
  for (const auto& word : diff) words.push_back(word.word);
  return words;
}

struct Case {
  std::string said;
  std::string typed;
  std::vector<std::string> struck;
};

TEST(StrikeDiff, StrikesOnlyWhatTheCleanupDroppedOrChanged) {
  const std::vector<Case> cases = {
      // Case and the final full stop are no change.
      {"um so the meeting is at three", "The meeting is at three.", {"um", "so"}},
      // On a tie a typed word that was not said is passed over first.
      {"red blue", "blue red", {"blue"}},
      // Punctuation alone is never struck, whatever happened around it.
      {"well — okay ... fine", "Okay.", {"well", "fine"}},
      {"Um, so can you send me the file by Friday, no actually Thursday",
       "Can you send me the file by Thursday?", {"Um,", "so", "Friday,", "no", "actually"}},
      // Letters beyond ASCII compare without case.
      {"ÜBER das Café", "über das café", {}},
      // A changed word is struck; an inserted one is not shown at all.
      {"send it to Jon", "Send it to John, please.", {"Jon"}},
      {"line one\nline  two", "line one line two", {}},
      {"", "Something typed.", {}},
  };
  for (const Case& c : cases) {
    const auto diff = strikeDiff(c.said, c.typed);
    EXPECT_EQ(struck(diff), c.struck) << c.said << " / " << c.typed;
  }
}

TEST(StrikeDiff, ShowsTheSaidWordsAsTheyStand) {
  EXPECT_EQ(shown(strikeDiff("  um,  the PLAN\tis set ", "The plan is set.")),
            (std::vector<std::string>{"um,", "the", "PLAN", "is", "set"}));
  EXPECT_TRUE(strikeDiff("", "").empty());
  EXPECT_TRUE(strikeDiff(" \n\t", "x").empty());
}

TEST(StrikeDiff, AnEntryWithoutRawTextShowsItsTypedTextUnstruck) {
  const std::string typed = "The plan is set, see you at 9.";
  const auto diff = strikeDiff(saidText("", typed), typed);
  EXPECT_EQ(diff.size(), 8u);
  EXPECT_FALSE(anyCut(diff));
  EXPECT_EQ(saidText("raw words", typed), "raw words");
}

TEST(StrikeDiff, AHugeDictationIsShownWithNothingStruck) {
  std::string said, typed;
  for (int i = 0; i < 800; ++i) {
    said += "said" + std::to_string(i) + " ";
    typed += "typed" + std::to_string(i) + " ";
  }
  const auto diff = strikeDiff(said, typed);  // 800 × 800 is above the limit
  ASSERT_EQ(diff.size(), 800u);
  EXPECT_FALSE(anyCut(diff));
  // Just under the limit the table is built and every word differs.
  std::string fewer;
  for (int i = 0; i < 749; ++i) fewer += "typed" + std::to_string(i) + " ";
  EXPECT_EQ(struck(strikeDiff(said, fewer)).size(), 800u);  // 800 × 749 = 599,200
}

TEST(StrikeDiff, BrokenTextIsReadNotRejected) {
  const std::string broken = std::string("caf\xC3") + " ok \xFF\xFE done";
  const auto diff = strikeDiff(broken, "ok done");
  EXPECT_EQ(shown(diff).size(), 4u);
  EXPECT_EQ(struck(diff), (std::vector<std::string>{"caf\xC3"}));
}

}  // namespace
}  // namespace quorvel
