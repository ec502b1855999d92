// User-perceived characters: where each starts, how many there are and where
// the last one begins, on the quick path (every code unit a character) and
// through ICU, and at the edge between the two.
#include "text/Graphemes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel::graphemes {
namespace {

TEST(Graphemes, StartsCountAndPreviousStartAgreeOnEveryKindOfCharacter) {
  struct Case {
    const char* name;
    std::u16string text;
    std::vector<int32_t> starts;
  } cases[] = {
      {"empty", u"", {0}},
      {"plain letters", u"abc", {0, 1, 2, 3}},
      {"Latin-1 letters", u"\u00E9\u00FF", {0, 1, 2}},
      {"soft hyphen stands alone", u"a\u00ADb", {0, 1, 2, 3}},
      {"CR LF is one", u"a\r\nb", {0, 1, 3, 4}},
      {"LF CR is two", u"\n\r", {0, 1, 2}},
      {"a lone CR at the end", u"a\r", {0, 1, 2}},
      {"the first combining mark joins its letter", u"a\u0300", {0, 2}},
      {"accent on a letter", u"e\u0301x", {0, 2, 3}},
      {"surrogate pair", u"\U0001F600!", {0, 2, 3}},
      {"lone surrogate", std::u16string(u"\xD83D") + u"a", {0, 1, 2}},
      {"family joined by ZWJ", u"\U0001F469\u200D\U0001F469\u200D\U0001F467", {0, 8}},
      {"two flags", u"\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", {0, 4, 8}},
      {"Hangul jamo", u"\u1100\u1161", {0, 2}},
      {"ZWJ after a letter", u"x\u200Dy", {0, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const icu::UnicodeString text(c.text.data(), static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(starts(text), c.starts);
    EXPECT_EQ(count(text), static_cast<int32_t>(c.starts.size()) - 1);
    for (size_t k = 0; k + 1 < c.starts.size(); ++k) {
      EXPECT_EQ(previousStart(text, c.starts[k + 1]), c.starts[k]) << "character " << k;
    }
  }
}

}  // namespace
}  // namespace quorvel::graphemes
