// The recorder's core against fake capture sources, and the stream converter.
#include "audio/Recorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>

#include "AudioTestHelpers.h"
#include "audio/Levels.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

// What the test controls and sees of the sources the recorder makes.
struct Rig {
  AudioFormat format{16000, 1, SampleType::int16};
  int failingStarts = 0;  // the next this-many starts fail
  std::atomic<int> made{0};
  std::atomic<int> starts{0};
  std::mutex mutex;
  AudioSource::BufferHandler handler;  // of the running capture
  std::function<void()> onChange;      // of the newest source
};

class FakeSource : public AudioSource {
 public:
  explicit FakeSource(std::shared_ptr<Rig> rig) : rig_(std::move(rig)) { ++rig_->made; }
  ~FakeSource() override { stop(); }
  AudioFormat inputFormat() override { return rig_->format; }
  Status start(const AudioFormat& format, BufferHandler onBuffer) override {
    ++rig_->starts;
    std::scoped_lock lock(rig_->mutex);
    if (rig_->failingStarts > 0) {
      --rig_->failingStarts;
      return Error{"device busy " + std::to_string(rig_->starts.load())};
    }
    EXPECT_EQ(format, rig_->format);
    rig_->handler = std::move(onBuffer);
    return success();
  }
  void stop() override {
    std::scoped_lock lock(rig_->mutex);
    rig_->handler = nullptr;
  }
  void setOnConfigurationChange(std::function<void()> onChange) override {
    std::scoped_lock lock(rig_->mutex);
    rig_->onChange = std::move(onChange);
  }

 private:
  std::shared_ptr<Rig> rig_;
};

// Delivers a buffer the way a capture thread would (the rig's lock stands in
// for the source's own: stop() waits for a delivery in progress).
bool deliver(Rig& rig, const AudioBuffer& buffer) {
  std::scoped_lock lock(rig.mutex);
  if (!rig.handler) return false;
  rig.handler(buffer);
  return true;
}

bool deliver(Rig& rig, const Samples& samples) { return deliver(rig, AudioBuffer{samples, {}}); }

class RecorderTest : public ::testing::Test {
 protected:
  std::shared_ptr<Rig> rig = std::make_shared<Rig>();
  Recorder recorder{[rig = rig] { return std::make_unique<FakeSource>(rig); }};
};

TEST_F(RecorderTest, RecordsWhatArrivesAndKeepsItAfterStop) {
  ASSERT_TRUE(recorder.start().ok());
  const Samples first = testing::noise(2048, 3000, 1);
  const Samples second = testing::noise(1000, 3000, 2);
  ASSERT_TRUE(deliver(*rig, first));
  EXPECT_EQ(recorder.snapshot(), first);
  ASSERT_TRUE(deliver(*rig, second));
  Samples both = first;
  testing::append(both, second);
  const Samples stopped = recorder.stop();
  EXPECT_EQ(stopped, both);
  EXPECT_EQ(recorder.snapshot(), stopped);
  EXPECT_FALSE(deliver(*rig, first));  // nothing arrives after stop
  // The part not yet handed out, alone.
  EXPECT_EQ(recorder.sampleCount(), both.size());
  EXPECT_EQ(recorder.snapshot(2048), second);
  EXPECT_TRUE(recorder.snapshot(both.size()).empty());
  EXPECT_TRUE(recorder.snapshot(both.size() + 10).empty());
}

TEST_F(RecorderTest, NewRecordingStartsEmptyAndSilent) {
  ASSERT_TRUE(recorder.start().ok());
  ASSERT_TRUE(deliver(*rig, testing::constant(2048, 3000)));
  EXPECT_EQ(recorder.level(), 1.0f);
  recorder.stop();
  ASSERT_TRUE(recorder.start().ok());
  EXPECT_TRUE(recorder.snapshot().empty());
  EXPECT_EQ(recorder.level(), 0.0f);
}

TEST_F(RecorderTest, LevelFollowsTheMostRecentBuffer) {
  struct Case {
    std::int16_t value;
    float level;
  };
  ASSERT_TRUE(recorder.start().ok());
  for (const Case c : {Case{0, 0.0f}, {1500, 1.0f}, {375, 0.5f}, {-375, 0.5f}, {6000, 1.0f}, {15, 0.1f}}) {
    ASSERT_TRUE(deliver(*rig, testing::constant(2048, c.value)));
    EXPECT_FLOAT_EQ(recorder.level(), c.level) << c.value;
  }
  ASSERT_TRUE(deliver(*rig, Samples{}));
  EXPECT_EQ(recorder.level(), 0.0f);
}

