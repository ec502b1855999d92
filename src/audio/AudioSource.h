// The capture interface the recorder sees: the default input device as a
// stream of buffers in the device's own format. The PulseAudio adapter
// (platform/linux/MicPulse) serves it in the product; tests use fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "support/Result.h"

namespace quorvel {

enum class SampleType { int16, float32 };

struct AudioFormat {
  std::uint32_t sampleRate = 0;  // 0 means there is no input device
  std::uint32_t channels = 1;
  SampleType type = SampleType::int16;
  bool operator==(const AudioFormat&) const = default;
};

// Interleaved frames in the started format: exactly one of the spans is used.
struct AudioBuffer {
  std::span<const std::int16_t> int16;
  std::span<const float> float32;  // full scale is ±1
};

// One capture of the default input.
//
// Threading: inputFormat, start and stop are called from one thread at a time
// (the recorder's owner); buffers and configuration notices arrive on the
// source's own thread.
class AudioSource {
 public:
  using BufferHandler = std::function<void(const AudioBuffer& buffer)>;

  virtual ~AudioSource() = default;

  // The format the next start would deliver; sampleRate 0 when there is no
  // input device (or no sound server).
  virtual AudioFormat inputFormat() = 0;

  // Starts delivering buffers of `format` to onBuffer. An error leaves the
  // source stopped.
  virtual Status start(const AudioFormat& format, BufferHandler onBuffer) = 0;

  // Stops the capture. When it returns, onBuffer is no longer running and will
  // not be called again. Harmless when not started.
  virtual void stop() = 0;

  // Called whenever the system's input configuration changes (a device was
  // added or removed, the default changed), from any thread, for the
  // source's whole life.
  virtual void setOnConfigurationChange(std::function<void()> onChange) = 0;
};

// Makes a fresh source: the recorder's way of rebuilding its capture.
using AudioSourceFactory = std::function<std::unique_ptr<AudioSource>()>;

}  // namespace quorvel
