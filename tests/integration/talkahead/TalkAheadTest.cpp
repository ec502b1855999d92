// Talk-ahead against the stand-in language model: finished sentence groups are
// cleaned while the transcript grows, bursts collapse to the newest transcript,
// a stop cancels the piece in flight, and refused answers fall back.
#include "engine/TalkAhead.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "QuickServerWaits.h"
#include "StandinChat.h"
#include "engine/Config.h"
#include "support/UserDefaults.h"
#include "text/TextHelpers.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnv;
using testing::TempDir;
using testing::sevenWordSentences;

// A cleanup the guards accept: the piece with its first words changed.
std::string edited(const std::string& piece) { return "We shall" + piece.substr(9); }

struct ScriptLine {
  std::string match;
  std::string answer;
  int delayMs = 0;
};

class TalkAheadTest : public ::testing::Test {
 protected:
  void SetUp() override { Config::resetForTesting(); }
  void TearDown() override {
    if (servers) servers->stopAll();
    Config::resetForTesting();
  }

  // Starts the stand-in with these scripted answers (others: the text unchanged).
  void start(const std::vector<ScriptLine>& script = {}) {
    std::string text;
    for (const auto& line : script) {
      text += compactJson(Json{{"match", line.match}, {"answer", line.answer}, {"delay_ms", line.delayMs}}) + "\n";
    }
    testing::writeTextFile(scriptFile, text);
    Config::resetForTesting();
    servers = std::make_unique<Servers>(testing::quickServerWaits());
    servers->startLlama("cleanup-trained.gguf");
    ASSERT_TRUE(servers->waitForLlama());
    pipeline = Pipeline::create(*servers);
    pipeline->trained = true;
    pipeline->configOverride = CleanupConfig{"Clean up.", {}, std::nullopt, std::nullopt, {}, std::nullopt, std::nullopt};
  }

  // The user messages of the chat requests sent so far, with their token limits.
  std::vector<std::pair<std::string, long long>> requests() const {
    std::vector<std::pair<std::string, long long>> found;
    std::ifstream in(requestLog);
    for (std::string line; std::getline(in, line);) {
      const auto json = parseJson(line);
      if (!json || json->value("event", "") != "request" || !json->contains("body")) continue;
      const Json& body = (*json)["body"];
      if (!body.is_object() || !body.contains("messages")) continue;
      found.emplace_back(body["messages"].back()["content"].get<std::string>(), body.value("max_tokens", -1LL));
    }
    return found;
  }

  TempDir root;
  fs::path requestLog = root / "requests.jsonl";
  fs::path scriptFile = root / "script.jsonl";
  ScopedEnv rootVariable{"QUORVEL_ROOT", root.path().string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root.path() / "config").string()};
  ScopedEnv llamaExe{"QUORVEL_LLAMA_SERVER", testing::buildProgram("quorvel-standin-llama").string()};
  ScopedEnv llamaPort{"QUORVEL_LLAMA_PORT", std::to_string(testing::freeLoopbackPort())};
  ScopedEnv log{"QUORVEL_STANDIN_LOG", requestLog.string()};
  ScopedEnv script{"QUORVEL_STANDIN_SCRIPT", scriptFile.string()};
  ScopedEnv talk{"QUORVEL_TALK_AHEAD", std::nullopt};
  ScopedEnv longPieces{"QUORVEL_LONG_PIECES", std::nullopt};
  ScopedEnv noLayer{"QUORVEL_ADAPTER_CLEANUP", std::nullopt};
  ScopedEnv noBase{"QUORVEL_BASE_MODEL", std::nullopt};
  ScopedEnv fast1{"QUORVEL_STANDIN_MS_PER_TOKEN", "0"};
  ScopedEnv fast2{"QUORVEL_STANDIN_MS_PER_PROMPT_TOKEN", "0"};
  std::unique_ptr<Servers> servers;
  std::shared_ptr<Pipeline> pipeline;
};

