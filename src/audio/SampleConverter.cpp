// Stream conversion of captured audio to 16 kHz mono Int16.
#include "audio/SampleConverter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace quorvel {

namespace {

constexpr std::uint32_t kMaxChannels = 64;
constexpr std::size_t kLargestTable = std::size_t{1} << 20;

std::int16_t toInt16(double value) {
  const double rounded = value + (value < 0 ? -0.5 : 0.5);
  return static_cast<std::int16_t>(static_cast<std::int32_t>(std::clamp(rounded, -32768.0, 32767.0)));
}

}  // namespace

std::unique_ptr<SampleConverter> SampleConverter::make(const AudioFormat& from) {
  if (from.sampleRate == 0 || from.channels == 0 || from.channels > kMaxChannels) return nullptr;
  return std::unique_ptr<SampleConverter>(new SampleConverter(from));
}

std::size_t SampleConverter::outputCapacity(std::size_t frames, std::uint32_t inputRate) {
  if (inputRate == 0) return 64;
  const double atOutputRate = static_cast<double>(kSampleRate) * static_cast<double>(frames) / inputRate;
  return static_cast<std::size_t>(std::min(atOutputRate, 4294967295.0)) + 64;
}

SampleConverter::SampleConverter(const AudioFormat& from) : from_(from) {
  if (from.sampleRate == static_cast<std::uint32_t>(kSampleRate)) return;
  const std::int64_t divisor = std::gcd<std::int64_t>(from.sampleRate, kSampleRate);
  step_ = from.sampleRate / divisor;
  phases_ = kSampleRate / divisor;
  // A low-pass just below the lower of the two Nyquist frequencies, eight
  // zero crossings wide on each side.
  cutoff_ = 0.5 * std::min(1.0, static_cast<double>(kSampleRate) / from.sampleRate) * 0.9;
  halfTaps_ = std::min(512, static_cast<int>(std::ceil(8.0 / (2 * cutoff_))));
  if (static_cast<std::size_t>(phases_) * 2 * halfTaps_ <= kLargestTable) {
    table_.resize(static_cast<std::size_t>(phases_) * 2 * halfTaps_);
    for (std::int64_t phase = 0; phase < phases_; ++phase) {
      fillWeights(phase, table_.data() + phase * 2 * halfTaps_);
    }
  } else {
    scratch_.resize(static_cast<std::size_t>(2 * halfTaps_));
  }
  history_.assign(static_cast<std::size_t>(halfTaps_), 0.0f);  // silence before the first sample
  base_ = -halfTaps_;
}

// The normalised weights of input samples i0 − halfTaps + 1 … i0 + halfTaps
// for an output at i0 + phase/phases: a Hann-windowed sinc summing to 1.
void SampleConverter::fillWeights(std::int64_t phase, float* weights) const {
  const int taps = 2 * halfTaps_;
  double sum = 0;
  std::vector<double> raw(static_cast<std::size_t>(taps));
  for (int t = 0; t < taps; ++t) {
    const double x = static_cast<double>(phase) / phases_ + halfTaps_ - 1 - t;
    const double argument = 2 * cutoff_ * x;
    const double sinc = argument == 0 ? 1.0 : std::sin(std::numbers::pi * argument) / (std::numbers::pi * argument);
    const double u = x / halfTaps_;
    const double window = std::abs(u) >= 1 ? 0.0 : 0.5 + 0.5 * std::cos(std::numbers::pi * u);
    raw[static_cast<std::size_t>(t)] = sinc * window;
    sum += raw[static_cast<std::size_t>(t)];
  }
  for (int t = 0; t < taps; ++t) {
    weights[t] = static_cast<float>(sum == 0 ? 0 : raw[static_cast<std::size_t>(t)] / sum);
  }
}

std::optional<std::size_t> SampleConverter::convert(const AudioBuffer& in, std::span<std::int16_t> out) {
  const bool isInt16 = from_.type == SampleType::int16;
  if ((isInt16 && !in.float32.empty()) || (!isInt16 && !in.int16.empty())) return std::nullopt;
  const std::size_t values = isInt16 ? in.int16.size() : in.float32.size();
  const std::size_t channels = from_.channels;
  if (values % channels != 0) return std::nullopt;
  const std::size_t frames = values / channels;

  // Mono, on the Int16 scale.
  const auto monoAt = [&](std::size_t frame) {
    double sum = 0;
    for (std::size_t c = 0; c < channels; ++c) {
      sum += isInt16 ? static_cast<double>(in.int16[frame * channels + c])
                     : static_cast<double>(in.float32[frame * channels + c]) * 32768.0;
    }
    return sum / static_cast<double>(channels);
  };

  if (halfTaps_ == 0) {  // already 16 kHz: only the channels and the type
    const std::size_t count = std::min(frames, out.size());
    for (std::size_t frame = 0; frame < count; ++frame) out[frame] = toInt16(monoAt(frame));
    return count;
  }

  const std::size_t kept = history_.size();
  history_.resize(kept + frames);
  for (std::size_t frame = 0; frame < frames; ++frame) history_[kept + frame] = static_cast<float>(monoAt(frame));

  const std::int64_t available = base_ + static_cast<std::int64_t>(history_.size());  // one past the last input
  const int taps = 2 * halfTaps_;
  std::size_t written = 0;
  while (written < out.size()) {
    const std::int64_t position = next_ * step_;
    const std::int64_t center = position / phases_;
    const std::int64_t phase = position % phases_;
    if (center + halfTaps_ >= available) break;
    const std::int64_t first = center - halfTaps_ + 1 - base_;
    const float* input = history_.data() + first;
    const float* weights = scratch_.data();
    if (table_.empty()) {
      fillWeights(phase, scratch_.data());
    } else {
      weights = table_.data() + phase * taps;
    }
    double sum = 0;
    for (int t = 0; t < taps; ++t) sum += static_cast<double>(weights[t]) * input[t];
    out[written++] = toInt16(sum);
    ++next_;
  }

  // Forget the input no later output needs.
  const std::int64_t needed = (next_ * step_) / phases_ - halfTaps_ + 1;
  const std::int64_t drop = std::clamp<std::int64_t>(needed - base_, 0, static_cast<std::int64_t>(history_.size()));
  history_.erase(history_.begin(), history_.begin() + drop);
  base_ += drop;
  return written;
}

}  // namespace quorvel
