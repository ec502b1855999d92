// The pause search that cuts a live recording into pieces.
#include "audio/Chunker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "AudioTestHelpers.h"
#include "TestSupport.h"
#include "support/UserDefaults.h"

namespace quorvel {
namespace {

using testing::append;
using testing::constant;
using testing::noise;

constexpr std::size_t kSecond = 16000;

Samples speech(double seconds, int amplitude = 5000, std::uint32_t seed = 3) {
  return noise(static_cast<std::size_t>(seconds * kSecond), amplitude, seed);
}

Samples pause(double seconds) { return constant(static_cast<std::size_t>(seconds * kSecond), 0); }

// Feeds the recording in steps of a quarter second, as the shell's timer does,
// and returns every piece handed out.
std::vector<SampleRange> feed(Chunker& chunker, const Samples& recording) {
  std::vector<SampleRange> pieces;
  std::size_t have = 0;
  while (have < recording.size()) {
    have = std::min(have + 4000, recording.size());
    if (const auto piece = chunker.next(SampleSpan(recording).first(have))) pieces.push_back(*piece);
  }
  return pieces;
}

TEST(Chunker, DefaultsAreTheProductsWhenNothingIsStored) {
  testing::TempDir config;
  testing::ScopedEnv home("XDG_CONFIG_HOME", config.path().string());
  const Chunker chunker;
  EXPECT_EQ(chunker.minPiece, 20.0);
  EXPECT_EQ(chunker.pauseMs, 600);
  EXPECT_EQ(chunker.pauseRatio, 0.15);
  EXPECT_EQ(chunker.cut, 0);
}

TEST(Chunker, ReadsTheThreeUserDefaultsOfTheRightTypeAtCreation) {
  testing::TempDir config;
  testing::ScopedEnv home("XDG_CONFIG_HOME", config.path().string());
  UserDefaults defaults;
  ASSERT_TRUE(defaults.set("chunkMin", 12.5).ok());
  ASSERT_TRUE(defaults.set("pauseMs", 450).ok());
  ASSERT_TRUE(defaults.set("pauseRatio", 0.3).ok());
  const Chunker chunker;
  EXPECT_EQ(chunker.minPiece, 12.5);
  EXPECT_EQ(chunker.pauseMs, 450);
  EXPECT_EQ(chunker.pauseRatio, 0.3);

  ASSERT_TRUE(defaults.set("chunkMin", true).ok());
  ASSERT_TRUE(defaults.set("pauseMs", 450.5).ok());  // not an integer
  ASSERT_TRUE(defaults.set("pauseRatio", "0.3").ok());
  const Chunker fallback;
  EXPECT_EQ(fallback.minPiece, 20.0);
  EXPECT_EQ(fallback.pauseMs, 600);
  EXPECT_EQ(fallback.pauseRatio, 0.15);
}

TEST(Chunker, ShortRecordingIsNeverCutWhileTalking) {
  Chunker chunker(20, 600, 0.15);
  Samples recording = speech(8);
  append(recording, pause(2));
  append(recording, speech(9.5));
  EXPECT_TRUE(feed(chunker, recording).empty());
  EXPECT_EQ(chunker.cut, 0);
}

TEST(Chunker, CutsInTheMiddleOfAPauseOnceEnoughIsUncut) {
  Chunker chunker(20, 600, 0.15);
  Samples recording = speech(21);
  append(recording, pause(1.5));
  append(recording, speech(5));
  const auto pieces = feed(chunker, recording);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].begin, 0);
  // The cut lies inside the pause, and at least 0.3 s from its start.
  EXPECT_GE(pieces[0].end, static_cast<std::int64_t>(21 * kSecond + 4800));
  EXPECT_LE(pieces[0].end, static_cast<std::int64_t>(22.5 * kSecond));
  EXPECT_EQ(chunker.cut, pieces[0].end);
}

