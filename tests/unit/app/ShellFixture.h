// The application's logic wired to the fakes, with the user's settings and
// files in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "TestSupport.h"
#include "app/delegate/AppDelegate.h"
#include "app/core/LoopTicker.h"
#include "audio/Recorder.h"
#include "learning/EditWatcher.h"
#include "support/UserDefaults.h"
#include "tests/unit/app/ShellFakes.h"

namespace quorvel::testing {

// Noise loud enough to count as speech.
inline Samples speechFor(double seconds, int amplitude = 3000, std::uint32_t seed = 11) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(-amplitude, amplitude);
  Samples out(static_cast<std::size_t>(seconds * kSampleRate));
  for (auto& sample : out) sample = static_cast<std::int16_t>(value(random));
  return out;
}

inline Samples silenceFor(double seconds) { return Samples(static_cast<std::size_t>(seconds * kSampleRate), 0); }

class ShellTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
  FakeMainLoop loop;
  FakeKeys keys;
  std::shared_ptr<MicRig> mic = std::make_shared<MicRig>();
  Recorder recorder{[rig = mic] { return std::make_unique<FakeMic>(rig); }};
  FakeDesktop desktop;
  FakePaster paster;
  FakeSounds sounds;
  FakeTag tag;
  FakeNote note;
  FakeTray tray;
  FakeEngine engine;
  ManualRunner runner;
  LoopTicker ticker{loop};
  CleanupFiles cleanupFiles{dir / "cleanup.json", std::nullopt};
  EditWatcher watcher{desktop, ticker, cleanupFiles, resourcesFolder() / "wordfreq-en.txt",
                      [this] { return desktop.trusted; }};
  InputAccess inputAccess;  // the Wayland permission step as the tests set it
  std::set<int> altGrKeys;  // the keys that are AltGr in the "current layout"
  int dashboardOpened = 0;
  int dashboardHomeOpened = 0;
  std::unique_ptr<AppDelegate> app;

  void SetUp() override {
    writeTextFile(cleanupFiles.user, R"({"system": "Clean it.", "dictionary": [], "examples": []})");
    ShellWindows windows;
    windows.openDashboard = [this] { ++dashboardOpened; };
    windows.openDashboardHome = [this] { ++dashboardHomeOpened; };
    windows.onboardingFinished = [] { return true; };
    ShellTimings timings;
    timings.serverWait = 0.01;
    timings.serverCheck = 5.0;  // the tests count the background tasks a dictation starts
    app = std::make_unique<AppDelegate>(
        ShellParts{loop, keys, recorder, desktop, paster, sounds, tag, note, tray, engine, runner, watcher,
                   [this] { return inputAccess; }, [this](int code) { return altGrKeys.count(code) > 0; }},
        windows, timings);
  }
  void TearDown() override { app.reset(); }

  void set(const char* key, Json value) { ASSERT_TRUE(UserDefaults().set(key, std::move(value)).ok()); }

  // Launches with the models already in place and the servers answering.
  void launchReady() {
    app->launch({"quorvel"});
    settle();
    ASSERT_TRUE(app->modelsReady());
  }
  // Runs background tasks and what they post back until nothing is left.
  void settle() {
    for (int round = 0; round < 20; ++round) {
      loop.runPosted();
      if (runner.pending() == 0) break;
      runner.runAll();
    }
    loop.runPosted();
  }
  void press() {
    keys.down = true;
    app->handleKey({ShellKey::dictation, true, true});
  }
  void release() {
    keys.down = false;
    app->handleKey({ShellKey::dictation, false, true});
  }
  // Holds the dictation key for `seconds` while the microphone hears `audio`.
  void dictate(const Samples& audio, double seconds) {
    press();
    speak(*mic, audio);
    loop.advance(seconds);
    release();
  }
};

}  // namespace quorvel::testing
