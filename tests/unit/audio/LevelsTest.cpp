// Loudness, the speech detector, automatic gain and edge trimming.
#include "audio/Levels.h"

#include <gtest/gtest.h>

#include <cmath>

#include "AudioTestHelpers.h"

namespace quorvel {
namespace {

using testing::constant;
using testing::ScopedTrim;

TEST(Rms, IsTheRootMeanSquareAndZeroForNothing) {
  EXPECT_EQ(rms({}), 0.0);
  const Samples samples = {3, -4, 0, 0};
  EXPECT_DOUBLE_EQ(rms(samples), std::sqrt(25.0 / 4));
  EXPECT_DOUBLE_EQ(rms(SampleSpan(samples).subspan(0, 2)), std::sqrt(12.5));
  EXPECT_EQ(rms(constant(1000, -32768)), 32768.0);
}

TEST(Rms, SumOfSquaresStaysExactOverLongLoudRecordings) {
  const Samples loud = constant(20'000'000, -32768);  // 20 min at full scale
  EXPECT_EQ(sumOfSquares(loud), 20'000'000ull << 30);
  Samples mixed = {32767, -32768, 1, -1, 0};
  EXPECT_EQ(sumOfSquares(mixed), 32767ull * 32767 + (1ull << 30) + 2);
}

TEST(FrameLevels, CountsWholeFramesOf320) {
  struct Case {
    std::size_t samples;
    std::size_t levels;
  };
  for (const Case c : {Case{0, 1}, {1, 1}, {319, 1}, {320, 1}, {639, 1}, {640, 2}, {959, 2}, {960, 3}}) {
    EXPECT_EQ(frameLevels(Samples(c.samples, 10)).size(), c.levels) << c.samples << " samples";
  }
}

TEST(FrameLevels, AreSortedAndDropTheTail) {
  Samples samples = constant(320, 300);
  testing::append(samples, constant(320, -100));
  testing::append(samples, constant(320, 200));
  testing::append(samples, constant(100, 30000));  // a tail shorter than a frame
  EXPECT_EQ(frameLevels(samples), (std::vector<double>{100, 200, 300}));
  EXPECT_EQ(frameLevels(Samples{3, 4}), (std::vector<double>{std::sqrt(12.5)}));
}

// Silence with `loudFrames` frames of 200 spread through it: overall rms stays
// far below 120, so only the frame count decides.
Samples quietWithLoudFrames(int loudFrames, std::int16_t floorLevel = 0) {
  Samples samples;
  for (int frame = 0; frame < 1000; ++frame) {
    const bool loud = frame % 50 == 0 && frame / 50 < loudFrames;
    testing::append(samples, constant(320, loud ? 200 : floorLevel));
  }
  return samples;
}

TEST(HasSpeech, NeedsThirteenFramesAboveTheThreshold) {
  EXPECT_FALSE(hasSpeech({}));
  for (int loudFrames = 0; loudFrames <= 20; ++loudFrames) {
    const Samples samples = quietWithLoudFrames(loudFrames);
    ASSERT_LE(rms(samples), 120);
    EXPECT_EQ(hasSpeech(samples), loudFrames >= 13) << loudFrames << " loud frames";
  }
}

TEST(HasSpeech, ThresholdRisesWithTheNoiseFloor) {
  // A floor of 100 puts the threshold at 250: frames of 200 no longer count.
  EXPECT_FALSE(hasSpeech(quietWithLoudFrames(20, 100)));
  EXPECT_TRUE(hasSpeech(quietWithLoudFrames(20, 50)));  // threshold stays 150
}

TEST(HasSpeech, LoudRecordingsAreSpeechAtOnce) {
  EXPECT_TRUE(hasSpeech(constant(100, 121)));
  EXPECT_FALSE(hasSpeech(constant(100, 120)));  // one frame level: not 13 frames
}

TEST(Boost, GainFollowsLoudnessAndPeak) {
  struct Case {
    const char* name;
    Samples samples;
    double gain;
  };
  const Case cases[] = {
      {"empty", {}, 1},
      {"peak at 30000", constant(4000, 30000), 1},
      {"peak -32768 counts as 32768", constant(4000, -32768), 1},
      {"very quiet: capped at 12", constant(4000, 100), 12},
      {"95th percentile 2500", constant(4000, 2500), 2},
      {"gain 1.04 is not applied", constant(4000, 4800), 1},
      {"peak limits the gain", [] {
         Samples s = constant(4000, 100);
         s[5] = 10000;  // 30000 / 10000 = 3
         return s;
       }(), 3},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(boostGain(c.samples), c.gain) << c.name;
}

TEST(Boost, RoundsHalvesAwayFromZeroAndClamps) {
  EXPECT_EQ(applyGain(Samples{1, 3, -1, -3, 0}, 2.5), (Samples{3, 8, -3, -8, 0}));
  EXPECT_EQ(applyGain(Samples{20000, -20000}, 2), (Samples{32767, -32768}));
}

TEST(Boost, QuietAudioIsRaisedAndLoudAudioIsNotCopied) {
  EXPECT_EQ(boosted(constant(1000, 100)), constant(1000, 1200));
  const auto loud = std::make_shared<const Samples>(constant(1000, 31000));
  EXPECT_EQ(boosted(loud).get(), loud.get());  // the same list, no copy
  const auto quiet = std::make_shared<const Samples>(constant(1000, -50));
  const auto raised = boosted(quiet);
  EXPECT_NE(raised.get(), quiet.get());
  EXPECT_EQ(*raised, constant(1000, -600));
  EXPECT_EQ(boosted(SharedSamples()), nullptr);
}

TEST(TrimEdges, KeepsAQuarterSecondBeforeAndMoreAfterTheLoudFrames) {
  ScopedTrim trim(true);
  Samples piece = constant(32000, 0);  // two seconds
  std::fill(piece.begin() + 8000, piece.begin() + 8800, 5000);  // frame 10
  const SampleSpan kept = trimEdges(piece);
  EXPECT_EQ(kept.data() - piece.data(), 3200);
  EXPECT_EQ(kept.size(), 15200u - 3200u);
}

TEST(TrimEdges, ClampsToTheEnds) {
  ScopedTrim trim(true);
  Samples piece = constant(32000, 0);
  std::fill(piece.begin(), piece.begin() + 800, 5000);              // frame 0
  std::fill(piece.begin() + 30400, piece.begin() + 31200, 5000);    // frame 38, the last examined
  const SampleSpan kept = trimEdges(piece);
  EXPECT_EQ(kept.data(), piece.data());
  EXPECT_EQ(kept.size(), piece.size());
}

TEST(TrimEdges, LeavesThePieceWholeWhenItCannotOrMayNotTrim) {
  Samples piece = constant(32000, 0);
  std::fill(piece.begin() + 8000, piece.begin() + 8800, 5000);
  {
    ScopedTrim off(false);
    EXPECT_EQ(trimEdges(piece).size(), piece.size());
  }
  ScopedTrim on(true);
  EXPECT_EQ(trimEdges(constant(32000, 0)).size(), 32000u);  // no loud frame
  Samples shortPiece = constant(6400, 0);
  shortPiece[100] = 30000;
  EXPECT_EQ(trimEdges(shortPiece).size(), 6400u);
  EXPECT_EQ(trimEdges({}).size(), 0u);
}

TEST(TrimEdges, ThresholdIsAQuarterOfTheOverallLevel) {
  ScopedTrim trim(true);
  // Loud speech (5000) everywhere except a soft start (1000): the soft frames
  // are below 0.25 × overall rms, so they are trimmed down to 0.3 s.
  Samples piece = constant(16000, 1000);
  testing::append(piece, constant(32000, 5000));
  const SampleSpan kept = trimEdges(piece);
  EXPECT_EQ(kept.data() - piece.data(), 16000 - 4800);
  EXPECT_EQ(kept.data() + kept.size(), piece.data() + piece.size());
}

}  // namespace
}  // namespace quorvel
