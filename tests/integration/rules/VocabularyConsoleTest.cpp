// The console lines of the personal words and the correction finder.
#include "VocabularyRules.h"

#include <gtest/gtest.h>

namespace quorvel::rules {
namespace {

Json ask(const std::string& line) {
  const auto request = parseJson(line);
  EXPECT_TRUE(request.has_value()) << line;
  const auto answer = answerVocabularyRequest(request.value_or(Json::object()));
  EXPECT_TRUE(answer.has_value()) << line;
  return answer.value_or(Json());
}

TEST(VocabularyConsole, RunsPersonalWordOperationsInOrder) {
  const Json answer = ask(R"({"fn": "personal", "words": {"dictionary": ["Anna"], "recent": ["Anna"]},
    "ops": [["add", " bob "], ["absorb", [{"heard": "Jon", "meant": "John", "replace": true}]],
            ["noteUsed", "anna and bob"], ["promptNames"],
            ["absorb", [{"heard": "John", "meant": "Jon", "replace": true}]], ["remove", ["bob"]]]})");
  ASSERT_TRUE(answer.contains("result")) << answer.dump();
  const Json& result = answer["result"];
  EXPECT_EQ(result["results"][1], Json({{"learned", 1}, {"unlearned", 0}}));
  EXPECT_EQ(result["results"][2], true);
  EXPECT_EQ(result["results"][3], Json({"Anna", "bob", "John"}));
  EXPECT_EQ(result["results"][4], Json({{"learned", 0}, {"unlearned", 1}}));
  EXPECT_EQ(result["words"]["dictionary"], Json({"Anna"}));
  EXPECT_EQ(result["words"]["aliases"], Json::object());
}

TEST(VocabularyConsole, CallsTheFreeFunctionsAndTheFinder) {
  EXPECT_EQ(ask(R"({"fn": "hasWord", "args": ["call O'Brien", "o'brien"]})")["result"], true);
  EXPECT_EQ(ask(R"({"fn": "applyDictionary", "args": ["the jira board", ["JIRA"], {"board": "Board/X $1"}]})")["result"],
            "the JIRA Board/X $1");
  EXPECT_EQ(ask(R"({"fn": "FixFinder.soundKey", "args": ["smith"]})")["result"], "53");
  EXPECT_EQ(ask(R"({"fn": "FixFinder.judge", "args": ["their", "there"], "frequency": {"their": 5.8, "there": 6.6}})")["result"],
            Json({{"heard", "their"}, {"meant", "there"}, {"replace", false}, {"learn", false}}));
  // The shipped list knows "came" and "smith" as common words.
  EXPECT_EQ(ask(R"({"fn": "FixFinder.corrections", "args": ["john smith came", "Jon Smith came"]})")["result"].size(), 1u);
  EXPECT_TRUE(ask(R"({"fn": "FixFinder.corrections", "args": ["we met", "nothing"]})")["result"].is_null());
  EXPECT_EQ(ask(R"({"fn": "FixFinder.prevEnd", "args": ["a. b c", 1]})")["result"], ".");
}

TEST(VocabularyConsole, LooksInSequence) {
  const Json answer = ask(R"({"fn": "Memory.look", "looks": [
      [[{"heard": "jon", "meant": "John", "replace": true, "learn": true}], "we met John", " today"],
      [[], "we met John today. ", ""]]})");
  ASSERT_TRUE(answer.contains("result")) << answer.dump();
  EXPECT_EQ(answer["result"]["results"][1].size(), 1u);
  EXPECT_EQ(answer["result"]["memory"]["finished"].size(), 1u);
}

TEST(VocabularyConsole, BadRequestsAreErrorsAndOthersAreNotOurs) {
  for (const char* line : {R"({"fn": "hasWord", "args": ["only one"]})", R"({"fn": "hasWord", "args": [1, 2]})",
                           R"({"fn": "personal", "ops": [["explode"]]})", R"({"fn": "personal", "ops": "x"})",
                           R"({"fn": "Memory.look", "looks": [[[{"heard": 1}], "", ""]]})",
                           R"({"fn": "FixFinder.unusual", "args": ["x"], "frequency": {"x": "high"}})"}) {
    EXPECT_TRUE(ask(line).contains("error")) << line;
  }
  EXPECT_FALSE(answerVocabularyRequest(Json{{"fn", "lightClean"}, {"args", {"x"}}}).has_value());
  EXPECT_FALSE(answerVocabularyRequest(Json::array()).has_value());
}

}  // namespace
}  // namespace quorvel::rules
