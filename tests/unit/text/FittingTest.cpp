// Fitting a dictation to the text around the cursor, and the chat full stop.
#include "text/Fitting.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace quorvel::TextHelpers {
namespace {

struct FitCase {
  std::string text;
  std::string before;
  std::string after;
  std::string expectedText;
  std::string expectedNote;
};

void expectFits(const FitCase& c) {
  const FittedText fitted = fitText(c.text, c.before, c.after);
  EXPECT_EQ(fitted.text, c.expectedText)
      << "text «" << c.text << "» before «" << c.before << "» after «" << c.after << "»";
  EXPECT_EQ(fitted.note, c.expectedNote)
      << "text «" << c.text << "» before «" << c.before << "» after «" << c.after << "»";
}

TEST(FitText, SpaceCapitalAndStopFromTheContext) {
  const FitCase cases[] = {
      {"World.", "Hello", "", " World.", "space"},
      {"The end.", "Hello ", "", "the end.", "lower"},
      {"Anna said hi.", "Hello, ", "", "Anna said hi.", "plain"},
      // A colon ends nothing the dictation continues, but still wants a space.
      {"The plan.", "Note:", "", " The plan.", "space"},
      {"The plan.", "It is done.", "", " The plan.", "space"},
      {"The plan.", "Really?", "", " The plan.", "space"},
      // A line break before the cursor: neither a space nor a change of case.
      {"The plan.", "Hello\n", "", "The plan.", "plain"},
      {"The plan.", "Hello\r\n", "", "The plan.", "plain"},
      {"The plan.", "Hello\n  \t", "", "The plan.", "plain"},
      {"The plan.", "Hello\u2028", "", "The plan.", "plain"},
      {"The plan.", "Hello\u0085", "", "The plan.", "plain"},
      // Opening characters take the dictation without a space.
      {"Maybe later", "(", "", "Maybe later", "plain"},
      {"Maybe later", "say \"", "", "Maybe later", "plain"},
      {"Maybe later", "say \u201C", "", "Maybe later", "plain"},
      {"Maybe later", "say \u2018", "", "Maybe later", "plain"},
      {"Maybe later", "and/", "", "Maybe later", "plain"},
      {"Maybe later", "x \u2014", "", "Maybe later", "plain"},
      {"team", "@", "", "team", "plain"},
      {"5", "costs $", "", "5", "plain"},
      // The pronoun keeps its capital, also in contractions.
      {"I think so.", "so ", "", "I think so.", "plain"},
      {"I'm here.", "and ", "", "I'm here.", "plain"},
      {"I\u2019ll go.", "and ", "", "I\u2019ll go.", "plain"},
      {"It's fine.", "and ", "", "it's fine.", "lower"},
      {"It\u2019s fine.", "and ", "", "it\u2019s fine.", "lower"},
      // After a closing bracket, a number, a semicolon: the sentence goes on.
      {"But not now.", "(see above)", "", " but not now.", "space+lower"},
      {"And more.", "chapter 7", "", " and more.", "space+lower"},
      {"Then stop.", "first;", "", " then stop.", "space+lower"},
      // Only continuation words lose their capital.
      {"Kubernetes works.", "we use ", "", "Kubernetes works.", "plain"},
      {"Island is far.", "the ", "", "Island is far.", "plain"},
      // Nothing before the cursor, or only blanks.
      {"The end.", "", "", "The end.", "plain"},
      {"The end.", "   \t", "", "The end.", "plain"},
      // After the cursor.
      {"Done.", "", ".", "Done", "no-double-stop"},
      {"Done!", "", "?", "Done", "no-double-stop"},
      {"Done?", "", ", yes", "Done", "no-double-stop"},
      {"Done", "", ".", "Done", "plain"},
      {"Hello", "", "world", "Hello ", "space-after"},
      {"Hello", "", "42", "Hello ", "space-after"},
      {"Hello", "", " world", "Hello", "plain"},
      {"Hello", "", ")", "Hello", "plain"},
      // Every note in its order.
      {"The end", "Hello", "world", " the end ", "space+lower+space-after"},
      {"But why?", "well", ";", " but why", "space+lower+no-double-stop"},
      {"So true.", "yes,", ":", " so true", "space+lower+no-double-stop"},
  };
  for (const auto& c : cases) expectFits(c);
}

TEST(FitText, EmptyTextIsLeftAlone) {
  EXPECT_EQ(fitText("", "Hello", "world"), (FittedText{"", "none"}));
  EXPECT_EQ(fitText("", "", ""), (FittedText{"", "none"}));
}

TEST(FitText, BlankTextIsFittedLikeAnyOther) {
  expectFits({" ", "Hello", "", "  ", "space"});
  expectFits({"\t", "", "", "\t", "plain"});
}

TEST(FitText, UnicodeLettersNumbersAndMarks) {
  const FitCase cases[] = {
      // Letters of any script continue a sentence.
      {"The café.", "Voilà", "", " the café.", "space+lower"},
      {"And then.", "Straße", "", " and then.", "space+lower"},
      {"And then.", "λόγος", "", " and then.", "space+lower"},
      {"And then.", "日本語", "", " and then.", "space+lower"},
      // A letter whose accent is a separate combining mark is still a letter.
      {"And then.", "cafe\u0301", "", " and then.", "space+lower"},
      // Any numeric character: fractions, Roman numerals, other scripts' digits.
      {"And more.", "about ½", "", " and more.", "space+lower"},
      {"And more.", "chapter \u2167", "", " and more.", "space+lower"},
      {"And more.", "\u0663", "", " and more.", "space+lower"},
      // Letters and numbers after the cursor, in any script.
      {"Hello", "", "élan", "Hello ", "space-after"},
      {"Hello", "", "日本", "Hello ", "space-after"},
      {"Hello", "", "\u0663", "Hello ", "space-after"},
      // A non-breaking space before the cursor counts as a space.
      {"The end.", "Hello\u00A0", "", "the end.", "lower"},
      // Words of other scripts are never lower-cased.
      {"Über alles.", "and ", "", "Über alles.", "plain"},
      {"Ωμέγα.", "and ", "", "Ωμέγα.", "plain"},
  };
  for (const auto& c : cases) expectFits(c);
}

TEST(FitText, EmojiAtTheEnds) {
  const FitCase cases[] = {
      // An emoji is neither a letter nor an opening character.
      {"The end.", "Great \U0001F44D", "", " The end.", "space"},
      {"The end.", "Great \U0001F44D\U0001F3FD", "", " The end.", "space"},
      {"The end.", "family \U0001F468\u200D\U0001F469\u200D\U0001F467", "", " The end.", "space"},
      {"\U0001F389 The end.", "Hello ", "", "\U0001F389 The end.", "plain"},
      {"Party \U0001F389", "", "\U0001F389", "Party \U0001F389", "plain"},
      {"Party \U0001F389", "", ".", "Party \U0001F389", "plain"},
      {"Done.", "", "\U0001F600", "Done.", "plain"},
  };
  for (const auto& c : cases) expectFits(c);
}

TEST(FitText, InvalidUtf8IsRepaired) {
  const FittedText fitted = fitText("The \xff end.", "Hello\xc3", "\xe2\x82");
  // The stray byte ending `before` reads as U+FFFD, which is no letter.
  EXPECT_EQ(fitted.text, " The \uFFFD end.");
  EXPECT_EQ(fitted.note, "space");
}

TEST(FitText, LongTextsFit) {
  std::string before(100000, 'a');
  std::string text = "The end";
  for (int i = 0; i < 10000; ++i) text += " and more";
  const FittedText fitted = fitText(text, before, "b");
  EXPECT_EQ(fitted.note, "space+lower+space-after");
  EXPECT_EQ(fitted.text, " t" + text.substr(1) + " ");
}

TEST(FitToContext, UsesTheContextWhenThereIsOne) {
  const CursorContext context{"Hello, ", ".", CursorContext::Kind::singleLine, "org.example.Chat"};
  EXPECT_EQ(fitToContext("The end.", context), (FittedText{"the end", "lower+no-double-stop"}));
  EXPECT_EQ(fitToContext("The end.", std::nullopt), (FittedText{"The end.", "none"}));
  EXPECT_EQ(fitToContext("", context), (FittedText{"", "none"}));
  EXPECT_EQ(fitToContext("Hi", CursorContext{}), (FittedText{"Hi", "plain"}));
}

TEST(ContinuationWords, HoldTheSmallWordsOnly) {
  const auto& words = continuationWords();
  for (const char* word : {"a", "the", "it's", "let's", "we're", "already", "ok", "okay"}) {
    EXPECT_TRUE(words.contains(word)) << word;
  }
  for (const char* word : {"i", "i'm", "The", "anna", "", "it\u2019s"}) {
    EXPECT_FALSE(words.contains(word)) << word;
  }
}

struct TextCase {
  std::string input;
  std::string expected;
};

TEST(DropFinalPeriod, DropsOnlyAnOrdinaryFinalStop) {
  const TextCase cases[] = {
      {"See you at 5 p.m.", "See you at 5 p.m."},
      {"Meet me in the U.S.", "Meet me in the U.S."},
      {"Wait...", "Wait..."},
      {"See you soon.", "See you soon"},
      {"Thanks. See you.", "Thanks. See you"},
      {"- Milk.\n- Eggs.", "- Milk.\n- Eggs."},
      {"Buy:\n- Milk.\n- Eggs.", "Buy:\n- Milk.\n- Eggs."},
      {"Open notes.txt.", "Open notes.txt."},
      {"Update to v1.2.", "Update to v1.2."},
      {"Apples, pears etc.", "Apples, pears etc."},
      {"Fruit, E.G.", "Fruit, E.G."},
      {"Smith Jr.", "Smith Jr."},
      {"Acme Inc.", "Acme Inc."},
      {"Main St.", "Main St."},
      // Trailing whitespace stays; only the full stop goes.
      {"See you soon.  \n", "See you soon  \n"},
      {"  See you soon.", "  See you soon"},
      {"Line one.\nLine two.", "Line one.\nLine two"},
      {"Done!", "Done!"},
      {"Really?", "Really?"},
      {"Wait\u2026", "Wait\u2026"},
      {"No stop", "No stop"},
      {"A dash - in the middle.", "A dash - in the middle"},
      {".", ""},
      {"", ""},
      {"  \n", "  \n"},
      {"Ça va.", "Ça va"},
      {"Great \U0001F44D.", "Great \U0001F44D"},
      {"\U0001F44D.", "\U0001F44D"},
  };
  for (const auto& c : cases) EXPECT_EQ(dropFinalPeriod(c.input), c.expected) << c.input;
}

struct EditCase {
  std::string typed;
  std::string now;
  bool expected;
};

TEST(AddedFinalPeriod, SeesAStopTheUserTyped) {
  const EditCase cases[] = {
      {"ok", "ok.", true},
      {"ok", "Well ok. Then", true},
      {"  See you soon \n", "Chat: See you soon.", true},
      {"Sure!", "Sure!.", false},
      {"Really?", "Really?.", false},
      {"Wait\u2026", "Wait\u2026.", false},
      {"Done.", "Done..", false},
      {"k", "k.", false},
      {"", ".", false},
      {"   ", "   .", false},
      {"See you soon", "See you soon", false},
      {"See you soon", "See you soon!", false},
      // Two characters the user sees, however many code units they take.
      {"\U0001F44D", "\U0001F44D.", false},
      {"\U0001F44D\U0001F44D", "\U0001F44D\U0001F44D.", true},
      {"e\u0301", "e\u0301.", false},
      {"Ça", "Ça.", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(addedFinalPeriod(c.typed, c.now), c.expected) << c.typed << " / " << c.now;
  }
}

TEST(RemovedFinalPeriod, SeesAStopTheUserDeleted) {
  const EditCase cases[] = {
      {"See you soon.", "See you soon", true},
      {"See you soon.", "See you soon  \t", true},
      {"See you soon.", "Hi\nSee you soon\nBye", true},
      {"See you soon.", "See you soon\r\nBye", true},
      {"See you soon.", "See you soon.", false},
      {"See you soon.", "See you soon!", false},
      {"See you soon.", "See you soon and more", false},
      {"See you soon.", "Something else", false},
      {"  See you soon.\n", "See you soon", true},
      // The last place where the text stands decides.
      {"Yes.", "Yes and Yes", true},
      {"Yes.", "Yes and Yes sir", false},
      {"Ok.", "Ok", true},
      {"k.", "k", false},
      {"Wait..", "Wait.", false},
      {"No stop", "No stop", false},
      {"", "", false},
      {"Great \U0001F44D.", "Great \U0001F44D", true},
      {"\U0001F44D.", "\U0001F44D", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(removedFinalPeriod(c.typed, c.now), c.expected) << c.typed << " / " << c.now;
  }
}

TEST(Fitting, SafeFromSeveralThreadsAtOnce) {
  // The first calls build the shared word table; every thread must see it whole.
  std::vector<std::thread> threads;
  std::vector<char> wrong(4, 0);
  for (size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&wrong, t] {
      for (int i = 0; i < 200; ++i) {
        if (fitText("The end.", "Hello, ", "") != FittedText{"the end.", "lower"}) wrong[t] = 1;
        if (dropFinalPeriod("See you soon.") != "See you soon") wrong[t] = 1;
        if (!removedFinalPeriod("Great \U0001F44D.", "Great \U0001F44D")) wrong[t] = 1;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (const char sawWrong : wrong) EXPECT_FALSE(sawWrong);
}

}  // namespace
}  // namespace quorvel::TextHelpers
