// Writing and reading WAV files, and reading broken ones safely.
#include "audio/Wav.h"

#include <gtest/gtest.h>

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
      {"format fields are not examined", riff(chunk("fmt ", "??") + chunk("data", twoSamples)), Samples{5, 6}},
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
      EXPECT_LE(samples->size() * 2, bytes.size());
    }
  }
}

}  // namespace
}  // namespace quorvel
