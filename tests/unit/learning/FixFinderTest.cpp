// The correction finder: word functions, judging a changed stretch, finding
// corrections between the typed and the current text, and the memory that
// lets a correction settle.
#include "learning/FixFinder.h"
#include "learning/FixMemory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace quorvel {
void PrintTo(const Fix& fix, std::ostream* out) {
  *out << "Fix{\"" << fix.heard << "\" -> \"" << fix.meant << "\", replace " << fix.replace << ", learn "
       << fix.learn << "}";
}
}  // namespace quorvel

namespace quorvel::FixFinder {
namespace {

using testing::resourcesFolder;

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Fixes = std::vector<Fix>;

// A small frequency list: everyday words are common, names are not listed.
Frequency testFrequency() {
  auto table = std::make_shared<FrequencyTable>(FrequencyTable{
      {"the", 7.4f},  {"their", 5.8f}, {"there", 6.6f}, {"came", 5.0f},  {"smith", 4.5f},
      {"john", 5.3f}, {"said", 6.0f},  {"we", 7.0f},    {"met", 5.0f},   {"today", 5.5f},
      {"at", 7.0f},   {"noon", 4.2f},  {"and", 7.0f},   {"with", 6.8f},  {"to", 7.3f},
      {"talk", 5.5f}, {"bob", 4.3f},   {"rob", 4.0f},   {"will", 6.5f},  {"call", 5.6f},
      {"you", 7.6f},  {"later", 5.4f}, {"meeting", 5.0f}, {"is", 7.2f},  {"on", 7.0f},
      {"friday", 4.4f}, {"a", 7.3f},   {"i", 7.6f},     {"ask", 5.2f},   {"mark", 4.6f},
      {"new", 6.0f},  {"project", 4.4f}, {"for", 7.0f}, {"see", 6.2f}});
  return frequencyFrom(table);
}

TEST(Tokens, TrimPunctuationAndSymbols) {
  const auto list = tokens("  «Hello», (world)!  $5 — ok\n\t…  C++ ");
  std::vector<std::string> texts;
  for (const auto& token : list) texts.push_back(token.text);
  EXPECT_THAT(texts, ElementsAre("Hello", "world", "5", "ok", "C"));
  EXPECT_EQ(list.front().key, "hello");
  EXPECT_THAT(tokens(" ... !!! "), IsEmpty());
}

TEST(LoadFrequencies, ReadsTabSeparatedLinesAndSkipsBadOnes) {
  testing::TempDir folder;
  testing::writeTextFile(folder / "freq.txt",
                         "the\t7.4\nHello\t5\nbad line\nnumber\tx1\n\nthe\t7.5\nwindows\t3.25\r\nempty\t\n");
  const FrequencyTable table = loadFrequencies(folder / "freq.txt");
  EXPECT_EQ(table.size(), 3u);
  EXPECT_FLOAT_EQ(table.at("the"), 7.5f);  // a later line wins
  EXPECT_FLOAT_EQ(table.at("hello"), 5.0f);
  EXPECT_FLOAT_EQ(table.at("windows"), 3.25f);
  EXPECT_TRUE(loadFrequencies(folder / "missing.txt").empty());
}

TEST(LoadFrequencies, TheShippedListHasEverydayWordsAndNotNames) {
  const auto table = std::make_shared<FrequencyTable>(loadFrequencies(resourcesFolder() / "wordfreq-en.txt"));
  EXPECT_GT(table->size(), 45000u);
  EXPECT_LT(table->size(), 52000u);
  const Frequency frequency = frequencyFrom(table);
  EXPECT_GT(*frequency("the"), 7.0f);
  EXPECT_GT(*frequency("there"), everyday);
  EXPECT_FALSE(unusual("there", frequency));
  EXPECT_TRUE(unusual("Kubernetes", frequency));
  EXPECT_TRUE(learnable("Siobhan", frequency));
}

TEST(SoundKey, FollowsTheLetterClasses) {
  struct Case {
    std::string word, key;
  } cases[] = {{"smith", "53"},  {"smyth", "53"},   {"a", ""},       {"", ""},
               {"ashcraft", "2613"}, {"pfister", "1236"}, {"tymczak", "522"}, {"catherine", "365"},
               {"kathryn", "365"}, {"lloyd", "43"},  {"BB", ""}};  // upper-case letters have no class
  for (const auto& c : cases) EXPECT_EQ(soundKey(c.word), c.key) << c.word;
}

TEST(Distance, CountsCharactersCaseSensitively) {
  EXPECT_EQ(distance("jon", "john"), 1);
  EXPECT_EQ(distance("", "abc"), 3);
  EXPECT_EQ(distance("Anna", "anna"), 1);
  EXPECT_EQ(distance("cafe\u0301", "cafe"), 1);     // "é" as e + accent is one character
  EXPECT_EQ(distance("👍🏽", "👍"), 1);                // an emoji with a skin tone is one character
  EXPECT_EQ(distance("kitten", "sitting"), 3);
}

TEST(SoundsAlike, ByDistanceOrSoundKey) {
  EXPECT_TRUE(soundsAlike("jon", "john"));
  EXPECT_TRUE(soundsAlike("their", "there"));
  EXPECT_TRUE(soundsAlike("smith", "smyth"));
  EXPECT_TRUE(soundsAlike("catherine", "kathryn"));  // distance too big, but keys match
  EXPECT_FALSE(soundsAlike("table", "chair"));
  EXPECT_FALSE(soundsAlike("ab", "xy"));
}

TEST(Align, MatchesWordsAsLateAsPossible) {
  EXPECT_THAT(align({"a", "b", "c"}, {"a", "x", "c"}), ElementsAre(std::pair{0, 0}, std::pair{2, 2}));
  // "a" occurs twice in the second list: the later one is taken.
  EXPECT_THAT(align({"a", "b"}, {"a", "a", "b"}), ElementsAre(std::pair{0, 1}, std::pair{1, 2}));
  EXPECT_THAT(align({"x", "x"}, {"x"}), ElementsAre(std::pair{1, 0}));
  EXPECT_THAT(align({}, {"a"}), IsEmpty());
}

TEST(PrevEnd, GivesTheCharacterBeforeAToken) {
  const std::string text = "Hello there. Bob said,\nhi  — you";
  const auto list = tokens(text);  // Hello there Bob said hi you
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(prevEnd(text, list, 0), ".");
  EXPECT_EQ(prevEnd(text, list, 1), "o");
  EXPECT_EQ(prevEnd(text, list, 2), ".");
  EXPECT_EQ(prevEnd(text, list, 4), "\n");
  EXPECT_EQ(prevEnd(text, list, 5), "i");  // the dash is not a word
  EXPECT_EQ(prevEnd(text, list, 7), ".");
  // A tail of the tokens counts from the tail's start.
  const std::vector<Token> tail(list.begin() + 2, list.end());
  EXPECT_EQ(prevEnd(text, tail, 0), ".");
  EXPECT_EQ(prevEnd(text, tail, 1), "b");
  EXPECT_EQ(prevEnd(text, tail, 2), "\n");
}

TEST(Contains, FindsAContiguousRun) {
  EXPECT_TRUE(contains({"a", "b", "c"}, {"b", "c"}));
  EXPECT_FALSE(contains({"a", "b", "c"}, {"a", "c"}));
  EXPECT_FALSE(contains({"a"}, {}));
  EXPECT_FALSE(contains({}, {"a"}));
}

TEST(Touching, SaysTheCursorIsAtTheEndOfTheWord) {
  EXPECT_TRUE(touching("Jon Smyth", "I met Jon Smyth"));
  EXPECT_TRUE(touching("smyth", "I met Jon SMYTH"));
  EXPECT_FALSE(touching("Smyth", "I met Jon Smyth "));
  EXPECT_FALSE(touching("Smyth", "I met Jon Smyth."));
  EXPECT_FALSE(touching("Smyth", ""));
  EXPECT_FALSE(touching("Smith", "I met Jon Smyth"));
  EXPECT_TRUE(touching("Zoë", "hi Zoë"));
  EXPECT_TRUE(touching("Zoe\u0308", "hi Zoe\u0308"));  // a combining mark at the very end
}

TEST(EditedAtEnd, AllowsOnlyTheLastWordsToChange) {
  struct Case {
    std::string old, now;
    bool edited;
  } cases[] = {
      {"we met jon", "we met jon", true},
      {"we met jon", "we met John", true},
      {"we met jon", "we met John Smyth", true},
      {"we met jon", "they met jon", false},
      {"a b c d e f g h", "a b c d e f g x y", true},
      {"one two three four", "one two", true},   // the last two words removed
      {"", "", true},
      {"hello", "bye", true},                    // both shorter than two words
      {"x y z w", "a b c d", false},
  };
  for (const auto& c : cases) EXPECT_EQ(editedAtEnd(c.old, c.now), c.edited) << c.old << " -> " << c.now;
}

TEST(Judge, DecidesWhatIsACorrection) {
  const Frequency frequency = testFrequency();
  struct Case {
    std::string heard, meant;
    bool midSentence;
    std::optional<Fix> fix;
  } cases[] = {
      // Both everyday words that sound alike: a fix, neither learned nor replaced.
      {"their", "there", true, Fix{"their", "there", false, false}},
      // A capitalised heard word below 4.5 looks like a name mid-sentence.
      {"Bob's", "Rob's", true, Fix{"Bob", "Rob", true, true}},
      {"Bob\u2019s", "Rob\u2019s", false, Fix{"Bob", "Rob", false, true}},
      {"jon", "Jon", true, std::nullopt},                     // only case
      {"jon smith", "jonsmith", true, Fix{"jon smith", "jonsmith", true, true}},
      {"table", "chair", true, std::nullopt},                 // does not sound alike
      {"a", "an", true, std::nullopt},                        // too short
      {"123", "124", true, std::nullopt},                     // no letter meant
      {"cooper netties", "Kubernetes", true, Fix{"cooper netties", "Kubernetes", true, true}},
      {"jon", "John", true, Fix{"jon", "John", true, true}},     // "jon" is not listed: unusual
      {"john", "Jon", true, Fix{"john", "Jon", false, true}},    // "Jon" capitalised and rare
      {"Mark", "Marc", true, Fix{"Mark", "Marc", false, true}},  // frequent heard word, 4.6 >= 4.5
      {"Smith", "Smyth", true, Fix{"Smith", "Smyth", false, true}},
      {"Noon", "Nuon", false, Fix{"Noon", "Nuon", false, true}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(judge(c.heard, c.meant, frequency, c.midSentence), c.fix) << c.heard << " -> " << c.meant;
  }
}

TEST(Corrections, FindsANameCorrectionAndAbsorbsItsCapitalLetters) {
  const Frequency frequency = testFrequency();
  const auto fixes = corrections("john smith came", "Jon Smith came", frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, ElementsAre(Fix{"john smith", "Jon Smith", true, true}));
}

// A name heard as three everyday words is still one correction.
TEST(Corrections, FindsANameMisheardAsThreeWords) {
  const Frequency frequency = testFrequency();
  const auto fixes =
      corrections("please ask mad a lean about the budget today", "please ask Madeleine about the budget today",
                  frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, ElementsAre(Fix{"mad a lean", "Madeleine", true, true}));
}

TEST(Corrections, NothingWhenTheTextIsGoneAndEmptyForManyRegions) {
  const Frequency frequency = testFrequency();
  EXPECT_FALSE(corrections("we met today at noon", "something else entirely", frequency).has_value());
  EXPECT_FALSE(corrections("", "text", frequency).has_value());
  EXPECT_FALSE(corrections("text", "", frequency).has_value());
  EXPECT_FALSE(corrections("one two", "one two three", frequency).has_value());  // short, counts differ

  // Five separate changed places: found, but no usable correction.
  const auto many = corrections("a1 k b2 k c3 k d4 k e5 k f6 k", "a1 x b2 x c3 x d4 x e5 x f6 k", frequency);
  ASSERT_TRUE(many.has_value());
  EXPECT_THAT(*many, IsEmpty());
}

TEST(Corrections, ShortTextsAreComparedPositionByPosition) {
  const Frequency frequency = testFrequency();
  const auto fixes = corrections("ask jon", "ask John", frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, ElementsAre(Fix{"jon", "John", true, true}));
}

TEST(Corrections, CapitalLetterFixes) {
  const Frequency frequency = testFrequency();
  // A rare word capitalised mid-sentence is a fix...
  auto fixes = corrections("we met kubrick today at noon", "we met Kubrick today at noon", frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, ElementsAre(Fix{"kubrick", "Kubrick", false, true}));
  // ...but not the first typed word.
  fixes = corrections("kubrick met us today at noon", "Kubrick met us today at noon", frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, IsEmpty());
  // A common word capitalised after a sentence end is not a fix.
  fixes = corrections("we met. today at noon", "we met. Today at noon", frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, IsEmpty());
}

TEST(Corrections, OnlyTheLastFortyTypedWordsTakePart) {
  const Frequency frequency = testFrequency();
  // 41 words: "intro" is dropped, and the sentence-end test for "today" looks
  // at the word before it among the kept words.
  auto texts = [](const std::string& start, const std::string& day) {
    std::string text = start + " " + day;
    for (int i = 0; i < 38; ++i) text += " w" + std::to_string(i);
    return text;
  };
  auto fixes = corrections(texts("intro. we", "today"), texts("intro. we", "Today"), frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, ElementsAre(Fix{"today", "Today", false, true}));

  fixes = corrections(texts("intro we.", "today"), texts("intro we.", "Today"), frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, IsEmpty());
}

TEST(VisibleCorrections, FallsBackToSingleLines) {
  const Frequency frequency = testFrequency();
  const std::string typed = "we met jon today\n\nthe new project for mark";
  const std::string now = "Notes: we met John today. Later, unrelated text, then: the new project for Marc";
  EXPECT_FALSE(corrections(typed, "nothing at all here", frequency).has_value());
  const auto fixes = visibleCorrections(typed, now, frequency);
  ASSERT_TRUE(fixes.has_value());
  EXPECT_THAT(*fixes, ElementsAre(Fix{"jon", "John", true, true}, Fix{"mark", "Marc", false, true}));
  EXPECT_FALSE(visibleCorrections("one line only", "nothing", frequency).has_value());
  EXPECT_FALSE(visibleCorrections("first line\nsecond line", "nothing", frequency).has_value());
}

TEST(Memory, KeepsAFixPendingWhileTheCursorIsOnIt) {
  Memory memory;
  const Fix jon{"jon", "John", true, true};
  // The user has just typed "John": the cursor touches the meant word.
  auto out = memory.look({jon}, "we met John", " today");
  EXPECT_THAT(out, ElementsAre(jon));
  EXPECT_THAT(memory.pending, ElementsAre(jon));
  EXPECT_THAT(memory.finished, IsEmpty());

  // Still typing at the same spot: a new fix with the same heard text
  // supersedes the pending one, which is dropped, not remembered.
  const Fix johnny{"jon", "Johnny", true, true};
  out = memory.look({johnny}, "we met Johnny", " today");
  EXPECT_THAT(out, ElementsAre(johnny));
  EXPECT_THAT(memory.pending, ElementsAre(johnny));
  EXPECT_THAT(memory.finished, IsEmpty());

  // The cursor moved elsewhere and the correction is no longer found as a new
  // fix: the pending one settles.
  out = memory.look({}, "we met Johnny today. ", "");
  EXPECT_THAT(out, ElementsAre(johnny));
  EXPECT_THAT(memory.pending, IsEmpty());
  EXPECT_THAT(memory.finished, ElementsAre(johnny));

  // The user undoes the correction: the misheard word is back.
  out = memory.look({}, "we met jon today. ", "");
  EXPECT_THAT(out, IsEmpty());
  EXPECT_THAT(memory.finished, IsEmpty());
}

TEST(Memory, FinishedFixesAreReturnedUnlessSuperseded) {
  Memory memory;
  const Fix bob{"bob", "Rob", false, true};
  const Fix mark{"mark", "Marc", false, true};
  EXPECT_THAT(memory.look({bob}, "Rob said hi. ", "and left"), ElementsAre(bob));
  EXPECT_THAT(memory.finished, ElementsAre(bob));
  EXPECT_THAT(memory.look({mark}, "Rob said hi to Marc and ", ""), ElementsAre(mark, bob));
  const Fix bobAgain{"BOB", "Robert", false, true};
  EXPECT_THAT(memory.look({bobAgain}, "Robert said hi to Marc and ", ""), ElementsAre(bobAgain, mark));
  EXPECT_THAT(memory.finished, ElementsAre(mark, bobAgain));
  EXPECT_EQ(memory.lastBefore, "Robert said hi to Marc and ");
  EXPECT_EQ(memory.lastAfter, "");
}

TEST(Memory, KeepsOnlyTheTextNearTheCursor) {
  Memory memory;
  const std::string before(1000, 'a');
  const std::string after(1000, 'b');
  memory.look({}, before + "🚀", after);
  ASSERT_TRUE(memory.lastBefore && memory.lastAfter);
  EXPECT_EQ(memory.lastBefore->size(), 298u + 4u);  // never cut inside the emoji's surrogate pair
  EXPECT_EQ(*memory.lastAfter, std::string(100, 'b'));
}

TEST(FixJson, RoundTripsAndRejectsBadRecords) {
  const Fix fix{"jon \"x\" \\", "John 🚀", true, false};
  EXPECT_EQ(fixFromJson(toJson(fix)), fix);
  EXPECT_FALSE(fixFromJson(Json{{"heard", "a"}, {"meant", "b"}, {"replace", true}}).has_value());
  EXPECT_FALSE(fixFromJson(Json::array()).has_value());

  const LearnedFix learned{"a", "b", false, std::nullopt, "dictation"};
  const Json json = toJson(learned);
  EXPECT_FALSE(json.contains("learn"));
  EXPECT_EQ(learnedFixFromJson(json), learned);
  const auto minimal = learnedFixFromJson(Json{{"heard", "a"}, {"meant", "b"}, {"replace", true}});
  ASSERT_TRUE(minimal.has_value());
  EXPECT_FALSE(minimal->learn.has_value());
  EXPECT_FALSE(learnedFixFromJson(Json{{"heard", "a"}, {"meant", "b"}, {"replace", true}, {"learn", "yes"}}));

  Memory memory;
  memory.finished = {fix};
  memory.lastAfter = "after";
  const Json memoryJson = toJson(memory);
  EXPECT_FALSE(memoryJson.contains("lastBefore"));
  EXPECT_EQ(memoryFromJson(memoryJson), memory);
  EXPECT_FALSE(memoryFromJson(Json{{"finished", Json::array()}}).has_value());
}

}  // namespace
}  // namespace quorvel::FixFinder
