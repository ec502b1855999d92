// One chunker tick on 28 seconds of uncut speech at the default settings
// (the longest the timer ever sees: the next tick forces a cut), against the
// direct scan that measures every 600 ms window on its own.
#include <benchmark/benchmark.h>

#include <random>

#include "audio/Chunker.h"

namespace quorvel {
namespace {

const Samples& uncutSpeech() {
  static const Samples samples = [] {
    std::mt19937 random(2);
    std::uniform_int_distribution<int> value(-4000, 4000);
    Samples out(28 * 16000);
    for (auto& sample : out) sample = static_cast<std::int16_t>(value(random));
    return out;
  }();
  return samples;
}

void BM_ChunkerTick(benchmark::State& state) {
  const Chunker settings(20, 600, 0.15);
  for (auto _ : state) {
    Chunker chunker = settings;
    benchmark::DoNotOptimize(chunker.next(uncutSpeech()));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChunkerTick)->Unit(benchmark::kMicrosecond);

void BM_ChunkerTickDirectScan(benchmark::State& state) {
  const Chunker chunker(20, 600, 0.15);
  for (auto _ : state) benchmark::DoNotOptimize(chunker.nextByDirectScan(uncutSpeech()));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChunkerTickDirectScan)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvel
