// Loudness measures, the speech detector, automatic gain and edge trimming.
#include "audio/Levels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/ProgramValues.h"

namespace quorvel {

// The hot loops get a second, AVX2 build picked at load time on machines
// that have it; the baseline build serves the rest.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUORVEL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QUORVEL_VECTOR_CLONES
#endif

namespace {

constexpr std::size_t kLevelFrame = 320;  // 20 ms
constexpr std::size_t kTrimFrame = 800;   // 50 ms

// The rms of each whole frame, in order.
std::vector<double> frameLevelsInOrder(SampleSpan samples, std::size_t frame) {
  std::vector<double> levels;
  levels.reserve(samples.size() / frame);
  for (std::size_t start = 0; start + frame <= samples.size(); start += frame) {
    levels.push_back(rms(samples.subspan(start, frame)));
  }
  return levels;
}

// The value at index ⌊(count − 1) × fraction⌋ of the levels sorted ascending,
// found by selection; `levels` is reordered. REQUIRES: !levels.empty()
double percentile(std::vector<double>& levels, double fraction) {
  const auto index = static_cast<std::size_t>(static_cast<double>(levels.size() - 1) * fraction);
  std::nth_element(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(index), levels.end());
  return levels[index];
}

// The unsorted frame levels of frameLevels(), one level for a short list.
std::vector<double> levelsForPercentiles(SampleSpan samples) {
  if (samples.size() < kLevelFrame) return {rms(samples)};
  return frameLevelsInOrder(samples, kLevelFrame);
}

// The largest |sample|, −32768 counting as 32768. Tracks the extremes as
// Int16 so the loop vectorises into min/max instructions without branches.
QUORVEL_VECTOR_CLONES std::int32_t peakMagnitude(SampleSpan samples) {
  std::int16_t lowest = 0;
  std::int16_t highest = 0;
  for (const std::int16_t sample : samples) {
    lowest = sample < lowest ? sample : lowest;
    highest = sample > highest ? sample : highest;
  }
  return std::max(-std::int32_t{lowest}, std::int32_t{highest});
}

}  // namespace

QUORVEL_VECTOR_CLONES std::uint64_t sumOfSquares(SampleSpan samples) {
  // Squares of Int16 are below 2^31, so integer sums are exact; the compiler
  // turns this loop into vector multiply-adds.
  const std::int16_t* data = samples.data();
  const std::size_t count = samples.size();
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t value = data[i];
    total += static_cast<std::uint32_t>(value * value);
  }
  return total;
}

double rms(SampleSpan samples) {
  if (samples.empty()) return 0;
  return std::sqrt(static_cast<double>(sumOfSquares(samples)) / static_cast<double>(samples.size()));
}

std::vector<double> frameLevels(SampleSpan samples) {
  std::vector<double> levels = levelsForPercentiles(samples);
  std::sort(levels.begin(), levels.end());
  return levels;
}

bool hasSpeech(SampleSpan samples) {
  if (samples.empty()) return false;
  if (rms(samples) > 120) return true;
  std::vector<double> levels = levelsForPercentiles(samples);
  const double floor = percentile(levels, 0.1);
  const double threshold = std::max(floor * 2.5, 150.0);
  const auto loud = std::count_if(levels.begin(), levels.end(),
                                  [threshold](double level) { return level > threshold; });
  return static_cast<double>(loud) * 0.02 >= 0.25;
}

double boostGain(SampleSpan samples) {
  if (samples.empty()) return 1;
  std::vector<double> levels = levelsForPercentiles(samples);
  const double loud = percentile(levels, 0.95);
  const std::int32_t peak = std::max(peakMagnitude(samples), 1);
  const double gain = std::min({30000.0 / peak, 5000.0 / std::max(loud, 1.0), 12.0});
  return gain <= 1.05 ? 1.0 : gain;
}

QUORVEL_VECTOR_CLONES Samples applyGain(SampleSpan samples, double gain) {
  Samples out(samples.size());
  const std::int16_t* in = samples.data();
  std::int16_t* to = out.data();
  for (std::size_t i = 0; i < samples.size(); ++i) {
    // Halves away from zero: adding ±0.5 is exact here (|gain × sample| is far
    // below 2^52) and the conversion truncates, so this is round() clamped,
    // in a form the compiler vectorises.
    const double scaled = gain * in[i];
    const double rounded = scaled + (scaled < 0 ? -0.5 : 0.5);
    to[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(std::clamp(rounded, -32768.0, 32767.0)));
  }
  return out;
}

SharedSamples boosted(SharedSamples samples) {
  if (!samples) return samples;
  const double gain = boostGain(*samples);
  if (gain == 1.0) return samples;
  return std::make_shared<const Samples>(applyGain(*samples, gain));
}

Samples boosted(Samples samples) {
  const double gain = boostGain(samples);
  if (gain == 1.0) return samples;
  return applyGain(samples, gain);
}

SampleSpan trimEdges(SampleSpan samples) {
  const std::size_t count = samples.size();
  if (!trimPieceEdges().load() || count <= 6400) return samples;
  const double threshold = std::max(rms(samples) * 0.25, 150.0);
  // Frames start at 0, 800, … for every start below count − 800.
  std::ptrdiff_t first = -1;
  std::ptrdiff_t last = -1;
  std::ptrdiff_t index = 0;
  for (std::size_t start = 0; start + kTrimFrame < count; start += kTrimFrame, ++index) {
    if (rms(samples.subspan(start, kTrimFrame)) > threshold) {
      if (first < 0) first = index;
      last = index;
    }
  }
  if (first < 0) return samples;
  const std::size_t begin =
      static_cast<std::size_t>(std::max<std::ptrdiff_t>(first * 800 - 4800, 0));
  const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(last + 1) * 800 + 6400, count);
  return samples.subspan(begin, end - begin);
}

}  // namespace quorvel
