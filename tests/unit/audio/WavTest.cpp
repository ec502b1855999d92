// Writing and reading WAV files, and reading broken ones safely.
#include "audio/Wav.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "AudioTestHelpers.h"

namespace quorvel {
namespace {

std::string u32(std::uint32_t value) {
  std::string out;
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
  return out;
}

std::string chunk(const std::string& id, const std::string& body, std::optional<std::uint32_t> size = {}) {
  return id + u32(size.value_or(static_cast<std::uint32_t>(body.size()))) + body;
}

std::string riff(const std::string& chunks) { return "RIFF" + u32(static_cast<std::uint32_t>(chunks.size() + 4)) + "WAVE" + chunks; }

// Reads from a heap block of exactly the input's size (a std::string would
// leave its terminator readable), so AddressSanitizer catches any read past it.
std::optional<Samples> readExact(const std::string& bytes) {
  const auto block = std::make_unique<char[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), block.get());
  return readWav(std::string_view(block.get(), bytes.size()));
}

// The format chunk wavData writes, for hand-built files.
const std::string kFormat = chunk("fmt ", std::string("\x01\x00\x01\x00\x80\x3e\x00\x00\x00\x7d\x00\x00\x02\x00\x10\x00", 16));

TEST(WavData, WritesTheFortyFourByteHeaderThenTheSamples) {
  const Samples samples = {1, -2, 0x1234};
  const std::string expected = std::string("RIFF") + u32(6 + 36) + "WAVE" + "fmt " + u32(16) +
                               std::string("\x01\x00\x01\x00", 4) + u32(16000) + u32(32000) +
                               std::string("\x02\x00\x10\x00", 4) + "data" + u32(6) +
                               std::string("\x01\x00\xfe\xff\x34\x12", 6);
  EXPECT_EQ(wavData(samples, 16000), expected);
  EXPECT_EQ(wavData({}, 16000).size(), 44u);
  EXPECT_EQ(wavData(samples, 44100).substr(24, 8), u32(44100) + u32(88200));
}

TEST(ReadWav, GivesBackWhatWavDataWrote) {
  Samples samples = testing::noise(10000, 32767);
  samples.push_back(-32768);
  samples.push_back(32767);
  EXPECT_EQ(readWav(wavData(samples)), samples);
  EXPECT_EQ(readWav(wavData({})), Samples{});
}

TEST(ReadWav, WalksPastOtherChunksWithOddSizesPadded) {
  const std::string data = chunk("data", std::string("\x05\x00\x06\x00", 4));
  EXPECT_EQ(readWav(riff(kFormat + chunk("LIST", "INFOabcd") + data)), (Samples{5, 6}));
  // An odd chunk is followed by one pad byte.
  EXPECT_EQ(readWav(riff(kFormat + chunk("note", "abc") + "x" + data)), (Samples{5, 6}));
  // Chunk identifiers that are not ASCII match nothing and are skipped.
  EXPECT_EQ(readWav(riff(chunk("\xff\xfe\x01\x02", "zz") + data)), (Samples{5, 6}));
}

TEST(ReadWav, AnswersTheDefinedResultForBrokenFiles) {
  const std::string twoSamples("\x05\x00\x06\x00", 4);
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<Samples> expected;
  };
  const Case cases[] = {
      {"empty", "", std::nullopt},
      {"twelve bytes", std::string("RIFF\x04\x00\x00\x00WAVE", 12), std::nullopt},
      {"thirteen bytes", std::string("RIFF\x04\x00\x00\x00WAVEd", 13), std::nullopt},
      {"not RIFF", "RIFX" + wavData(Samples{1, 2}).substr(4), std::nullopt},
      {"no data chunk", riff(kFormat + chunk("LIST", "abcd")), std::nullopt},
      {"header cut inside the data chunk's header", riff(kFormat).append("data\x04\x00", 6), std::nullopt},
      {"chunk size past the end", riff(chunk("LIST", "ab", 1000) + chunk("data", twoSamples)), std::nullopt},
      {"size 0xFFFFFFFF before data", riff(chunk("LIST", "ab", 0xFFFFFFFFu) + chunk("data", twoSamples)), std::nullopt},
      {"data size past the end: read to the end", riff(kFormat + chunk("data", twoSamples, 1000)), Samples{5, 6}},
      {"data size 0xFFFFFFFF: read to the end", riff(kFormat + chunk("data", twoSamples, 0xFFFFFFFFu)), Samples{5, 6}},
      {"odd data length: last byte dropped", riff(kFormat + chunk("data", twoSamples + "\x07")), Samples{5, 6}},
      {"data shorter than its size and odd", riff(chunk("data", std::string("\x05\x00\x06", 3), 8)), Samples{5}},
      {"one data byte", riff(chunk("data", "\x01")), Samples{}},
      {"empty data", riff(chunk("data", "")), Samples{}},
      {"data size 0 with bytes after it", riff(chunk("data", "", 0) + twoSamples), Samples{}},
      {"no format chunk: taken as what wavData writes", riff(chunk("data", twoSamples)), Samples{5, 6}},
      {"a format chunk too short to say anything", riff(chunk("fmt ", "??") + chunk("data", twoSamples)),
       std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(readExact(c.bytes), c.expected) << c.name;
}

// Every cut and many random corruptions of a valid file are read without a
// crash or a read outside the input.
TEST(ReadWav, NeverReadsOutsideTheInput) {
  const std::string whole = riff(kFormat + chunk("LIST", "INFOabc") + "p" + chunk("data", std::string(40, '\x11')));
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    const std::string cut = whole.substr(0, length);
    const auto samples = readExact(cut);
    if (samples) {
      EXPECT_LE(samples->size() * 2, cut.size());
    }
  }
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = whole.substr(0, random() % (whole.size() + 1));
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips && !bytes.empty(); ++i) bytes[random() % bytes.size()] = static_cast<char>(random());
    const auto samples = readExact(bytes);
    if (samples) {
      // A corrupted format may say 8 bits at 4 kHz: four samples a byte at most.
      EXPECT_LE(samples->size(), bytes.size() * 4);
    }
  }
}