TEST_F(RecorderTest, StartFailureIsRetriedOnceOnAFreshCapture) {
  rig->failingStarts = 1;
  ASSERT_TRUE(recorder.start().ok());
  EXPECT_EQ(rig->made, 2);
  EXPECT_TRUE(deliver(*rig, Samples{1, 2, 3}));

  recorder.stop();
  rig->failingStarts = 2;
  const Status second = recorder.start();
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.error(), "device busy 4");  // the retry's error, not the first
  EXPECT_EQ(rig->made, 3);
  EXPECT_FALSE(deliver(*rig, Samples{1}));
}

TEST_F(RecorderTest, NoInputDeviceIsNoMicrophoneAfterOneRetry) {
  rig->format.sampleRate = 0;
  const Status started = recorder.start();
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error(), "No microphone available");
  EXPECT_EQ(rig->made, 2);
  EXPECT_EQ(rig->starts, 0);
}

TEST(Recorder, NoCaptureAtAllIsNoMicrophone) {
  Recorder recorder([] { return std::unique_ptr<AudioSource>(); });
  const Status started = recorder.start();
  ASSERT_FALSE(started.ok());
  EXPECT_EQ(started.error(), "No microphone available");
  EXPECT_TRUE(recorder.stop().empty());
}

TEST_F(RecorderTest, ConfigurationChangeMarksTheNextStartWithoutInterrupting) {
  ASSERT_TRUE(recorder.start().ok());
  ASSERT_TRUE(deliver(*rig, Samples(100, 7)));
  std::function<void()> onChange;
  {
    std::scoped_lock lock(rig->mutex);
    onChange = rig->onChange;
  }
  ASSERT_TRUE(onChange);
  std::thread([&] { onChange(); }).join();  // notices come from elsewhere
  EXPECT_TRUE(recorder.needsReset());
  ASSERT_TRUE(deliver(*rig, Samples(100, 7)));  // still recording
  EXPECT_EQ(recorder.stop().size(), 200u);
  EXPECT_EQ(rig->made, 1);
  ASSERT_TRUE(recorder.start().ok());
  EXPECT_EQ(rig->made, 2);  // rebuilt first
  EXPECT_FALSE(recorder.needsReset());
}

TEST_F(RecorderTest, BuffersOfTheWrongKindAreDroppedAndRecordingGoesOn) {
  ASSERT_TRUE(recorder.start().ok());
  const std::vector<float> floats(64, 0.5f);
  ASSERT_TRUE(deliver(*rig, AudioBuffer{{}, floats}));
  ASSERT_TRUE(deliver(*rig, Samples{4, 5}));
  EXPECT_EQ(recorder.stop(), (Samples{4, 5}));
}

Samples sine(std::size_t frames, double hertz, double rate, double amplitude, std::size_t offset = 0) {
  Samples out(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    out[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hertz * (i + offset) / rate)));
  }
  return out;
}

TEST(SampleConverter, CapacityIsTheFramesAtSixteenKilohertzPlus64) {
  EXPECT_EQ(SampleConverter::outputCapacity(2048, 48000), 746u);  // 682.67 truncated
  EXPECT_EQ(SampleConverter::outputCapacity(2048, 16000), 2112u);
  EXPECT_EQ(SampleConverter::outputCapacity(441, 44100), 224u);
  EXPECT_EQ(SampleConverter::outputCapacity(0, 48000), 64u);
}

TEST_F(RecorderTest, ConvertsFortyEightKilohertzBuffersSeamlessly) {
  rig->format = {48000, 1, SampleType::int16};
  ASSERT_TRUE(recorder.start().ok());
  constexpr int kBuffers = 24;  // about a second
  for (int b = 0; b < kBuffers; ++b) {
    ASSERT_TRUE(deliver(*rig, sine(2048, 440, 48000, 10000, static_cast<std::size_t>(b) * 2048)));
  }
  const Samples out = recorder.stop();
  const double expected = kBuffers * 2048 / 3.0;
  EXPECT_NEAR(static_cast<double>(out.size()), expected, 30);  // less the filter's delay
  // The tone comes through whole: a 440 Hz sine of 10000 has rms 7071.
  const SampleSpan steady = SampleSpan(out).subspan(200, out.size() - 400);
  EXPECT_NEAR(rms(steady), 7071, 100);
}

