// The snapshot modes of the note, the dashboard and onboarding, run as the
// program: every named picture is written at twice the window's size, shows
// something, and its dark twin differs; the history and dictionary shown are
// the data folder's, and nothing the user owns is rewritten.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "support/ChildProcess.h"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

class WindowSnapshots : public ::testing::Test {
 protected:
  TempDir home_;
  fs::path out_ = home_ / "pictures";
  fs::path root_ = home_ / "data";
  std::string history_;
  std::string cleanup_;

  void SetUp() override {
    // A few dictations (one failed, one broken line) and a small dictionary.
    history_ =
        R"({"time":"2026-03-01T09:00:00Z","raw":"um so the meeting is at three","final":"The meeting is at three.","audio_s":2.5,"after_release_ms":600,"path":"model"})"
        "\n{broken\n"
        R"({"time":"2026-03-01T09:05:00Z","raw":"","final":"","audio_s":1,"after_release_ms":100,"path":"none"})"
        "\n"
        R"({"time":"2026-03-02T10:15:00Z","raw":"can you send me the file by friday no actually thursday","final":"Can you send me the file by Thursday?","audio_s":3.1,"after_release_ms":700,"path":"model"})"
        "\n";
    cleanup_ = R"({"system": "Clean it.", "dictionary": ["Quorvel", "Kubernetes", "Priya"], "examples": []})";
    writeTextFile(root_ / "logs" / "dictations.jsonl", history_);
    writeTextFile(root_ / "cleanup.json", cleanup_);
  }

  // Runs quorvel with the arguments; false when it did not end in time or
  // ended with another status than 0.
  bool run(const std::vector<std::string>& arguments, std::map<std::string, std::string> environment = {}) {
    environment["QUORVEL_ROOT"] = root_.string();
    environment["XDG_CONFIG_HOME"] = (home_ / "config").string();
    environment["XDG_DATA_HOME"] = (home_ / "share").string();
    environment["QT_QPA_PLATFORM"] = "offscreen";
    environment["TZ"] = "UTC";
    auto child = ChildProcess::launch({buildProgram("quorvel").string(), arguments, environment,
                                       home_ / "output.log"});
    if (!child) return false;
    if (!(*child)->waitForExit(std::chrono::milliseconds(180s))) {
      (*child)->kill();
      (*child)->waitForExit(std::chrono::milliseconds(10s));
      return false;
    }
    return (*child)->exitStatus() == 0;
  }

  // The picture, checked for its size and for showing more than one colour.
  QImage picture(const std::string& name, QSize points) {
    const fs::path path = out_ / name;
    EXPECT_TRUE(fs::exists(path)) << name;
    QImage image(QString::fromStdString(path.string()));
    EXPECT_FALSE(image.isNull()) << name;
    EXPECT_EQ(image.size(), points * 2) << name;
    std::set<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() < 16; y += 7) {
      for (int x = 0; x < image.width() && colours.size() < 16; x += 7) colours.insert(image.pixel(x, y));
    }
    EXPECT_GE(colours.size(), 16u) << name << " looks blank";
    return image;
  }

  void expectPairs(const std::vector<std::string>& stems, QSize points) {
    for (const std::string& stem : stems) {
      const QImage light = picture(stem + ".png", points);
      const QImage dark = picture(stem + "-dark.png", points);
      EXPECT_NE(light, dark) << stem;
    }
  }

  void expectUserFilesUntouched() {
    EXPECT_EQ(readTextFile(root_ / "logs" / "dictations.jsonl"), history_);
    EXPECT_EQ(readTextFile(root_ / "cleanup.json"), cleanup_);
    EXPECT_FALSE(fs::exists(home_ / "config" / "quorvel" / "defaults.json"));
  }
};

TEST_F(WindowSnapshots, NoteInBothAppearances) {
  ASSERT_TRUE(run({"--note-snapshot", out_.string()})) << readTextFile(home_ / "output.log");
  expectPairs({"note-empty", "note-filled"}, QSize(560, 400));
  expectUserFilesUntouched();
}

TEST_F(WindowSnapshots, DashboardPagesInBothAppearances) {
  ASSERT_TRUE(run({"--dashboard-snapshot", out_.string()})) << readTextFile(home_ / "output.log");
  ASSERT_TRUE(run({"--dashboard-snapshot", out_.string(), "--dark"})) << readTextFile(home_ / "output.log");
  expectPairs({"window-home", "window-history", "window-dictionary", "window-settings"}, QSize(1120, 780));
  expectUserFilesUntouched();
}

TEST_F(WindowSnapshots, DashboardHeightAndOnePage) {
  ASSERT_TRUE(run({"--dashboard-snapshot", out_.string(), "--ready", "--setup", "ready", "--update"},
                  {{"SNAPSHOT_HEIGHT", "1000"}, {"SNAPSHOT_PAGE", "home"}}));
  picture("window-home.png", QSize(1120, 1000));
  EXPECT_FALSE(fs::exists(out_ / "window-history.png"));
  ASSERT_TRUE(run({"--dashboard-snapshot", out_.string()}, {{"SNAPSHOT_PAGE", "nothing"}}));
  EXPECT_FALSE(fs::exists(out_ / "window-history.png"));
}

TEST_F(WindowSnapshots, OnboardingStepsInBothAppearances) {
  ASSERT_TRUE(run({"--onboarding-snapshot", out_.string()})) << readTextFile(home_ / "output.log");
  ASSERT_TRUE(run({"--onboarding-snapshot", out_.string(), "--dark"})) << readTextFile(home_ / "output.log");
  expectPairs({"onboarding-0-welcome", "onboarding-1-microphone", "onboarding-2-accessibility", "onboarding-3-ready",
               "onboarding-4-tryIt"},
              QSize(620, 660));
  expectUserFilesUntouched();
}

TEST_F(WindowSnapshots, AFolderThatCannotBeMadeWritesNothingAndEndsNormally) {
  writeTextFile(home_ / "file", "x");
  EXPECT_TRUE(run({"--note-snapshot", (home_ / "file" / "below").string()}));
  EXPECT_FALSE(fs::exists(home_ / "file" / "below"));
}

}  // namespace
}  // namespace quorvel::testing
