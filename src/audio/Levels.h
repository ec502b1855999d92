// Pure measures and judgements of samples: loudness, per-frame levels, the
// speech detector, the automatic gain and the edge trimmer. None keeps state;
// any thread may call. Each is one pass over the samples (the percentiles use
// a selection, not a sort), and the sum of squares is exact and vectorised.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/Samples.h"

namespace quorvel {

// Exact sum of the squared sample values (exact for up to 2^33 samples).
std::uint64_t sumOfSquares(SampleSpan samples);

// Root mean square in double precision; 0 for no samples. A piece is a subspan.
double rms(SampleSpan samples);

// The rms of every whole frame of 320 samples (a shorter tail is dropped),
// sorted ascending; fewer than 320 samples give one level, the rms of them all.
std::vector<double> frameLevels(SampleSpan samples);

// Whether the samples hold speech: loud overall (rms above 120), or at least
// 13 frames (0.26 s) clearly above the noise floor. False for no samples.
bool hasSpeech(SampleSpan samples);

// The factor boosted() multiplies by, or exactly 1 when it leaves the samples
// unchanged (the gain would be 1.05 or less, or there are no samples).
double boostGain(SampleSpan samples);

// Every sample times gain, rounded half away from zero and clamped to Int16.
Samples applyGain(SampleSpan samples, double gain);

// Automatic gain before transcription: quiet speech brought up to a working
// level (at most 12 times, never past a peak of 30000). Unchanged input is
// handed back as it came, without a copy.
SharedSamples boosted(SharedSamples samples);
Samples boosted(Samples samples);

// The piece with its quiet edges cut (keeping 0.3 s before the first loud
// 50 ms frame and 0.4 s after the last), as a view into `samples`. Returns
// the samples whole while trimPieceEdges() is off, for 6400 samples or fewer,
// or when no frame is loud.
SampleSpan trimEdges(SampleSpan samples);

}  // namespace quorvel
