// The personal vocabulary: editing operations, learning and unlearning.
#include "text/PersonalWords.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Log.h"
#include "text/NameMatching.h"
#include "text/NameSounds.h"
#include "text/SpellCheck.h"
#include "text/Unicode.h"

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Words = std::vector<std::string>;

Words numbered(const std::string& prefix, int count) {
  Words out;
  for (int i = 0; i < count; ++i) out.push_back(prefix + std::to_string(i));
  return out;
}

// --- Editing ------------------------------------------------------------------

TEST(PersonalWordsAdd, TrimsAndIgnoresDuplicatesAndEmptyWords) {
  PersonalWords words;
  words.dictionary = {"Anna"};
  words.add("  anna \n");
  words.add("");
  words.add(" \t\n");
  EXPECT_THAT(words.dictionary, ElementsAre("Anna"));
  words.add("  Kubernetes\n");
  words.add("ÉLODIE");
  words.add("élodie");
  EXPECT_THAT(words.dictionary, ElementsAre("Anna", "Kubernetes", "ÉLODIE"));
  EXPECT_THAT(words.learned, IsEmpty());
  EXPECT_THAT(words.recent, IsEmpty());
}

TEST(PersonalWordsRename, MergesIntoAnExistingWordAndRedirectsEverything) {
  PersonalWords words;
  words.dictionary = {"Jon", "John", "Ann"};
  words.aliases = {{"jonn", "Jon"}, {"an", "Ann"}};
  words.learned = {"Jon"};
  words.recent = {"Jon", "Ann"};
  words.rename("Jon", " John ");
  EXPECT_THAT(words.dictionary, ElementsAre("John", "Ann"));
  EXPECT_EQ(words.aliases.at("jonn"), "John");
  EXPECT_THAT(words.learned, ElementsAre("John"));
  EXPECT_THAT(words.recent, ElementsAre("John", "Ann"));
}

TEST(PersonalWordsRename, ReplacesInPlaceOrDoesNothing) {
  PersonalWords base;
  base.dictionary = {"Ann", "Jon", "Zed"};
  struct Case {
    std::string from, to;
    Words dictionary;
  } cases[] = {
      {"Jon", "Jonathan", {"Ann", "Jonathan", "Zed"}},
      {"Jon", "JON", {"Ann", "JON", "Zed"}},   // only itself differs in case: a rename
      {"Jon", "Jon", {"Ann", "Jon", "Zed"}},   // same word
      {"Jon", "  ", {"Ann", "Jon", "Zed"}},    // empty after trimming
      {"jon", "John", {"Ann", "Jon", "Zed"}},  // the old word must match exactly
  };
  for (const auto& c : cases) {
    PersonalWords words = base;
    words.rename(c.from, c.to);
    EXPECT_EQ(words.dictionary, c.dictionary) << c.from << " -> " << c.to;
  }
}

TEST(PersonalWordsRemove, RemovesIgnoringCaseEverywhere) {
  PersonalWords words;
  words.dictionary = {"Anna", "Bob", "Carla"};
  words.aliases = {{"ana", "anna"}, {"bobby", "Bob"}};
  words.learned = {"ANNA", "Carla"};
  words.recent = {"Carla", "anna"};
  words.remove({"anna"});
  EXPECT_THAT(words.dictionary, ElementsAre("Bob", "Carla"));
  EXPECT_EQ(words.aliases.size(), 1u);
  EXPECT_THAT(words.learned, ElementsAre("Carla"));
  EXPECT_THAT(words.recent, ElementsAre("Carla"));
}

TEST(PersonalWordsTouch, PutsTheFirstWordFirstAndKeepsFifty) {
  PersonalWords words;
  words.recent = numbered("w", 50);
  words.touch({"a", "b"});
  ASSERT_EQ(words.recent.size(), 50u);
  EXPECT_EQ(words.recent[0], "a");
  EXPECT_EQ(words.recent[1], "b");
  EXPECT_EQ(words.recent[2], "w0");
  EXPECT_EQ(words.recent[49], "w47");

  words.touch({"W3", "A"});  // moves existing entries, in any case
  EXPECT_THAT(Words(words.recent.begin(), words.recent.begin() + 3), ElementsAre("W3", "A", "b"));
  EXPECT_EQ(words.recent.size(), 50u);
}