TEST_F(TalkAheadTest, CleansFinishedGroupsButNotTheOpenSentenceAndWarmsTheWholeText) {
  const std::string first = sevenWordSentences(9, "report"), second = sevenWordSentences(9, "budget");
  start({{first, edited(first)}, {second, edited(second)}});
  const auto talk = TalkAhead::create(pipeline);
  const std::string transcript = first + " " + second + " and then we still talk about";
  talk->update(transcript);
  ASSERT_TRUE(talk->waitUntilIdle(30s));
  const TalkAhead::Head head = talk->stop();
  EXPECT_EQ(head.source, first + " " + second);
  EXPECT_EQ(head.cleaned, (std::vector<std::string>{edited(first), edited(second)}));
  EXPECT_EQ(head.fellBack, 0);
  EXPECT_TRUE(head.warmed);
  const auto sent = requests();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[2].first, transcript);  // the warm-up carries the whole text
  EXPECT_EQ(sent[2].second, 1);
  EXPECT_EQ(sent[0].second, 3 * 63 + 20);
}

TEST_F(TalkAheadTest, WithLongPiecesSwitchedOffOnlyTheWarmUpIsSent) {
  ScopedEnv off{"QUORVEL_LONG_PIECES", "0"};
  const std::string first = sevenWordSentences(9, "report"), second = sevenWordSentences(9, "budget");
  start({{first, edited(first)}, {second, edited(second)}});
  const auto talk = TalkAhead::create(pipeline);
  const std::string transcript = first + " " + second + " and then we still talk about";
  talk->update(transcript);
  ASSERT_TRUE(talk->waitUntilIdle(30s));
  const TalkAhead::Head head = talk->stop();
  EXPECT_TRUE(head.cleaned.empty());
  EXPECT_TRUE(head.warmed);
  const auto sent = requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, transcript);
  EXPECT_EQ(sent[0].second, 1);
}

TEST_F(TalkAheadTest, WithoutASentenceBreakOnlyTheWarmUpIsSent) {
  start();
  const auto talk = TalkAhead::create(pipeline);
  talk->update("we should check the report number one and then");
  ASSERT_TRUE(talk->waitUntilIdle(30s));
  const auto head = talk->stop();
  EXPECT_TRUE(head.cleaned.empty());
  EXPECT_TRUE(head.warmed);
  ASSERT_EQ(requests().size(), 1u);
  EXPECT_EQ(requests()[0].second, 1);
}

TEST_F(TalkAheadTest, TwoUpdatesDuringAPieceLeaveOnlyTheNewestToHandle) {
  const std::string first = sevenWordSentences(9, "report");
  start({{first, edited(first), 1500}});
  const auto talk = TalkAhead::create(pipeline);
  talk->update(first + " more");
  // Wait until the piece request is under way (the stand-in logs it on receipt).
  for (int i = 0; i < 500 && requests().empty(); ++i) std::this_thread::sleep_for(20ms);
  ASSERT_EQ(requests().size(), 1u);
  const std::string middle = first + " more words", newest = first + " more words still";
  talk->update(middle);
  talk->update(newest);
  ASSERT_TRUE(talk->waitUntilIdle(30s));
  const auto head = talk->stop();
  EXPECT_EQ(head.cleaned, std::vector<std::string>{edited(first)});
  std::vector<std::string> warmUps;
  for (const auto& [text, limit] : requests()) {
    if (limit == 1) warmUps.push_back(text);
  }
  EXPECT_EQ(warmUps, (std::vector<std::string>{first + " more", newest}));
}

TEST_F(TalkAheadTest, TheBacklogAtReleaseCountsGroupsNotCleanedYetAndTheWordsLeft) {
  const std::string first = sevenWordSentences(9, "report"), second = sevenWordSentences(9, "budget");
  start({{first, edited(first), 1500}});
  const std::string transcript = first + " " + second + " and the open one";
  {
    // Released while the first group is still being cleaned: both groups wait.
    const auto talk = TalkAhead::create(pipeline);
    talk->update(transcript);
    for (int i = 0; i < 500 && requests().empty(); ++i) std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(talk->stop().cleaned.empty());
    const TalkAhead::Backlog left = talk->backlog();
    EXPECT_EQ(left.pieces, 2);
    EXPECT_EQ(left.words, 63 + 63 + 4);
  }
  {
    // Kept up: only a group too short to clean ahead and the open sentence are left.
    const auto talk = TalkAhead::create(pipeline);
    talk->update(first + " " + sevenWordSentences(3, "budget") + " and the open one");
    ASSERT_TRUE(talk->waitUntilIdle(30s));
    EXPECT_EQ(talk->stop().cleaned.size(), 1u);
    const TalkAhead::Backlog left = talk->backlog();
    EXPECT_EQ(left.pieces, 0);
    EXPECT_EQ(left.words, 21 + 4);
  }
  EXPECT_EQ(TalkAhead::create(pipeline)->backlog().words, 0);  // nothing heard yet
}

