// The pipeline from raw transcript to finished text, against a language-model
// server faked in the test (it answers per dictation and counts requests).
#include "engine/Pipeline.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "TestSupport.h"
#include "engine/Config.h"
#include "support/UserDefaults.h"
#include "text/CleanupGuards.h"
#include "text/TextHelpers.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnv;
using testing::TempDir;

// The dictation of a request: the last user message after its last "Dictation: ".
std::string dictationOf(const Json& body) {
  std::string content = body["messages"].back()["content"].get<std::string>();
  const auto label = content.rfind("Dictation: ");
  return label == std::string::npos ? content : content.substr(label + 11);
}

class FakeLanguageModel {
 public:
  // Answers the dictation unchanged unless `answer` says otherwise.
  std::function<std::string(const std::string&)> answer = [](const std::string& d) { return d; };

  FakeLanguageModel() {
    server_.Post("/v1/chat/completions", [this](const httplib::Request& request,
                                               httplib::Response& response) {
      const Json body = Json::parse(request.body);
      const std::string text = answer(dictationOf(body));
      {
        std::scoped_lock lock(mutex_);
        bodies_.push_back(body);
      }
      const Json timings = {{"prompt_n", 11}, {"prompt_ms", 2.5}, {"predicted_n", 4}};
      if (!body.value("stream", false)) {
        response.set_content(
            Json{{"choices", {{{"message", {{"content", text}}}}}}, {"timings", timings}}.dump(),
            "application/json");
        return;
      }
      std::string events;
      for (size_t at = 0; at < text.size(); at += 6) {
        events += "data: " + Json{{"choices", {{{"delta", {{"content", text.substr(at, 6)}}}}}}}.dump() + "\n\n";
      }
      events += "data: " + Json{{"choices", {{{"delta", Json::object()}}}}, {"timings", timings}}.dump() +
                "\n\ndata: [DONE]\n\n";
      response.set_content(events, "text/event-stream");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() does nothing before the server runs, so wait until it does.
    for (int i = 0; i < 500 && !server_.is_running(); ++i) std::this_thread::sleep_for(5ms);
  }
  ~FakeLanguageModel() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }
  std::vector<Json> bodies() {
    std::scoped_lock lock(mutex_);
    return bodies_;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<Json> bodies_;
};

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Config::resetForTesting();
    pipeline = Pipeline::create(servers);
    pipeline->configOverride = config;
  }
  void TearDown() override { Config::resetForTesting(); }

  // Base model and cleanup layer present: the header is sent and long
  // refused texts are cleaned in pieces on a trained pipeline.
  void useLayers() {
    testing::writeTextFile(root / "models" / "qwen3-1.7b-q4_k_m.gguf", "base");
    testing::writeTextFile(root / "models" / "adapters" / "cleanup-3.gguf", "layer");
    Config::resetForTesting();
  }

  TempDir root;
  ScopedEnv rootVariable{"QUORVEL_ROOT", root.path().string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root.path() / "config").string()};
  FakeLanguageModel model;
  ScopedEnv port{"QUORVEL_LLAMA_PORT", std::to_string(model.port())};
  ScopedEnv header{"QUORVEL_CLEANUP_HEADER", "3"};
  ScopedEnv pieces{"QUORVEL_LONG_PIECES", std::nullopt};
  Servers servers;
  CleanupConfig config{"Clean up. Names: {DICTIONARY}.", {"Anna", "Kubernetes"}, std::nullopt,
                       std::nullopt, {{"um hi", "Hi."}, {"a", "b", "c"}}, std::nullopt, std::nullopt};
  std::shared_ptr<Pipeline> pipeline;
};

// n sentences of seven words each.
std::string sentences(int n, const std::string& topic = "report") {
  std::string text;
  for (int i = 0; i < n; ++i) {
    if (!text.empty()) text += " ";
    text += "We should check the " + topic + " number " + std::to_string(i) + ".";
  }
  return text;
}

TEST_F(PipelineTest, EmptyRawGivesEmptyPathAndNoRequest) {
  pipeline->trained = true;
  const DictationResult result = pipeline->finish("", std::nullopt);
  EXPECT_EQ(result.path, "empty");
  EXPECT_EQ(result.final, "");
  EXPECT_EQ(result.model, "trained");
  EXPECT_TRUE(model.bodies().empty());
}

