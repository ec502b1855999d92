// The cleanup used without the model, and dash replacement.
#include "text/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel::TextHelpers {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(LightClean, RemovesFillersAndTidies) {
  const Case cases[] = {
      {"um, so hello   world .", "So hello world."},
      {"", ""},
      {" \t\n ", ""},
      {"\tum\t", ""},
      {"ah", ""},
      {"Uhh, I think, hmm. maybe", "I think, maybe"},
      {"ERM okay", "Okay"},
      {"umbrella and drum stay", "Umbrella and drum stay"},
      {"hello , world !", "Hello, world!"},
      {"line one\nline two", "Line one line two"},
      {"\u00A0hi\u00A0", "Hi"},
      {"i", "I"},
      {"éclair", "Éclair"},
      {"ßtraße", "SStraße"},
      {"ωμέγα", "Ωμέγα"},
      {"😀 emoji first", "😀 emoji first"},
      {"日本語 ok", "日本語 ok"},
      {"hmmm... yes", ".. yes"},
  };
  for (const auto& c : cases) EXPECT_EQ(lightClean(c.input), c.expected) << c.input;
}

TEST(RemoveDashes, ReplacesDashesInOrder) {
  const Case cases[] = {
      // Without an em or en dash nothing changes, not even double spaces.
      {"plain - hyphen,  two spaces", "plain - hyphen,  two spaces"},
      {"", ""},
      {"pages 10 – 12", "pages 10-12"},
      {"It works — Really", "It works. Really"},
      {"Wait —", "Wait."},
      {"fast — cheap", "fast, cheap"},
      {"1—2 and 3 – 4", "1-2 and 3-4"},
      // number ranges are settled before the capital-letter rule
      {"2 — 3 — Next", "2-3. Next"},
      // a dash after a mark is a space, before the capital-letter rule sees it
      {"Done! — Yes", "Done! Yes"},
      {"Price: — 5", "Price: 5"},
      {"— leading dash", "leading dash"},
      {"line one\n — item", "line one\nitem"},
      {"from 5 — Then", "from 5. Then"},
      {"It ends—", "It ends."},
      {"wait — .", "wait."},
      {"em—dash", "em, dash"},
      {"a — — b", "a, , b"},
      {"a  b — c", "a b, c"},
      {"Hi — 🎉 party", "Hi, 🎉 party"},
      {"été — Über", "été, Über"},  // only A-Z count as capitals
      {"—", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(removeDashes(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace quorvel::TextHelpers
