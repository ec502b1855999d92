// The fixed answers the window pictures are drawn with.
#include <gtest/gtest.h>

#include "app/windows/SnapshotBridge.h"

namespace quorvel {
namespace {

using Args = std::vector<std::string>;

TEST(SnapshotBridge, ADownloadHalfDoneByDefault) {
  const auto bridge = snapshotBridge({"quorvel", "--dashboard-snapshot", "out"}, SnapshotWindow::dashboard);
  const SetupInfo setup = bridge->setup();
  EXPECT_EQ(setup.phase, SetupInfo::Phase::downloading);
  EXPECT_EQ(setup.done, 642'000'000);
  EXPECT_EQ(setup.total, 1'297'507'417);
  EXPECT_EQ(setup.secondsLeft, 170);
  EXPECT_EQ(bridge->state(), AppState::idle);
  EXPECT_FALSE(bridge->updateVersion().has_value());
  EXPECT_FALSE(bridge->trusted());
  EXPECT_EQ(bridge->micStatus(), MicStatus::notDetermined);
  EXPECT_EQ(bridge->currentSpeech(), 1);
  EXPECT_EQ(bridge->currentCleanup(), 0);
}

TEST(SnapshotBridge, SetupPhases) {
  auto phase = [](const Args& args) { return snapshotBridge(args, SnapshotWindow::dashboard)->setup(); };
  EXPECT_EQ(phase({"--setup", "starting"}).phase, SetupInfo::Phase::starting);
  EXPECT_EQ(phase({"--setup", "failed"}).phase, SetupInfo::Phase::failed);
  EXPECT_EQ(phase({"--setup", "ready"}).phase, SetupInfo::Phase::ready);
  EXPECT_TRUE(phase({"--setup", "ready"}).justFinished);
  EXPECT_EQ(phase({"--setup", "other"}).phase, SetupInfo::Phase::downloading);
  EXPECT_EQ(phase({"--setup"}).phase, SetupInfo::Phase::downloading);
}

TEST(SnapshotBridge, DashboardOptions) {
  const auto bridge = snapshotBridge({"--ready", "--update", "--record", "--processing"}, SnapshotWindow::dashboard);
  EXPECT_TRUE(bridge->trusted());
  EXPECT_EQ(bridge->micStatus(), MicStatus::authorised);
  EXPECT_EQ(bridge->updateVersion(), "1.0.0");
  EXPECT_EQ(bridge->state(), AppState::recording);
  EXPECT_EQ(snapshotBridge({"--processing"}, SnapshotWindow::dashboard)->state(), AppState::idle);
}

TEST(SnapshotBridge, OnboardingOptions) {
  auto bridge = snapshotBridge({"--onboarding-snapshot", "out"}, SnapshotWindow::onboarding);
  EXPECT_EQ(bridge->micStatus(), MicStatus::notDetermined);
  EXPECT_FALSE(bridge->trusted());
  EXPECT_TRUE(bridge->needsDownload());
  bridge = snapshotBridge({"granted", "--ax", "--no-download", "--processing", "--update"}, SnapshotWindow::onboarding);
  EXPECT_EQ(bridge->micStatus(), MicStatus::authorised);
  EXPECT_TRUE(bridge->trusted());
  EXPECT_FALSE(bridge->needsDownload());
  EXPECT_EQ(bridge->state(), AppState::processing);
  EXPECT_FALSE(bridge->updateVersion().has_value());
  EXPECT_EQ(snapshotBridge({"denied"}, SnapshotWindow::onboarding)->micStatus(), MicStatus::denied);
  EXPECT_TRUE(snapshotDark({"x", "--dark"}));
  EXPECT_FALSE(snapshotDark({"x"}));
}

}  // namespace
}  // namespace quorvel
