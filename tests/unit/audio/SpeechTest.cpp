// Real speech (spoken by espeak-ng, joined by sox with pauses of known length):
// the chunker cuts inside the pauses and the detector tells speech from
// silence and from low noise.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "AudioTestHelpers.h"
#include "audio/Chunker.h"
#include "audio/Levels.h"
#include "audio/Wav.h"

namespace quorvel {
namespace {

Samples load(const std::string& name) {
  std::ifstream in(std::string(QUORVEL_SPEECH_DIR) + "/" + name + ".wav", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  auto samples = readWav(bytes.str());
  if (!samples || samples->empty()) throw std::runtime_error("speech fixture missing: " + name);
  return *samples;
}

// The first and last sample index that is clearly audible.
std::pair<std::size_t, std::size_t> audible(const Samples& samples) {
  std::size_t first = samples.size();
  std::size_t last = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(samples[i]) > 300) {
      first = std::min(first, i);
      last = i;
    }
  }
  return {first, last};
}

class Speech : public ::testing::Test {
 protected:
  Samples a = load("a");
  Samples b = load("b");
  Samples c = load("c");
  Samples joined = load("joined");
};

TEST_F(Speech, ChunkerCutsInsideBothPauses) {
  // The sentences are 4–5 s long; a 2.5 s minimum makes each its own piece.
  ASSERT_EQ(joined.size(), a.size() + 24000 + b.size() + 19200 + c.size());
  const auto [aFirst, aLast] = audible(a);
  const auto [bFirst, bLast] = audible(b);
  const auto [cFirst, cLast] = audible(c);
  const std::size_t bStart = a.size() + 24000;
  const std::size_t cStart = bStart + b.size() + 19200;
  // Silent stretches between the last sound of one sentence and the first of the next.
  const std::pair<std::size_t, std::size_t> pauses[] = {{aLast, bStart + bFirst}, {bStart + bLast, cStart + cFirst}};

  Chunker chunker(2.5, 600, 0.15);
  std::vector<SampleRange> pieces;
  for (std::size_t have = 4000;; have = std::min(have + 4000, joined.size())) {
    if (const auto piece = chunker.next(SampleSpan(joined).first(have))) pieces.push_back(*piece);
    if (have == joined.size()) break;
  }
  ASSERT_EQ(pieces.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_GT(static_cast<std::size_t>(pieces[i].end), pauses[i].first) << "cut " << i;
    EXPECT_LT(static_cast<std::size_t>(pieces[i].end), pauses[i].second) << "cut " << i;
  }
  // The remainder is the third sentence, with speech in it.
  EXPECT_TRUE(hasSpeech(SampleSpan(joined).subspan(static_cast<std::size_t>(chunker.cut))));
}

TEST_F(Speech, DetectorTellsSpeechFromSilenceAndLowNoise) {
  for (const Samples* sentence : {&a, &b, &c}) EXPECT_TRUE(hasSpeech(*sentence));
  EXPECT_FALSE(hasSpeech(load("silence")));
  const Samples noise = load("noise");
  EXPECT_GT(rms(noise), 10);
  EXPECT_FALSE(hasSpeech(noise));
  // Speech spoken softly over the same noise is still speech.
  Samples soft = noise;
  for (std::size_t i = 0; i < std::min(soft.size(), a.size()); ++i) {
    soft[i] = static_cast<std::int16_t>(soft[i] + a[i] / 8);
  }
  EXPECT_TRUE(hasSpeech(soft));
}

TEST_F(Speech, GainBringsSoftSpeechUpAndTrimmingKeepsTheWords) {
  Samples soft(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) soft[i] = static_cast<std::int16_t>(a[i] / 20);
  const double gain = boostGain(soft);
  EXPECT_GT(gain, 5);
  EXPECT_LE(gain, 12);
  testing::ScopedTrim trim(true);
  Samples padded(32000, 0);
  testing::append(padded, a);
  testing::append(padded, Samples(32000, 0));
  const SampleSpan kept = trimEdges(padded);
  const auto [first, last] = audible(a);
  const auto keptBegin = static_cast<std::size_t>(kept.data() - padded.data());
  EXPECT_LT(kept.size(), padded.size());
  EXPECT_LE(keptBegin, 32000 + first);
  EXPECT_GE(keptBegin + kept.size(), 32000 + last);
}

}  // namespace
}  // namespace quorvel
