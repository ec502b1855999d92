// The level functions over ten minutes of audio (9.6 million samples), the
// length they must handle at every key release. Rates are samples per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "audio/Levels.h"

namespace quorvel {
namespace {

constexpr std::size_t kTenMinutes = 10 * 60 * 16000;

// Speech-like audio: bursts of noise at a varying level over a low floor.
Samples recording(int loudness) {
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, 1);
  Samples samples(kTenMinutes);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double envelope = (i / 4000) % 5 == 0 ? 0.05 : 1.0;
    samples[i] = static_cast<std::int16_t>(std::clamp(noise(random) * loudness * envelope, -32768.0, 32767.0));
  }
  return samples;
}

const Samples& speech() {
  static const Samples samples = recording(3000);
  return samples;
}

// Quiet enough (overall rms at most 120) that hasSpeech has to look at frames.
const Samples& quietSpeech() {
  static const Samples samples = recording(100);
  return samples;
}

// Loud enough that the automatic gain leaves it alone (peak at full scale).
const Samples& loudSpeech() {
  static const Samples samples = recording(9000);
  return samples;
}

// The plain scalar loop the vectorised sum is measured against.
double scalarRms(const Samples& samples) {
  double sum = 0;
  for (const std::int16_t sample : samples) sum += static_cast<double>(sample) * sample;
  return std::sqrt(sum / static_cast<double>(samples.size()));
}

void setRate(benchmark::State& state, std::size_t samples) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples));
}

void BM_Rms(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(rms(speech()));
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_Rms)->Unit(benchmark::kMillisecond);

void BM_RmsScalarLoop(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(scalarRms(speech()));
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_RmsScalarLoop)->Unit(benchmark::kMillisecond);

void BM_HasSpeechLoud(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(hasSpeech(speech()));
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_HasSpeechLoud)->Unit(benchmark::kMillisecond);

void BM_HasSpeechQuiet(benchmark::State& state) {
  if (rms(quietSpeech()) > 120) state.SkipWithError("quiet recording is too loud");
  for (auto _ : state) benchmark::DoNotOptimize(hasSpeech(quietSpeech()));
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_HasSpeechQuiet)->Unit(benchmark::kMillisecond);

void BM_FrameLevels(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(frameLevels(speech()));
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_FrameLevels)->Unit(benchmark::kMillisecond);

// Quiet audio is raised: the gain is worked out and a boosted copy made.
void BM_BoostedQuiet(benchmark::State& state) {
  const auto shared = std::make_shared<const Samples>(quietSpeech());
  if (boostGain(*shared) == 1.0) state.SkipWithError("quiet recording is not boosted");
  for (auto _ : state) benchmark::DoNotOptimize(boosted(shared));
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_BoostedQuiet)->Unit(benchmark::kMillisecond);

// Loud audio passes through: only the gain is worked out, nothing copied.
void BM_BoostedLoud(benchmark::State& state) {
  const auto shared = std::make_shared<const Samples>(loudSpeech());
  if (boostGain(*shared) != 1.0) state.SkipWithError("loud recording is boosted");
  for (auto _ : state) benchmark::DoNotOptimize(boosted(shared));
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_BoostedLoud)->Unit(benchmark::kMillisecond);

void BM_TrimEdges(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(trimEdges(speech()).size());
  setRate(state, kTenMinutes);
}
BENCHMARK(BM_TrimEdges)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
