// Turns recorded samples into raw text by one request to the local speech
// server: automatic gain, a WAV body in a multipart form, and the "text" of
// the JSON answer, tidied. Any thread may call; calls are independent.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "audio/Samples.h"
#include "support/Result.h"

namespace quorvel {

class Servers;

// The request's limit: the product waits a minute; tests shorten it.
inline constexpr std::chrono::milliseconds kSpeechRequestTimeout{60000};

// The product's limit for one piece: a minute, or twice the piece's length
// when that is longer. Pieces cut while talking stay well under a minute; a
// whole long recording (chunking off) takes a slow CPU about half its length.
std::chrono::milliseconds speechRequestTimeout(SampleSpan piece);

// The multipart form of a speech request: the fields "response_format" = "json",
// "temperature" = "0" and "prompt" (sent even when empty), then the WAV as the
// file "audio.wav" of type audio/wav, then the closing boundary.
std::string speechRequestBody(std::string_view boundary, std::string_view wav, std::string_view prompt);

// One request with finished WAV bytes, to 127.0.0.1 on the speech port with
// the servers' key. Fails, saying why, on a refused or dropped connection, a
// time-out, an HTTP status other than 2xx (another program may hold the port)
// or an answer that is not JSON; an answer without a string "text" member
// gives "". The text is returned as the server wrote it.
Result<std::string> transcribeWav(const Servers& servers, std::string_view wav, std::string_view prompt,
                                  std::chrono::milliseconds timeout = kSpeechRequestTimeout);

// The text of the samples: waits for the speech server (a bounded number of
// probes), boosts quiet audio, sends one request with `context` as the prompt,
// and answers the text normalised with its sound labels dropped. A failure is
// logged once with its cause and passed on.
Result<std::string> transcribeOrFail(Servers& servers, SampleSpan samples, const std::string& context = {},
                                     std::chrono::milliseconds timeout = kSpeechRequestTimeout);

// The same, never failing: a failed request is a piece in which nothing was
// heard ("").
std::string transcribe(Servers& servers, SampleSpan samples, const std::string& context = {},
                       std::chrono::milliseconds timeout = kSpeechRequestTimeout);

// Words for the user when a dictation's speech could not be had.
inline constexpr const char* kSpeechStopped = "the speech model stopped";
inline constexpr const char* kSpeechFailed = "the speech model failed";

// Whether a failed speech request means the speech server is gone: the
// connection was refused or dropped, or the process we started has ended.
bool speechServerGone(Servers& servers, const std::string& error);

// One piece of a dictation, kept until its words are out: when the speech
// server is gone, `comingBack` is told (once), `restartNow` is called to start
// it again without its usual back-off, the server is waited for (at most the
// servers' speechComeback) and the piece is sent once more. Fails with
// kSpeechStopped when it did not come back in time, kSpeechFailed for any
// other failure (the details are logged).
Result<std::string> transcribePiece(Servers& servers, SampleSpan samples, const std::string& context,
                                    const std::function<void()>& restartNow,
                                    const std::function<void()>& comingBack,
                                    std::chrono::milliseconds timeout = kSpeechRequestTimeout);

}  // namespace quorvel
