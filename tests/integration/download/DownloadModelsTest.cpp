// The command-line model download against the test download host.
#include "app/cli/DownloadModels.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "DownloadHost.h"
#include "TestSupport.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using testing::DownloadHost;
using testing::TempDir;

class DownloadModelsTest : public ::testing::Test {
 protected:
  DownloadModelsTest() {
    settings.pieceSize = 1000;
    settings.retryStep = 1ms;
    settings.triesPerPiece = 1;
    fs::create_directories(served);
    host = std::make_unique<DownloadHost>(served, temp / "host");
  }

  ModelStore::Item serve(const std::string& name, const std::string& data, const char* licence) {
    testing::writeTextFile(served / name, data);
    return ModelStore::Item{name, host->url(name), testing::sha256Hex(data),
                            static_cast<std::int64_t>(data.size()), "test model", licence};
  }

  // Runs the download, its output and exit status.
  std::pair<int, std::string> run(const std::vector<ModelStore::Item>& items) {
    const fs::path output = temp / "out.txt";
    std::FILE* out = std::fopen(output.c_str(), "w");
    const int status = downloadModels(items, models, settings, out, /*terminal=*/false);
    std::fclose(out);
    return {status, testing::readTextFile(output)};
  }

  TempDir temp;
  fs::path served = temp / "served";
  fs::path models = temp / "models";
  ModelStore::DownloadSettings settings;
  std::unique_ptr<DownloadHost> host;
};

TEST_F(DownloadModelsTest, FetchesWhatIsMissingChecksWhatIsHereAndNamesTheLicences) {
  const std::string speechData = testing::randomBytes(2500, 1), baseData = testing::randomBytes(1800, 2);
  const auto speech = serve("speech.bin", speechData, "MIT");
  const auto base = serve("base.gguf", baseData, "Apache-2.0");
  testing::writeTextFile(models / "base.gguf", baseData);  // already fetched earlier

  const auto [status, output] = run({speech, base});
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(testing::readTextFile(models / "speech.bin"), speechData);
  EXPECT_NE(output.find("test model: speech.bin, 0.0 MB (MIT licence)"), std::string::npos) << output;
  EXPECT_NE(output.find("(Apache-2.0 licence)\n  already here and verified"), std::string::npos) << output;
  EXPECT_NE(output.find("0.0 MB of 0.0 MB, 100%"), std::string::npos) << output;
  EXPECT_NE(output.find("Every model is in place and verified."), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(models / ".parts"));
}

TEST_F(DownloadModelsTest, AFileHereThatDoesNotMatchIsReportedAndKept) {
  const auto speech = serve("speech.bin", testing::randomBytes(2500, 3), "MIT");
  testing::writeTextFile(models / "speech.bin", "something else");
  const auto [status, output] = run({speech});
  EXPECT_EQ(status, 1);
  EXPECT_NE(output.find("does not match the catalog"), std::string::npos) << output;
  EXPECT_EQ(testing::readTextFile(models / "speech.bin"), "something else");
}

TEST_F(DownloadModelsTest, AFailedDownloadExitsNonZeroAndLeavesNothingUnverified) {
  auto speech = serve("speech.bin", testing::randomBytes(2500, 4), "MIT");
  speech.sha256[0] = speech.sha256[0] == '0' ? '1' : '0';  // what arrives is not what was pinned
  const auto [status, output] = run({speech});
  EXPECT_EQ(status, 1);
  EXPECT_NE(output.find("could not all be downloaded"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(models / "speech.bin"));
  EXPECT_FALSE(fs::exists(models / "speech.bin.download"));
}

TEST(DownloadLine, ShowsBytesPercentRateAndTimeLeft) {
  EXPECT_EQ(downloadLine(0, 1'300'000'000, 0s, 0), "0.0 MB of 1300.0 MB, 0%");
  EXPECT_EQ(downloadLine(650'000'000, 1'300'000'000, 10s, 50'000'000),
            "650.0 MB of 1300.0 MB, 50%, 60.0 MB/s, 0:10 left");
  EXPECT_EQ(downloadLine(100, 100, 1s, 0), "0.0 MB of 0.0 MB, 100%, 0.0 MB/s, 0:00 left");
}

TEST(DownloadModelsMode, AnUnknownSpeechModelIsRefused) {
  EXPECT_EQ(speechFileFor("turbo"), "ggml-large-v3-turbo-q5_0.bin");
  EXPECT_EQ(speechFileFor("huge"), std::nullopt);
  EXPECT_EQ(runDownloadModels({"quorvel", "--download-models", "--speech", "huge"}), 2);
}

}  // namespace
}  // namespace quorvel
