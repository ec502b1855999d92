// RIFF chunk walk for WAV files.
#include "Wav.h"

namespace quorvel::standin {

namespace {

std::uint32_t le32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

std::uint16_t le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

std::optional<WavShape> readWavShape(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") {
    return std::nullopt;
  }
  WavShape shape;
  std::uint64_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string_view id = bytes.substr(at, 4);
    const std::uint64_t size = le32(bytes, at + 4);
    const std::uint64_t body = at + 8;
    const std::uint64_t present = std::min<std::uint64_t>(size, bytes.size() - body);
    if (id == "fmt " && present >= 16) {
      shape.channels = le16(bytes, body + 2);
      shape.sampleRate = le32(bytes, body + 4);
      shape.bitsPerSample = le16(bytes, body + 14);
    } else if (id == "data") {
      const std::uint64_t frameBytes =
          static_cast<std::uint64_t>(shape.channels) * ((shape.bitsPerSample + 7) / 8);
      if (frameBytes == 0) return std::nullopt;
      shape.samples = present / frameBytes;
      return shape;
    }
    at = body + size + (size & 1);  // chunks are padded to an even length
  }
  return std::nullopt;
}

}  // namespace quorvel::standin
