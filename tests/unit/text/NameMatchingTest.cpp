// The name matching that decides which names a transcript may contain,
// repairs misheard names by sound and enforces the user's spellings.
#include "text/NameMatching.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/Unicode.h"

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Words = std::vector<std::string>;

bool neverReal(std::string_view) { return false; }

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

}  // namespace
}  // namespace quorvel
