// Cuts a growing recording into pieces that end in a pause, so each piece can
// be transcribed while the user is still talking.
#pragma once

#include <cstdint>
#include <optional>

#include "audio/Samples.h"

namespace quorvel {

// One per recording. A plain value; not shared between threads (the shell's
// timer is the only caller of next()).
struct Chunker {
  static constexpr int rate = kSampleRate;

  // Seconds of uncut audio before a cut is considered ("chunkMin", else 20).
  double minPiece = 20.0;
  // Milliseconds of the window a pause is looked for in ("pauseMs", else 600).
  int pauseMs = 600;
  // How much quieter than the speech a pause must be ("pauseRatio", else 0.15).
  double pauseRatio = 0.15;
  // Where the uncut audio begins; everything before was handed out. Only grows.
  std::int64_t cut = 0;

  // The settings from the user defaults, read now (once per recording).
  Chunker();
  Chunker(double minPiece, int pauseMs, double pauseRatio, std::int64_t cut = 0);
  static double defaultMinPiece();
  static int defaultPauseMs();
  static double defaultPauseRatio();

  // Given the whole recording so far, the next piece to hand out: a range that
  // begins at the old `cut` and ends in the middle of the quietest window near
  // the end, when that window is clearly quieter than the speech, or anyway
  // once 28 s have piled up. `cut` moves to the range's end. Nothing while
  // less than minPiece is uncut. The range always lies within [cut, size].
  // REQUIRES: samples only grow between calls.
  std::optional<SampleRange> next(SampleSpan samples);

  // The last piece at the end of a recording of `samples`, given how many
  // pieces the chain already has: with none, the whole recording; otherwise
  // the rest from `cut`, but only when it is longer than half a second and
  // holds speech (a short or silent tail would only invite invented words).
  std::optional<SampleRange> finalPiece(SampleSpan samples, int piecesAdded) const;

  // The same decision by a direct scan, one rms per window; the fast path's
  // reference in tests and benchmarks. Changes nothing.
  std::optional<SampleRange> nextByDirectScan(SampleSpan samples) const;
};

}  // namespace quorvel
