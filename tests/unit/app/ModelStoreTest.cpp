// The model store's rules that need no network: the item table, what is
// missing, upgrades, older layers, piece arithmetic, texts and checksums.
#include "app/models/ModelStore.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TestSupport.h"
#include "engine/Config.h"

namespace quorvel {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

std::vector<std::string> filesOf(const std::vector<ModelStore::Item>& items) {
  std::vector<std::string> files;
  for (const auto& item : items) files.push_back(item.file);
  return files;
}

void touch(const fs::path& file) { testing::writeTextFile(file, "x"); }

// A fresh configuration rooted in a temporary folder.
class ModelFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { Config::resetForTesting(); }
  void TearDown() override { Config::resetForTesting(); }

  fs::path models() const { return root.path() / "models"; }

  TempDir root;
  ScopedEnv rootVariable{"QUORVEL_ROOT", root.path().string()};
  ScopedEnv layerVariable{"QUORVEL_ADAPTER_CLEANUP", std::nullopt};
};

TEST(ModelItems, TheCatalogPinsPublicAddressesSizesAndChecksums) {
  ScopedEnv noMirror("QUORVEL_MODEL_HOST", std::nullopt);
  struct Pin {
    const char* file;
    const char* url;
    std::int64_t bytes;
    const char* sha256;
    const char* licence;
  };
  const std::vector<Pin> speechPins = {
      {"ggml-base.en.bin", "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-base.en.bin",
       147'964'211, "a03779c86df3323075f5e796cb2ce5029f00ec8869eee3fdfb897afe36c6d002", "MIT"},
      {"ggml-small.en-q5_1.bin",
       "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-small.en-q5_1.bin", 190'098'681,
       "bfdff4894dcb76bbf647d56263ea2a96645423f1669176f4844a1bf8e478ad30", "MIT"},
      {"ggml-large-v3-turbo-q5_0.bin",
       "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/ggml-large-v3-turbo-q5_0.bin",
       574'041'195, "394221709cd5ad1f40c46e6031ca61bce88931e6e088c188294c6d5a55ffa7e2", "MIT"},
  };
  ASSERT_EQ(speechPins.size(), Config::speechModels().size());
  for (const auto& pin : speechPins) {
    const auto item = ModelStore::speech(pin.file);
    EXPECT_EQ(item.file, pin.file);
    EXPECT_EQ(item.url, pin.url);
    EXPECT_EQ(item.bytes, pin.bytes);
    EXPECT_EQ(item.sha256, pin.sha256);
    EXPECT_EQ(item.label, "speech model");
    EXPECT_EQ(item.licence, pin.licence);
  }

  const auto base = ModelStore::base();
  EXPECT_EQ(base.file, Config::baseModelFile);
  EXPECT_EQ(base.url, "https://huggingface.co/unsloth/Qwen3-1.7B-GGUF/resolve/main/Qwen3-1.7B-Q4_K_M.gguf");
  EXPECT_EQ(base.bytes, 1'107'409'472);
  EXPECT_EQ(base.sha256, "b139949c5bd74937ad8ed8c8cf3d9ffb1e99c866c823204dc42c0d91fa181897");
  EXPECT_EQ(base.label, "language model");
  EXPECT_EQ(base.licence, "Apache-2.0");

  // No cleanup layer is published: kept for the upgrade rules, never fetched.
  const auto layer = ModelStore::cleanupAdapter();
  EXPECT_EQ(layer.file, "adapters/cleanup-5.gguf");
  EXPECT_EQ(layer.bytes, 34'892'416);
  EXPECT_EQ(layer.label, "Quorvel Cleanup");
  EXPECT_TRUE(layer.url.empty());
  EXPECT_TRUE(ModelStore::mergedCleanup().url.empty());

  EXPECT_EQ(filesOf(ModelStore::required("ggml-base.en.bin")),
            (std::vector<std::string>{"ggml-base.en.bin", std::string(Config::baseModelFile)}));
}

TEST(ModelItems, AMirrorServesEveryItemWithAnAddressUnderItsOwnFileName) {
  ScopedEnv mirrorHost("QUORVEL_MODEL_HOST", "http://127.0.0.1:8000/models/");
  // The mirror is read once per process: ask in a freshly started child (not
  // a fork, which would inherit a value an earlier test already read) so this
  // test neither sees nor fixes the value for the others.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_EXIT(
      {
        const bool ok = ModelStore::speech("ggml-base.en.bin").url ==
                            "http://127.0.0.1:8000/models/ggml-base.en.bin" &&
                        ModelStore::base().url ==
                            "http://127.0.0.1:8000/models/qwen3-1.7b-q4_k_m.gguf" &&
                        ModelStore::base().sha256 ==
                            "b139949c5bd74937ad8ed8c8cf3d9ffb1e99c866c823204dc42c0d91fa181897" &&
                        ModelStore::cleanupAdapter().url.empty();
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(DownloadSettings, TheEnvironmentShortensTheTestKnobsAndEachDownloadGetsItsOwnCancel) {
  // Nothing else in this program reads the settings, so this is the first read.
  ScopedEnv pieces("QUORVEL_DOWNLOAD_PIECE_BYTES", "1000");
  ScopedEnv retry("QUORVEL_DOWNLOAD_RETRY_MS", "5");
  ScopedEnv timeout("QUORVEL_DOWNLOAD_TIMEOUT_MS", "zero");  // not a number: ignored
  ScopedEnv ca("QUORVEL_CA_FILE", "/tmp/ca.pem");
  const auto first = ModelStore::DownloadSettings::fromEnvironment();
  EXPECT_EQ(first.pieceSize, 1000);
  EXPECT_EQ(first.retryStep, std::chrono::milliseconds(5));
  EXPECT_EQ(first.pieceTimeout, std::chrono::milliseconds(20000));
  EXPECT_EQ(first.wholeTimeout, std::chrono::milliseconds(60000));
  EXPECT_EQ(first.triesPerPiece, 4);
  EXPECT_EQ(first.piecesAtOnce, 6);
  EXPECT_EQ(first.caFile, "/tmp/ca.pem");
  first.cancel.cancel();
  EXPECT_FALSE(ModelStore::DownloadSettings::fromEnvironment().cancel.cancelled());

  const ModelStore::DownloadSettings product;
  EXPECT_EQ(product.pieceSize, 8'000'000);
  EXPECT_EQ(product.retryStep, std::chrono::milliseconds(1500));
  EXPECT_FALSE(product.caFile.has_value());
}

TEST(ModelItems, ItemUrlJoinsHostAndPathWithOneSlash) {
  EXPECT_EQ(ModelStore::itemUrl("https://h.example", "/a.bin"), "https://h.example/a.bin");
  EXPECT_EQ(ModelStore::itemUrl("https://h.example/models/", "/a.bin"),
            "https://h.example/models/a.bin");
  EXPECT_EQ(ModelStore::itemUrl("http://127.0.0.1:8080", "a.bin"), "http://127.0.0.1:8080/a.bin");
}

TEST(ModelUrls, OnlyAbsoluteWebAddressesAreUsable) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"https://models.example/a.bin", true},
      {"HTTP://127.0.0.1:9000/x/y.gguf", true},
      {"https://user@host.example/a", true},
      {"", false},
      {"models.example/a.bin", false},
      {"ftp://models.example/a.bin", false},
      {"file:///etc/passwd", false},
      {"https://", false},
      {"https:///a.bin", false},
      {"https://:80/a.bin", false},
      {"https://models.example/a b.bin", false},
      {"https://models.example/a\nb", false},
      {"https://mödels.example/a", false},
  };
  for (const auto& [url, usable] : cases) EXPECT_EQ(ModelStore::isUsableUrl(url), usable) << url;
}