TEST(Chunker, ForcesACutAtTheQuietestWindowAfterTwentyEightSeconds) {
  Chunker chunker(20, 600, 0.15);
  // Loud speech throughout, a little softer (not a pause) over one window:
  // samples 320000 … 329600 are window k = 143 before stop = 444000.
  Samples recording = speech(28);
  for (std::size_t i = 320000; i < 329600; ++i) recording[i] = static_cast<std::int16_t>(recording[i] / 3);
  std::optional<SampleRange> piece;
  for (std::size_t have = 4000; have <= recording.size(); have += 4000) {
    piece = chunker.next(SampleSpan(recording).first(have));
    if (piece) {
      EXPECT_EQ(have, 28 * kSecond) << "cut before 28 s";
      break;
    }
  }
  ASSERT_TRUE(piece.has_value());
  EXPECT_EQ(*piece, (SampleRange{0, 329600 - 4800}));
}

TEST(Chunker, ForcedCutWithoutAnyWindowCutsAtTheEnd) {
  Chunker chunker(20, 20000, 0.15);  // a 20 s window never fits the 12 s look-back
  const Samples recording = speech(28);
  EXPECT_EQ(chunker.next(SampleSpan(recording).first(447999)), std::nullopt);
  EXPECT_EQ(chunker.next(recording), (SampleRange{0, 448000}));
}

TEST(Chunker, LaterOfTwoEquallyQuietWindowsWins) {
  Chunker chunker(20, 600, 0.15);
  Samples recording = speech(21);
  append(recording, pause(0.8));  // 336000 … 348800
  append(recording, speech(0.7));
  append(recording, pause(0.8));  // 360000 … 372800
  append(recording, speech(0.7));
  ASSERT_EQ(recording.size(), 384000u);
  // stop = 380000; the latest all-silent window is [363200, 372800); the
  // windows of the first pause are just as silent but earlier.
  EXPECT_EQ(chunker.next(recording), (SampleRange{0, 372800 - 4800}));
}

TEST(Chunker, PauseInTheLastQuarterSecondWaitsForTheNextTick) {
  Chunker chunker(20, 600, 0.15);
  Samples recording = speech(21);
  append(recording, pause(0.8));
  // Only 0.55 s of the pause lies before the ignored last quarter second.
  EXPECT_EQ(chunker.next(recording), std::nullopt);
  append(recording, pause(0.25));
  const auto piece = chunker.next(recording);
  ASSERT_TRUE(piece.has_value());
  EXPECT_GE(piece->end, static_cast<std::int64_t>(21 * kSecond + 4800));
}

TEST(Chunker, QuietRecordingUsesTheFloorOfSixty) {
  // Speech at rms 200: 0.15 × 200 = 30 would reject a pause at rms 50, but
  // the threshold is 0.15 × 400 = 60.
  const auto quiet = [](std::int16_t pauseLevel) {
    Samples recording = constant(21 * kSecond, 200);
    append(recording, constant(kSecond, pauseLevel));
    append(recording, constant(kSecond / 2, 200));
    return recording;
  };
  Chunker accepting(20, 600, 0.15);
  EXPECT_TRUE(accepting.next(quiet(50)).has_value());
  Chunker rejecting(20, 600, 0.15);
  EXPECT_FALSE(rejecting.next(quiet(61)).has_value());
}

TEST(Chunker, NextPieceCannotEndBeforeSixtyPercentOfMinPiece) {
  Chunker chunker(20, 600, 0.15);
  Samples recording = speech(21);
  append(recording, pause(1));     // the first cut
  append(recording, speech(5));
  append(recording, pause(1));     // only ~5.5 s after the first cut: too early
  append(recording, speech(10));
  append(recording, pause(1));     // ~17 s after the first cut
  append(recording, speech(4));
  const auto pieces = feed(chunker, recording);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[1].begin, pieces[0].end);
  EXPECT_GE(pieces[1].end, pieces[0].end + static_cast<std::int64_t>(12 * kSecond));
  EXPECT_GE(pieces[1].end, static_cast<std::int64_t>(38 * kSecond));  // inside the third pause
  EXPECT_LE(pieces[1].end, static_cast<std::int64_t>(39 * kSecond));
}

