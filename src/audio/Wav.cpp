// Writes and reads the WAV files of recordings.
#include "audio/Wav.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

namespace quorvel {

namespace {

void putU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void putU16(std::string& out, std::uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

std::uint32_t getU32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::string wavData(SampleSpan samples, int sampleRate) {
  const std::uint64_t dataBytes = static_cast<std::uint64_t>(samples.size()) * 2;
  constexpr std::uint64_t kMaxField = std::numeric_limits<std::uint32_t>::max();
  const bool fits = dataBytes + 36 <= kMaxField;
  const auto rate = static_cast<std::uint32_t>(std::clamp(sampleRate, 1, std::numeric_limits<int>::max()));

  std::string out;
  out.reserve(44 + dataBytes);
  out.append("RIFF");
  putU32(out, fits ? static_cast<std::uint32_t>(dataBytes + 36) : static_cast<std::uint32_t>(kMaxField));
  out.append("WAVE");
  out.append("fmt ");
  putU32(out, 16);
  putU16(out, 1);  // PCM
  putU16(out, 1);  // one channel
  putU32(out, rate);
  putU32(out, rate * 2);
  putU16(out, 2);   // bytes per frame
  putU16(out, 16);  // bits per sample
  out.append("data");
  putU32(out, fits ? static_cast<std::uint32_t>(dataBytes) : static_cast<std::uint32_t>(kMaxField));

  const std::size_t header = out.size();
  out.resize(header + dataBytes);
  char* data = out.data() + header;
  if constexpr (std::endian::native == std::endian::little) {
    if (!samples.empty()) std::memcpy(data, samples.data(), dataBytes);
  } else {
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const auto value = static_cast<std::uint16_t>(samples[i]);
      data[2 * i] = static_cast<char>(value & 0xFF);
      data[2 * i + 1] = static_cast<char>(value >> 8);
    }
  }
  return out;
}

std::optional<Samples> readWav(std::string_view bytes) {
  const std::size_t count = bytes.size();
  if (count < 13 || bytes.substr(0, 4) != "RIFF") return std::nullopt;
  // Every step moves on by at least 8 bytes, so the walk ends; 64-bit offsets
  // cannot overflow on 32-bit sizes.
  std::uint64_t p = 12;
  std::uint32_t size = 0;
  for (;;) {
    if (p + 8 > count) return std::nullopt;
    size = getU32(bytes, static_cast<std::size_t>(p) + 4);
    if (bytes.substr(static_cast<std::size_t>(p), 4) == "data") break;
    p += 8 + static_cast<std::uint64_t>(size) + (size & 1u);
  }
  const std::uint64_t begin = p + 8;
  const std::uint64_t end = std::min<std::uint64_t>(begin + size, count);
  const std::size_t sampleCount = static_cast<std::size_t>((end - begin) / 2);
  Samples samples(sampleCount);
  const char* data = bytes.data() + begin;
  if constexpr (std::endian::native == std::endian::little) {
    if (sampleCount > 0) std::memcpy(samples.data(), data, sampleCount * 2);
  } else {
    for (std::size_t i = 0; i < sampleCount; ++i) {
      samples[i] = static_cast<std::int16_t>(static_cast<unsigned char>(data[2 * i]) |
                                             (static_cast<unsigned char>(data[2 * i + 1]) << 8));
    }
  }
  return samples;
}

}  // namespace quorvel
