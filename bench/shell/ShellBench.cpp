// The application's own time on its three paths that a user feels:
//  - key press to recording started (the microphone open, the tag shown),
//    on the session's real sound server when there is one;
//  - the main thread's work in one 0.25 s chunking tick of a 60 s recording;
//  - release to text typed, the stand-in servers answering at once
//    (QUORVEL_WHISPER_SERVER / QUORVEL_LLAMA_SERVER point at them).
// The fakes are those of the tests: a main loop whose clock is advanced, and
// background tasks run on this thread when the benchmark says.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <thread>

#include "app/delegate/AppDelegate.h"
#include "app/core/LoopTicker.h"
#include "app/models/PipelineEngine.h"
#include "platform/linux/MicPulse.h"
#include "support/EnvironmentValues.h"
#include "support/Files.h"
#include "tests/unit/app/ShellFakes.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

Samples speech(double seconds, std::uint32_t seed = 5) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> value(-3000, 3000);
  Samples out(static_cast<std::size_t>(seconds * kSampleRate));
  for (auto& sample : out) sample = static_cast<std::int16_t>(value(random));
  return out;
}

// Everything the delegate needs, with the engine and microphone chosen.
struct Rig {
  FakeMainLoop loop;
  FakeKeys keys;
  Recorder recorder;
  FakeDesktop desktop;
  FakePaster paster;
  FakeSounds sounds;
  FakeTag tag;
  FakeNote note;
  FakeTray tray;
  ManualRunner runner;
  LoopTicker ticker{loop};
  EditWatcher watcher{desktop, ticker, CleanupFiles{fs::path("/nonexistent/cleanup.json"), std::nullopt}, "",
                      [] { return false; }};
  std::unique_ptr<AppDelegate> app;

  Rig(AudioSourceFactory mic, AppEngine& engine) : recorder(std::move(mic)) {
    desktop.trusted = false;  // no field to read: the timings are the shell's own
    app = std::make_unique<AppDelegate>(
        ShellParts{loop, keys, recorder, desktop, paster, sounds, tag, note, tray, engine, runner, watcher},
        ShellWindows{}, ShellTimings{});
  }
  void settle() {
    for (int i = 0; i < 50 && (runner.pending() > 0 || i == 0); ++i) {
      loop.runPosted();
      runner.runAll();
    }
    loop.runPosted();
  }
};

void keyPressToRecording(benchmark::State& state) {
  // The session's sound server; without one the measure says so and stops.
  if (MicPulse().inputFormat().sampleRate == 0) {
    state.SkipWithError("no sound server with a microphone in this session");
    return;
  }
  FakeEngine engine;
  Rig rig(MicPulse::factory(), engine);
  rig.app->launch({"quorvel"});
  rig.settle();
  for (auto _ : state) {
    rig.app->handleKey({ShellKey::dictation, true, true});
    state.PauseTiming();
    if (!rig.app->isRecording() || rig.tag.shown.empty()) state.SkipWithError("the recording did not start");
    rig.app->handleKey({ShellKey::dictation, false, true});
    rig.loop.advance(0.3);
    rig.settle();
    state.ResumeTiming();
  }
}
BENCHMARK(keyPressToRecording)->Unit(benchmark::kMillisecond)->Iterations(20);

// Key press to the first sound that reaches the recording, on the test
// desktop's pipe microphone (scripts/desktop-session): a tone whose samples
// count up starts 50 ms after the press, written in 10 ms slices at the pace
// of speech; the first tone sample in the recording says how much of the
// tone's start was lost. first_sample_ms is when the recording began to hear.
void pressToFirstSample(benchmark::State& state) {
  const auto fifo = environmentValue("QUORVEL_TEST_MIC_FIFO");
  if (!fifo || MicPulse().inputFormat().sampleRate == 0) {
    state.SkipWithError("run inside scripts/desktop-session (its pipe microphone)");
    return;
  }
  const int pipe = ::open(fifo->c_str(), O_WRONLY | O_CLOEXEC);
  if (pipe < 0) {
    state.SkipWithError("cannot open the microphone's pipe");
    return;
  }
  constexpr int kToneStart = 1000;  // sample i of the tone is kToneStart + i
  constexpr std::size_t kSlice = 160;
  FakeEngine engine;
  Rig rig(MicPulse::factory(), engine);
  rig.app->launch({"quorvel"});
  rig.settle();
  double lostMs = 0, startMs = 0, firstMs = 0;
  int rounds = 0;
  for (auto _ : state) {
    const auto pressed = std::chrono::steady_clock::now();
    std::thread tone([&] {
      std::this_thread::sleep_until(pressed + std::chrono::milliseconds(50));
      std::vector<std::int16_t> slice(kSlice);
      for (int at = 0; at < 6400; at += static_cast<int>(kSlice)) {
        for (std::size_t i = 0; i < kSlice; ++i) slice[i] = static_cast<std::int16_t>(kToneStart + at + static_cast<int>(i));
        if (::write(pipe, slice.data(), slice.size() * 2) < 0) return;
        std::this_thread::sleep_until(pressed + std::chrono::milliseconds(50 + (at + static_cast<int>(kSlice)) / 16));
      }
    });
    rig.app->handleKey({ShellKey::dictation, true, true});
    const double started = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed).count();
    tone.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Samples heard = rig.recorder.snapshot();
    state.PauseTiming();
    rig.app->handleKey({ShellKey::dictation, false, true});
    rig.loop.advance(0.3);
    rig.settle();
    state.ResumeTiming();
    const auto first = std::find_if(heard.begin(), heard.end(), [](std::int16_t v) { return v >= kToneStart; });
    if (first == heard.end()) {
      state.SkipWithError("the tone never reached the recording");
      break;
    }
    const double lost = (*first - kToneStart) / 16.0;
    lostMs += lost;
    startMs += started;
    firstMs += lost > 0 ? 50 + lost : std::min(started, 50.0);
    ++rounds;
  }
  ::close(pipe);
  if (rounds > 0) {
    state.counters["start_ms"] = startMs / rounds;
    state.counters["tone_lost_ms"] = lostMs / rounds;
    state.counters["first_sample_ms"] = firstMs / rounds;
  }
}
BENCHMARK(pressToFirstSample)->Unit(benchmark::kMillisecond)->Iterations(10);