TEST_F(PipelineTest, CleanupSwitchedOffStillSpellsNamesAndTouchesUp) {
  pipeline->cleanupEnabled = false;
  const DictationResult result = pipeline->finish("ask anna about it -- tomorrow", std::nullopt);
  EXPECT_EQ(result.path, "raw");
  EXPECT_NE(result.final.find("Anna"), std::string::npos);
  EXPECT_EQ(result.model, "standard");
  EXPECT_TRUE(model.bodies().empty());
}

TEST_F(PipelineTest, TrainedModelCleansEveryTextAndTheStandardOneOnlyWhatNeedsIt) {
  pipeline->trained = true;
  model.answer = [](const std::string&) { return "\u201cOkay.\u201d"; };
  DictationResult result = pipeline->finish("Okay.", std::nullopt);
  EXPECT_EQ(result.path, "cleaned");
  EXPECT_EQ(result.final, "Okay.");
  ASSERT_EQ(model.bodies().size(), 1u);
  const Json body = model.bodies()[0];
  EXPECT_EQ(body["messages"][0]["content"], std::string(Config::trainedSystem));
  EXPECT_EQ(body["messages"].size(), 2u);  // no examples with the trained model
  EXPECT_EQ(body["max_tokens"], 23);
  ASSERT_TRUE(result.timings);
  EXPECT_EQ(result.timings->read, 11);

  pipeline->trained = false;
  result = pipeline->finish("Okay.", std::nullopt);
  if (!TextHelpers::needsCleanup("Okay.")) {
    EXPECT_EQ(result.path, "fast");
    EXPECT_EQ(model.bodies().size(), 1u);
  }
}

TEST_F(PipelineTest, StandardMessagesCarryThePromptAndOnlyTwoTextExamples) {
  const MessageList messages =
      pipeline->cleanupMessages("hello there", config, std::nullopt, std::nullopt);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], (ChatMessage{"system", "Clean up. Names: Anna, Kubernetes."}));
  EXPECT_EQ(messages[1], (ChatMessage{"user", "um hi"}));
  EXPECT_EQ(messages[2], (ChatMessage{"assistant", "Hi."}));
  // Without layers there is no header: the user message is the transcript.
  EXPECT_EQ(messages[3], (ChatMessage{"user", "hello there"}));

  CleanupConfig plain = config;
  plain.system = "No placeholder here.";
  EXPECT_EQ(pipeline->cleanupMessages("x", plain, std::nullopt, std::nullopt)[0].content,
            "No placeholder here.");
}

TEST_F(PipelineTest, HeaderTakesTheContextOrTheTestValuesOrWhatIsGiven) {
  useLayers();
  pipeline->context = CursorContext{"Dear team, ", " Thanks", CursorContext::Kind::multiLine,
                                    "org.gnome.Evolution.Mail"};
  auto user = [&](const ContextOverride& before, const ContextOverride& field) {
    return pipeline->cleanupMessages("ship it", config, before, field).back().content;
  };
  EXPECT_EQ(user(std::nullopt, std::nullopt),
            "Before the cursor: \"Dear team, \"\nAfter the cursor: \"Thanks\"\n"
            "Field: email\nDictation: ship it");
  pipeline->testBefore = "Hi";
  EXPECT_EQ(user(std::nullopt, std::nullopt),
            "Before the cursor: \"Hi\"\nField: email\nDictation: ship it");
  EXPECT_EQ(user(std::optional<std::string>(), std::optional<std::string>("notes")),
            "Field: notes\nDictation: ship it");
}

TEST_F(PipelineTest, RefusedAnswerFallsBackToLightCleaning) {
  pipeline->trained = true;
  model.answer = [](const std::string&) { return "Sure! Here is your text, cleaned up nicely."; };
  const DictationResult result = pipeline->finish("um so we shipped the build", std::nullopt);
  EXPECT_EQ(result.path, "fallback");
  EXPECT_EQ(result.final.find("um"), std::string::npos);
  EXPECT_EQ(result.final.rfind("So we shipped the build", 0), 0u) << result.final;
}

TEST_F(PipelineTest, UnreachableModelFallsBackAndNeverFails) {
  ScopedEnv nowhere("QUORVEL_LLAMA_PORT", std::to_string(testing::freeLoopbackPort()));
  Config::resetForTesting();
  pipeline->trained = true;
  const DictationResult result = pipeline->finish("the build is green", std::nullopt);
  EXPECT_EQ(result.path, "fallback");
  EXPECT_EQ(result.final.rfind("The build is green", 0), 0u) << result.final;
}

