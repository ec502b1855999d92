// Cost of the restorers on long dictations (1,500 words is about ten minutes
// of speech), with the memory the word alignment holds.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "DictationSample.h"
#include "text/Restorers.h"
#include "text/TextHelpers.h"

namespace quorvel::TextHelpers {
namespace {

const bench::DictationSample& sampleOf(int words) {
  static std::map<int, bench::DictationSample> samples;  // benchmarks run on one thread
  auto it = samples.find(words);
  if (it == samples.end()) it = samples.emplace(words, bench::makeDictation(words, true)).first;
  return it->second;
}

void describe(benchmark::State& state, const bench::DictationSample& s, bool changed) {
  const int rawWords = wordCount(s.raw);
  const int cleanedWords = wordCount(s.cleaned);
  state.counters["raw_words"] = rawWords;
  state.counters["cleaned_words"] = cleanedWords;
  // Word tokens are close to whitespace words here (no apostrophes split).
  state.counters["alignment_KiB"] =
      static_cast<double>(alignmentBytes(static_cast<size_t>(rawWords), static_cast<size_t>(cleanedWords))) / 1024.0;
  state.counters["restored"] = changed ? 1 : 0;
}

void BM_RestoreDroppedSentences(benchmark::State& state) {
  const auto& s = sampleOf(static_cast<int>(state.range(0)));
  std::string result;
  for (auto _ : state) {
    result = restoreDroppedSentences(s.raw, s.cleaned);
    benchmark::DoNotOptimize(result);
  }
  describe(state, s, result != s.cleaned);
}
BENCHMARK(BM_RestoreDroppedSentences)->Arg(1500)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_RestoreDictionaryWords(benchmark::State& state) {
  const auto& s = sampleOf(static_cast<int>(state.range(0)));
  std::string result;
  for (auto _ : state) {
    result = restoreDictionaryWords(s.raw, s.cleaned, s.names);
    benchmark::DoNotOptimize(result);
  }
  describe(state, s, result != s.cleaned);
}
BENCHMARK(BM_RestoreDictionaryWords)->Arg(1500)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_RestoreSentenceBreaks(benchmark::State& state) {
  const auto& s = sampleOf(static_cast<int>(state.range(0)));
  std::string result;
  for (auto _ : state) {
    result = restoreSentenceBreaks(s.raw, s.cleaned);
    benchmark::DoNotOptimize(result);
  }
  describe(state, s, result != s.cleaned);
}
BENCHMARK(BM_RestoreSentenceBreaks)->Arg(1500)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::TextHelpers