std::string u16(std::uint16_t value) { return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }

// A format chunk: tag, channels, rate, bits (the byte rate and frame size follow from them).
std::string format(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  const std::uint16_t frame = static_cast<std::uint16_t>(channels * (bits / 8));
  return chunk("fmt ", u16(tag) + u16(channels) + u32(rate) + u32(rate * frame) + u16(frame) + u16(bits));
}

// The extensible form: the real format in the sub-format's first two bytes.
std::string extensible(std::uint16_t subformat, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  const std::uint16_t frame = static_cast<std::uint16_t>(channels * (bits / 8));
  return chunk("fmt ", u16(0xFFFE) + u16(channels) + u32(rate) + u32(rate * frame) + u16(frame) + u16(bits) +
                           u16(22) + u16(bits) + u32(3) + u16(subformat) +
                           std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14));
}

std::string floats(std::initializer_list<float> values) {
  std::string out;
  for (const float value : values) out += u32(std::bit_cast<std::uint32_t>(value));
  return out;
}

TEST(ReadWav, ConvertsOtherFormatsToSixteenKilohertzMono) {
  struct Case {
    const char* name;
    std::string bytes;
    Samples expected;
  };
  const Case cases[] = {
      {"stereo: the channels averaged", riff(format(1, 2, 16000, 16) + chunk("data", u16(1000) + u16(3000) + u16(0xFC18) + u16(0xF448))),
       Samples{2000, -2000}},
      {"8 bits, unsigned", riff(format(1, 1, 16000, 8) + chunk("data", std::string("\xC0\x80\x00", 3))),
       Samples{16384, 0, -32768}},
      {"24 bits", riff(format(1, 1, 16000, 24) + chunk("data", std::string("\x56\x34\x12\x00\x00\x80", 6))),
       Samples{4660, -32768}},
      {"32 bits", riff(format(1, 1, 16000, 32) + chunk("data", u32(0x40000000) + u32(0xC0000000))),
       Samples{16384, -16384}},
      {"32-bit float, clipped", riff(format(3, 1, 16000, 32) + chunk("data", floats({0.5f, -0.25f, 4.0f}))),
       Samples{16384, -8192, 32767}},
      {"extensible 16-bit stereo", riff(extensible(1, 2, 16000, 16) + chunk("data", u16(100) + u16(300))),
       Samples{200}},
      {"a partial last frame is dropped", riff(format(1, 2, 16000, 16) + chunk("data", u16(100) + u16(300) + u16(7))),
       Samples{200}},
  };
  for (const auto& c : cases) EXPECT_EQ(readExact(c.bytes), c.expected) << c.name;
}

TEST(ReadWav, ResamplesOtherRatesToTheRightLength) {
  for (const std::uint32_t rate : {8000u, 22050u, 44100u, 48000u}) {
    // One second of a steady level: a second at 16 kHz of the same level.
    std::string data;
    for (std::uint32_t i = 0; i < rate; ++i) data += u16(5000);
    const auto samples = readExact(riff(format(1, 1, rate, 16) + chunk("data", data)));
    ASSERT_TRUE(samples.has_value()) << rate;
    EXPECT_EQ(samples->size(), 16000u) << rate;
    EXPECT_NEAR((*samples)[8000], 5000, 10) << rate;
  }
  // 48 kHz stereo 24-bit, as a recorder might save it: 0.1 s.
  std::string data;
  for (int i = 0; i < 4800; ++i) data += std::string("\x00\x00\x20\x00\x00\x20", 6);
  const auto samples = readExact(riff(extensible(1, 2, 48000, 24) + chunk("data", data)));
  ASSERT_TRUE(samples.has_value());
  EXPECT_EQ(samples->size(), 1600u);
  EXPECT_NEAR((*samples)[800], 8192, 10);
}

TEST(DecodeWav, RefusesWhatItCannotConvertAndSaysWhy) {
  const std::string data = chunk("data", std::string(64, '\x01'));
  struct Case {
    std::string bytes;
    std::string error;
  };
  const Case cases[] = {
      {"not a wav", "not a WAV file"},
      {riff(format(2, 1, 16000, 4) + data), "unsupported WAV format (format tag 2, 4 bits, 1 channel(s), 16000 Hz)"},
      {riff(format(3, 1, 16000, 64) + data), "unsupported WAV format (float, 64 bits, 1 channel(s), 16000 Hz)"},
      {riff(format(1, 1, 16000, 12) + data), "unsupported WAV format (PCM, 12 bits, 1 channel(s), 16000 Hz)"},
      {riff(format(1, 0, 16000, 16) + data), "unsupported WAV format (PCM, 16 bits, 0 channel(s), 16000 Hz)"},
      {riff(format(1, 1, 0, 16) + data), "unsupported WAV format (PCM, 16 bits, 1 channel(s), 0 Hz)"},
      {riff(format(1, 1, 1, 16) + data), "unsupported WAV format (PCM, 16 bits, 1 channel(s), 1 Hz)"},
      {riff(extensible(2, 1, 16000, 16) + data), "unsupported WAV format (format tag 2, 16 bits, 1 channel(s), 16000 Hz)"},
  };
  for (const auto& c : cases) {
    const auto decoded = decodeWav(c.bytes);
    ASSERT_FALSE(decoded.ok()) << c.error;
    EXPECT_EQ(decoded.error(), c.error);
  }
}

}  // namespace
}  // namespace quorvel
