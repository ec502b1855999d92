// The microphone choice against the test desktop's PulseAudio: the inputs as
// the settings page lists them (outputs' monitors left out), the chosen one
// recorded from, the default used while it is unplugged, and a capture that
// follows it being plugged out and in again.
#include "platform/linux/MicSourcesPulse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "FieldsApp.h"
#include "TestSupport.h"
#include "audio/Recorder.h"
#include "platform/linux/MicPulse.h"
#include "support/Log.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHeadset = "quorvel_test_headset";

std::string run(const std::string& command) { return testing::runCommand(command).out; }

bool listed(const std::string& name) {
  const auto sources = listMicSources();
  return sources && std::any_of(sources->begin(), sources->end(), [&](const MicSource& s) { return s.name == name; });
}

// A USB headset that can be plugged in and out: a pipe source of its own.
class Headset {
 public:
  void plugIn() {
    module_ = run(std::string("pactl load-module module-pipe-source source_name=") + kHeadset + " file=" +
                  (folder_ / "headset").string() +
                  " format=s16le rate=16000 channels=1 source_properties=device.description=Test_Headset");
    while (!module_.empty() && (module_.back() == '\n' || module_.back() == ' ')) module_.pop_back();
    ASSERT_FALSE(module_.empty());
  }
  void unplug() {
    if (module_.empty()) return;
    run("pactl unload-module " + module_);
    module_.clear();
  }
  ~Headset() { unplug(); }

 private:
  testing::TempDir folder_;
  std::string module_;
};

class MicSources : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::insideDesktopSession()) GTEST_SKIP() << "needs scripts/desktop-session";
  }
  Headset headset;
  MicPulse::Waits waits{2000ms, 2000ms, 3000ms};
};

TEST_F(MicSources, ListsTheInputsWithTheirDescriptionsButNoMonitors) {
  headset.plugIn();
  const auto sources = listMicSources();
  ASSERT_TRUE(sources);
  const auto named = [&](const std::string& name) {
    return std::find_if(sources->begin(), sources->end(), [&](const MicSource& s) { return s.name == name; });
  };
  ASSERT_NE(named("quorvel_mic"), sources->end());
  ASSERT_NE(named(kHeadset), sources->end());
  EXPECT_EQ(named(kHeadset)->description, "Test_Headset");
  EXPECT_EQ(named("quorvel_speaker.monitor"), sources->end());
  for (const MicSource& source : *sources) EXPECT_FALSE(source.name.ends_with(".monitor")) << source.name;
}

TEST_F(MicSources, NoSoundServerListsNothingQuickly) {
  testing::TempDir runtime;
  testing::ScopedEnv server{"PULSE_SERVER", "unix:" + (runtime / "no-server").string()};
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_FALSE(listMicSources(500ms));
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 3s);
}

TEST_F(MicSources, TheChosenInputRecordsAndTheDefaultStandsInWhileItIsUnplugged) {
  headset.plugIn();
  MicPulse chosen(waits, kHeadset);
  EXPECT_EQ(chosen.inputFormat().sampleRate, 16000u);
  EXPECT_EQ(chosen.sourceInUse(), kHeadset);
  ASSERT_TRUE(chosen.start({16000, 1, SampleType::int16}, [](const AudioBuffer&) {}).ok());
  chosen.stop();

  headset.unplug();
  for (int i = 0; i < 50 && listed(kHeadset); ++i) std::this_thread::sleep_for(50ms);
  LogCapture log;
  MicPulse fallback(waits, kHeadset);
  EXPECT_EQ(fallback.inputFormat().sampleRate, 16000u);
  EXPECT_EQ(fallback.sourceInUse(), "");  // the server's default
  EXPECT_TRUE(log.contains("Quorvel: the chosen microphone (quorvel_test_headset) is not connected; recording "
                           "from the default one"));
  ASSERT_TRUE(fallback.start({16000, 1, SampleType::int16}, [](const AudioBuffer&) {}).ok());
  fallback.stop();
}

TEST_F(MicSources, TheRecorderFollowsTheChosenInputOutAndBackIn) {
  MicPulse* last = nullptr;
  const AudioSourceFactory pulse = MicPulse::factory(waits, [] { return std::string(kHeadset); });
  Recorder recorder([&]() -> std::unique_ptr<AudioSource> {
    auto made = pulse();
    last = static_cast<MicPulse*>(made.get());
    return made;
  });
  const auto useNow = [&]() -> std::string {
    EXPECT_TRUE(recorder.start().ok());
    (void)recorder.stop();
    return last ? last->sourceInUse() : "(none)";
  };
  EXPECT_EQ(useNow(), "");  // not plugged in yet: the default
  headset.plugIn();
  for (int i = 0; i < 50 && !recorder.needsReset(); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(useNow(), kHeadset);
  headset.unplug();
  for (int i = 0; i < 50 && !recorder.needsReset(); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(useNow(), "");
}

}  // namespace
}  // namespace quorvel