TEST_F(PipelineTest, LongRefusedTextIsCleanedInPiecesOnlyAboveNinetyWords) {
  useLayers();
  pipeline->trained = true;
  const std::string ninetyOne = sentences(13);  // 91 words
  const std::string ninety = "Well " + sentences(12) + " Then we go home now.";  // 90 words
  ASSERT_EQ(TextHelpers::wordCount(ninetyOne), 91);
  ASSERT_EQ(TextHelpers::wordCount(ninety), 90);
  // The whole text is refused (an empty answer); pieces come back unchanged.
  model.answer = [&](const std::string& d) { return d == ninetyOne || d == ninety ? "" : d; };

  DictationResult result = pipeline->finish(ninetyOne, std::nullopt);
  const size_t n = TextHelpers::sentencePieces(ninetyOne, 60).size();
  EXPECT_EQ(result.path, "cleaned in " + std::to_string(n) + " pieces");
  EXPECT_EQ(result.final, ninetyOne);
  EXPECT_EQ(model.bodies().size(), 1 + n);
  // Each later piece's prompt continues from the pieces before it.
  EXPECT_NE(dictationOf(model.bodies()[2]), dictationOf(model.bodies()[1]));
  const std::string firstPiece = dictationOf(model.bodies()[1]);
  const std::string secondPrompt = model.bodies()[2]["messages"].back()["content"];
  EXPECT_NE(secondPrompt.find(firstPiece.substr(firstPiece.size() - 30) + "\"\nDictation: "),
            std::string::npos)
      << secondPrompt;

  result = pipeline->finish(ninety, std::nullopt);
  EXPECT_EQ(result.path, "fallback");
}

TEST_F(PipelineTest, PiecePathsCountFallbacksAndReusedPieces) {
  useLayers();
  pipeline->trained = true;
  const std::string first = sentences(9, "alpha"), second = sentences(9, "beta"),
                    third = sentences(9, "gamma");
  const std::string text = first + " " + second + " " + third;
  ASSERT_EQ(TextHelpers::sentencePieces(third, 60).size(), 1u);

  model.answer = [](const std::string&) { return ""; };  // every request refused
  const size_t n = TextHelpers::sentencePieces(text, 60).size();
  DictationResult result = pipeline->finish(text, std::nullopt);
  EXPECT_EQ(result.path, "fallback (" + std::to_string(n) + " pieces)");

  // Two pieces cleaned while talking, for the same (absent) context.
  model.answer = [&](const std::string& d) { return d == text ? "" : d; };
  TalkAheadHead head{first + " " + second, {first, second}, 0, std::nullopt, std::nullopt, true};
  result = pipeline->finish(text, head);
  EXPECT_EQ(result.path, "cleaned in 3 pieces, 2 while talking");
  EXPECT_EQ(result.aheadPieces, 2);
  EXPECT_TRUE(result.warmed);

  // A head whose source is the whole text (no space follows it) is not reused.
  head.source = text;
  result = pipeline->finish(text, head);
  EXPECT_EQ(result.aheadPieces, 0);
  // Nor is one cleaned for another place.
  head = TalkAheadHead{first + " " + second, {first, second}, 0, "Hello", std::nullopt, false};
  result = pipeline->finish(text, head);
  EXPECT_EQ(result.aheadPieces, 0);
}

// The head ended at "at 3." but the speaker went on "at 3.30": the final text
// begins with the head's source, yet not at a word's end. Reusing it would
// cut the first character of what follows.
TEST_F(PipelineTest, AHeadThatEndsInsideAWordOfTheFinalTextIsNotReused) {
  useLayers();
  pipeline->trained = true;
  const std::string source = sentences(9, "alpha") + " We meet at 3.";
  const std::string text = source + "30 tomorrow in the hall. " + sentences(9, "beta") + " " +
                           sentences(9, "gamma");
  model.answer = [&](const std::string& d) { return d == text ? "" : d; };
  const TalkAheadHead head{source, {"We met earlier."}, 0, std::nullopt, std::nullopt, true};

  const DictationResult result = pipeline->finish(text, head);
  EXPECT_EQ(result.aheadPieces, 0);
  EXPECT_EQ(result.final, text);
}

TEST_F(PipelineTest, PartialTextsGrowWhileTheAnswerStreams) {
  pipeline->trained = true;
  std::vector<std::string> partials;
  pipeline->onPartial = [&](const std::string& text) { partials.push_back(text); };
  model.answer = [](const std::string&) { return "We shipped the build today."; };
  const DictationResult result = pipeline->finish("we shipped the build today", std::nullopt);
  EXPECT_EQ(result.path, "cleaned");
  ASSERT_GE(partials.size(), 2u);
  EXPECT_EQ(partials.back(), "We shipped the build today.");
  EXPECT_TRUE(model.bodies()[0]["stream"].get<bool>());
}

