// Readiness and transcription requests of the whisper stand-in.
#include "WhisperService.h"

#include <chrono>

#include "Replies.h"
#include "Wav.h"

namespace quorvel::standin {

namespace {

using nlohmann::json;
using std::chrono::milliseconds;

milliseconds wholeMs(double ms) { return milliseconds(static_cast<long long>(std::min(ms, kLongestWaitMs))); }

}  // namespace

WhisperService::WhisperService(StandinServer& server, const Settings& settings, RequestLog& log,
                               const StopFlag& stop, std::vector<TranscriptCue> cues, std::string language)
    : server_(server),
      settings_(settings),
      log_(log),
      stop_(stop),
      language_(std::move(language)),
      cues_(std::move(cues)) {}

void WhisperService::addRoutes() {
  server_.http().Get("/", [this](const httplib::Request& request, httplib::Response& response) {
    ready(request, response);
  });
  server_.http().Post("/inference", [this](const httplib::Request& request, httplib::Response& response) {
    inference(request, response);
  });
}

void WhisperService::ready(const httplib::Request& request, httplib::Response& response) {
  json record = server_.beginRecord(request);
  if (server_.refuseWithoutKey(request, response, record)) return;
  log_.append(record);
  replyJson(response, 200, {{"status", "ok"}});
}

TranscriptCue WhisperService::nextCue() {
  std::scoped_lock lock(cueMutex_);
  if (nextCue_ < cues_.size()) return cues_[nextCue_++];
  TranscriptCue fallback;
  fallback.text = settings_.defaultText;
  return fallback;
}

void WhisperService::inference(const httplib::Request& request, httplib::Response& response) {
  json record = server_.beginRecord(request);
  if (server_.refuseWithoutKey(request, response, record)) return;
  if (!request.is_multipart_form_data()) {
    record["error"] = "not a multipart form";
    log_.append(record);
    replyError(response, 400, "expected a multipart/form-data body", "invalid_request_error");
    return;
  }

  json form = json::object();
  json files = json::array();
  for (const auto& [name, part] : request.files) {
    if (name == "file" || !part.filename.empty()) {
      files.push_back({{"name", name},
                       {"filename", part.filename},
                       {"content_type", part.content_type},
                       {"bytes", part.content.size()}});
    } else {
      form[name] = part.content;
    }
  }
  record["form"] = form;
  record["files"] = files;
  std::optional<WavShape> wav;
  if (request.has_file("file")) wav = readWavShape(request.get_file_value("file").content);
  record["wav_samples"] = wav ? json(wav->samples) : json(nullptr);
  log_.append(record);

  if (!request.has_file("file")) {
    replyError(response, 400, "no 'file' field in the request", "invalid_request_error");
    return;
  }
  if (!wav) {
    replyError(response, 400, "failed to read WAV file", "invalid_request_error");
    return;
  }
  std::string format = form.value("response_format", std::string());
  if (format.empty()) format = "json";
  if (format != "json" && format != "text" && format != "verbose_json") {
    replyError(response, 400, "unsupported response_format \"" + format + "\"", "invalid_request_error");
    return;
  }

  const TranscriptCue cue = nextCue();
  const Fault fault = cue.fault != Fault::none ? cue.fault : settings_.fault;
  if (fault == Fault::exit) exitLikeACrash(server_.program());
  if (fault == Fault::hang) return hangUntilStopped(response, stop_);

  const auto slot = slots_.acquire(stop_, wholeMs(kLongestWaitMs));
  if (!slot || !stop_.sleepFor(wholeMs(cue.delayMs + settings_.msPerAudioSecond * wav->seconds()))) {
    replyError(response, 503, "stopping", "unavailable_error");
    return;
  }

  const json answer = format == "verbose_json"
                          ? json{{"task", "transcribe"}, {"language", language_},
                                 {"duration", wav->seconds()}, {"text", cue.text}, {"segments", json::array()}}
                          : json{{"text", cue.text}};
  switch (fault) {
    case Fault::http500:
      replyError(response, 500, "failed to process audio");
      return;
    case Fault::notjson:
      replyNotJson(response);
      return;
    case Fault::notext:
      replyJson(response, 200, {{"language", language_}, {"duration", wav->seconds()}});
      return;
    case Fault::drop:
      replyDropped(response, answer.dump(-1, ' ', false, json::error_handler_t::replace),
                   "application/json; charset=utf-8");
      return;
    default:
      break;
  }
  if (format == "text") {
    response.set_content(cue.text + "\n", "text/plain; charset=utf-8");
  } else {
    replyJson(response, 200, answer);
  }
}

}  // namespace quorvel::standin
