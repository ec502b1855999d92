// Writes and reads the WAV files of recordings.
#include "audio/Wav.h"

#include "audio/SampleConverter.h"

#include <algorithm>
#include <cmath>
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

namespace {

// The "fmt " chunk's fields that decide how the data are read.
struct WavFormat {
  std::uint16_t tag = 1;  // 1 PCM, 3 IEEE float (the extensible form's sub-format)
  std::uint16_t channels = 1;
  std::uint32_t rate = kSampleRate;
  std::uint16_t bits = 16;
  bool operator==(const WavFormat&) const = default;
};

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;

std::uint16_t getU16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::optional<WavFormat> parseFormat(std::string_view chunk) {
  if (chunk.size() < 16) return std::nullopt;
  WavFormat format{getU16(chunk, 0), getU16(chunk, 2), getU32(chunk, 4), getU16(chunk, 14)};
  // The extensible form names its real format in the first two bytes of the sub-format.
  if (format.tag == kExtensible && chunk.size() >= 26) format.tag = getU16(chunk, 24);
  return format;
}

std::string describe(const WavFormat& format) {
  std::string kind = format.tag == kPcm     ? "PCM"
                     : format.tag == kFloat ? "float"
                                            : "format tag " + std::to_string(format.tag);
  return kind + ", " + std::to_string(format.bits) + " bits, " + std::to_string(format.channels) +
         " channel(s), " + std::to_string(format.rate) + " Hz";
}

bool supported(const WavFormat& format) {
  const bool pcm = format.tag == kPcm &&
                   (format.bits == 8 || format.bits == 16 || format.bits == 24 || format.bits == 32);
  const bool floats = format.tag == kFloat && format.bits == 32;
  // Rates outside real recordings would make the output absurdly large or empty.
  return (pcm || floats) && format.channels >= 1 && format.channels <= 64 && format.rate >= 4000 &&
         format.rate <= 768000;
}

// One sample of the data at full scale ±1.
float sampleAt(const char* at, const WavFormat& format) {
  const auto byte = [at](int i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(at[i])); };
  switch (format.bits) {
    case 8:
      return (static_cast<float>(byte(0)) - 128.0f) / 128.0f;  // unsigned
    case 16:
      return static_cast<float>(static_cast<std::int16_t>(byte(0) | byte(1) << 8)) / 32768.0f;
    case 24: {
      const std::int32_t value = static_cast<std::int32_t>((byte(0) << 8) | (byte(1) << 16) | (byte(2) << 24)) >> 8;
      return static_cast<float>(value) / 8388608.0f;
    }
    default: {
      const std::uint32_t word = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
      if (format.tag == kFloat) {
        const float value = std::bit_cast<float>(word);
        return std::isfinite(value) ? std::clamp(value, -1.0f, 1.0f) : 0.0f;
      }
      return static_cast<float>(static_cast<double>(static_cast<std::int32_t>(word)) / 2147483648.0);
    }
  }
}

// The data of another format as 16 kHz mono, converted a block at a time so
// a long file needs little memory beyond its result.
Samples converted(std::string_view data, const WavFormat& format) {
  const std::size_t sampleBytes = format.bits / 8;
  const std::size_t frameBytes = format.channels * sampleBytes;
  const std::size_t frames = data.size() / frameBytes;
  const auto converter = SampleConverter::make(AudioFormat{format.rate, format.channels, SampleType::float32});
  const std::size_t wanted = static_cast<std::size_t>(static_cast<std::uint64_t>(frames) * kSampleRate / format.rate);
  // The converter holds back the last few milliseconds until later input
  // arrives: silence after the end lets them out.
  constexpr std::size_t kFlushFrames = 1024;
  constexpr std::size_t kBlockFrames = 16384;
  Samples out(SampleConverter::outputCapacity(frames + kFlushFrames, format.rate) + 64);
  std::size_t written = 0;
  std::vector<float> block;
  for (std::size_t first = 0; first < frames + kFlushFrames && written < wanted; first += kBlockFrames) {
    const std::size_t last = std::min(first + kBlockFrames, frames + kFlushFrames);
    block.assign((last - first) * format.channels, 0.0f);
    for (std::size_t frame = first; frame < std::min(last, frames); ++frame) {
      for (std::size_t c = 0; c < format.channels; ++c) {
        block[(frame - first) * format.channels + c] =
            sampleAt(data.data() + frame * frameBytes + c * sampleBytes, format);
      }
    }
    const auto got = converter->convert(AudioBuffer{{}, block}, std::span(out).subspan(written));
    written += got.value_or(0);
  }
  out.resize(std::min(wanted, written));
  return out;
}

}  // namespace

Result<Samples> decodeWav(std::string_view bytes) {
  const std::size_t count = bytes.size();
  if (count < 13 || bytes.substr(0, 4) != "RIFF") return Error{"not a WAV file"};
  // Every step moves on by at least 8 bytes, so the walk ends; 64-bit offsets
  // cannot overflow on 32-bit sizes.
  std::uint64_t p = 12;
  std::uint32_t size = 0;
  std::optional<WavFormat> format;
  bool formatSeen = false;
  for (;;) {
    if (p + 8 > count) return Error{"not a WAV file"};
    size = getU32(bytes, static_cast<std::size_t>(p) + 4);
    const std::string_view id = bytes.substr(static_cast<std::size_t>(p), 4);
    if (id == "data") break;
    if (id == "fmt " && !formatSeen) {
      formatSeen = true;
      const std::uint64_t end = std::min<std::uint64_t>(p + 8 + size, count);
      format = parseFormat(bytes.substr(static_cast<std::size_t>(p + 8), static_cast<std::size_t>(end - p - 8)));
      if (!format) return Error{"unsupported WAV format (a format chunk of " + std::to_string(size) + " bytes)"};
    }
    p += 8 + static_cast<std::uint64_t>(size) + (size & 1u);
  }
  const std::uint64_t begin = p + 8;
  const std::uint64_t end = std::min<std::uint64_t>(begin + size, count);
  const std::string_view data = bytes.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));

  if (format && !(*format == WavFormat{})) {
    if (!supported(*format)) return Error{"unsupported WAV format (" + describe(*format) + ")"};
    return converted(data, *format);
  }
  const std::size_t sampleCount = data.size() / 2;
  Samples samples(sampleCount);
  if constexpr (std::endian::native == std::endian::little) {
    if (sampleCount > 0) std::memcpy(samples.data(), data.data(), sampleCount * 2);
  } else {
    for (std::size_t i = 0; i < sampleCount; ++i) samples[i] = static_cast<std::int16_t>(getU16(data, 2 * i));
  }
  return samples;
}

std::optional<Samples> readWav(std::string_view bytes) {
  auto decoded = decodeWav(bytes);
  if (!decoded) return std::nullopt;
  return std::move(decoded).value();
}

}  // namespace quorvel