TEST_F(PipelineTest, WordStatisticsAreSavedOnlyWithoutAnOverride) {
  testing::writeTextFile(root / "cleanup.json",
                         R"({"system":"Clean.","dictionary":["Anna"],"examples":[]})");
  pipeline->cleanupEnabled = false;
  pipeline->finish("ask Anna", std::nullopt);
  EXPECT_EQ(testing::readTextFile(root / "cleanup.json").find("recent"), std::string::npos);
  pipeline->configOverride.reset();
  pipeline->finish("ask Anna", std::nullopt);
  const Json saved = Json::parse(testing::readTextFile(root / "cleanup.json"));
  EXPECT_EQ(saved["recent"], Json::array({"Anna"}));
}

TEST_F(PipelineTest, WakeIfIdleFollowsTheSixtySecondRule) {
  EXPECT_TRUE(pipeline->wakeIfIdle());  // never used: the distant past
  EXPECT_FALSE(pipeline->idleAtPress().has_value());

  pipeline->setLastModelUseForTesting(std::chrono::steady_clock::now() - 59s);
  EXPECT_FALSE(pipeline->wakeIfIdle());
  EXPECT_NEAR(*pipeline->idleAtPress(), 59, 1);
  pipeline->setLastModelUseForTesting(std::chrono::steady_clock::now() - 61s);
  EXPECT_TRUE(pipeline->wakeIfIdle());

  ASSERT_TRUE(UserDefaults().set("wakeOnKey", false).ok());
  pipeline->setLastModelUseForTesting(std::chrono::steady_clock::now() - 300s);
  EXPECT_FALSE(pipeline->wakeIfIdle());
  EXPECT_NEAR(*pipeline->idleAtPress(), 61, 1);  // unchanged

  // The wake-up requests arrive (one token, the fixed two messages).
  for (int i = 0; i < 100 && model.bodies().size() < 2; ++i) std::this_thread::sleep_for(20ms);
  ASSERT_EQ(model.bodies().size(), 2u);
  EXPECT_EQ(model.bodies()[0]["max_tokens"], 1);
  EXPECT_EQ(model.bodies()[0]["messages"][1]["content"], "Okay.");
}

TEST_F(PipelineTest, RestoredTextIsLabelledInThePath) {
  pipeline->trained = true;
  struct Case {
    std::string raw, answer, path;
  };
  const Case cases[] = {
      {"we deploy the service to kubernetes every friday morning",
       "We deploy the service to Cooper Nettie's every Friday morning.",
       "cleaned, dictionary word restored"},
      {"The build passed on the first try this morning. Then the deploy went out to every "
       "region. The dashboards stayed green all day long. Everyone on the team was happy.",
       "The build passed on the first try this morning. Then the deploy went out to every "
       "region. Everyone on the team was happy.",
       "cleaned, dropped sentence restored"},
  };
  for (const auto& c : cases) {
    model.answer = [&](const std::string&) { return c.answer; };
    const DictationResult result = pipeline->finish(c.raw, std::nullopt);
    EXPECT_EQ(result.path, c.path) << result.final;
  }
}

TEST_F(PipelineTest, HangingOrBrokenServersStillGiveText) {
  pipeline->trained = true;
  pipeline->requestTimeout = 300ms;
  model.answer = [](const std::string&) {
    std::this_thread::sleep_for(1500ms);  // longer than the request may take
    return std::string("Too late.");
  };
  DictationResult result = pipeline->finish("the build is green", std::nullopt);
  EXPECT_EQ(result.path, "fallback");
  EXPECT_EQ(result.final.rfind("The build is green", 0), 0u);

  pipeline->requestTimeout = 60s;
  model.answer = [](const std::string&) { return std::string("The \xFF build \xC3 is green."); };
  result = pipeline->finish("the build is green", std::nullopt);
  EXPECT_FALSE(result.final.empty());
  EXPECT_EQ(result.final.find('\xFF'), std::string::npos);  // repaired, never passed on raw
}

