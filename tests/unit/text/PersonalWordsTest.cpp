// The personal vocabulary: editing operations, learning and unlearning, and
// the name matching that decides which names a transcript may contain.
#include "text/PersonalWords.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Log.h"
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

bool neverReal(std::string_view) { return false; }

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

// --- Matching -----------------------------------------------------------------

TEST(HasWord, MatchesWholeWordsLiterallyIgnoringCase) {
  struct Case {
    std::string text, word;
    bool found;
  } cases[] = {
      {"I met Anna today", "anna", true},
      {"Annabel", "Anna", false},
      {"call o'brien now", "O'Brien", true},
      {"use a.b here", "a.b", true},
      {"use axb here", "a.b", false},       // "." is not a wildcard
      {"price (x) now", "(x", false},       // \b before "(" needs a word character
      {"cost x+y here", "x+y", true},
      {"cost xxy here", "x+y", false},
      {"path a\\b end", "a\\b", true},
      {"weird a\\Eb end", "a\\Eb", true},  // "\E" inside the word stays literal
      {"say \"hi\" ok", "\"hi", false},
      {"ping 🚀rocket", "🚀rocket", false},  // no word boundary before the emoji
      {"GROSSE Straße", "straße", true},
      {"STRASSE", "straße", true},          // full case folding
      {"anything", "", false},
      {"", "word", false},
      {"two words", " ", false},  // a blank entry is no word
      {"two\twords", "\t", false},
  };
  for (const auto& c : cases) EXPECT_EQ(hasWord(c.text, c.word), c.found) << c.text << " / " << c.word;
}

TEST(HasWord, AgreesWithThePlainPatternSearch) {
  // hasWord rules words out by the text's word runs before running a pattern;
  // that shortcut must never hide a match.
  const std::string texts[] = {
      "snake_case and_more x_1", "İstanbul ISTANBUL istanbul", "Straße STRASSE strasse",
      "cafe\u0301 café CAFÉ", "O'Brien's o’brien", "3rd 3RD 3rd-party", "🚀rocket rocket🚀 🚀 rocket",
      "ΣΊΣΥΦΟΣ σίσυφος", "ﬁne fine FINE", "a.b.c a-b-c", "x\u200dy xy", "tab\there\nnewline",
  };
  const std::string words[] = {"snake_case", "and", "x_1", "istanbul", "İstanbul", "straße", "STRASSE", "café",
                               "cafe\u0301", "o'brien", "O’Brien", "3rd", "3RD-PARTY", "rocket", "🚀", "🚀rocket",
                               "σίσυφος", "fine", "ﬁne", "a.b", "b.c", "a-b", "xy", "here", "t", "newline"};
  for (const std::string& text : texts) {
    for (const std::string& word : words) {
      EXPECT_EQ(hasWord(text, word), unicode::containsWholeWord(unicode::fromUtf8(text), unicode::fromUtf8(word)))
          << text << " / " << word;
    }
  }
}

TEST(NameWindows, JoinsWordsAndSpelledLetters) {
  const auto windows = nameWindows("I use the a p i");
  EXPECT_TRUE(windows.count("api"));
  EXPECT_TRUE(windows.count("usethea"));
  EXPECT_TRUE(windows.count("use"));
  EXPECT_FALSE(windows.count("iusetheap"));  // at most three words
  const auto letters = nameWindows("ex why zed, dot-com");
  EXPECT_TRUE(letters.count("xyz"));
  EXPECT_TRUE(letters.count("exwhyzed"));
  EXPECT_TRUE(letters.count("dotcom"));
  EXPECT_THAT(nameWindows(" ,.! "), IsEmpty());
}

TEST(RelevantNames, FindsWrittenSpelledSoundAlikeAndNearNames) {
  const Words names = {"Anna", "API", "Kathryn", "Marguerite", "Zoë", "Bob", "Priya"};
  EXPECT_THAT(relevantNames("ask anna about the a p i", names), ElementsAre("Anna", "API"));
  EXPECT_THAT(relevantNames("catherine said hi", names), ElementsAre("Kathryn"));
  EXPECT_THAT(relevantNames("margeurite came", names), ElementsAre("Marguerite"));  // distance 2, 10 letters
  EXPECT_THAT(relevantNames("priyah came", names), ElementsAre("Priya"));           // distance 1, 5 letters
  EXPECT_THAT(relevantNames("prism came", names), IsEmpty());                       // distance 2 is too far for 5
  EXPECT_THAT(relevantNames("nothing to see", names), IsEmpty());
  EXPECT_THAT(relevantNames("", names), IsEmpty());
}