TEST(ModelPieces, ALargeItemHas139PiecesAndAShortLastOne) {
  ModelStore::Item item = ModelStore::base();
  item.bytes = 1'107'409'248;
  const auto pieces = ModelStore::pieces(item, "/parts");
  ASSERT_EQ(pieces.size(), 139u);
  EXPECT_EQ(pieces.back().start, 138 * 8'000'000LL);
  EXPECT_EQ(pieces.back().length, 3'409'248);
  std::int64_t sum = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i].start, sum);
    EXPECT_FALSE(pieces[i].whole);
    EXPECT_EQ(pieces[i].url, item.url);
    sum += pieces[i].length;
  }
  EXPECT_EQ(sum, item.bytes);
  EXPECT_EQ(pieces[0].file, fs::path("/parts") / (std::string(Config::baseModelFile) + ".0"));
  EXPECT_EQ(pieces[0].length, 8'000'000);
}

TEST(ModelPieces, ExactlyOnePieceSizeIsOneWholePiece) {
  ModelStore::Item item{"adapters/cleanup-5.gguf", "https://h.example/c.gguf", "", 8'000'000, "x"};
  const auto pieces = ModelStore::pieces(item, "/p");
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_TRUE(pieces[0].whole);
  EXPECT_EQ(pieces[0].length, 8'000'000);
  EXPECT_EQ(pieces[0].file, fs::path("/p/adapters_cleanup-5.gguf.0"));

  item.bytes = 8'000'001;
  const auto two = ModelStore::pieces(item, "/p");
  ASSERT_EQ(two.size(), 2u);
  EXPECT_FALSE(two[0].whole);
  EXPECT_EQ(two[1].length, 1);
  EXPECT_EQ(two[1].file, fs::path("/p/adapters_cleanup-5.gguf.1"));
}

