#include "engine/ModelCard.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Config.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

TEST(ModelCard, ReadsKnownKeysAndRefusesWhatItCannotDecode) {
  auto card = ModelCard::fromJson(Json::parse(
      R"({"name":"Quorvel Cleanup 5","base":"qwen3","examples":1200,"speech_examples":300,
          "pairs":null,"list_score":"0.93","unknown":[1]})"));
  ASSERT_TRUE(card.has_value());
  EXPECT_EQ(card->name, "Quorvel Cleanup 5");
  EXPECT_EQ(card->base, "qwen3");
  EXPECT_EQ(card->trained, std::nullopt);
  EXPECT_EQ(card->examples, 1200);
  EXPECT_EQ(card->speechExamples, 300);
  EXPECT_EQ(card->pairs, std::nullopt);
  EXPECT_EQ(card->listScore, "0.93");

  EXPECT_FALSE(ModelCard::fromJson(Json::parse(R"({"base":"qwen3"})")));
  EXPECT_FALSE(ModelCard::fromJson(Json::parse(R"({"name":"x","examples":"many"})")));
  EXPECT_FALSE(ModelCard::fromJson(Json::parse(R"(["name"])")));
}

TEST(ModelCard, IsFoundBesideTheResolvedFileElseInTheResources) {
  Config::resetForTesting();
  TempDir dir;
  ScopedEnv resources("QUORVEL_RESOURCES", (dir.path() / "resources").string());
  testing::writeTextFile(dir / "models" / "cleanup-5.gguf", "weights");
  testing::writeTextFile(dir / "models" / "cleanup-5.json", R"({"name":"beside"})");
  fs::create_symlink(dir / "models" / "cleanup-5.gguf", dir / "current.gguf");
  testing::writeTextFile(dir / "resources" / "cleanup-model.json", R"({"name":"bundled"})");
  testing::writeTextFile(dir / "resources" / "adapter-cleanup.json", "not json");

  EXPECT_EQ(ModelCard::forCleanupModel(dir / "current.gguf")->name, "beside");
  EXPECT_EQ(ModelCard::forCleanupModel(dir / "other.gguf")->name, "bundled");
  EXPECT_FALSE(ModelCard::forLayer("cleanup", dir / "other.gguf").has_value());
  Config::resetForTesting();
}

}  // namespace
}  // namespace quorvel
