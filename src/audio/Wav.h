// WAV bytes for samples and back: the 44-byte header of one channel of 16-bit
// PCM, then the samples little-endian. Pure functions; any thread may call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "audio/Samples.h"
#include "support/Result.h"

namespace quorvel {

// The WAV file of the samples at the given rate (16000 for recordings). A
// recording too long for the 32-bit size fields (over 37 hours at 16 kHz)
// is written whole with both size fields at 0xFFFFFFFF, which readWav (and
// most readers) take as "to the end of the file". A rate outside
// 1 … 2^31 − 1 is clamped into it so the byte rate stays representable.
std::string wavData(SampleSpan samples, int sampleRate = kSampleRate);

// The samples of a RIFF file at 16 kHz mono: the chunks are walked from
// offset 12 to the "data" chunk (odd sizes padded), whose bytes are cut at the
// end of the input. Without a format chunk before the data, or with one that
// says 16-bit PCM, one channel, 16000 Hz (what wavData writes), the bytes are
// read as 16-bit little-endian samples, an odd last byte dropped. Otherwise
// PCM of 8, 16, 24 or 32 bits or 32-bit float (also in the extensible form),
// 1 to 64 channels and 4 to 768 kHz is converted: channels averaged, the rate
// resampled as the recorder does; a partial last frame is dropped. Fails with
// "not a WAV file" when the input is shorter than 13 bytes, does not begin
// with "RIFF" or has no "data" chunk header inside it, and with
// "unsupported WAV format (…)" for any other format. Never reads outside
// `bytes`.
Result<Samples> decodeWav(std::string_view bytes);

// decodeWav's samples, or absent when it fails.
std::optional<Samples> readWav(std::string_view bytes);

}  // namespace quorvel
