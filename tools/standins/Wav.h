// Reads the shape of a WAV file: walks the RIFF chunks to "fmt " and "data".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel::standin {

struct WavShape {
  std::uint16_t channels = 1;
  std::uint32_t sampleRate = 16000;
  std::uint16_t bitsPerSample = 16;
  std::uint64_t samples = 0;  // per channel (frames); a data chunk cut short counts what is there

  double seconds() const { return sampleRate == 0 ? 0.0 : static_cast<double>(samples) / sampleRate; }
};

// Absent when `bytes` is not a RIFF/WAVE file with a "data" chunk. Without a
// "fmt " chunk before "data", 16-bit mono at 16 kHz is assumed.
std::optional<WavShape> readWavShape(std::string_view bytes);

}  // namespace quorvel::standin
