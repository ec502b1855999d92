#include "engine/Config.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "support/UserDefaults.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

// Every test starts from a fresh configuration in temporary folders.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { Config::resetForTesting(); }
  void TearDown() override { Config::resetForTesting(); }

  TempDir home;
  ScopedEnv homeVariable{"HOME", home.path().string()};
  ScopedEnv dataHome{"XDG_DATA_HOME", (home.path() / "data").string()};
  ScopedEnv configHome{"XDG_CONFIG_HOME", (home.path() / "config").string()};
  ScopedEnv root{"QUORVEL_ROOT", std::nullopt};
};

TEST_F(ConfigTest, RootFromTheSettingIsCreatedWithItsFolders) {
  const fs::path wanted = home.path() / "not" / "yet";
  ScopedEnv setting("QUORVEL_ROOT", wanted.string());
  EXPECT_EQ(Config::root(), wanted);
  EXPECT_TRUE(fs::is_directory(wanted / "models"));
  EXPECT_TRUE(fs::is_directory(wanted / "logs"));
  EXPECT_FALSE(Config::isDev());
  EXPECT_EQ(Config::userCleanupConfig(), wanted / "cleanup.json");
  EXPECT_EQ(Config::adaptersDir(), wanted / "models" / "adapters");
  EXPECT_EQ(Config::neuralEngineDir(), wanted / "models" / "neural-engine");
}

TEST_F(ConfigTest, DefaultRootIsUnderTheUserDataFolderAndADevTreeIsDetected) {
  EXPECT_EQ(Config::root(), home.path() / "data" / "Quorvel");
  EXPECT_TRUE(fs::is_directory(home.path() / "data" / "Quorvel" / "logs"));

  Config::resetForTesting();
  fs::create_directories(home.path() / "Quorvel" / "models");
  fs::create_directories(home.path() / "Quorvel" / "training");
  EXPECT_EQ(Config::root(), home.path() / "Quorvel");
  EXPECT_TRUE(Config::isDev());
  EXPECT_FALSE(fs::exists(home.path() / "Quorvel" / "logs"));  // nothing is created there
}

TEST_F(ConfigTest, ValuesAreReadOnceAtFirstUse) {
  ScopedEnv port("QUORVEL_LLAMA_PORT", "+8200");
  EXPECT_EQ(Config::llamaPort(), 8200);
  ScopedEnv changed("QUORVEL_LLAMA_PORT", "9000");
  EXPECT_EQ(Config::llamaPort(), 8200);
  EXPECT_EQ(Config::whisperPort(), 8178);
}

TEST_F(ConfigTest, SwitchesReadTheEnvironmentThenTheUserDefaults) {
  ASSERT_TRUE(UserDefaults().set("longPieces", false).ok());
  ASSERT_TRUE(UserDefaults().set("neuralEngine", "off").ok());
  ScopedEnv talk("QUORVEL_TALK_AHEAD", "0");
  EXPECT_FALSE(Config::talkAheadEnabled());
  EXPECT_FALSE(Config::longPiecesEnabled());
  EXPECT_TRUE(NeuralEngine::enabled());  // a stored text is not a Bool
}

TEST_F(ConfigTest, LayersArePresentOnlyWhenTheirFilesExistAndNeedTheBaseModel) {
  ScopedEnv setting("QUORVEL_ROOT", (home.path() / "root").string());
  fs::create_directories(Config::adaptersDir());
  EXPECT_TRUE(Config::adapters().empty());
  EXPECT_FALSE(Config::usesAdapters());

  Config::resetForTesting();
  testing::writeTextFile(Config::adaptersDir() / "cleanup-4.gguf", "layer");
  ASSERT_EQ(Config::adapters().size(), 1u);
  EXPECT_EQ(Config::adapters()[0].file, Config::adaptersDir() / "cleanup-4.gguf");
  EXPECT_EQ(Config::adapterID("cleanup"), 0);
  EXPECT_EQ(Config::adapterID("other"), std::nullopt);
  EXPECT_FALSE(Config::usesAdapters());  // no base model yet
  EXPECT_EQ(Config::cleanupHeaderVersion(), 4);

  testing::writeTextFile(Config::models() / "qwen3-1.7b-q4_k_m.gguf", "base");
  EXPECT_TRUE(Config::usesAdapters());
  Config::setLoadedCleanupLayer(fs::path("/x/cleanup-7.gguf"));
  EXPECT_EQ(Config::cleanupHeaderVersion(), 7);
}

