// Cleaning while the user talks with either cleanup model: talk-ahead's
// pieces, the pieces of a refused long text and the fast finish each hold a
// piece to the rules of the model that runs. The standard model gets its
// system text and examples, must keep more of the content words, and never
// sees a piece that needs no cleaning; the trained one keeps its own rules.
// Against the language-model stand-in, which logs every request.
#include <gtest/gtest.h>

#include "QuickServerWaits.h"
#include "StandinChat.h"
#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "engine/TalkAhead.h"
#include "support/Json.h"
#include "text/CleanupGuards.h"
#include "text/TextHelpers.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnv;
using testing::dictationOf;
using testing::sevenWordSentences;

// A group of about sixty words that needs cleaning, and a cleanup of it that
// keeps more than half of its content words but less than the standard
// model's share: the trained guard takes it, the standard one refuses it.
const std::string kLists =
    "um the budget review covers marketing travel hiring vendors offices laptops printers and catering. "
    "the garden project needs tomatoes peppers onions carrots lettuce spinach and fresh basil. "
    "our holiday plans include museums beaches mountains castles lakes forests and quiet villages. "
    "the kitchen order lists flour sugar butter eggs milk honey cinnamon and vanilla. "
    "the library wants novels poems atlases dictionaries magazines newspapers and comics.";
const std::string kShortLists =
    "The budget review covers marketing, travel, hiring and vendors. The garden project needs tomatoes, "
    "peppers, onions and carrots. Our holiday plans include museums, beaches, mountains and castles. "
    "The kitchen order lists flour, sugar, butter and eggs. The library wants novels, poems and atlases.";

// The standard model's own prompt, recognisable in the requests.
const std::string kStandardSystem = "Tidy up the dictation. Keep every fact.";
const std::vector<std::string> kExample = {"um hi there", "Hi there."};

struct Mode {
  const char* name;
  bool trained;
};
constexpr Mode kModes[] = {{"trained", true}, {"standard", false}};

class CleanWhileTalkingTest : public ::testing::Test, protected testing::StandinChatEnvironment {
 protected:
  void SetUp() override {
    testing::writeTextFile(root / "data" / "models" / "qwen3-1.7b-q4_k_m.gguf", "base");
    Config::resetForTesting();
  }
  void TearDown() override {
    if (servers) servers->stopAll();
    Config::resetForTesting();
  }

  // Starts the stand-in with these answers, keyed by the text it is asked to clean.
  void start(const std::vector<std::pair<std::string, std::string>>& answers) {
    testing::writeChatScript(scriptFile, answers);
  }

  // The trained model runs with its layer on the base model; the standard
  // one is the base model alone. The server starts again with the layers.
  void use(const Mode& mode) {
    const fs::path layer = root / "data" / "models" / "adapters" / "cleanup-3.gguf";
    if (mode.trained) {
      testing::writeTextFile(layer, "layer");
    } else {
      fs::remove(layer);
    }
    Config::resetForTesting();
    pipeline.reset();
    if (servers) servers->stopAll();
    servers = std::make_unique<Servers>(testing::quickServerWaits());
    servers->startLlama("cleanup-trained.gguf");
    ASSERT_TRUE(servers->waitForLlama());
    pipeline = Pipeline::create(*servers);
    pipeline->configOverride =
        CleanupConfig{kStandardSystem, {}, std::nullopt, std::nullopt, {kExample}, std::nullopt, std::nullopt};
    pipeline->trained = mode.trained;
  }

  // The chat requests sent since `from`, as their message lists.
  std::vector<Json> requestsSince(std::size_t from) const {
    std::vector<Json> found;
    for (const Json& body : testing::loggedChatRequests(requestLog)) found.push_back(body["messages"]);
    return std::vector<Json>(found.begin() + static_cast<std::ptrdiff_t>(std::min(from, found.size())),
                             found.end());
  }
  std::size_t requestCount() const { return requestsSince(0).size(); }

  // Whether the messages carry this mode's prompt: the trained system text
  // alone, or the standard system text followed by its examples.
  static void expectPromptOf(const Mode& mode, const Json& messages) {
    ASSERT_TRUE(messages.is_array());
    if (mode.trained) {
      ASSERT_EQ(messages.size(), 2u) << messages.dump();
      EXPECT_EQ(messages[0]["content"], std::string(Config::trainedSystem));
      return;
    }
    ASSERT_EQ(messages.size(), 4u) << messages.dump();
    EXPECT_EQ(messages[0]["role"], "system");
    EXPECT_EQ(messages[0]["content"], kStandardSystem);
    EXPECT_EQ(messages[1]["content"], kExample[0]);
    EXPECT_EQ(messages[2]["role"], "assistant");
    EXPECT_EQ(messages[2]["content"], kExample[1]);
  }

  std::optional<ScopedEnv> fastFinish;
  std::unique_ptr<Servers> servers;
  std::shared_ptr<Pipeline> pipeline;
};

TEST_F(CleanWhileTalkingTest, TheFixtureRefusesAtTheStandardShareOnly) {
  ASSERT_TRUE(TextHelpers::needsCleanup(kLists));
  EXPECT_FALSE(TextHelpers::needsCleanup(sevenWordSentences(9, "beta")));
  EXPECT_EQ(TextHelpers::sentencePieces(kLists, TalkAhead::target).size(), 1u);
  const double kept = TextHelpers::keptRatio(kLists, kShortLists);
  EXPECT_GT(kept, 0.5);
  EXPECT_LT(kept, 0.65);
}

