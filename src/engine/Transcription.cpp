// The speech request and the never-failing transcription built on it.
#include "engine/Transcription.h"

#include <algorithm>
#include <thread>

#include "audio/Levels.h"
#include "audio/Wav.h"
#include "engine/Config.h"
#include "engine/Servers.h"
#include "support/Http.h"
#include "support/Json.h"
#include "support/Log.h"
#include "support/Uuid.h"
#include "text/TextHelpers.h"

namespace quorvel {

std::string speechRequestBody(std::string_view boundary, std::string_view wav, std::string_view prompt) {
  std::string body;
  body.reserve(wav.size() + prompt.size() + 512);
  const auto field = [&](std::string_view name, std::string_view value) {
    body.append("--").append(boundary);
    body.append("\r\nContent-Disposition: form-data; name=\"").append(name).append("\"\r\n\r\n");
    body.append(value).append("\r\n");
  };
  field("response_format", "json");
  field("temperature", "0");
  field("prompt", prompt);
  body.append("--").append(boundary);
  body.append(
      "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n"
      "Content-Type: audio/wav\r\n\r\n");
  body.append(wav);
  body.append("\r\n--").append(boundary).append("--\r\n");
  return body;
}

Result<std::string> transcribeWav(const Servers& servers, std::string_view wav, std::string_view prompt,
                                  std::chrono::milliseconds timeout) {
  const std::string boundary = "quorvel-" + randomUuid();
  RemoteServer* remote = servers.speechRemote().get();
  auto prepared = modelServerRequest(remote, Config::whisperPort(), servers.apiKey(), "/inference", "POST");
  if (!prepared) return Error{prepared.error()};
  HttpRequest request = std::move(prepared).value();
  request.timeout = timeout;
  request.headers.emplace_back("Content-Type", "multipart/form-data; boundary=" + boundary);
  request.body = speechRequestBody(boundary, wav, prompt);
  auto response = httpFetch(request);
  if (remote && remote->noteAnswer(response)) return Error{remote->problem().value_or("")};
  if (!response) return Error{response.error()};
  if (response->status < 200 || response->status > 299) {
    return Error{"the speech server answered HTTP " + std::to_string(response->status)};
  }
  const auto answer = parseJson(response->body);
  if (!answer) {
    if (remote) remote->noteFailure(RemoteFailure::wrongAnswer, "its answer is not JSON");
    return Error{"the speech server's answer is not JSON"};
  }
  return stringMember(*answer, "text").value_or(std::string());
}

std::chrono::milliseconds speechRequestTimeout(SampleSpan piece) {
  const auto twiceItsLength = std::chrono::milliseconds(piece.size() * 2000 / kSampleRate);
  return std::max(kSpeechRequestTimeout, twiceItsLength);
}

Result<std::string> transcribeOrFail(Servers& servers, SampleSpan samples, const std::string& context,
                                     std::chrono::milliseconds timeout) {
  // Nothing escapes: a failure of any kind is reported as a value.
  const auto failed = [&](const std::string& cause) -> Result<std::string> {
    logLine("Quorvel: a speech request failed: " + cause);
    return Error{cause};
  };
  try {
    servers.waitForWhisper();
    const double gain = boostGain(samples);
    const std::string wav = gain == 1.0 ? wavData(samples) : wavData(applyGain(samples, gain));
    const auto raw = transcribeWav(servers, wav, context, timeout);
    if (!raw) return failed(raw.error());
    if (raw->empty()) return std::string();
    return TextHelpers::dropSoundLabels(TextHelpers::normalize(*raw));
  } catch (const std::exception& error) {
    return failed(error.what());
  }
}

std::string transcribe(Servers& servers, SampleSpan samples, const std::string& context,
                       std::chrono::milliseconds timeout) {
  return transcribeOrFail(servers, samples, context, timeout).valueOr(std::string());
}

bool speechServerGone(Servers& servers, const std::string& error) {
  return serverWentAway(error) || servers.whisperExit().has_value();
}

Result<std::string> transcribePiece(Servers& servers, SampleSpan samples, const std::string& context,
                                    const std::function<void()>& restartNow,
                                    const std::function<void()>& comingBack,
                                    std::chrono::milliseconds timeout) {
  auto heard = transcribeOrFail(servers, samples, context, timeout);
  if (heard) return heard;
  if (!speechServerGone(servers, heard.error())) return Error{kSpeechFailed};
  if (comingBack) comingBack();
  const ServerWaits& waits = servers.waits();
  const auto deadline = std::chrono::steady_clock::now() + waits.speechComeback;
  while (true) {
    if (restartNow) restartNow();
    if (servers.whisperAnswers()) {
      auto again = transcribeOrFail(servers, samples, context, timeout);
      if (again) return again;
      if (!speechServerGone(servers, again.error())) return Error{kSpeechFailed};
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(waits.probePause, deadline - now));
  }
  logLine("Quorvel: the speech server did not come back in time; the dictation is kept");
  return Error{kSpeechStopped};
}

}  // namespace quorvel