TEST(SampleConverter, FiltersOutWhatSixteenKilohertzCannotHold) {
  auto converter = SampleConverter::make({48000, 1, SampleType::int16});
  ASSERT_TRUE(converter);
  const Samples tone = sine(48000, 12000, 48000, 10000);  // above 8 kHz: would alias to 4 kHz
  Samples out(SampleConverter::outputCapacity(tone.size(), 48000));
  const auto produced = converter->convert({tone, {}}, out);
  ASSERT_TRUE(produced.has_value());
  out.resize(*produced);
  EXPECT_LT(rms(SampleSpan(out).subspan(100)), 7071 * 0.02);
}

TEST(SampleConverter, AveragesChannelsAndReadsFloats) {
  auto stereo = SampleConverter::make({16000, 2, SampleType::int16});
  ASSERT_TRUE(stereo);
  const Samples frames = {100, 300, -32768, -32768, 32767, 32767};
  Samples out(8);
  EXPECT_EQ(stereo->convert({frames, {}}, out), 3u);
  EXPECT_EQ(Samples(out.begin(), out.begin() + 3), (Samples{200, -32768, 32767}));
  EXPECT_EQ(stereo->convert({Samples{1, 2, 3}, {}}, out), std::nullopt);  // not whole frames

  auto floats = SampleConverter::make({16000, 1, SampleType::float32});
  const std::vector<float> values = {0.5f, -1.0f, 2.0f, 0.0f};
  EXPECT_EQ(floats->convert({{}, values}, out), 4u);
  EXPECT_EQ(Samples(out.begin(), out.begin() + 4), (Samples{16384, -32768, 32767, 0}));

  EXPECT_EQ(SampleConverter::make({0, 1, SampleType::int16}), nullptr);
  EXPECT_EQ(SampleConverter::make({16000, 0, SampleType::int16}), nullptr);
}

TEST(SampleConverter, ConvertsOddRatesWithoutRunningAway) {
  for (const std::uint32_t rate : {8000u, 11025u, 22050u, 44100u, 96000u, 44101u, 192001u}) {
    auto converter = SampleConverter::make({rate, 1, SampleType::int16});
    ASSERT_TRUE(converter) << rate;
    std::size_t total = 0;
    std::size_t in = 0;
    for (int b = 0; b < 20; ++b) {
      const std::size_t frames = 500 + static_cast<std::size_t>(b) * 37;
      const Samples buffer = sine(frames, 300, rate, 8000, in);
      in += frames;
      Samples out(SampleConverter::outputCapacity(frames, rate));
      const auto produced = converter->convert({buffer, {}}, out);
      ASSERT_TRUE(produced.has_value());
      total += *produced;
    }
    const double expected = static_cast<double>(in) * 16000 / rate;
    EXPECT_LE(static_cast<double>(total), expected + 1) << rate;
    EXPECT_GE(static_cast<double>(total), expected - 120) << rate;
  }
}

// A capture thread delivering 48 kHz-sized buffers while the main thread
// takes snapshots, as the chunking timer does.
TEST_F(RecorderTest, SnapshotsWhileRecordingOnlyEverGrow) {
  rig->format = {48000, 2, SampleType::float32};
  ASSERT_TRUE(recorder.start().ok());
  std::atomic<bool> done{false};
  std::thread capture([&] {
    std::vector<float> buffer(2048 * 2, 0.1f);
    for (int b = 0; b < 200 && deliver(*rig, AudioBuffer{{}, buffer}); ++b) {
    }
    done = true;
  });
  std::size_t last = 0;
  for (int tick = 0; tick < 2000 && !done; ++tick) {
    const Samples now = recorder.snapshot();
    EXPECT_GE(now.size(), last);
    last = now.size();
    (void)recorder.level();
  }
  capture.join();
  const Samples all = recorder.stop();
  EXPECT_GE(all.size(), last);
  EXPECT_NEAR(static_cast<double>(all.size()), 200 * 2048 / 3.0, 30);
  EXPECT_EQ(recorder.level(), 1.0f);  // 0.1 of full scale is an rms of 3277
}

}  // namespace
}  // namespace quorvel