TEST_F(ConfigTest, EnvironmentNamesLayerFilesBaseModelAndHeaderVersion) {
  ScopedEnv layer("QUORVEL_ADAPTER_CLEANUP", (home.path() / "mine.gguf").string());
  ScopedEnv base("QUORVEL_BASE_MODEL", (home.path() / "base.gguf").string());
  ScopedEnv header("QUORVEL_CLEANUP_HEADER", "3");
  EXPECT_EQ(Config::adapterFile("cleanup"), home.path() / "mine.gguf");
  EXPECT_EQ(Config::baseModelPath(), home.path() / "base.gguf");
  EXPECT_EQ(Config::cleanupHeaderVersion(), 3);
  EXPECT_EQ(Config::adapterFile("style"), Config::adaptersDir() / "style.gguf");
  ScopedEnv emptyLayer("QUORVEL_ADAPTER_STYLE", "");
  EXPECT_EQ(Config::adapterFile("style"), Config::adaptersDir() / "style.gguf");
}

TEST_F(ConfigTest, HelperExecutablesComeFromTheEnvironmentThenPath) {
  ScopedEnv whisper("QUORVEL_WHISPER_SERVER", "/opt/whisper/bin/whisper-server");
  testing::writeTextFile(home / "bin" / "llama-server", "#!/bin/sh\n");
  fs::permissions(home / "bin" / "llama-server", fs::perms::owner_all);
  ScopedEnv path("PATH", (home.path() / "bin").string());
  EXPECT_EQ(Config::whisperServer(), "/opt/whisper/bin/whisper-server");
  // A build tree with servers built into its libexec takes those first.
  const fs::path built = testing::buildBinFolder().parent_path() / "libexec" / "quorvel" / "llama-server";
  EXPECT_EQ(Config::llamaServer(), fs::exists(built) ? built : home / "bin" / "llama-server");
}

TEST_F(ConfigTest, NeuralEngineEncoderNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"ggml-large-v3-turbo-q5_0.bin", "ggml-large-v3-turbo-encoder.mlmodelc"},
      {"ggml-base.en.bin", "ggml-base.en-encoder.mlmodelc"},
      {"ggml-small.en-q5_1.bin", "ggml-small.en-encoder.mlmodelc"},
      {"model-q5_10.bin", "model-q5_10-encoder.mlmodelc"},
      {"model.gguf", "model.gguf-encoder.mlmodelc"},
  };
  for (const auto& [file, encoder] : cases) {
    EXPECT_EQ(NeuralEngine::encoder(file), Config::neuralEngineDir() / encoder) << file;
  }
  EXPECT_FALSE(NeuralEngine::available("ggml-base.en.bin"));
  fs::create_directories(NeuralEngine::encoder("ggml-base.en.bin"));
  EXPECT_TRUE(NeuralEngine::available("ggml-base.en.bin"));
}

TEST_F(ConfigTest, NeuralEngineModelPathRepairsABrokenLink) {
  fs::create_directories(Config::neuralEngineDir());
  const fs::path location = Config::neuralEngineDir() / "ggml-base.en.bin";
  fs::create_symlink("../gone.bin", location);
  testing::writeTextFile(Config::models() / "ggml-base.en.bin", "model");
  EXPECT_EQ(NeuralEngine::modelPath("ggml-base.en.bin"), location);
  EXPECT_EQ(fs::read_symlink(location), fs::path("../ggml-base.en.bin"));
  EXPECT_EQ(testing::readTextFile(location), "model");
  // A reachable location is left as it is.
  EXPECT_EQ(NeuralEngine::modelPath("ggml-base.en.bin"), location);
  EXPECT_EQ(fs::read_symlink(location), fs::path("../ggml-base.en.bin"));
}

}  // namespace
}  // namespace quorvel
