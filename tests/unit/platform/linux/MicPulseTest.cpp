// The PulseAudio microphone when there is no sound server to reach: the
// recorder reports no microphone within the bounded waits, and nothing hangs.
#include "platform/linux/MicPulse.h"

#include <gtest/gtest.h>

#include <chrono>

#include "TestSupport.h"
#include "audio/Recorder.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

class NoSoundServer : public ::testing::Test {
 protected:
  testing::TempDir runtime;
  testing::ScopedEnv server{"PULSE_SERVER", "unix:" + (runtime / "no-server").string()};
  testing::ScopedEnv runtimeDir{"XDG_RUNTIME_DIR", runtime.path().string()};
  testing::ScopedEnv home{"HOME", runtime.path().string()};
  MicPulse::Waits waits{500ms, 500ms, 500ms};
};

TEST_F(NoSoundServer, SourceHasNoInputAndCannotStart) {
  MicPulse mic(waits);
  EXPECT_EQ(mic.inputFormat().sampleRate, 0u);
  const Status started = mic.start({16000, 1, SampleType::int16}, [](const AudioBuffer&) {});
  EXPECT_FALSE(started.ok());
  EXPECT_FALSE(mic.start({48000, 2, SampleType::int16}, [](const AudioBuffer&) {}).ok());
  mic.stop();
  mic.stop();
}

TEST_F(NoSoundServer, RecorderSaysNoMicrophoneAfterOneRetry) {
  int made = 0;
  const AudioSourceFactory pulse = MicPulse::factory(waits);
  Recorder recorder([&] {
    ++made;
    return pulse();
  });
  const auto begun = std::chrono::steady_clock::now();
  const Status started = recorder.start();
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error(), "No microphone available");
  EXPECT_EQ(made, 2);
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 10s);
  EXPECT_TRUE(recorder.stop().empty());
  EXPECT_EQ(recorder.level(), 0.0f);
}

}  // namespace
}  // namespace quorvel
