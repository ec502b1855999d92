#include "engine/CleanupModel.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Config.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

class CleanupModelTest : public ::testing::Test {
 protected:
  void SetUp() override { Config::resetForTesting(); }
  void TearDown() override { Config::resetForTesting(); }
  void put(const std::string& file) {
    testing::writeTextFile(root / "models" / file, "gguf");
    Config::resetForTesting();
  }

  TempDir root;
  ScopedEnv rootVariable{"QUORVEL_ROOT", root.path().string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (root / "config").string()};
  ScopedEnv noLayer{"QUORVEL_ADAPTER_CLEANUP", std::nullopt};
  ScopedEnv noBase{"QUORVEL_BASE_MODEL", std::nullopt};
};

TEST_F(CleanupModelTest, TheBaseModelAloneIsTheStandardModel) {
  put("qwen3-1.7b-q4_k_m.gguf");
  const CleanupModelChoice choice = chooseCleanupModel();
  EXPECT_FALSE(choice.trained);
  // Given to startLlama, which joins it to the models folder: an absolute path stays itself.
  EXPECT_EQ(Config::models() / choice.modelFile, root / "models" / "qwen3-1.7b-q4_k_m.gguf");
  EXPECT_NE(choice.description.find("standard"), std::string::npos);
}

TEST_F(CleanupModelTest, ALayerOrTheStandAloneFileMakesItTrained) {
  put("qwen3-1.7b-q4_k_m.gguf");
  put("cleanup-trained.gguf");
  EXPECT_TRUE(chooseCleanupModel().trained);
  EXPECT_EQ(chooseCleanupModel().modelFile, "cleanup-trained.gguf");

  fs::remove(root / "models" / "cleanup-trained.gguf");
  put("adapters/cleanup-4.gguf");
  const CleanupModelChoice layered = chooseCleanupModel();
  EXPECT_TRUE(layered.trained);
  EXPECT_NE(layered.description.find("cleanup-4.gguf"), std::string::npos);
}

TEST_F(CleanupModelTest, ALayerWithoutItsBaseModelIsNotUsed) {
  put("adapters/cleanup-4.gguf");
  put("cleanup-trained.gguf");
  const CleanupModelChoice choice = chooseCleanupModel();
  EXPECT_TRUE(choice.trained);
  EXPECT_EQ(choice.modelFile, "cleanup-trained.gguf");
  EXPECT_EQ(choice.description, "trained: cleanup-trained.gguf");
}

TEST_F(CleanupModelTest, NothingPresentKeepsTheTrainedFileAndSaysItIsMissing) {
  const CleanupModelChoice choice = chooseCleanupModel();
  EXPECT_TRUE(choice.trained);
  EXPECT_EQ(choice.modelFile, "cleanup-trained.gguf");
  EXPECT_NE(choice.description.find("missing"), std::string::npos);
}

}  // namespace
}  // namespace quorvel