TEST(PersonalWordsNoteUsed, TouchesUsedWordsOnlyWhenTheOrderChanges) {
  PersonalWords words;
  words.dictionary = {"Anna", "Bob"};
  words.recent = {"Anna"};
  EXPECT_FALSE(words.noteUsed("I met anna today"));
  EXPECT_FALSE(words.noteUsed("nobody here"));
  EXPECT_FALSE(words.noteUsed("Annabel is not Anna's... wait"));  // "Anna" whole word before "'s"
  EXPECT_TRUE(words.noteUsed("bob and anna"));
  EXPECT_THAT(words.recent, ElementsAre("Anna", "Bob"));  // dictionary order
  EXPECT_FALSE(words.noteUsed("bob and anna"));
}

TEST(PersonalWordsNoteUsed, ABlankEntryIsNeverUsed) {
  PersonalWords words;
  words.dictionary = {" ", "", "Anna", "\u00a0"};
  EXPECT_TRUE(words.noteUsed("I met Anna today at noon"));
  EXPECT_THAT(words.recent, ElementsAre("Anna"));
  EXPECT_FALSE(words.noteUsed("nobody here at all"));
  EXPECT_THAT(words.recent, ElementsAre("Anna"));
}

TEST(PersonalWordsPromptNames, RecentFirstWithoutDuplicatesOrRemovedWords) {
  PersonalWords words;
  words.dictionary = {"Anna", "Bob", "Carla", "bob"};
  words.recent = {"carla", "Zed", "ANNA"};
  EXPECT_THAT(words.promptNames(), ElementsAre("carla", "ANNA", "Bob"));
}

// --- Learning -----------------------------------------------------------------

TEST(PersonalWordsAbsorb, LearnsAndUnlearnsARoundTrip) {
  PersonalWords words;
  words.dictionary = {"Anna"};
  words.recent = {"Anna"};
  auto counts = words.absorb({LearnedFix{"Jon", "John", true}});
  EXPECT_EQ(counts, (PersonalWords::AbsorbCounts{1, 0}));
  EXPECT_THAT(words.dictionary, ElementsAre("Anna", "John"));
  EXPECT_THAT(words.learned, ElementsAre("John"));
  EXPECT_EQ(words.aliases, (std::map<std::string, std::string>{{"Jon", "John"}}));
  EXPECT_THAT(words.recent, ElementsAre("John", "Anna"));

  counts = words.absorb({LearnedFix{"John", "Jon", true}});
  EXPECT_EQ(counts, (PersonalWords::AbsorbCounts{0, 1}));
  EXPECT_THAT(words.dictionary, ElementsAre("Anna"));
  EXPECT_THAT(words.learned, IsEmpty());
  EXPECT_THAT(words.aliases, IsEmpty());
  EXPECT_THAT(words.recent, ElementsAre("Anna"));
}

TEST(PersonalWordsAbsorb, RelearnsWhenALearnedWordIsCorrectedAgain) {
  PersonalWords words;
  words.absorb({LearnedFix{"kathrin", "Katrin", false}});
  ASSERT_THAT(words.learned, ElementsAre("Katrin"));
  // Katrin was itself wrong: it is unlearned and the new spelling learned.
  const auto counts = words.absorb({LearnedFix{"Katrin", "Kathryn", true}});
  EXPECT_EQ(counts, (PersonalWords::AbsorbCounts{1, 0}));
  EXPECT_THAT(words.dictionary, ElementsAre("Kathryn"));
  EXPECT_THAT(words.learned, ElementsAre("Kathryn"));
  EXPECT_EQ(words.aliases, (std::map<std::string, std::string>{{"Katrin", "Kathryn"}}));
}

TEST(PersonalWordsAbsorb, SkipsFixesThatAreNotToBeLearned) {
  PersonalWords words;
  words.dictionary = {"Anna"};
  const PersonalWords before = words;
  auto counts = words.absorb({LearnedFix{"their", "there", false, false},
                              LearnedFix{"x", "   ", true, true},   // nothing meant
                              LearnedFix{"anna", "ANNA", false, std::nullopt, "d1"}});
  // The last one is learned (learn absent = true) but ANNA is already there.
  EXPECT_EQ(counts, (PersonalWords::AbsorbCounts{1, 0}));
  EXPECT_EQ(words.dictionary, before.dictionary);
  EXPECT_THAT(words.recent, ElementsAre("ANNA"));
  EXPECT_THAT(words.learned, IsEmpty());
}