TEST(ModelPieces, EmptyItemsHaveOnePieceAndUnusableAddressesNone) {
  ModelStore::Item item{"a.bin", "https://h.example/a.bin", "", 0, "x"};
  const auto pieces = ModelStore::pieces(item, "/p");
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_TRUE(pieces[0].whole);
  EXPECT_EQ(pieces[0].length, 0);

  item.url = "not a url";
  EXPECT_TRUE(ModelStore::pieces(item, "/p").empty());
  item.url = "";
  EXPECT_TRUE(ModelStore::pieces(item, "/p").empty());
}

TEST(ModelPieces, APieceIsHereOnlyWithItsExactSize) {
  TempDir dir;
  ModelStore::Piece piece{"https://h.example/a", 0, 3, false, dir / "a.0"};
  EXPECT_FALSE(piece.here());
  testing::writeTextFile(piece.file, "ab");
  EXPECT_FALSE(piece.here());
  testing::writeTextFile(piece.file, "abc");
  EXPECT_TRUE(piece.here());
  testing::writeTextFile(piece.file, "abcd");
  EXPECT_FALSE(piece.here());
}

TEST(ModelTexts, ProgressShowsWholePercentOfTheTotalAndNever100) {
  const std::int64_t total = 1'332'400'345;  // the three required items
  const std::vector<std::pair<std::int64_t, std::string>> cases = {
      {0, "Downloading Quorvel's models… 0% of 1.3 GB"},
      {total * 42 / 100 + 1, "Downloading Quorvel's models… 42% of 1.3 GB"},
      {total * 43 / 100, "Downloading Quorvel's models… 42% of 1.3 GB"},
      {total - 1, "Downloading Quorvel's models… 99% of 1.3 GB"},
      {total, "Downloading Quorvel's models… 99% of 1.3 GB"},
  };
  for (const auto& [done, text] : cases) EXPECT_EQ(ModelStore::progressText(done, total), text);
  EXPECT_EQ(ModelStore::progressText(559'608'145, total),
            "Downloading Quorvel's models… 42% of 1.3 GB");
  EXPECT_EQ(ModelStore::progressText(0, 34'892'416), "Downloading Quorvel's models… 0% of 0.0 GB");
  // An empty total shows nothing done rather than dividing by zero.
  EXPECT_EQ(ModelStore::progressText(5, 0), "Downloading Quorvel's models… 0% of 0.0 GB");
}

TEST(ModelTexts, UnavailableTextCapitalisesEachWordOfTheLabel) {
  EXPECT_EQ(ModelStore::unavailableText("speech model"),
            "Speech Model isn't available to download yet");
  EXPECT_EQ(ModelStore::unavailableText("language model"),
            "Language Model isn't available to download yet");
  EXPECT_EQ(ModelStore::unavailableText("Quorvel Cleanup"),
            "Quorvel Cleanup isn't available to download yet");
  EXPECT_EQ(ModelStore::unavailableText("GGML whisper-model"),
            "Ggml Whisper-Model isn't available to download yet");
  EXPECT_EQ(ModelStore::unavailableText(""), " isn't available to download yet");
}