TEST_F(TalkAheadTest, StopCancelsThePieceInFlightAndItNeverReachesTheHead) {
  const std::string first = sevenWordSentences(9, "report");
  start({{first, "First piece cleaned.", 8000}});
  const auto talk = TalkAhead::create(pipeline);
  talk->update(first + " more");
  for (int i = 0; i < 500 && requests().empty(); ++i) std::this_thread::sleep_for(20ms);
  ASSERT_EQ(requests().size(), 1u);  // the piece request is under way
  const auto began = std::chrono::steady_clock::now();
  const auto head = talk->stop();
  EXPECT_TRUE(head.cleaned.empty());
  ASSERT_TRUE(talk->waitUntilIdle(5s));  // far less than the 8 s answer: cancelled
  EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
  EXPECT_TRUE(talk->head().cleaned.empty());
  EXPECT_TRUE(talk->head().source.empty());
  talk->update(first + " even more");  // ignored once stopped
  ASSERT_TRUE(talk->waitUntilIdle(1s));
  EXPECT_EQ(requests().size(), 1u);  // no warm-up after the stop
}

TEST_F(TalkAheadTest, ARefusedAnswerFallsBackToLightCleaning) {
  const std::string first = "um " + sevenWordSentences(9, "report");
  start({{first, "Sorry, I can't help with that request at all."}});
  const auto talk = TalkAhead::create(pipeline);
  talk->update(first + " and");
  ASSERT_TRUE(talk->waitUntilIdle(30s));
  const auto head = talk->stop();
  ASSERT_EQ(head.cleaned.size(), 1u);
  EXPECT_EQ(head.cleaned[0], TextHelpers::lightClean(first));
  EXPECT_EQ(head.fellBack, 1);
  EXPECT_EQ(head.source, first);
}

TEST_F(TalkAheadTest, TheContextIsReadOnceAndTestBeforeOverridesIt) {
  start();
  int reads = 0;
  const auto reader = [&reads]() -> std::optional<CursorContext> {
    ++reads;
    CursorContext context;
    context.before = "Dear team,";
    context.kind = CursorContext::Kind::multiLine;
    return context;
  };
  {
    const auto talk = TalkAhead::create(pipeline, reader);
    talk->update("one");
    ASSERT_TRUE(talk->waitUntilIdle(30s));
    talk->update("one two");
    ASSERT_TRUE(talk->waitUntilIdle(30s));
    const auto head = talk->stop();
    EXPECT_EQ(head.before, std::optional<std::string>("Dear team,"));
    EXPECT_EQ(head.field, Pipeline::fieldName(*reader()));
    EXPECT_EQ(reads, 2);  // once by the talk-ahead, once just above
  }
  pipeline->testBefore = "Override text";
  const auto talk = TalkAhead::create(pipeline, reader);
  talk->update("one");
  ASSERT_TRUE(talk->waitUntilIdle(30s));
  EXPECT_EQ(talk->stop().before, std::optional<std::string>("Override text"));
}

TEST(TalkAheadSwitchTest, ZeroTurnsItOffAndAnyOtherValueOn) {
  TempDir root;
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root.path() / "config").string()};
  ASSERT_TRUE(UserDefaults::standard().set("talkAhead", true).ok());
  struct Case {
    std::optional<std::string> env;
    bool expected;
  };
  for (const Case& c : {Case{"0", false}, Case{"no", true}, Case{"1", true}, Case{std::nullopt, true}}) {
    ScopedEnv variable{"QUORVEL_TALK_AHEAD", c.env};
    Config::resetForTesting();
    EXPECT_EQ(TalkAhead::enabled(), c.expected) << c.env.value_or("(unset)");
  }
  ASSERT_TRUE(UserDefaults::standard().set("talkAhead", false).ok());
  ScopedEnv unset{"QUORVEL_TALK_AHEAD", std::nullopt};
  Config::resetForTesting();
  EXPECT_FALSE(TalkAhead::enabled());
  Config::resetForTesting();
}

}  // namespace
}  // namespace quorvel
