// Cost of one look at the field by the correction finder, and of loading the
// word-frequency list.
#include <benchmark/benchmark.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <vector>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "../PlainEditDistance.h"
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

// Hostile input: 10 KB runs against themselves with one character more, once
// through the word-parallel distance and once through the plain table the
// distance used before ("Before").
std::string run(const std::string& piece) {
  std::string text;
  while (text.size() + piece.size() <= 10 * 1024) text += piece;
  return text;
}

// The plain table over characters (the runs are ASCII: one character a unit).
int plainDistance(const std::string& a, const std::string& b) {
  const icu::UnicodeString left = icu::UnicodeString::fromUTF8(a);
  const icu::UnicodeString right = icu::UnicodeString::fromUTF8(b);
  return bench::plainEditDistance(left, right);
}

const char* const kRuns[] = {" ", ". ", "\n", "a", "ab"};

void BM_HostileDistance(benchmark::State& state) {
  const std::string text = run(kRuns[state.range(0)]);
  for (auto _ : state) benchmark::DoNotOptimize(distance(text, "x" + text));
}
BENCHMARK(BM_HostileDistance)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_HostileSoundsAlike(benchmark::State& state) {
  const std::string text = run(kRuns[state.range(0)]);
  for (auto _ : state) benchmark::DoNotOptimize(soundsAlike(text, "x" + text));
}
BENCHMARK(BM_HostileSoundsAlike)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_HostileDistanceBefore(benchmark::State& state) {
  const std::string text = run(kRuns[state.range(0)]);
  for (auto _ : state) benchmark::DoNotOptimize(plainDistance(text, "x" + text));
}
BENCHMARK(BM_HostileDistanceBefore)->DenseRange(0, 4)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::FixFinder