// A microphone that has already heard the whole minute when it starts.
class MinuteMic final : public AudioSource {
 public:
  explicit MinuteMic(std::shared_ptr<const Samples> minute) : minute_(std::move(minute)) {}
  AudioFormat inputFormat() override { return {16000, 1, SampleType::int16}; }
  Status start(const AudioFormat&, BufferHandler onBuffer) override {
    AudioBuffer buffer;
    buffer.int16 = *minute_;
    onBuffer(buffer);
    return success();
  }
  void stop() override {}
  void setOnConfigurationChange(std::function<void()>) override {}

 private:
  std::shared_ptr<const Samples> minute_;
};

void chunkingTickAtOneMinute(benchmark::State& state) {
  // Speech without a pause, 0.25 s arriving before every tick, recordings of
  // one minute one after another: the tick copies what was not handed out
  // yet and looks for a pause in it, the most a tick does on the main thread
  // (without a pause a piece is cut only after 28 s).
  const Samples quarter = speech(0.25);
  auto rig = std::make_shared<MicRig>();
  FakeEngine engine;
  Rig shell([rig] { return std::make_unique<FakeMic>(rig); }, engine);
  shell.app->launch({"quorvel"});
  shell.settle();
  int ticks = 0;
  shell.app->handleKey({ShellKey::dictation, true, true});
  shell.keys.down = true;
  for (auto _ : state) {
    speak(*rig, quarter);
    shell.loop.advance(0.25);  // one chunking tick and five key polls
    if (++ticks % 240 == 0) {
      state.PauseTiming();
      shell.keys.down = false;
      shell.app->handleKey({ShellKey::dictation, false, true});
      shell.runner.runAll();
      shell.loop.advance(0.3);
      shell.app->handleKey({ShellKey::dictation, true, true});
      shell.keys.down = true;
      state.ResumeTiming();
    }
  }
  shell.app->handleKey({ShellKey::dictation, false, true});
  state.counters["pieces"] = engine.piecesAdded;
}
BENCHMARK(chunkingTickAtOneMinute)->Unit(benchmark::kMicrosecond);

void releaseToTyped(benchmark::State& state) {
  if (!environmentValue("QUORVEL_WHISPER_SERVER") || !environmentValue("QUORVEL_LLAMA_SERVER")) {
    state.SkipWithError("set QUORVEL_WHISPER_SERVER and QUORVEL_LLAMA_SERVER to the stand-ins");
    return;
  }
  PipelineEngine engine;
  auto sentence = std::make_shared<const Samples>(speech(3.0));
  Rig rig([sentence] { return std::make_unique<MinuteMic>(sentence); }, engine);
  rig.app->launch({"quorvel"});
  rig.settle();
  if (!rig.app->modelsReady()) {
    state.SkipWithError("the stand-in servers did not start");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    rig.app->handleKey({ShellKey::dictation, true, true});
    rig.loop.advance(1.0);
    const std::size_t typed = rig.paster.pasted.size();
    state.ResumeTiming();
    rig.app->handleKey({ShellKey::dictation, false, true});
    rig.settle();
    if (rig.paster.pasted.size() != typed + 1) state.SkipWithError("nothing was typed");
    state.PauseTiming();
    rig.loop.advance(0.3);
    state.ResumeTiming();
  }
  rig.app->terminate();
}
BENCHMARK(releaseToTyped)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace quorvel
