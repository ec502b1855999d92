// Finishing a long dictation from the pieces cleaned while the user talked:
// when it is chosen over the whole-text cleanup (the head, the length, the
// switch and the measured writing speed), and that it gives what the piece
// path gives, against the language-model stand-in scripted per piece.
#include <gtest/gtest.h>

#include "QuickServerWaits.h"
#include "StandinChat.h"
#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "engine/WritingSpeed.h"
#include "support/Json.h"
#include "support/UserDefaults.h"
#include "text/TextHelpers.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::sevenWordSentences;

const std::string kRefusal = "Sure! Here is your text, cleaned up nicely.";

class FastFinishTest : public ::testing::Test, protected testing::StandinChatEnvironment {
 protected:
  void SetUp() override {
    // A base model with its cleanup layer: pieces carry the header and a
    // refused long text is cleaned in pieces.
    testing::writeTextFile(root / "data" / "models" / "qwen3-1.7b-q4_k_m.gguf", "base");
    testing::writeTextFile(root / "data" / "models" / "adapters" / "cleanup-3.gguf", "layer");
    Config::resetForTesting();
  }
  void TearDown() override {
    if (servers) servers->stopAll();
    Config::resetForTesting();
  }

  // Starts the stand-in with these answers, keyed by the text it is asked to clean.
  void start(const std::vector<std::pair<std::string, std::string>>& answers) {
    testing::writeChatScript(scriptFile, answers);
    servers = std::make_unique<Servers>(testing::quickServerWaits());
    servers->startLlama("cleanup-trained.gguf");
    ASSERT_TRUE(servers->waitForLlama());
    pipeline = Pipeline::create(*servers);
    pipeline->trained = true;
    pipeline->configOverride = CleanupConfig{"Clean up.", {}, std::nullopt, std::nullopt, {}, std::nullopt,
                                             std::nullopt};
  }

  // The texts the stand-in was asked to clean, in order.
  std::vector<std::string> asked() const {
    std::vector<std::string> texts;
    for (const Json& body : testing::loggedChatRequests(requestLog)) {
      texts.push_back(testing::dictationOf(body["messages"]));
    }
    return texts;
  }

  // The switch as the environment gives it, read again; the figure as stored.
  void choose(const char* setting, std::optional<WritingSpeed> figure) {
    fastFinish.emplace("QUORVEL_FAST_FINISH", setting ? std::optional<std::string>(setting) : std::nullopt);
    Config::resetForTesting();
    if (figure) {
      ASSERT_TRUE(UserDefaults().set("writingSpeed", figure->toJson()).ok());
    } else {
      ASSERT_TRUE(UserDefaults().remove("writingSpeed").ok());
    }
  }

  std::optional<ScopedEnv> fastFinish;
  std::unique_ptr<Servers> servers;
  std::shared_ptr<Pipeline> pipeline;

  const std::string first = sevenWordSentences(9, "alpha"), second = sevenWordSentences(9, "beta"), third = sevenWordSentences(9, "gamma");
  const std::string text = first + " " + second + " " + third;
  // Both earlier groups cleaned while talking, for no particular place.
  const TalkAheadHead head{first + " " + second, {first, second}, 0, std::nullopt, std::nullopt, true};
};

TEST_F(FastFinishTest, TheChoiceFollowsTheHeadTheLengthTheSwitchAndTheMeasuredSpeed) {
  ASSERT_EQ(TextHelpers::sentencePieces(third, 60).size(), 1u);
  const std::string beta4 = sevenWordSentences(4, "beta");
  const std::string words91 = first + " " + beta4;                                          // 63 + 28
  const std::string words90 = first + " Well " + sevenWordSentences(3, "beta") + " Then we go home now.";  // 63 + 27
  ASSERT_EQ(TextHelpers::wordCount(words91), 91);
  ASSERT_EQ(TextHelpers::wordCount(words90), 90);
  start({});

  const WritingSpeed slow{600, 20000}, fast{600, 4000}, tooLittle{20, 1000};
  TalkAheadHead elsewhere = head;
  elsewhere.before = "Dear team,";
  TalkAheadHead wholeText = head;
  wholeText.source = text;  // no space after it: nothing left to clean
  const TalkAheadHead firstOnly{first, {first}, 0, std::nullopt, std::nullopt, true};

  struct Case {
    const char* label;
    const char* setting;
    std::optional<WritingSpeed> figure;
    std::string raw;
    std::optional<TalkAheadHead> ahead;
    bool fastFinish;
  };
  const Case cases[] = {
      {"switched on", "1", std::nullopt, text, head, true},
      {"switched off", "0", slow, text, head, false},
      {"auto, slow writer", "auto", slow, text, head, true},
      {"unset is auto", nullptr, slow, text, head, true},
      {"auto, fast writer", "auto", fast, text, head, false},
      {"auto, not measured", "auto", std::nullopt, text, head, false},
      {"auto, too little measured", "auto", tooLittle, text, head, false},
      {"no head", "1", std::nullopt, text, std::nullopt, false},
      {"head cleaned for another place", "1", std::nullopt, text, elsewhere, false},
      {"head covering the whole text", "1", std::nullopt, text, wholeText, false},
      {"91 words", "1", std::nullopt, words91, firstOnly, true},
      {"90 words", "1", std::nullopt, words90, firstOnly, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    choose(c.setting, c.figure);
    const std::size_t before = asked().size();
    const DictationResult result = pipeline->finish(c.raw, c.ahead);
    const std::vector<std::string> texts = asked();
    ASSERT_GT(texts.size(), before);
    if (c.fastFinish) {
      // Only the rest is sent, never the whole text.
      EXPECT_EQ(result.aheadPieces, static_cast<std::int64_t>(c.ahead->cleaned.size()));
      EXPECT_EQ(result.path.find("cleaned in "), 0u) << result.path;
      EXPECT_EQ(texts[before], c.raw.substr(c.ahead->source.size() + 1));
      EXPECT_FALSE(result.timings.has_value());
    } else {
      EXPECT_EQ(result.path, "cleaned");
      EXPECT_EQ(texts[before], c.raw);
      EXPECT_EQ(texts.size(), before + 1);
    }
  }
}

TEST_F(FastFinishTest, GivesWhatThePiecePathGivesAfterARefusedWholeText) {
  const std::string fourth = sevenWordSentences(4, "delta");
  const std::string raw = first + " " + second + " " + fourth;
  start({{raw, ""}});  // the whole text is refused, so the seed cleans it in pieces

  choose("0", std::nullopt);
  const std::size_t before = asked().size();
  const DictationResult seed = pipeline->finish(raw, head);
  choose("1", std::nullopt);
  const std::size_t between = asked().size();
  const DictationResult fast = pipeline->finish(raw, head);
  const std::vector<std::string> texts = asked();

  EXPECT_EQ(fast.final, seed.final);
  EXPECT_EQ(fast.path, seed.path);
  EXPECT_EQ(fast.path, "cleaned in 3 pieces, 2 while talking");
  EXPECT_EQ(fast.aheadPieces, 2);
  EXPECT_TRUE(fast.warmed);
  // The same rest was sent either way; the fast finish skipped the refused whole text.
  ASSERT_EQ(texts.size(), between + (between - before) - 1);
  EXPECT_EQ(texts[before], raw);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(between), texts.end()),
            std::vector<std::string>(texts.begin() + static_cast<std::ptrdiff_t>(before) + 1,
                                     texts.begin() + static_cast<std::ptrdiff_t>(between)));
}

TEST_F(FastFinishTest, ARefusedRestPieceFallsBackAloneToLightCleaning) {
  const std::string rest = "um so we should check the delta number. " + sevenWordSentences(4, "delta");
  start({{rest, kRefusal}});
  choose("1", std::nullopt);
  const DictationResult result = pipeline->finish(first + " " + second + " " + rest, head);
  EXPECT_EQ(result.path, "cleaned in 3 pieces, 1 fell back, 2 while talking");
  EXPECT_EQ(result.final.find(kRefusal), std::string::npos);
  // The pieces from talking are kept as they were; the refused one is lightly cleaned.
  EXPECT_EQ(result.final.rfind(first + " " + second + " ", 0), 0u) << result.final;
  EXPECT_EQ(result.final.find("um so"), std::string::npos) << result.final;
  EXPECT_EQ(asked().size(), 1u);  // the refused piece is not sent again
}

TEST_F(FastFinishTest, TheWritingSpeedIsSavedOnceTheDictationIsFinished) {
  ScopedEnv slowWriter("QUORVEL_STANDIN_MS_PER_TOKEN", "20");  // 50 tokens a second
  start({});
  choose("auto", std::nullopt);
  // A piece cleaned while the user talks writes nothing to the settings yet.
  ASSERT_TRUE(pipeline->cleanPiece(first, *pipeline->configOverride, std::nullopt, std::nullopt).ok());
  EXPECT_FALSE(UserDefaults().value("writingSpeed"));
  // Finishing the dictation saves what its requests measured.
  (void)pipeline->finish("fine", std::nullopt);
  const auto measured = WritingSpeed::stored().tokensPerSecond();
  ASSERT_TRUE(measured);
  EXPECT_NEAR(*measured, 50, 1);
}

TEST_F(FastFinishTest, AutoLearnsASlowWriterFromRequestsThatWriteEnough) {
  ScopedEnv slowWriter("QUORVEL_STANDIN_MS_PER_TOKEN", "20");  // 50 tokens a second
  start({});
  choose("auto", std::nullopt);
  // Warm-up requests of a token or two never make a figure.
  pipeline->warmCleanup("warm up", *pipeline->configOverride, std::nullopt, std::nullopt);
  (void)pipeline->finish("fine", std::nullopt);
  EXPECT_FALSE(WritingSpeed::stored().tokensPerSecond());
  // A dictation that writes enough makes one.
  (void)pipeline->finish(first, std::nullopt);
  const auto measured = WritingSpeed::stored().tokensPerSecond();
  ASSERT_TRUE(measured);
  EXPECT_NEAR(*measured, 50, 1);
  const DictationResult longNext = pipeline->finish(text, head);
  EXPECT_EQ(longNext.path, "cleaned in 3 pieces, 2 while talking");
}

}  // namespace
}  // namespace quorvel
