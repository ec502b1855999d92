// WAV bytes for samples and back: the 44-byte header of one channel of 16-bit
// PCM, then the samples little-endian. Pure functions; any thread may call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "audio/Samples.h"

namespace quorvel {

// The WAV file of the samples at the given rate (16000 for recordings). A
// recording too long for the 32-bit size fields (over 37 hours at 16 kHz)
// is written whole with both size fields at 0xFFFFFFFF, which readWav (and
// most readers) take as "to the end of the file". A rate outside
// 1 … 2^31 − 1 is clamped into it so the byte rate stays representable.
std::string wavData(SampleSpan samples, int sampleRate = kSampleRate);

// The samples of a RIFF file: the chunks are walked from offset 12 to the
// "data" chunk (odd sizes padded), whose bytes (cut at the end of the input)
// are read as 16-bit little-endian samples, an odd last byte dropped. The
// "WAVE" tag and the format chunk are not examined. Absent when the input is
// shorter than 13 bytes, does not begin with "RIFF", or has no "data" chunk
// header inside it. Never reads outside `bytes`.
std::optional<Samples> readWav(std::string_view bytes);

}  // namespace quorvel
