// The tag's command-line modes as the program runs them: the ten snapshots
// and the demonstration, on the offscreen platform.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <chrono>
#include <fstream>
#include <map>

#include "TestSupport.h"
#include "support/ChildProcess.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TempDir;

// Runs quorvel with args offscreen; its exit code, or -1 when it did not end in time.
int runQuorvel(const std::vector<std::string>& args, const fs::path& log, std::chrono::milliseconds limit) {
  LaunchOptions options;
  options.executable = testing::buildProgram("quorvel").string();
  options.arguments = args;
  options.extraEnvironment = {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", log.parent_path().string()}};
  options.outputFile = log;
  auto child = ChildProcess::launch(options);
  if (!child.ok()) return -2;
  if (!child.value()->waitForExit(limit)) {
    child.value()->kill();
    child.value()->waitForExit(5s);
    return -1;
  }
  const auto status = child.value()->exitStatus();
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -3;
}

const char* const kStems[] = {"1-recording", "2-transcribing", "3-polishing", "4-done", "5-failed"};

class TagSnapshotTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder = new TempDir();
    status = runQuorvel({"--bubble-snapshot", (folder->path() / "out").string()}, folder->path() / "log.txt", 60s);
  }
  static void TearDownTestSuite() {
    delete folder;
    folder = nullptr;
  }
  static QImage image(const std::string& stem, bool dark) {
    const fs::path file = folder->path() / "out" / ("tag-" + stem + (dark ? "-dark" : "") + ".png");
    return QImage(QString::fromStdString(file.string()), "PNG");
  }

  static inline TempDir* folder = nullptr;
  static inline int status = -9;
};

TEST_F(TagSnapshotTest, WritesTenSharpImagesOfTheTagsSize) {
  ASSERT_EQ(status, 0);
  for (bool dark : {false, true}) {
    for (const char* stem : kStems) {
      const QImage shot = image(stem, dark);
      ASSERT_FALSE(shot.isNull()) << stem << dark;
      EXPECT_EQ(shot.height(), 64) << stem;  // 32 at twice the density
      EXPECT_EQ(shot.width() % 2, 0) << stem;
      EXPECT_GE(shot.width(), 2 * 100) << stem;
      EXPECT_LE(shot.width(), 2 * 560) << stem;
    }
  }
  EXPECT_EQ(image("1-recording", false).width(), 266);  // 132.5 rounded up, doubled
  EXPECT_EQ(image("3-polishing", true).width(), 880);
}

TEST_F(TagSnapshotTest, ImagesAreNotBlankAndTheAppearancesDiffer) {
  ASSERT_EQ(status, 0);
  for (const char* stem : kStems) {
    const QImage light = image(stem, false).convertToFormat(QImage::Format_ARGB32);
    const QImage dark = image(stem, true).convertToFormat(QImage::Format_ARGB32);
    std::map<QRgb, int> colours;
    int opaque = 0;
    for (int y = 0; y < light.height(); ++y) {
      for (int x = 0; x < light.width(); ++x) {
        const QRgb pixel = light.pixel(x, y);
        ++colours[pixel];
        if (qAlpha(pixel) == 255) ++opaque;
      }
    }
    EXPECT_GT(colours.size(), 20u) << stem;  // a pill, its edge and what is drawn on it
    EXPECT_GT(opaque, light.width() * light.height() * 8 / 10) << stem;
    EXPECT_NE(light, dark) << stem;
    // The pill's middle row near its left end is the panel colour of each appearance.
    EXPECT_EQ(light.pixel(6, 32), qRgb(0xFA, 0xFA, 0xF8)) << stem;
    EXPECT_EQ(dark.pixel(6, 32), qRgb(0x17, 0x17, 0x16)) << stem;
  }
}

TEST_F(TagSnapshotTest, AFolderThatCannotBeWrittenSkipsTheFilesAndSucceeds) {
  TempDir scratch;
  const fs::path blocked = scratch.path() / "file";
  std::ofstream(blocked) << "not a folder";
  EXPECT_EQ(runQuorvel({"--bubble-snapshot", blocked.string()}, scratch.path() / "log.txt", 60s), 0);
  EXPECT_TRUE(fs::is_regular_file(blocked));
}

TEST(TagDemoTest, PlaysItsPhasesAndEnds) {
  TempDir scratch;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(runQuorvel({"--bubble-demo"}, scratch.path() / "log.txt", 40s), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 7s);
}

}  // namespace
}  // namespace quorvel
