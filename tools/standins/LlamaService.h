// The routes of the llama stand-in: GET "/health" (503 while the model
// "loads", then 200), GET "/v1/models" (with the key) and POST
// "/v1/chat/completions", answered whole or streamed token by token as
// server-sent events.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "Chat.h"
#include "PromptCache.h"
#include "RequestLog.h"
#include "Script.h"
#include "Settings.h"
#include "StandinServer.h"
#include "StopFlag.h"
#include "WorkSlots.h"

namespace quorvel::standin {

struct LlamaSetup {
  std::string modelName;      // reported as "model" in answers
  std::size_t loraCount = 0;  // adapters given with --lora; request ids must be below it
  int slots = 1;              // -np
};

// Handlers run on the server's worker threads; everything but `loaded_`, the
// answer counter, the slots and the prompt cache is read-only after construction.
class LlamaService {
 public:
  LlamaService(StandinServer& server, const Settings& settings, RequestLog& log, const StopFlag& stop,
               std::vector<AnswerCue> cues, LlamaSetup setup);
  LlamaService(const LlamaService&) = delete;
  LlamaService& operator=(const LlamaService&) = delete;

  void addRoutes();
  // From now on /health answers 200 and chat requests are served.
  void markLoaded() { loaded_ = true; }

 private:
  void health(const httplib::Request& request, httplib::Response& response);
  void models(const httplib::Request& request, httplib::Response& response);
  void chat(const httplib::Request& request, httplib::Response& response);
  void stream(httplib::Response& response, std::shared_ptr<SlotHold> slot, const AnswerIdentity& identity,
              std::vector<std::string> tokens, const std::string& finishReason, const ChatTimings& timings,
              Fault fault);
  const AnswerCue* findCue(const std::string& dictation) const;

  StandinServer& server_;
  const Settings& settings_;
  RequestLog& log_;
  const StopFlag& stop_;
  const std::vector<AnswerCue> cues_;
  const LlamaSetup setup_;
  WorkSlots slots_;
  PromptCache cache_;  // one held prompt per slot
  std::atomic<bool> loaded_{false};
  std::atomic<std::uint64_t> answers_{0};
};

}  // namespace quorvel::standin