TEST(MightBeSaid, IsMoreLenientThanRelevantNames) {
  struct Case {
    std::string name, text;
    bool said;
  } cases[] = {
      {"Anna", "hi anna", true},
      {"Kathryn", "catherine called", true},  // sounds alike
      {"Priya", "preya called", true},         // same first letter, distance 1 <= 5 / 2
      {"Bo", "by the way", true},              // short: distance up to 2 with the same first letter
      {"Marguerite", "nothing at all", false},
      {"", "anything", false},
      {"!!!", "anything", false},
  };
  for (const auto& c : cases) EXPECT_EQ(mightBeSaid(c.name, c.text), c.said) << c.name << " in " << c.text;
  // A different first letter counts only for names of more than four characters.
  EXPECT_TRUE(mightBeSaid("Kaylee", "bailee"));
  EXPECT_FALSE(mightBeSaid("Kate", "bate"));
}

TEST(NamesForCleanup, SkipsWrittenNamesAndCapsTheExtras) {
  EXPECT_THAT(namesForCleanup("anna met catherine", {"Anna", "Kathryn"}, {}), ElementsAre("Kathryn"));
  EXPECT_THAT(namesForCleanup("anna met catherine", {"Kathryn"}, {"Kathryn", "Anna", "Katheryne"}),
              ElementsAre("Kathryn", "Katheryne"));

  // Many extra names that sound like a word of the text: at most 6 taken.
  Words extra;
  for (const char* name : {"Smyth", "Smithe", "Smitt", "Smead", "Smythe", "Smit", "Smiith", "Smieth"}) {
    extra.push_back(name);
  }
  EXPECT_EQ(namesForCleanup("smith called", {}, extra).size(), 6u);

  // Many relevant ranked names: at most 24 in all.
  Words ranked;
  std::string text;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "Name" + std::string(1, static_cast<char>('a' + i % 26)) + std::to_string(i);
    ranked.push_back(name);
    text += " name" + std::string(1, static_cast<char>('a' + i % 26)) + " " + std::to_string(i);
  }
  const auto names = namesForCleanup(text, ranked, extra);
  EXPECT_EQ(names.size(), 24u);
}

TEST(NamesBySound, ReplacesOnlyAnUnambiguousUnknownWord) {
  const Words names = {"Kathryn", "Smyth", "Jo", "Anna Lee"};
  EXPECT_EQ(namesBySound("ask Katherine now", names, neverReal), "ask Kathryn now");
  EXPECT_EQ(namesBySound("ask Katherine now", names, [](std::string_view) { return true; }),
            "ask Katherine now");  // a real word stays
  EXPECT_EQ(namesBySound("kathryn is here", names, neverReal), "kathryn is here");  // already the name
  // Two different names sound like "smith": left alone.
  EXPECT_EQ(namesBySound("mr smith", {"Smyth", "Smithe"}, neverReal), "mr smith");
  // The same name twice in different case is still one name.
  EXPECT_EQ(namesBySound("mr smith", {"Smyth", "SMYTH"}, neverReal), "mr Smyth");
  EXPECT_EQ(namesBySound("no names", {}, neverReal), "no names");
  EXPECT_EQ(namesBySound("émile smith", {"Smyth"}, neverReal), "émile Smyth");
}

TEST(ApplyDictionary, EnforcesSpellingsAndAliases) {
  struct Case {
    std::string text;
    Words dictionary;
    std::map<std::string, std::string> aliases;
    std::string expected;
  } cases[] = {
      {"i met priya", {"Priya"}, {}, "i met Priya"},
      {"Margerite and margin", {"Marguerite"}, {}, "Marguerite and margin"},
      {"margerite came", {"Marguerite"}, {}, "Marguerite came"},    // 9 characters, distance 1
      {"Margreite came", {"Marguerite"}, {}, "Marguerite came"},    // capitalised, distance 2
      {"margreite came", {"Marguerite"}, {}, "margreite came"},     // distance 2 needs a capital
      {"nargerite came", {"Marguerite"}, {}, "nargerite came"},     // another first letter
      {"Bobb and bob", {"Bob"}, {}, "Bobb and Bob"},               // short words: case only
      {"the jira board", {"JIRA"}, {{"the jira", "JIRA's"}}, "JIRA's board"},
      {"cost is $5 for C++", {"$5"}, {{"cost", "price $1 \\1"}}, "price $1 \\1 is $5 for C++"},
      {"ask o'brien", {"O'Brien"}, {}, "ask O'Brien"},
      {"dots a.b axb", {"a.b"}, {}, "dots a.b axb"},
      {"rocket 🚀 launch", {"Launch"}, {}, "rocket 🚀 Launch"},
      {"", {"Anna"}, {}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(applyDictionary(c.text, c.dictionary, c.aliases), c.expected) << c.text;
  }
}

TEST(SpellNames, AppliesTheDictionaryThenSounds) {
  PersonalWords words;
  words.dictionary = {"Kathryn"};
  words.aliases = {{"kat", "Kathryn"}};
  EXPECT_EQ(spellNames("kat and Katherine", words, {"Kathryn"}, neverReal), "Kathryn and Kathryn");
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
