// Spoken commands: sign-offs stripped from the end, leftover editing commands
// removed line by line.
#include "text/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::TextHelpers {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(StripClosingCommands, RemovesSignOffsAtTheEnd) {
  const Case cases[] = {
      {"Send it today. That's it.", "Send it today."},
      {"Send it", "Send it."},
      {"Send it!", "Send it!"},
      {"Really?", "Really?"},
      {"Go now, thats it!", "Go now."},
      {"We're done okay that's it", "We're done."},
      {"Done.   that's it  \n\n", "Done."},
      {"Line one.\nThat's it.", "Line one."},
      {"Book the room. And yeah.", "Book the room."},
      {"Book the room, and yeah", "Book the room."},
      {"Book it, so yeah!!", "Book it."},
      {"Book it and yeah", "Book it and yeah."},  // needs a mark or comma before
      {"Fix the bug. Let's tidy it up.", "Fix the bug."},
      {"Fix the bug, please format everything up nicely", "Fix the bug."},
      {"Fix the bug. Can you clean this up properly?", "Fix the bug. Can you clean this up properly?"},
      {"That's it for the intro. Next part", "That's it for the intro. Next part."},
      {"Great 😀. And yeah.", "Great 😀."},
      {"Café fermé. That’s it.", "Café fermé. That’s it."},  // a curly apostrophe is not the command
      // case-insensitive matching also takes case variants such as the long s
      {"Done. THAT'ſ IT.", "Done."},
  };
  for (const auto& c : cases) EXPECT_EQ(stripClosingCommands(c.input), c.expected) << c.input;
}

TEST(StripClosingCommands, RepeatsUntilNothingChanges) {
  const Case cases[] = {
      {"Ship it. And yeah. That's it.", "Ship it."},
      // the last pattern uncovers what an earlier one removes in the next pass
      {"Ship it, and yeah. Format this.", "Ship it."},
      {"Done. That's it. That's it.", "Done."},
      {"Done, and yeah, so yeah. that's it. clean it up.", "Done."},
  };
  for (const auto& c : cases) EXPECT_EQ(stripClosingCommands(c.input), c.expected) << c.input;
}

TEST(StripClosingCommands, TextThatIsOnlyACommandStaysAsSpoken) {
  const Case cases[] = {
      {"that's it", "that's it"},
      {"  That's it.  \n", "That's it."},
      {"Okay, that's it.", "Okay, that's it."},
      {"Please format this nicely.", "Please format this nicely."},
      {"", ""},
      {" \n\t", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(stripClosingCommands(c.input), c.expected) << c.input;
}

TEST(StripClosingCommands, LongTextWithoutCommandOnlyGainsAFullStop) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "this is fine and that is it ";
  text += "and so";
  EXPECT_EQ(stripClosingCommands(text), text.substr(0, text.size()) + ".");
}

TEST(StripClosingCommands, LongRunBeforeTheCommandGoesWithIt) {
  const std::string run(20000, ' ');
  EXPECT_EQ(stripClosingCommands("Keep this" + run + ",.," + run + "that's it"), "Keep this.");
}

TEST(RemoveLeftoverCommands, DropsCommandSentences) {
  const Case cases[] = {
      {"Buy milk. Scratch that.\n- Eggs. New bullet", "Buy milk.\n- Eggs"},
      {"Scratch that.", ""},
      {"Oh, delete that!", ""},
      {"That's it", ""},
      {"Actually, scratch that last part. Send it Friday.", "Send it Friday."},
      {"Forget that. I'll call. Scratch that", "I'll call"},
      {"Done.  Next bullet.", "Done."},
      {"Please format this up nicely.", ""},
      {"Let's clean it.", ""},
      {"Make it a list.", ""},
      {"Can you turn these into a bulleted list.", ""},
      {"Bullet point", ""},
      {"Käse kaufen. Scratch that.", "Käse kaufen."},
      {"😀 Done. New bullet", "😀 Done"},
      // not commands
      {"Can you turn these into a bulleted list?", "Can you turn these into a bulleted list?"},
      {"Scratch that itch.", "Scratch that itch."},
      {"Bullet points:", "Bullet points:"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(removeLeftoverCommands(c.input), c.expected) << c.input;
}

TEST(RemoveLeftoverCommands, KeepsListLinesAndLayout) {
  const Case cases[] = {
      {"- Milk\n- New bullet\n- Eggs", "- Milk\n- Eggs"},
      {"- Milk.\n- Bulleted points.\n- Eggs.", "- Milk.\n- Eggs."},
      {"-   spaced item", "- spaced item"},
      {"- Milk. Delete that. Eggs.", "- Milk. Eggs."},
      {"-no space is no list. Scratch that", "-no space is no list"},
      {"- ", ""},  // an empty list item is not a blank line
      {"Hello.\n\n\n\nWorld.", "Hello.\n\nWorld."},
      {"Para one.\nDelete that.\n\nPara two.", "Para one.\n\nPara two."},
      {"A.\n   \nB.", "A.\n   \nB."},
      {"Scratch that.\nKeep this.", "Keep this."},
      {"\n\nKeep this.\n\n", "Keep this."},
  };
  for (const auto& c : cases) EXPECT_EQ(removeLeftoverCommands(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace quorvel::TextHelpers
