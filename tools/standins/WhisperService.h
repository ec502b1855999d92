// The routes of the whisper stand-in: GET "/" (readiness) and POST
// "/inference" (a multipart form with a WAV file, answered {"text": …}).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "RequestLog.h"
#include "Script.h"
#include "Settings.h"
#include "StandinServer.h"
#include "StopFlag.h"
#include "WorkSlots.h"

namespace quorvel::standin {

// Handlers run on the server's worker threads; the script position is
// guarded by its mutex, the rest is read-only after construction.
class WhisperService {
 public:
  WhisperService(StandinServer& server, const Settings& settings, RequestLog& log, const StopFlag& stop,
                 std::vector<TranscriptCue> cues, std::string language);
  WhisperService(const WhisperService&) = delete;
  WhisperService& operator=(const WhisperService&) = delete;

  void addRoutes();

 private:
  void ready(const httplib::Request& request, httplib::Response& response);
  void inference(const httplib::Request& request, httplib::Response& response);
  // The next scripted transcript, then QUORVEL_STANDIN_TEXT for every later request.
  TranscriptCue nextCue();

  StandinServer& server_;
  const Settings& settings_;
  RequestLog& log_;
  const StopFlag& stop_;
  const std::string language_;
  WorkSlots slots_{1};  // whisper-server decodes one request at a time

  std::mutex cueMutex_;
  const std::vector<TranscriptCue> cues_;
  std::size_t nextCue_ = 0;  // guarded by cueMutex_
};

}  // namespace quorvel::standin
