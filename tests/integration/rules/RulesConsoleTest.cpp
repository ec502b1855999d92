// quorvel-rules as a process: every text rule answers by name, bad lines get
// an error line and the console goes on, answers come one per line as soon as
// each request is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RulesProcess.h"
#include "TestSupport.h"
#include "support/Json.h"

namespace quorvel::testing {
namespace {

struct Call {
  std::string request;   // one request line
  std::string expected;  // the whole answer, as JSON
};

// Asks every call in turn on one console and compares the answers as JSON.
void expectAnswers(RulesProcess& console, const std::vector<Call>& calls) {
  for (const Call& call : calls) {
    const auto answer = console.ask(call.request);
    ASSERT_TRUE(answer.has_value()) << "no answer to " << call.request;
    const auto parsed = parseJson(*answer);
    ASSERT_TRUE(parsed.has_value()) << "answer is not JSON: " << *answer;
    EXPECT_EQ(*parsed, Json::parse(call.expected)) << call.request;
  }
}

class RulesConsole : public ::testing::Test {
 protected:
  TempDir home_;
  RulesProcess console_{{{"XDG_CONFIG_HOME", home_.path().string()}}};

  void SetUp() override { ASSERT_TRUE(console_.started()) << "quorvel-rules did not start"; }
  void TearDown() override { EXPECT_EQ(console_.finish(), 0); }
};

TEST_F(RulesConsole, SentenceAndCleaningRulesAnswerByName) {
  expectAnswers(console_, {
      {R"j({"fn":"normalize","args":["[BLANK_AUDIO] (music playing)"]})j", R"({"result":""})"},
      {R"({"fn":"dropSoundLabels","args":["(laughs) okay so"]})", R"({"result":"okay so"})"},
      {R"({"fn":"wordCount","args":[" one  two\nthree "]})", R"({"result":3})"},
      {R"({"fn":"components","args":["a, b,c",",\\s*"]})", R"({"result":["a","b","c"]})"},
      {R"({"fn":"componentsSeparatedBy","args":["abc","x"]})", R"({"result":["abc"]})"},
      {R"({"fn":"sentenceList","args":["one two three four five, six seven eight.",4]})",
       R"({"result":["one two three four five,","six seven eight."]})"},
      {R"({"fn":"sentenceList","args":["",4]})", R"({"result":[]})"},
      {R"({"fn":"groupSentences","args":[["a b c.","d e f.","g h i."],5]})",
       R"({"result":{"pieces":["a b c. d e f."],"rest":"g h i."}})"},
      {R"({"fn":"sentencePieces","args":["a b c d e f. g.",6]})", R"({"result":["a b c d e f. g."]})"},
      {R"({"fn":"sentencePieces","args":["a b c d e f. g h.",6]})",
       R"({"result":["a b c d e f.","g h."]})"},
      {R"({"fn":"joinPieces","args":[["a","","b"]]})", R"({"result":"a b"})"},
      {R"({"fn":"joinPieces","args":[["a\nb","c"]]})", R"({"result":"a\nb\n\nc"})"},
      {R"({"fn":"lightClean","args":["um, so hello   world ."]})", R"({"result":"So hello world."})"},
      {R"({"fn":"removeDashes","args":["pages 10 – 12"]})", R"({"result":"pages 10-12"})"},
      {R"({"fn":"greetingWithoutComma","args":["Hi, Anna, how are you?"]})",
       R"({"result":"Hi Anna, how are you?"})"},
      {R"({"fn":"fixProse","args":["i think i'm fine"]})", R"({"result":"I think I'm fine"})"},
      {R"({"fn":"sturdyGrammar","args":["see `Redis` docs"]})", R"({"result":"see Redis docs"})"},
      {R"({"fn":"stripClosingCommands","args":["Send it today. That's it."]})",
       R"({"result":"Send it today."})"},
      {R"({"fn":"removeLeftoverCommands","args":["Buy milk. Scratch that.\n- Eggs. New bullet"]})",
       R"({"result":"Buy milk.\n- Eggs"})"},
      {R"({"fn":"formatLetter","args":["Hi Sam thanks for the notes. The plan works for me. Let me know if the date moves. Best regards Alex"]})",
       R"({"result":"Hi Sam,\n\nThanks for the notes. The plan works for me.\n\nLet me know if the date moves.\n\nBest regards,\nAlex"})"},
      {R"({"fn":"formatLetter","args":["hi sam see you. Best regards Alex"]})", R"({"result":null})"},
      {R"({"fn":"levenshtein","args":["kitten","SITTING"]})", R"({"result":3})"},
  });
}

TEST_F(RulesConsole, FittingRulesAnswerByName) {
  expectAnswers(console_, {
      {R"({"fn":"fitText","args":["World.","Hello",""]})",
       R"({"result":{"text":" World.","note":"space"}})"},
      {R"({"fn":"fitText","args":["The end","Hello","world"]})",
       R"({"result":{"text":" the end ","note":"space+lower+space-after"}})"},
      {R"({"fn":"fitText","args":["","Hello",""]})", R"({"result":{"text":"","note":"none"}})"},
      {R"({"fn":"fitToContext","args":["The end.",{"before":"Hello, ","after":".","kind":"singleLine","app":"org.example.Chat"}]})",
       R"({"result":{"text":"the end","note":"lower+no-double-stop"}})"},
      {R"({"fn":"fitToContext","args":["The end.",{"before":"Hello ","after":""}]})",
       R"({"result":{"text":"the end.","note":"lower"}})"},
      {R"({"fn":"fitToContext","args":["The end.",null]})",
       R"({"result":{"text":"The end.","note":"none"}})"},
      {R"({"fn":"dropFinalPeriod","args":["Thanks. See you."]})", R"({"result":"Thanks. See you"})"},
      {R"({"fn":"dropFinalPeriod","args":["See you at 5 p.m."]})", R"({"result":"See you at 5 p.m."})"},
      {R"({"fn":"addedFinalPeriod","args":["ok","ok."]})", R"({"result":true})"},
      {R"({"fn":"addedFinalPeriod","args":["Sure!","Sure!."]})", R"({"result":false})"},
      {R"({"fn":"removedFinalPeriod","args":["See you soon.","See you soon"]})", R"({"result":true})"},
      {R"({"fn":"removedFinalPeriod","args":["See you soon.","See you soon."]})", R"({"result":false})"},
  });
  const auto words = console_.ask(R"({"fn":"continuationWords","args":[]})");
  ASSERT_TRUE(words.has_value());
  const Json list = Json::parse(*words).at("result");
  ASSERT_TRUE(list.is_array());
  EXPECT_NE(std::find(list.begin(), list.end(), Json("they're")), list.end());
  EXPECT_EQ(std::find(list.begin(), list.end(), Json("i")), list.end());
}

TEST_F(RulesConsole, FullStopPreferenceLivesInTheUserDefaults) {
  expectAnswers(console_, {
      {R"({"fn":"TextPeriods.on","args":[]})", R"({"result":false})"},
      {R"({"fn":"TextPeriods.userChanged","args":[true]})", R"({"result":null})"},
      {R"({"fn":"TextPeriods.on"})", R"({"result":false})"},
      {R"({"fn":"TextPeriods.userChanged","args":[true]})", R"({"result":null})"},
      {R"({"fn":"TextPeriods.on","args":[]})", R"({"result":true})"},
  });
  const auto stored = parseJson(readTextFile(home_ / "quorvel/defaults.json"));
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->value("textPeriodsOn", false), true);
  EXPECT_EQ(stored->value("textPeriodsVotes", -1), 0);
}

TEST_F(RulesConsole, BadLinesGetAnErrorAndTheConsoleGoesOn) {
  struct BadLine {
    std::string line;
    std::string fragment;  // part of the error message
  };
  const BadLine cases[] = {
      {"", "empty"},
      {"   \t", "empty"},
      {"{not json", "not JSON"},
      {R"({"fn":"lightClean","args":["a"]} trailing)", "not JSON"},
      {std::string("{\"fn\":\"light\0Clean\"}", 19), "not JSON"},
      // A lone surrogate escape is not valid JSON text.
      {R"({"fn":"fitText","args":["a","\ud83d",""]})", "not JSON"},
      {"[1,2]", "object"},
      {R"("lightClean")", "object"},
      {R"({"args":[]})", "\"fn\""},
      {R"({"fn":7,"args":[]})", "\"fn\""},
      {R"({"fn":"noSuchRule","args":[]})", "unknown function: noSuchRule"},
      {R"({"fn":"lightClean","args":[]})", "takes 1 argument, got 0"},
      {R"({"fn":"lightClean"})", "takes 1 argument, got 0"},
      {R"({"fn":"lightClean","args":["a","b"]})", "takes 1 argument, got 2"},
      {R"({"fn":"lightClean","args":[5]})", "argument 1"},
      {R"({"fn":"lightClean","args":[null]})", "argument 1"},
      {R"({"fn":"lightClean","args":"a"})", "must be an array"},
      {R"({"fn":"sentenceList","args":["a","4"]})", "argument 2"},
      {R"({"fn":"sentenceList","args":["a",4.5]})", "argument 2"},
      {R"({"fn":"sentenceList","args":["a",1e20]})", "argument 2"},
      {R"({"fn":"sentenceList","args":["a",99999999999]})", "argument 2"},
      {R"({"fn":"joinPieces","args":[["a",1]]})", "argument 1"},
      {R"({"fn":"joinPieces","args":["a"]})", "argument 1"},
      {R"({"fn":"fitText","args":["a","b"]})", "takes 3 arguments, got 2"},
      {R"({"fn":"fitToContext","args":["a","context"]})", "argument 2"},
      {R"({"fn":"fitToContext","args":["a",{"before":1,"after":""}]})", "\"before\""},
      {R"({"fn":"fitToContext","args":["a",{"before":""}]})", "\"after\""},
      {R"({"fn":"fitToContext","args":["a",{"before":"","after":"","kind":"wide"}]})", "\"kind\""},
      {R"({"fn":"fitToContext","args":["a",{"before":"","after":"","app":5}]})", "\"app\""},
      {R"({"fn":"TextPeriods.userChanged","args":["yes"]})", "argument 1"},
      {R"({"fn":"TextPeriods.on","args":[true]})", "takes 0 arguments, got 1"},
      {R"({"fn":"components","args":["a","("]})", "pattern does not compile"},
      {R"({"fn":"plausible","args":["a","b","0.5"]})", "argument 3 of plausible(text, text, [number])"},
      {R"({"fn":"plausible","args":["a"]})", "takes 2 to 3 arguments, got 1"},
      {R"({"fn":"plausible","args":["a","b",0.5,1]})", "takes 2 to 3 arguments, got 4"},
      // Nesting far beyond any request is refused before it is parsed.
      {R"({"fn":"lightClean","args":)" + std::string(10000, '[') + std::string(10000, ']') + "}",
       "not JSON"},
  };
  for (const BadLine& bad : cases) {
    const auto answer = console_.ask(bad.line);
    ASSERT_TRUE(answer.has_value()) << "no answer to «" << bad.line << "»";
    const auto parsed = parseJson(*answer);
    ASSERT_TRUE(parsed.has_value() && parsed->is_object()) << *answer;
    EXPECT_FALSE(parsed->contains("result")) << bad.line;
    const auto message = stringMember(*parsed, "error");
    ASSERT_TRUE(message.has_value()) << bad.line << " -> " << *answer;
    EXPECT_NE(message->find(bad.fragment), std::string::npos)
        << bad.line << " -> " << *message;

    // The next good request is answered as usual.
    expectAnswers(console_, {{R"({"fn":"lightClean","args":["um hi"]})", R"({"result":"Hi"})"}});
  }
}

// The guards' minimum kept share is theirs unless a request gives one.
TEST_F(RulesConsole, GuardsTakeADecimalMinimumShare) {
  const std::string raw = "deploy staging server tonight";
  const std::string cleaned = "Deploy server.";
  const auto call = [&](const std::string& fn, const Json& extra) {
    Json args = fn == "plausible" ? Json{raw, cleaned} : Json{raw, cleaned, Json::array()};
    if (fn == "usableCleanup") args.push_back(Json::array());
    if (!extra.is_null()) args.push_back(extra);
    return Json{{"fn", fn}, {"args", args}}.dump();
  };
  expectAnswers(console_, {
      {call("plausible", nullptr), R"({"result":false})"},  // 0.65 by default
      {call("plausible", 0.5), R"({"result":true})"},
      {call("plausible", 1), R"({"result":false})"},
      {call("cleanupKeeps", nullptr), R"({"result":true})"},  // 0.5 by default
      {call("cleanupKeeps", 0.75), R"({"result":false})"},
      {call("usableCleanup", nullptr), R"({"result":"Deploy server."})"},
      {call("usableCleanup", 0.9), R"({"result":null})"},
  });
}

TEST_F(RulesConsole, InvalidUtf8AndCarriageReturnsAreTolerated) {
  expectAnswers(console_, {
      {"{\"fn\":\"lightClean\",\"args\":[\"\xff um hi \xc3\"]}", "{\"result\":\"\uFFFD hi \uFFFD\"}"},
      {"{\"fn\":\"fitText\",\"args\":[\"The end.\",\"Hi \xf0\x9f\",\"\"]}",
       R"({"result":{"text":" The end.","note":"space"}})"},
      {"{\"fn\":\"dropFinalPeriod\",\"args\":[\"Bye.\"]}\r", R"({"result":"Bye"})"},
      {R"({"fn":"fitText","args":["The end.","\ud83d\ude00",""]})",
       R"({"result":{"text":" The end.","note":"space"}})"},
  });
}

TEST_F(RulesConsole, LongLinesAreAnsweredWhole) {
  std::string text;
  std::string cleaned;
  for (int i = 0; i < 100000; ++i) {
    text += i == 0 ? "um word" : " word";
    cleaned += i == 0 ? "Word" : " word";
  }
  expectAnswers(console_, {{R"({"fn":"lightClean","args":[")" + text + R"("]})",
                            Json({{"result", cleaned}}).dump()}});
}

TEST(RulesConsoleProcess, EndsCleanlyAtTheEndOfInput) {
  RulesProcess console;
  ASSERT_TRUE(console.started());
  EXPECT_EQ(console.finish(), 0);

  RulesProcess another;
  ASSERT_TRUE(another.started());
  ASSERT_TRUE(another.ask("garbage").has_value());
  EXPECT_EQ(another.finish(), 0);
}

}  // namespace
}  // namespace quorvel::testing

