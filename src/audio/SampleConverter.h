// Converts buffers of any input format to 16 kHz mono Int16, keeping its
// filter state from one buffer to the next so a stream converts seamlessly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "audio/AudioSource.h"
#include "audio/Samples.h"

namespace quorvel {

// Not thread-safe: one capture thread uses it at a time.
class SampleConverter {
 public:
  // A converter from `from`, or nothing for a format it cannot read (no
  // rate, no channels, more than 64 channels).
  static std::unique_ptr<SampleConverter> make(const AudioFormat& from);

  // Room for the output of one input buffer: the frames at 16 kHz, truncated,
  // plus 64.
  static std::size_t outputCapacity(std::size_t frames, std::uint32_t inputRate);

  // Converts one buffer into `out` (at most out.size() samples) and answers
  // how many were written; nothing when the buffer does not match the format
  // (the other sample type, or not whole frames). Channels are averaged; a
  // rate other than 16000 goes through a windowed-sinc low-pass resampler,
  // which delays the output by a few milliseconds.
  std::optional<std::size_t> convert(const AudioBuffer& in, std::span<std::int16_t> out);

  const AudioFormat& from() const { return from_; }

 private:
  explicit SampleConverter(const AudioFormat& from);
  void fillWeights(std::int64_t phase, float* weights) const;

  AudioFormat from_;
  // Resampling: output k lies at input position k·step/phases, with step and
  // phases the input and output rates divided by their common divisor.
  std::int64_t step_ = 1;
  std::int64_t phases_ = 1;
  int halfTaps_ = 0;       // filter taps on each side of an output position
  double cutoff_ = 0.5;    // cycles per input sample
  std::vector<float> table_;    // weights per phase, when small enough to keep
  std::vector<float> scratch_;  // one phase's weights, when there is no table
  std::vector<float> history_;  // mono input; history_[0] is input index base_
  std::int64_t base_ = 0;
  std::int64_t next_ = 0;  // index of the next output sample
};

}  // namespace quorvel
