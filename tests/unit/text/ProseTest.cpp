// Prose repairs: greeting commas, punctuation spacing, doubled words, the
// pronoun "I", sentence-start capitals, and code left alone.
#include "text/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::TextHelpers {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(GreetingWithoutComma, RemovesTheCommaBeforeANameOrGroup) {
  const Case cases[] = {
      {"Hi, Anna, how are you?", "Hi Anna, how are you?"},
      {"Hello, team.", "Hello team."},
      {"Hey, Dr. Smith!", "Hey Dr. Smith!"},
      {"Hi, Anna Marie, welcome", "Hi Anna Marie, welcome"},
      {"Hi, Anna", "Hi Anna"},
      {"Hi,  Anna,", "Hi Anna,"},
      {"Hi, Team,", "Hi Team,"},
      {"Hi, O’Brien,", "Hi O’Brien,"},
      {"Thanks.\nHey, folks, see you", "Thanks.\nHey folks, see you"},
      {"Hi, anna,", "Hi, anna,"},           // a name starts with a capital
      {"Hi, Anna how are you", "Hi, Anna how are you"},  // no mark or end after the name
      {"Well, hi, Anna,", "Well, hi, Anna,"},  // not at a line start
      {"hi, Anna,", "hi, Anna,"},           // greeting words are capitalised
      {"Hi, Élodie,", "Hi, Élodie,"},       // names start with A-Z
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(greetingWithoutComma(c.input), c.expected) << c.input;
}

TEST(FixProse, RepairsSpacingDoubledWordsAndPronoun) {
  const Case cases[] = {
      {"", ""},
      {"hello , world .", "hello, world."},
      {"wait ;x", "wait ;x"},  // the mark must be followed by whitespace or the end
      {"the the end", "the end"},
      {"The the end", "The end"},
      {"it it works and and then", "it works and then"},
      {"a an apple", "a an apple"},
      {"theme them", "theme them"},
      {"i think i'm fine", "I think I'm fine"},
      {"i’ll go, i’ve been, i’d say", "I’ll go, I’ve been, I’d say"},
      {"so do i", "so do I"},
      {"wifi is ok, i guess", "wifi is ok, I guess"},
      {"i\nnext", "I\nnext"},
      {"i.e. this", "i.e. this"},
      {"path /usr/i and a@i and x.i and i-th and i'ma", "path /usr/i and a@i and x.i and i-th and i'ma"},
  };
  for (const auto& c : cases) EXPECT_EQ(fixProse(c.input), c.expected) << c.input;
}

TEST(FixProse, CapitalisesSentenceStartsWithItsSkips) {
  const Case cases[] = {
      {"done. next step", "done. Next step"},
      {"ok? yes! so. maybe", "ok? Yes! So. Maybe"},
      {"ok? yes! no. maybe", "ok? Yes! No. maybe"},  // "no." is the abbreviation of number
      {"done.\n\nnext paragraph", "done.\n\nNext paragraph"},
      {"He said \"go.\" then left", "He said \"go.\" Then left"},
      {"(see above.) next", "(see above.) Next"},
      {"done. no.", "done. No."},
      // abbreviations do not end a sentence
      {"see e.g. this", "see e.g. this"},
      {"Call Dr. smith now", "Call Dr. smith now"},
      {"the U.S. economy", "the U.S. economy"},
      {"apples etc. and more", "apples etc. and more"},
      {"(approx. ten)", "(approx. ten)"},
      {"Item No. five", "Item No. five"},
      // file names, addresses, paths, identifiers
      {"done. file.txt is there", "done. file.txt is there"},
      {"done. me@example.com wrote", "done. me@example.com wrote"},
      {"done. usr/bin is there", "done. usr/bin is there"},
      {"done. user_name is set", "done. user_name is set"},
      // commands
      {"done. npm install", "done. npm install"},
      {"done. git push", "done. git push"},
      {"done. https link", "done. https link"},
      // mixed-case names
      {"done. iPhone", "done. iPhone"},
      {"done. gitHub", "done. gitHub"},
      {"done. eBay!", "done. eBay!"},
      // only an ASCII lower-case letter starts a sentence to capitalise
      {"done. über", "done. über"},
      {"done. 😀 next", "done. 😀 next"},
      {"😀. next", "😀. Next"},
      {"a. b", "a. B"},
  };
  for (const auto& c : cases) EXPECT_EQ(fixProse(c.input), c.expected) << c.input;
}

TEST(FixProse, LongTextCapitalisesEverySentence) {
  std::string text, expected;
  for (int i = 0; i < 3000; ++i) {
    text += "done. next ";
    expected += "done. Next ";
  }
  EXPECT_EQ(fixProse(text), expected);
}

TEST(SturdyGrammar, LeavesCodeAloneAndRepairsProse) {
  const Case cases[] = {
      {"Run `npm install`. then done", "Run `npm install`. Then done"},
      {"Use `Redis` here. then go", "Use Redis here. Then go"},
      {"Use `redis` here", "Use `redis` here"},
      {"Use `Two Words` here", "Use `Two Words` here"},
      {"`i think i am` but i know", "`i think i am` but I know"},
      {"`the the` the the", "`the the` the"},
      {"Hi, Anna, the the plan", "Hi Anna, the plan"},
      {"a ` i b", "a ` i b"},  // an unclosed back-quote keeps the rest as code
      {"``", "``"},
      {"", ""},
      {"x `Só` y", "x `Só` y"},  // only ASCII letters make a plain word
  };
  for (const auto& c : cases) EXPECT_EQ(sturdyGrammar(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace quorvel::TextHelpers