namespace quorvel::testing {
namespace {

TEST(RulesConsoleDashboard, WordDiffAndStatisticsAnswerByName) {
  TempDir home;
  RulesProcess console({{"XDG_CONFIG_HOME", home.path().string()}, {"TZ", "UTC"}});
  ASSERT_TRUE(console.started());
  const std::string history =
      R"({\"time\":\"2026-03-01T23:59:00Z\",\"final\":\"late last night\",\"audio_s\":1,\"after_release_ms\":0}\n)"
      R"({\"time\":\"2026-03-02T08:00:00Z\",\"final\":\"\",\"audio_s\":3}\nnot json\n)"
      R"({\"time\":\"2026-03-02T09:00:00Z\",\"final\":\"four words typed today\",\"audio_s\":0.5,\"after_release_ms\":100}\n)";
  expectAnswers(console, {
      {R"({"fn":"strikeDiff","args":["um so the meeting is at three","The meeting is at three."]})",
       R"({"result":[{"word":"um","cut":true},{"word":"so","cut":true},{"word":"the","cut":false},)"
       R"({"word":"meeting","cut":false},{"word":"is","cut":false},{"word":"at","cut":false},{"word":"three","cut":false}]})"},
      {R"({"fn":"strikeDiff","args":["red blue","blue red"]})",
       R"({"result":[{"word":"red","cut":false},{"word":"blue","cut":true}]})"},
      {R"({"fn":"strikeDiff","args":["",""]})", R"({"result":[]})"},
      {R"({"fn":"Stats","args":[")" + history + R"(","2026-03-02T12:00:00Z"]})",
       R"({"result":{"today":4,"minutesSaved":0}})"},
      {R"({"fn":"Stats","args":["","2026-03-02T12:00:00Z"]})", R"({"result":{"today":0,"minutesSaved":0}})"},
      {R"({"fn":"Stats","args":["","noon"]})", R"({"error":"not an ISO 8601 time: noon"})"},
  });
  EXPECT_EQ(console.finish(), 0);
}

}  // namespace
}  // namespace quorvel::testing
