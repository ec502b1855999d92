// Cost of the guards that run after every cleanup: the whole decision on a
// 300-word transcript and its cleanup, and its parts.
#include <benchmark/benchmark.h>

#include <string>

#include "DictationSample.h"
#include "text/CleanupGuards.h"
#include "text/TextHelpers.h"

namespace quorvel::TextHelpers {
namespace {

const bench::DictationSample& sample300() {
  static const bench::DictationSample sample = bench::makeDictation(280, false);
  return sample;
}

void describe(benchmark::State& state, const bench::DictationSample& s) {
  state.counters["raw_words"] = wordCount(s.raw);
  state.counters["cleaned_words"] = wordCount(s.cleaned);
}

void BM_UsableCleanup(benchmark::State& state) {
  const auto& s = sample300();
  bool accepted = false;
  for (auto _ : state) {
    auto result = usableCleanup(s.raw, s.cleaned, s.names, s.names, 0.5);
    accepted = result.has_value();
    benchmark::DoNotOptimize(result);
  }
  describe(state, s);
  state.counters["accepted"] = accepted ? 1 : 0;
}
BENCHMARK(BM_UsableCleanup)->Unit(benchmark::kMicrosecond);

void BM_Plausible(benchmark::State& state) {
  const auto& s = sample300();
  for (auto _ : state) benchmark::DoNotOptimize(plausible(s.raw, s.cleaned, 0.5));
  describe(state, s);
}
BENCHMARK(BM_Plausible)->Unit(benchmark::kMicrosecond);

void BM_InventedWords(benchmark::State& state) {
  const auto& s = sample300();
  for (auto _ : state) benchmark::DoNotOptimize(inventedWords(s.raw, s.cleaned));
  describe(state, s);
}
BENCHMARK(BM_InventedWords)->Unit(benchmark::kMicrosecond);

void BM_ChangesMeaning(benchmark::State& state) {
  const auto& s = sample300();
  for (auto _ : state) benchmark::DoNotOptimize(changesMeaning(s.raw, s.cleaned));
}
BENCHMARK(BM_ChangesMeaning)->Unit(benchmark::kMicrosecond);

void BM_NeedsCleanup(benchmark::State& state) {
  const auto& s = sample300();
  for (auto _ : state) benchmark::DoNotOptimize(needsCleanup(s.cleaned));
}
BENCHMARK(BM_NeedsCleanup)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvel::TextHelpers
