// The running writing speed of the language model and the fast-finish choice
// it drives, as plain values and through the user defaults.
#include "engine/WritingSpeed.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Config.h"
#include "support/UserDefaults.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

EngineTimings wrote(std::int64_t tokens, std::int64_t ms) {
  EngineTimings timings;
  timings.read = 10;
  timings.wrote = tokens;
  timings.writeMs = ms;
  return timings;
}

TEST(WritingSpeed, NoSingleShortRequestMakesAFigure) {
  struct Case {
    std::vector<EngineTimings> requests;
    std::optional<double> tokensPerSecond;
  };
  const Case cases[] = {
      {{}, std::nullopt},
      {{wrote(3, 30)}, std::nullopt},             // a warm-up's few tokens alone decide nothing
      {{wrote(1, 5), wrote(1, 5)}, std::nullopt},  // one token measures the prompt, not writing
      {{wrote(40, 1000)}, 40.0},
      {{wrote(3, 30), wrote(30, 570)}, 55.0},     // tokens and time add up across requests
      {{wrote(50, 0)}, std::nullopt},             // no time reported: nothing measured
      {{wrote(0, 100)}, std::nullopt},
  };
  for (const Case& c : cases) {
    WritingSpeed speed;
    for (const EngineTimings& request : c.requests) speed = speed.adding(request);
    EXPECT_EQ(speed.tokensPerSecond(), c.tokensPerSecond) << c.requests.size();
  }
}

TEST(WritingSpeed, OldRequestsFadeSoAFasterChipIsNoticed) {
  WritingSpeed speed;
  for (int i = 0; i < 100; ++i) speed = speed.adding(wrote(60, 2000));  // 30 a second on a CPU
  EXPECT_NEAR(*speed.tokensPerSecond(), 30, 0.01);
  EXPECT_LE(speed.tokens, WritingSpeed::remembered);
  for (int i = 0; i < 100; ++i) speed = speed.adding(wrote(60, 400));  // 150 a second on a graphics chip
  EXPECT_GT(*speed.tokensPerSecond(), WritingSpeed::slowBelow);
}

TEST(WritingSpeed, StoredFigureReadsBackAndBadValuesAreNoFigure) {
  EXPECT_EQ(WritingSpeed::fromJson(WritingSpeed{100, 2000}.toJson()).tokensPerSecond(), 50.0);
  for (const Json& bad : {Json(), Json(7), Json("fast"), Json{{"tokens", 100}},
                          Json{{"tokens", -100}, {"ms", 2000}}, Json{{"tokens", "100"}, {"ms", 2000}}}) {
    const WritingSpeed read = WritingSpeed::fromJson(bad);
    EXPECT_EQ(read.tokens, 0) << bad.dump();
    EXPECT_FALSE(read.tokensPerSecond()) << bad.dump();
  }
}

TEST(WritingSpeed, NotedRequestsAddUpInTheUserDefaults) {
  TempDir root;
  ScopedEnv configHome("XDG_CONFIG_HOME", root.path().string());
  ASSERT_TRUE(UserDefaults().set("writingSpeed", "not a figure").ok());
  ASSERT_TRUE(UserDefaults().set("sound", false).ok());
  WritingSpeed::note({wrote(1, 1)});  // no writing measured: the file stays as it is
  EXPECT_EQ(UserDefaults().value("writingSpeed"), Json("not a figure"));
  WritingSpeed::note({wrote(20, 1000), wrote(1, 1), wrote(20, 1000)});
  EXPECT_EQ(WritingSpeed::stored().tokensPerSecond(), 20.0);
  WritingSpeed::note({wrote(40, 1000)});  // 80 tokens in 3 s
  EXPECT_NEAR(WritingSpeed::stored().tokensPerSecond().value_or(0), 80.0 / 3, 1e-9);
  EXPECT_EQ(UserDefaults().boolValue("sound"), false);  // the other settings are kept
}