TEST(Chunker, WindowScanMatchesTheDirectScanExactly) {
  std::mt19937 random(5);
  int compared = 0;
  for (int round = 0; round < 20; ++round) {
    Samples recording;
    while (recording.size() < 30 * kSecond) {
      const double seconds = 0.1 + (random() % 30) / 10.0;
      append(recording, random() % 3 == 0 ? constant(static_cast<std::size_t>(seconds * kSecond),
                                                      static_cast<std::int16_t>(random() % 80))
                                          : speech(seconds, 300 + static_cast<int>(random() % 6000),
                                                   static_cast<std::uint32_t>(random())));
    }
    const int pauseMs[] = {0, 1, 430, 600, 777, 1000, 2500};
    Chunker chunker(2 + (random() % 200) / 10.0, pauseMs[random() % 7], 0.05 + (random() % 30) / 100.0);
    for (std::size_t have = 4000; have <= recording.size(); have += 4000 + random() % 9000) {
      const SampleSpan buffer = SampleSpan(recording).first(have);
      const auto expected = chunker.nextByDirectScan(buffer);
      ASSERT_EQ(chunker.next(buffer), expected) << "round " << round << " at " << have;
      ++compared;
    }
  }
  EXPECT_GT(compared, 500);
}

TEST(Chunker, FinalPieceIsTheWholeRecordingOrASpokenTailOverHalfASecond) {
  Chunker chunker(20, 600, 0.15);
  const Samples quiet = pause(3);
  EXPECT_EQ(chunker.finalPiece(quiet, 0), (SampleRange{0, 48000}));  // whatever its length and level
  EXPECT_EQ(chunker.finalPiece({}, 0), (SampleRange{0, 0}));

  chunker.cut = 100000;
  struct Case {
    std::size_t tail;
    bool spoken;
    bool added;
  };
  for (const Case c : {Case{8000, true, false}, {8001, true, true}, {48000, false, false}, {0, false, false}}) {
    Samples recording = speech(100000.0 / kSecond);
    append(recording, c.spoken ? speech(static_cast<double>(c.tail) / kSecond + 0.001) : pause(3));
    recording.resize(100000 + c.tail);
    const auto piece = chunker.finalPiece(recording, 2);
    EXPECT_EQ(piece.has_value(), c.added) << c.tail << (c.spoken ? " spoken" : " silent");
    if (piece) {
      EXPECT_EQ(*piece, (SampleRange{100000, static_cast<std::int64_t>(recording.size())}));
    }
  }
}

TEST(Chunker, OddSettingsAndBuffersNeverCrashAndStayInRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Samples recording = speech(30);
  struct Case {
    double minPiece;
    int pauseMs;
    double pauseRatio;
    std::int64_t cut;
  };
  const Case cases[] = {
      {-5, 600, 0.15, 0},  {nan, 600, 0.15, 0},     {inf, 600, 0.15, 0},  {1e300, 600, 0.15, 0},
      {0, 0, 0.15, 0},     {0, -100, 0.15, 0},      {1, std::numeric_limits<int>::max(), 0.15, 0},
      {1, 600, nan, 0},    {1, 600, inf, 0},        {1, 600, -1, 0},      {1, 600, 0.15, -100},
      {1, 600, 0.15, 1'000'000'000},
  };
  for (const auto& c : cases) {
    Chunker chunker(c.minPiece, c.pauseMs, c.pauseRatio, c.cut);
    for (std::size_t have = 0; have <= recording.size(); have += 4000) {
      const std::int64_t before = chunker.cut;
      const auto piece = chunker.next(SampleSpan(recording).first(have));
      if (piece) {
        EXPECT_EQ(piece->begin, before);
        EXPECT_GT(piece->end, piece->begin);
        EXPECT_LE(piece->end, static_cast<std::int64_t>(have));
      } else {
        EXPECT_EQ(chunker.cut, before);
      }
    }
  }
}

}  // namespace
}  // namespace quorvel
