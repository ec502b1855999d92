#include "engine/CleanupHeader.h"

#include <gtest/gtest.h>

#include "engine/EngineTimings.h"

namespace quorvel {
namespace {

TEST(CleanupHeader, LinesAppearOnlyWhenTheyApply) {
  struct Case {
    std::vector<std::string> names;
    std::optional<std::string> before, after, field;
    int version;
    std::string expected;
  };
  const Case cases[] = {
      {{}, std::nullopt, std::nullopt, std::nullopt, 3, ""},
      {{}, std::nullopt, std::nullopt, "chat message", 3, "Field: chat message\nDictation: "},
      {{}, std::nullopt, std::nullopt, "", 2, "Field: \nDictation: "},
      {{}, " \n\t", "  ", std::nullopt, 3, ""},  // blank context writes nothing
      {{"Anna", "Kubernetes"}, "Hi there ", " see\n you  later ", "email", 3,
       "Names: Anna, Kubernetes\nBefore the cursor: \"Hi there \"\nAfter the cursor: \"see you "
       "later\"\nField: email\nDictation: "},
      // Version 2 never shows the text after the cursor.
      {{}, "Hello", "world", std::nullopt, 2, "Before the cursor: \"Hello\"\nDictation: "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cleanupHeader(c.names, c.before, c.after, c.field, c.version), c.expected);
  }
}

TEST(CleanupHeader, LimitsNamesAndContextLengths) {
  std::vector<std::string> names;
  for (int i = 0; i < 30; ++i) names.push_back("N" + std::to_string(i));
  const std::string header = cleanupHeader(names, std::nullopt, std::nullopt, std::nullopt, 3);
  EXPECT_NE(header.find("N23\n"), std::string::npos);
  EXPECT_EQ(header.find("N24"), std::string::npos);

  const std::string before = "x" + std::string(299, 'b');
  const std::string longAfter(150, 'a');
  const std::string v3 = cleanupHeader({}, "A" + before, longAfter, std::nullopt, 3);
  EXPECT_EQ(v3, "Before the cursor: \"" + before + "\"\nAfter the cursor: \"" +
                    std::string(100, 'a') + "\"\nDictation: ");
  const std::string v2 = cleanupHeader({}, "A" + before, longAfter, std::nullopt, 2);
  EXPECT_EQ(v2, "Before the cursor: \"" + std::string(200, 'b') + "\"\nDictation: ");
}

TEST(CleanupHeader, NeverCutsAnEmojiInHalf) {
  // "😀" is two UTF-16 units; a cut through it moves past the whole emoji.
  const std::string before = "😀" + std::string(199, 'b');
  EXPECT_EQ(cleanupHeader({}, before, std::nullopt, std::nullopt, 2),
            "Before the cursor: \"" + std::string(199, 'b') + "\"\nDictation: ");
  const std::string after = std::string(99, 'a') + "😀z";
  EXPECT_EQ(cleanupHeader({}, std::nullopt, after, std::nullopt, 3),
            "After the cursor: \"" + std::string(99, 'a') + "\"\nDictation: ");
}

TEST(EngineTimings, NeedsAnIntegerPromptCountAndZeroesTheRest) {
  EXPECT_FALSE(EngineTimings::fromJson(Json::parse(R"({"predicted_n": 4})")));
  EXPECT_FALSE(EngineTimings::fromJson(Json::parse(R"({"prompt_n": "4"})")));
  EXPECT_FALSE(EngineTimings::fromJson(Json::parse("[1]")));
  EXPECT_EQ(EngineTimings::fromJson(Json::parse(R"({"prompt_n": 7})")), (EngineTimings{7}));
  auto full = EngineTimings::fromJson(Json::parse(
      R"({"prompt_n": 7, "prompt_ms": 12.9, "predicted_n": 3, "predicted_ms": 1e300,
          "draft_n": "x", "draft_n_accepted": 2})"));
  ASSERT_TRUE(full);
  EXPECT_EQ(*full, (EngineTimings{7, 12, 3, 0, 0, 2}));
  EXPECT_EQ(full->dict(), Json::parse(R"({"read_tokens":7,"read_ms":12,"wrote_tokens":3,
                                          "write_ms":0,"guessed":0,"guessed_right":2})"));
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST(FieldName, KindFirstThenTheApplicationByTheFirstMatchingList) {
  using Kind = CursorContext::Kind;
  struct Case {
    Kind kind;
    std::optional<std::string> app;
    const char* expected;
  };
  const Case cases[] = {
      {Kind::search, "com.slack", "search box"},
      {Kind::singleLine, "org.mozilla.Thunderbird", "single line"},
      {Kind::multiLine, "com.microsoft.Word", "notes"},
      {Kind::multiLine, "org.gnome.Evolution.Mail", "email"},
      {Kind::multiLine, "com.Slack.Desktop", "chat message"},  // compared in lower case
      {Kind::unknown, std::nullopt, "text"},
      {Kind::multiLine, "org.gnome.gedit", "text"},
      {Kind::multiLine, "com.apple.mail.notes", "email"},  // email's list comes first
      {Kind::multiLine, "teams.notes", "chat message"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fieldName(CursorContext{"", "", c.kind, c.app}), c.expected) << c.app.value_or("-");
  }
}

}  // namespace
}  // namespace quorvel