// The standard model (the base model without a cleanup layer) is held to a
// higher share of kept content words than the trained one.
TEST_F(PipelineTest, StandardModelMustKeepSixtyFivePercentOfTheContentWords) {
  const std::string raw =
      "um the budget review covers marketing travel hiring vendors offices laptops printers and catering";
  const std::string answer = "The budget review covers marketing, travel, hiring.";
  ASSERT_TRUE(TextHelpers::needsCleanup(raw));
  const double kept = TextHelpers::keptRatio(raw, answer);
  ASSERT_GT(kept, 0.5);
  ASSERT_LT(kept, 0.65);
  model.answer = [&](const std::string&) { return answer; };

  pipeline->trained = false;
  DictationResult result = pipeline->finish(raw, std::nullopt);
  EXPECT_EQ(result.model, "standard");
  EXPECT_EQ(result.path, "fallback");
  EXPECT_NE(result.final.find("catering"), std::string::npos) << result.final;

  pipeline->trained = true;
  result = pipeline->finish(raw, std::nullopt);
  EXPECT_EQ(result.model, "trained");
  EXPECT_EQ(result.path.rfind("cleaned", 0), 0u) << result.path;
}

TEST_F(PipelineTest, ACleanTextNeverReachesTheStandardModel) {
  const std::string raw = "We should check the report tomorrow.";
  ASSERT_FALSE(TextHelpers::needsCleanup(raw));
  pipeline->trained = false;
  const DictationResult result = pipeline->finish(raw, std::nullopt);
  EXPECT_EQ(result.path, "fast");
  EXPECT_EQ(result.final, raw);
  EXPECT_TRUE(model.bodies().empty());
}

TEST_F(PipelineTest, TheStandardModelGetsTheSystemTextAndExamplesOfTheShippedCleanupFile) {
  pipeline->configOverride.reset();  // the user has no file: the shipped one is used
  pipeline->trained = false;
  const std::string raw = "um so we shipped the build";
  ASSERT_TRUE(TextHelpers::needsCleanup(raw));
  (void)pipeline->finish(raw, std::nullopt);
  ASSERT_EQ(model.bodies().size(), 1u);
  const Json messages = model.bodies()[0]["messages"];

  const Json shipped = Json::parse(testing::readTextFile(Config::resources() / "cleanup.json"));
  std::string system = shipped["system"].get<std::string>();
  std::string names;
  for (const auto& word : shipped["dictionary"]) names += (names.empty() ? "" : ", ") + word.get<std::string>();
  for (size_t at; (at = system.find("{DICTIONARY}")) != std::string::npos;) system.replace(at, 12, names);
  EXPECT_EQ(messages[0]["role"], "system");
  EXPECT_EQ(messages[0]["content"], system);
  size_t next = 1;
  for (const auto& example : shipped["examples"]) {
    if (example.size() != 2) continue;
    ASSERT_LT(next + 1, messages.size());
    EXPECT_EQ(messages[next]["role"], "user");
    EXPECT_EQ(messages[next]["content"], example[0]);
    EXPECT_EQ(messages[next + 1]["role"], "assistant");
    EXPECT_EQ(messages[next + 1]["content"], example[1]);
    next += 2;
  }
  EXPECT_GT(next, 1u) << "the shipped file has examples";
  ASSERT_EQ(messages.size(), next + 1);
  EXPECT_EQ(messages[next]["role"], "user");  // the dictation itself, without a header
}

TEST_F(PipelineTest, ALongTextThatMakesOnePieceIsNotAskedTwice) {
  useLayers();
  pipeline->trained = true;
  // 95 words without a sentence break: the pieces are the whole text again.
  std::string text = "so";
  for (int i = 0; i < 94; ++i) text += " and then the next thing";
  while (TextHelpers::wordCount(text) > 95) text = text.substr(0, text.rfind(' '));
  ASSERT_GT(TextHelpers::wordCount(text), 90);
  ASSERT_EQ(TextHelpers::sentencePieces(text, 60).size(), 1u);
  model.answer = [](const std::string&) { return "Sure! Here is your text."; };

  const DictationResult result = pipeline->finish(text, std::nullopt);
  EXPECT_EQ(result.path, "fallback (1 pieces)");
  EXPECT_EQ(model.bodies().size(), 1u);
}

TEST(PieceBefore, ContinuesFromThePiecesSoFarWithinThreeHundredCharacters) {
  EXPECT_EQ(Pipeline::pieceBefore(std::nullopt, {}), std::nullopt);
  EXPECT_EQ(Pipeline::pieceBefore("Hi", {}), "Hi");
  EXPECT_EQ(Pipeline::pieceBefore("Hi", {"One.", "Two."}), "Hi One. Two.");
  EXPECT_EQ(Pipeline::pieceBefore(std::nullopt, {"One."}), "One.");
  const std::string longPiece(400, 'x');
  EXPECT_EQ(Pipeline::pieceBefore("Hi", {longPiece}), std::string(300, 'x'));
}

}  // namespace
}  // namespace quorvel
