// The application's own time on its three paths that a user feels:
//  - key press to recording started (the microphone open, the tag shown),
//    on the session's real sound server when there is one;
//  - the main thread's work in one 0.25 s chunking tick of a 60 s recording;
//  - release to text typed, the stand-in servers answering at once
//    (QUORVEL_WHISPER_SERVER / QUORVEL_LLAMA_SERVER point at them).
// The fakes are those of the tests: a main loop whose clock is advanced, and
// background tasks run on this thread when the benchmark says.
#include <benchmark/benchmark.h>

#include <random>

#include "app/AppDelegate.h"
#include "app/LoopTicker.h"
#include "app/PipelineEngine.h"
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