TEST(ModelChecksums, FileSha256ReadsInBlocksAndAnswersNothingForMissingFiles) {
  TempDir dir;
  testing::writeTextFile(dir / "empty", "");
  testing::writeTextFile(dir / "abc", "abc");
  // Just over one 8 MiB block, so the digest spans two reads.
  testing::writeTextFile(dir / "long", std::string(ModelStore::blockBytes + 3, 'a'));
  testing::writeTextFile(dir / "block", std::string(ModelStore::blockBytes, 'a'));
  EXPECT_EQ(ModelStore::fileSHA256(dir / "empty"),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(ModelStore::fileSHA256(dir / "abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(ModelStore::fileSHA256(dir / "long"),
            "d54a99c4e178084df6568d4af925039332e50826c4aadf42546934123e9a369d");
  EXPECT_EQ(ModelStore::fileSHA256(dir / "block"),
            "ad97f87076920684e2ca66fc44e5d322797dc9d64706b174e51b5d0828937043");
  EXPECT_EQ(ModelStore::fileSHA256(dir / "absent"), std::nullopt);
  EXPECT_EQ(ModelStore::fileSHA256(dir.path()), std::nullopt);  // a folder is not a file
}

TEST_F(ModelFolderTest, MissingListsRequiredFilesThatAreAbsentInOrder) {
  EXPECT_EQ(filesOf(ModelStore::missing()), filesOf(ModelStore::required()));
  touch(models() / std::string(Config::baseModelFile));
  EXPECT_EQ(filesOf(ModelStore::missing()), (std::vector<std::string>{"ggml-small.en-q5_1.bin"}));
  touch(models() / "ggml-small.en-q5_1.bin");
  EXPECT_TRUE(ModelStore::missing().empty());  // no published cleanup layer to wait for
}

TEST_F(ModelFolderTest, UpgradeNeedsTheOldMergedModelAndTheSpeechModel) {
  const std::vector<ModelStore::Item> newFiles = {ModelStore::base(), ModelStore::cleanupAdapter()};
  EXPECT_FALSE(ModelStore::isUpgrade(newFiles));  // a first launch
  touch(models() / "cleanup-trained.gguf");
  EXPECT_FALSE(ModelStore::isUpgrade(newFiles));  // the speech model is missing too
  touch(models() / "ggml-small.en-q5_1.bin");
  EXPECT_TRUE(ModelStore::isUpgrade(newFiles));
  EXPECT_TRUE(ModelStore::isUpgrade({ModelStore::cleanupAdapter()}));
  EXPECT_TRUE(ModelStore::isUpgrade({ModelStore::base()}));
  EXPECT_FALSE(ModelStore::isUpgrade({}));
  EXPECT_FALSE(ModelStore::isUpgrade({ModelStore::speech(), ModelStore::base()}));
}

TEST_F(ModelFolderTest, NewerLayerNeedsOnlyTheLayerMissingAndAnOlderOnePresent) {
  const std::vector<ModelStore::Item> layerOnly = {ModelStore::cleanupAdapter()};
  EXPECT_FALSE(ModelStore::isNewerLayer(layerOnly));  // no layer at all yet
  touch(models() / "adapters" / "cleanup-4.gguf");
  EXPECT_TRUE(ModelStore::isNewerLayer(layerOnly));
  EXPECT_FALSE(ModelStore::isNewerLayer({ModelStore::speech(), ModelStore::cleanupAdapter()}));
  EXPECT_FALSE(ModelStore::isNewerLayer({ModelStore::base()}));
  EXPECT_FALSE(ModelStore::isNewerLayer({}));
}

TEST_F(ModelFolderTest, RemoveOlderLayersKeepsTheNewestLayerAndOtherFiles) {
  const fs::path adapters = models() / "adapters";
  for (const char* name : {"cleanup-3.gguf", "cleanup-4.gguf", "cleanup-5.gguf", "cleanup.gguf",
                           "style-2.gguf", "cleanup-4.gguf.download", "notes.txt"}) {
    touch(adapters / name);
  }
  fs::create_directories(adapters / "cleanup-folder.gguf");
  ModelStore::removeOlderLayers();
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(adapters)) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"cleanup-4.gguf.download", "cleanup-5.gguf",
                                            "cleanup-folder.gguf", "notes.txt", "style-2.gguf"}));
}

TEST_F(ModelFolderTest, RemoveOlderLayersWithoutAFolderDoesNothing) {
  ModelStore::removeOlderLayers();
  EXPECT_FALSE(fs::exists(models() / "adapters"));
}

}  // namespace
}  // namespace quorvel
