// Cost of one look at the field by the correction finder, and of loading the
// word-frequency list.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "learning/FixFinder.h"

namespace quorvel::FixFinder {
namespace {

std::filesystem::path resources() {
  if (const char* folder = std::getenv("QUORVEL_RESOURCES")) return folder;
  return QUORVEL_SOURCE_RESOURCES;
}

const Frequency& frequency() {
  static const Frequency function =
      frequencyFrom(std::make_shared<FrequencyTable>(loadFrequencies(resources() / "wordfreq-en.txt")));
  return function;
}

// A typed dictation of 40 words inside a 2,600-character field, corrected in
// two places by the user.
struct Field {
  std::string typed;
  std::string now;
};

Field field() {
  const std::string typed =
      "so i talked to john smith about the launch and we think the new pricing page should be ready by "
      "friday if nothing breaks please send me your notes from the meeting with the design team tomorrow "
      "morning thanks";
  std::string corrected = typed;
  corrected.replace(corrected.find("john smith"), 10, "Jon Smyth");
  corrected.replace(corrected.find("design"), 6, "Kubernetes");
  std::string filler;
  while (filler.size() < 1200) filler += "Earlier text in the same document that the user wrote by hand. ";
  return {typed, filler + corrected + " " + filler.substr(0, 2600 - filler.size() - corrected.size() - 1)};
}

void BM_Corrections(benchmark::State& state) {
  const Field f = field();
  frequency();
  state.counters["typed_tokens"] = static_cast<double>(tokens(f.typed).size());
  state.counters["window_chars"] = static_cast<double>(f.now.size());
  for (auto _ : state) benchmark::DoNotOptimize(corrections(f.typed, f.now, frequency()));
}
BENCHMARK(BM_Corrections)->Unit(benchmark::kMicrosecond);

void BM_LoadFrequencies(benchmark::State& state) {
  const auto file = resources() / "wordfreq-en.txt";
  for (auto _ : state) benchmark::DoNotOptimize(loadFrequencies(file));
}
BENCHMARK(BM_LoadFrequencies)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::FixFinder
