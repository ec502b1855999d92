// The phrases a speech model writes for silence.
#include "audio/Hallucination.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(SilenceHallucination, MatchesTheStockPhrasesOnly) {
  struct Case {
    const char* text;
    bool expected;
  };
  const Case cases[] = {
      {"", true},
      {" Thank you. ", true},
      {"...", true},
      {"\u2026", true},
      {"  \n\t", true},
      {"YOU!", true},
      {"\"Bye.\"\n", true},
      {"Thanks for watching!", true},
      {"thank you for watching.", true},
      {"\u00bfThanks?", true},
      {"Thank you for the report.", false},
      {"you know", false},
      {"thank  you", false},
      {"(music)", false},
      {"\u266a", false},
      {"bye bye", false},
      {"\xff", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isSilenceHallucination(c.text), c.expected) << '"' << c.text << '"';
}

}  // namespace
}  // namespace quorvel