TEST_F(CleanWhileTalkingTest, TalkAheadHoldsEachPieceToTheRulesOfTheModelThatRuns) {
  const std::string clean = sevenWordSentences(9, "beta");
  const std::string transcript = kLists + " " + clean + " and we are still talking";
  start({{kLists, kShortLists}});
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    use(mode);
    const std::size_t before = requestCount();
    const auto talk = TalkAhead::create(pipeline);
    talk->update(transcript);
    ASSERT_TRUE(talk->waitUntilIdle(30s));
    const TalkAhead::Head head = talk->stop();
    const std::vector<Json> sent = requestsSince(before);
    EXPECT_EQ(head.source, kLists + " " + clean);
    ASSERT_EQ(head.cleaned.size(), 2u);
    EXPECT_TRUE(head.warmed);
    ASSERT_FALSE(sent.empty());
    for (const Json& messages : sent) expectPromptOf(mode, messages);
    EXPECT_EQ(dictationOf(sent.front()), kLists);
    EXPECT_EQ(dictationOf(sent.back()), transcript);  // the warm-up of the whole text so far
    if (mode.trained) {
      EXPECT_EQ(head.cleaned[0], kShortLists);
      EXPECT_EQ(head.fellBack, 0);
      EXPECT_EQ(sent.size(), 3u);  // both pieces and the warm-up
    } else {
      // Refused at the standard share: that piece alone is lightly cleaned.
      EXPECT_EQ(head.cleaned[0], TextHelpers::lightClean(kLists));
      EXPECT_EQ(head.fellBack, 1);
      // A piece that needs no cleaning is kept as heard and never sent.
      EXPECT_EQ(head.cleaned[1], clean);
      EXPECT_EQ(sent.size(), 2u);
    }
  }
}

TEST_F(CleanWhileTalkingTest, ARefusedLongTextIsCleanedInPiecesUnderEachModelsRules) {
  const std::string clean = sevenWordSentences(9, "beta");
  const std::string last = "um so " + sevenWordSentences(9, "gamma");
  const std::string raw = kLists + " " + clean + " " + last;
  ASSERT_EQ(TextHelpers::sentencePieces(raw, 60).size(), 3u);
  start({{raw, ""}, {kLists, kShortLists}});  // the whole text gets no answer
  ScopedEnv off("QUORVEL_FAST_FINISH", "0");
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    use(mode);
    const std::size_t before = requestCount();
    const DictationResult result = pipeline->finish(raw, std::nullopt);
    const std::vector<Json> sent = requestsSince(before);
    for (const Json& messages : sent) expectPromptOf(mode, messages);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(dictationOf(sent.front()), raw);
    if (mode.trained) {
      EXPECT_EQ(result.path, "cleaned in 3 pieces");
      EXPECT_NE(result.final.find("marketing, travel, hiring and vendors"), std::string::npos) << result.final;
      EXPECT_EQ(sent.size(), 4u);
    } else {
      EXPECT_EQ(result.model, "standard");
      EXPECT_EQ(result.path, "cleaned in 3 pieces, 1 fell back");
      EXPECT_NE(result.final.find("catering"), std::string::npos) << result.final;
      EXPECT_EQ(result.final.find("um the budget"), std::string::npos) << result.final;
      EXPECT_EQ(sent.size(), 3u);  // the whole text, the lists, the last group
      EXPECT_EQ(dictationOf(sent.back()), last);
    }
  }
}

TEST_F(CleanWhileTalkingTest, TheFastFinishSettingDecidesForBothModels) {
  const std::string first = "um " + sevenWordSentences(9, "alpha"), second = "uh " + sevenWordSentences(9, "beta");
  const std::string rest = "um so " + sevenWordSentences(4, "gamma");
  const std::string raw = first + " " + second + " " + rest;
  const std::string firstCleaned = sevenWordSentences(9, "alpha"), secondCleaned = sevenWordSentences(9, "beta");
  const TalkAheadHead head{first + " " + second, {firstCleaned, secondCleaned}, 0, std::nullopt,
                           std::nullopt, true};
  start({});
  struct Case {
    const char* setting;
    bool fromHead;
  };
  for (const Mode& mode : kModes) {
    for (const Case c : {Case{"1", true}, Case{"0", false}}) {
      SCOPED_TRACE(std::string(mode.name) + ", fast finish " + c.setting);
      use(mode);
      fastFinish.emplace("QUORVEL_FAST_FINISH", c.setting);
      const std::size_t before = requestCount();
      const DictationResult result = pipeline->finish(raw, head);
      const std::vector<Json> sent = requestsSince(before);
      ASSERT_EQ(sent.size(), 1u);
      expectPromptOf(mode, sent[0]);
      if (c.fromHead) {
        // Only what was said after the pieces is cleaned after the release.
        EXPECT_EQ(dictationOf(sent[0]), rest);
        EXPECT_EQ(result.path, "cleaned in 3 pieces, 2 while talking");
        EXPECT_EQ(result.final.rfind(firstCleaned + " " + secondCleaned + " ", 0), 0u) << result.final;
      } else {
        EXPECT_EQ(dictationOf(sent[0]), raw);
        EXPECT_EQ(result.path, "cleaned");
      }
    }
  }
}

}  // namespace
}  // namespace quorvel
