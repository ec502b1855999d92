// The Home page's state: what makes the page draw again, the held key and
// the update banner's words.
#include "app/windows/DashboardHomeState.h"

#include <gtest/gtest.h>

#include <functional>

namespace quorvel {
namespace {

TEST(DashboardHomeStateTest, EveryAnswerThePageShowsIsPartOfItsState) {
  DashboardBridge bridge;
  SetupInfo setup;
  setup.phase = SetupInfo::Phase::downloading;
  setup.secondsLeft = 170.4;
  bridge.setup = [&setup] { return setup; };
  const DashboardHomeState before = dashboardHomeState(bridge);
  EXPECT_EQ(before.setupSecondsLeft, 170);

  // A finer estimate of the same second changes nothing shown.
  setup.secondsLeft = 170.9;
  EXPECT_EQ(dashboardHomeState(bridge), before);

  const std::function<void(DashboardBridge&)> changes[] = {
      [&setup](DashboardBridge&) { setup.secondsLeft = 12; },
      [&setup](DashboardBridge&) { setup.done = 1; },
      [&setup](DashboardBridge&) { setup.phase = SetupInfo::Phase::failed; },
      [&setup](DashboardBridge&) { setup.message = "The disk is full"; },
      [](DashboardBridge& b) { b.state = [] { return AppState::recording; }; },
      [](DashboardBridge& b) { b.status = [] { return std::string("Starting local models…"); }; },
      [](DashboardBridge& b) { b.micStatus = [] { return MicStatus::denied; }; },
      [](DashboardBridge& b) { b.trusted = [] { return true; }; },
      [](DashboardBridge& b) { b.updateVersion = [] { return std::optional<std::string>("1.0.0"); }; },
      [](DashboardBridge& b) { b.wayland = [] { return true; }; },
      [](DashboardBridge& b) {
        b.inputAccess = [] {
          InputAccess access;
          access.ruleMissing = true;
          return access;
        };
      },
  };
  for (std::size_t i = 0; i < std::size(changes); ++i) {
    DashboardBridge changed;
    const SetupInfo kept = setup;
    changed.setup = [&setup] { return setup; };
    changed.wayland = [] { return false; };  // not the environment's answer
    const DashboardHomeState start = dashboardHomeState(changed);
    changes[i](changed);
    EXPECT_NE(dashboardHomeState(changed), start) << "change " << i;
    setup = kept;
  }
}

TEST(DashboardHomeStateTest, TheKeyIsHeldOnlyWhileRecording) {
  DashboardBridge bridge;
  for (AppState state : {AppState::starting, AppState::idle, AppState::processing}) {
    bridge.state = [state] { return state; };
    EXPECT_FALSE(dictationKeyHeld(bridge)) << static_cast<int>(state);
  }
  bridge.state = [] { return AppState::recording; };
  EXPECT_TRUE(dictationKeyHeld(bridge));
}

TEST(DashboardHomeStateTest, TheBannerNamesTheVersionWhenTheFeedGaveOne) {
  EXPECT_EQ(updateBannerText("1.0.0"), "Quorvel 1.0.0 is available.");
  EXPECT_EQ(updateBannerText(""), "A new version of Quorvel is available.");
  EXPECT_EQ(updateBannerText("A new version"), "A new version of Quorvel is available.");
}

}  // namespace
}  // namespace quorvel
