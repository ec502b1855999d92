#include "support/Utf8.h"

#include <gtest/gtest.h>

#include "support/Json.h"

namespace quorvel {
namespace {

TEST(RepairUtf8, ReplacesEachBrokenSequenceAndKeepsValidText) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"plain", "plain"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},  // é and an emoji
      {"a\xFF" "b", "a" + fffd + "b"},
      {"\xC3", fffd},                           // cut short at the end
      {"\xE2\x82" "x", fffd + "x"},             // a truncated three-byte sequence is one error
      {"\xED\xA0\x80", fffd + fffd + fffd},     // an encoded surrogate is not UTF-8
      {"\xC0\xAF", fffd + fffd},                // overlong
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repairUtf8(c.input), c.expected);
    EXPECT_TRUE(isValidUtf8(repairUtf8(c.input)));
    EXPECT_EQ(isValidUtf8(c.input), c.input == c.expected);
  }
}

TEST(Json, BrokenTextNeverThrows) {
  EXPECT_FALSE(parseJson("{not json").has_value());
  EXPECT_FALSE(parseJson("").has_value());
  auto repaired = parseJson("{\"text\": \"a\xFF\"}");
  ASSERT_TRUE(repaired.has_value());
  EXPECT_EQ((*repaired)["text"], "a\xEF\xBF\xBD");
  EXPECT_EQ(compactJson(Json{{"a", "b\xFF"}, {"path", "x/y"}}), "{\"a\":\"b\xEF\xBF\xBD\",\"path\":\"x/y\"}");
}

std::string nested(int depth, const std::string& inner = "1") {
  return std::string(static_cast<size_t>(depth), '[') + inner + std::string(static_cast<size_t>(depth), ']');
}

TEST(Json, RefusesNestingBeyondTheLimitBeforeParsing) {
  struct Case {
    std::string text;
    bool parses;
  };
  const Case cases[] = {
      {nested(kMaxJsonDepth), true},
      {nested(kMaxJsonDepth + 1), false},
      {"{\"a\":" + nested(kMaxJsonDepth - 1) + "}", true},
      {"{\"a\":" + nested(kMaxJsonDepth) + "}", false},
      {nested(50000), false},
      {std::string(20000, '{'), false},  // unclosed as well as too deep
      // Brackets inside strings, escaped quotes included, are text.
      {"{\"text\":\"" + std::string(1000, '[') + "\\\"" + std::string(1000, '{') + "\"}", true},
      // Siblings do not add up: only the depth counts.
      {"[" + nested(kMaxJsonDepth - 1) + "," + nested(kMaxJsonDepth - 1) + "]", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseJson(c.text).has_value(), c.parses) << c.text.substr(0, 80);
  }
}

}  // namespace
}  // namespace quorvel
