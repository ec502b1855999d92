// Laying out a one-paragraph dictated e-mail as a letter.
#include "text/TextHelpers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorvel::TextHelpers {
namespace {

struct Case {
  std::string input;
  std::optional<std::string> letter;
};

TEST(FormatLetter, LaysOutGreetingBodyClosingAndSignOff) {
  const Case cases[] = {
      {"Hi Sam thanks for the notes. The plan works for me. Let me know if the date moves. Best regards Alex",
       "Hi Sam,\n\nThanks for the notes. The plan works for me.\n\nLet me know if the date moves.\n\nBest regards,\nAlex"},
      {"hi there Sam, see you soon. cheers Jo",
       "Hi Sam,\n\nSee you soon.\n\nCheers,\nJo"},
      {"good morning team we ship today. Thanks Ana",
       "Good Morning team,\n\nWe ship today.\n\nThanks,\nAna"},
      {"Dear Dr. Lee, the results are in. Kind regards Jo Park.",
       "Dear Dr. Lee,\n\nThe results are in.\n\nKind regards,\nJo Park"},
      {"HEY SAM we won! BEST REGARDS ALEX",
       "Hey SAM,\n\nWe won.\n\nBest regards,\nALEX"},  // the sign-off takes the "!"
      {"Hello everyone, the build is green. Thanks so much, Priya O’Neil",
       "Hello everyone,\n\nThe build is green.\n\nThanks so much,\nPriya O’Neil"},
      {"Hi Zoë, see you. Cheers Zoë", "Hi Zoë,\n\nSee you.\n\nCheers,\nZoë"},
      {"Hi Sam, 🎉 we won. Cheers Al", "Hi Sam,\n\n🎉 we won.\n\nCheers,\nAl"},
      {"Hi Sam, élan matters. Cheers Al", "Hi Sam,\n\nÉlan matters.\n\nCheers,\nAl"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatLetter(c.input), c.letter) << c.input;
}

TEST(FormatLetter, ClosingParagraphOnlyAmongTheLastTwoSentencesAndNeverTheFirst) {
  const Case cases[] = {
      // the only sentence is the first: no closing paragraph
      {"Hi Sam, thanks a lot. Best Alex", "Hi Sam,\n\nThanks a lot.\n\nBest,\nAlex"},
      // second to last sentence opens it and takes the last one along
      {"Hi Sam, one. let me know soon. it is fine. Best Alex",
       "Hi Sam,\n\nOne.\n\nlet me know soon. it is fine.\n\nBest,\nAlex"},
      // earlier than the last two: stays in the main paragraph
      {"Hi Sam, one. thanks. two. three. Best Alex",
       "Hi Sam,\n\nOne. thanks. two. three.\n\nBest,\nAlex"},
      // the sign-off match takes the mark before it; the body ends in "." again
      {"Hi Sam, one. two. Looking forward to it! Best Alex",
       "Hi Sam,\n\nOne. two.\n\nLooking forward to it.\n\nBest,\nAlex"},
      {"Hi Sam, one. Let's catch up. Best Alex",
       "Hi Sam,\n\nOne.\n\nLet's catch up.\n\nBest,\nAlex"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatLetter(c.input), c.letter) << c.input;
}

TEST(FormatLetter, GivesNothingUnlessItIsAOneParagraphLetter) {
  const std::string notLetters[] = {
      "",
      "Hi Sam,\nthanks for the notes. Best regards Alex",  // already has lines
      "Hi Sam thanks for the notes.",                      // no sign-off
      "hi sam thanks for the notes. Best regards Alex",    // name must be capitalised
      "Hi Sam,   Best regards Alex",                       // nothing between them
      "Thanks for the notes. Best regards Alex",           // no greeting
      "Hi Sam thanks. Best regards alex",                  // signature must be capitalised
      "Hi Sam thanks. Best regards Alex and more words",   // sign-off must end the text
  };
  for (const auto& text : notLetters) EXPECT_EQ(formatLetter(text), std::nullopt) << text;
}

TEST(Levenshtein, CountsEditsIgnoringCase) {
  struct DistanceCase {
    std::string a, b;
    int distance;
  } cases[] = {
      {"", "", 0},
      {"", "abc", 3},
      {"abc", "", 3},
      {"kitten", "sitting", 3},
      {"Kitten", "KITTEN", 0},
      {"flaw", "lawn", 2},
      {"café", "cafe", 1},
      {"ΑΒΓ", "αβγ", 0},
      {"日本", "日本語", 1},
      {"😀", "😃", 1},
      {"😀a", "a", 1},
      {"", "😀😀", 2},
      {"straße", "STRASSE", 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(levenshtein(c.a, c.b), c.distance) << c.a << " / " << c.b;
    EXPECT_EQ(levenshtein(c.b, c.a), c.distance) << c.b << " / " << c.a;
  }
}

}  // namespace
}  // namespace quorvel::TextHelpers
