// The sample format that flows from the recorder to the speech server:
// 16,000 samples a second, one channel, signed 16-bit. Durations in the audio
// code are counted in samples (320 = 20 ms, 800 = 50 ms, 8000 = 0.5 s).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quorvel {

inline constexpr int kSampleRate = 16000;

using Samples = std::vector<std::int16_t>;
// A recording handed between threads: shared, never changed once made.
using SharedSamples = std::shared_ptr<const Samples>;
// A read-only view of samples (a whole list or a contiguous piece of it).
using SampleSpan = std::span<const std::int16_t>;

// A half-open range [begin, end) of sample indices.
struct SampleRange {
  std::int64_t begin = 0;
  std::int64_t end = 0;
  std::int64_t size() const { return end - begin; }
  bool operator==(const SampleRange&) const = default;
};

}  // namespace quorvel