TEST(PersonalWordsRepairLearned, DropsStrayLeadingWords) {
  PersonalWords words;
  words.dictionary = {"Anna", "hi Bob", "Bob", "thanks Carla"};
  words.learned = {"hi Bob", "thanks Carla", "Anna"};
  words.recent = {"thanks Carla"};
  words.aliases = {{"hey bobby", "hi Bob"}, {"dear anna", "Anna"}, {"ok Anna", "Anna"}};
  EXPECT_TRUE(words.repairLearned());
  EXPECT_THAT(words.dictionary, ElementsAre("Anna", "Bob", "Carla"));
  EXPECT_THAT(words.learned, ElementsAre("Bob", "Carla", "Anna"));
  EXPECT_THAT(words.recent, ElementsAre("Carla"));
  // "ok Anna" -> "Anna" became a self-alias and is dropped.
  EXPECT_EQ(words.aliases, (std::map<std::string, std::string>{{"bobby", "Bob"}}));
  EXPECT_FALSE(words.repairLearned());
}

TEST(PersonalWords, AFewThousandWordsStayFastAndCorrect) {
  PersonalWords words;
  for (int i = 0; i < 3000; ++i) words.add("Term" + std::to_string(i));
  words.add("term17");  // duplicate ignoring case
  EXPECT_EQ(words.dictionary.size(), 3000u);
  EXPECT_TRUE(words.noteUsed("we shipped term17 and TERM2999 today"));
  EXPECT_THAT(words.recent, ElementsAre("Term17", "Term2999"));
  EXPECT_EQ(applyDictionary("we shipped term17 today", words.dictionary), "we shipped Term17 today");
  const auto names = namesForCleanup("we shipped terms today", words.promptNames(), {});
  EXPECT_LE(names.size(), 24u);
  words.remove({"term17"});
  EXPECT_EQ(words.dictionary.size(), 2999u);
  EXPECT_THAT(words.recent, ElementsAre("Term2999"));
}

// --- Sound keys shared with the correction finder -----------------------------

TEST(SoundsLikeName, ComparesFirstSoundsAndKeys) {
  EXPECT_EQ(FixFinder::soundKey("smith"), "53");
  EXPECT_EQ(FixFinder::soundKey("smyth"), "53");
  EXPECT_EQ(FixFinder::soundKey("a"), "");
  EXPECT_EQ(FixFinder::soundKey(""), "");
  struct Case {
    std::string a, b;
    bool alike;
  } cases[] = {
      {"Catherine", "Kathryn", true},   {"Catherine", "Kate", false},  // lengths differ by 5
      {"Philip", "Filip", true},        {"smith", "smith", false},     // equal
      {"smith", "SMYTH", true},         {"Jon", "John", false},        // too short
      {"anna2", "anna", false},         {"Mark", "Bark", false},       // first sounds differ
      {"Gillian", "Jillian", true},           {"Zoe's", "Zoes", false},      // not only letters
  };
  for (const auto& c : cases) EXPECT_EQ(FixFinder::soundsLikeName(c.a, c.b), c.alike) << c.a << " / " << c.b;
}

TEST(WithoutLeadingNotName, DropsGreetingsButKeepsTheLastWord) {
  EXPECT_EQ(FixFinder::withoutLeadingNotName("hi Anna"), "Anna");
  EXPECT_EQ(FixFinder::withoutLeadingNotName("Thanks, dear  Anna Lee"), "Anna Lee");
  EXPECT_EQ(FixFinder::withoutLeadingNotName("I\u2019m Bob"), "Bob");
  EXPECT_EQ(FixFinder::withoutLeadingNotName("hello"), "hello");
  EXPECT_EQ(FixFinder::withoutLeadingNotName("the end"), "end");
  EXPECT_EQ(FixFinder::withoutLeadingNotName(""), "");
  EXPECT_EQ(FixFinder::notName().size(), 49u);
}

// --- Spelling -----------------------------------------------------------------

TEST(IsRealWord, KnowsUsEnglish) {
  EXPECT_TRUE(isRealWord("color"));
  EXPECT_TRUE(isRealWord("Hello"));
  EXPECT_TRUE(isRealWord("hello, world!"));
  EXPECT_FALSE(isRealWord("colour"));
  EXPECT_FALSE(isRealWord("Katherine'sx"));
  EXPECT_FALSE(isRealWord("qzxv"));
  EXPECT_FALSE(isRealWord("hello wrld"));
}

TEST(IsRealWord, AMissingDictionaryKnowsNoWordAndSaysSoOnce) {
  LogCapture log;
  SpellChecker checker("/nonexistent/en_US.aff", "/nonexistent/en_US.dic");
  EXPECT_FALSE(checker.isRealWord("hello"));
  EXPECT_FALSE(checker.isRealWord("the"));
  EXPECT_FALSE(checker.loaded());
  int mentions = 0;
  for (const auto& line : log.lines()) mentions += line.find("spelling dictionary") != std::string::npos;
  EXPECT_EQ(mentions, 1);
}

}  // namespace
}  // namespace quorvel
