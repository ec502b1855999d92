// One chat request to the language-model server: the JSON body with the
// layer scales, the whole answer or its server-sent-event stream, the answer
// text trimmed of spaces and quotes, and the server's timing counters.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Config.h"
#include "engine/EngineTimings.h"
#include "engine/RemoteServer.h"
#include "support/Json.h"
#include "support/Result.h"
#include "support/Tasks.h"

namespace quorvel {

struct ChatMessage {
  std::string role;
  std::string content;
  bool operator==(const ChatMessage&) const = default;
};
using MessageList = std::vector<ChatMessage>;

struct ChatRequest {
  MessageList messages;
  std::string adapter = "cleanup";  // the layer applied at full scale
  std::int64_t maxTokens = 1;
  double temperature = 0;
  // When set, the answer is streamed and this receives the growing text (dashes
  // already replaced) after every non-empty piece, on the reading thread.
  std::function<void(const std::string&)> onPartial;
  // Receives the server's counters whenever an answer carries them.
  std::function<void(const EngineTimings&)> onTimings;
  std::chrono::milliseconds timeout{60000};
  CancelToken cancel;
};

// Where and how to send: the server's port, the bearer key, and the layers
// loaded on the server (empty when no layers are in use).
struct ChatServer {
  std::int64_t port = 0;
  std::string apiKey;
  std::vector<AdapterEntry> layers;
  // A server elsewhere (port and key are then unused), and the model named in
  // its requests.
  std::shared_ptr<RemoteServer> remote;
  std::string model;
};

// The compact JSON body of the request; "model" only when one is named.
std::string chatRequestBody(const ChatRequest& request, const std::vector<AdapterEntry>& layers,
                            const std::string& model = "");

// Sends the request. Fails on a network error, a time-out, a cancel, an error
// while reading the stream, or a whole answer that is not JSON. A JSON answer
// without the expected members gives an empty text. The HTTP status of the
// local server is not looked at; a server elsewhere that answers outside 2xx
// (a refused key above all) fails the request with its reason.
Result<std::string> sendChatRequest(const ChatServer& server, const ChatRequest& request);

// Whether a failure of sendChatRequest means the server gave no answer at all
// (refused, dropped or timed out), not an answer that was unusable and not a
// cancel of our own.
bool gotNoAnswer(std::string_view failure);

// Trims whitespace, line breaks and straight or curly double quotes from both ends.
std::string trimAnswer(const std::string& text);

}  // namespace quorvel
