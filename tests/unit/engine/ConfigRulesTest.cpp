#include "engine/ConfigRules.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace quorvel {
namespace {

using testing::TempDir;

TEST(PortFromSetting, DecimalValuesWinAndAnythingElseGivesTheDefault) {
  struct Case {
    std::optional<std::string> value;
    std::int64_t expected;
  };
  const Case cases[] = {
      {std::nullopt, 8179}, {"", 8179},    {"letters", 8179}, {"+8200", 8200},
      {"8200", 8200},       {"-1", -1},    {"80 80", 8179},   {"8.5", 8179},
      {"99999999999999999999", 8179},      {"0", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(portFromSetting(c.value, 8179), c.expected) << c.value.value_or("<unset>");
  }
}

TEST(SwitchFromSettings, EnvironmentIsOnUnlessExactlyZeroThenStoredBoolThenOn) {
  struct Case {
    std::optional<std::string> environment;
    std::optional<Json> stored;
    bool expected;
  };
  const Case cases[] = {
      {"0", Json(true), false},
      {"false", Json(false), true},  // only "0" switches off
      {"", Json(false), true},       // present but empty still means on
      {"00", std::nullopt, true},
      {std::nullopt, Json(false), false},
      {std::nullopt, Json(true), true},
      {std::nullopt, Json(0), true},        // a number is not a Bool
      {std::nullopt, Json("false"), true},  // nor is text
      {std::nullopt, std::nullopt, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(switchFromSettings(c.environment, c.stored), c.expected)
        << c.environment.value_or("<unset>") << " / " << (c.stored ? c.stored->dump() : "<absent>");
  }
}

TEST(ChooseRoot, FollowsTheThreeSteps) {
  TempDir home, data;
  // 1: the setting wins, even over a development tree.
  fs::create_directories(home.path() / "Quorvel" / "models");
  fs::create_directories(home.path() / "Quorvel" / "training");
  auto choice = chooseRoot("/somewhere/else", home.path(), data.path());
  EXPECT_EQ(choice.root, "/somewhere/else");
  EXPECT_TRUE(choice.createFolders);
  // 2: a development tree with models and training.
  choice = chooseRoot(std::nullopt, home.path(), data.path());
  EXPECT_EQ(choice.root, home.path() / "Quorvel");
  EXPECT_FALSE(choice.createFolders);
  // An empty setting is as if unset.
  EXPECT_EQ(chooseRoot("", home.path(), data.path()).root, home.path() / "Quorvel");
  // 3: models without training is not a development tree.
  fs::remove_all(home.path() / "Quorvel" / "training");
  choice = chooseRoot(std::nullopt, home.path(), data.path());
  EXPECT_EQ(choice.root, data.path() / "Quorvel");
  EXPECT_TRUE(choice.createFolders);
}

TEST(CleanupVersion, IsTheNumberAfterTheLastDashFromTwoToNinetyNine) {
  const std::pair<const char*, int> cases[] = {
      {"cleanup-5.gguf", 5},  {"cleanup.gguf", 2},     {"cleanup-1.gguf", 2},
      {"cleanup-100.gguf", 2}, {"cleanup-99.gguf", 99}, {"cleanup-2.gguf", 2},
      {"cleanup-.gguf", 2},    {"cleanup-x.gguf", 2},   {"cleanup-v2-7.gguf", 7},
      {"cleanup-7", 7},        {"cleanup-+7.gguf", 7},  {"cleanup-7.tar.gguf", 2},
  };
  for (const auto& [name, version] : cases) EXPECT_EQ(cleanupVersion(name), version) << name;
}

TEST(NewestCleanupLayer, PicksTheHighestEligibleNumber) {
  TempDir dir;
  EXPECT_EQ(newestCleanupLayer(dir.path()), dir.path() / "cleanup.gguf");
  for (const char* name : {"cleanup-small-9.gguf", "cleanup-2.gguf", "cleanup-4.gguf",
                           "cleanup-5.gguf", "cleanup-100.gguf", "cleanup-6.bin", "other-8.gguf"}) {
    testing::writeTextFile(dir / name, "");
  }
  EXPECT_EQ(newestCleanupLayer(dir.path()), dir.path() / "cleanup-5.gguf");
  EXPECT_EQ(newestCleanupLayer(dir.path() / "missing"), dir.path() / "missing" / "cleanup.gguf");
}

}  // namespace
}  // namespace quorvel