TEST(FastFinishFromSettings, EnvironmentThenStoredValueThenAutomatic) {
  using S = FastFinishSetting;
  struct Case {
    std::optional<std::string> environment;
    std::optional<Json> stored;
    S expected;
  };
  const Case cases[] = {
      {"auto", Json(false), S::automatic}, {"1", Json(false), S::on},
      {"0", Json(true), S::off},           {"yes", std::nullopt, S::on},  // like every switch: on unless "0"
      {std::nullopt, Json(true), S::on},   {std::nullopt, Json(false), S::off},
      {std::nullopt, Json("1"), S::on},    {std::nullopt, Json("0"), S::off},
      {std::nullopt, Json("auto"), S::automatic}, {std::nullopt, Json(1), S::automatic},
      {std::nullopt, Json("maybe"), S::automatic}, {std::nullopt, std::nullopt, S::automatic},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fastFinishFromSettings(c.environment, c.stored), c.expected)
        << c.environment.value_or("<unset>") << " " << (c.stored ? c.stored->dump() : "<none>");
  }
}

TEST(FastFinishChosen, AutomaticFollowsAMeasuredSlowWriterOnly) {
  using S = FastFinishSetting;
  EXPECT_TRUE(fastFinishChosen(S::on, std::nullopt));
  EXPECT_TRUE(fastFinishChosen(S::on, 150.0));
  EXPECT_FALSE(fastFinishChosen(S::off, 10.0));
  EXPECT_TRUE(fastFinishChosen(S::automatic, 30.0));
  EXPECT_TRUE(fastFinishChosen(S::automatic, 59.9));
  EXPECT_FALSE(fastFinishChosen(S::automatic, 60.0));
  EXPECT_FALSE(fastFinishChosen(S::automatic, 150.0));
  EXPECT_FALSE(fastFinishChosen(S::automatic, std::nullopt));  // not measured yet: the whole text
}

TEST(CleanWhileTalkingSwitch, ShowsOnUnlessOffAndStoresAutoOrOff) {
  using S = FastFinishSetting;
  const std::pair<std::optional<Json>, bool> shown[] = {
      {std::nullopt, true}, {Json("auto"), true}, {Json(true), true},  {Json("1"), true},
      {Json(false), false}, {Json("0"), false},   {Json(7), true},     {Json("maybe"), true},
  };
  for (const auto& [stored, on] : shown) {
    EXPECT_EQ(cleanWhileTalkingShown(stored), on) << (stored ? stored->dump() : "<none>");
  }
  // Switched on it goes back to the measured-speed rule, not to "always".
  EXPECT_EQ(fastFinishFromSettings(std::nullopt, cleanWhileTalkingStored(true)), S::automatic);
  EXPECT_EQ(fastFinishFromSettings(std::nullopt, cleanWhileTalkingStored(false)), S::off);
  EXPECT_TRUE(cleanWhileTalkingShown(cleanWhileTalkingStored(true)));
  EXPECT_FALSE(cleanWhileTalkingShown(cleanWhileTalkingStored(false)));
}

TEST(CleanWhileTalkingSwitch, AChangeHoldsForTheNextDictationWithoutARestart) {
  TempDir config;
  ScopedEnv home("XDG_CONFIG_HOME", config.path().string());
  ScopedEnv unset("QUORVEL_FAST_FINISH", std::nullopt);
  Config::resetForTesting();
  EXPECT_EQ(Config::fastFinish(), FastFinishSetting::automatic);
  ASSERT_TRUE(UserDefaults().set("fastFinish", cleanWhileTalkingStored(false)).ok());
  EXPECT_EQ(Config::fastFinish(), FastFinishSetting::off);
  ASSERT_TRUE(UserDefaults().set("fastFinish", cleanWhileTalkingStored(true)).ok());
  EXPECT_EQ(Config::fastFinish(), FastFinishSetting::automatic);
  {
    ScopedEnv environment("QUORVEL_FAST_FINISH", "0");  // the environment still decides first
    EXPECT_EQ(Config::fastFinish(), FastFinishSetting::off);
  }
  Config::resetForTesting();
}

}  // namespace
}  // namespace quorvel
