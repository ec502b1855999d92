// The chat side of the llama stand-in as plain functions: reading a chat
// request, finding the dictation, cutting an answer into tokens, and the
// JSON shapes of llama-server's answers (whole, and streamed chunks).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::standin {

struct ChatMessage {
  std::string role;
  std::string text;  // a string content, or its text parts joined with "\n"
};

struct ChatRequest {
  std::vector<ChatMessage> messages;
  bool stream = false;
  std::optional<std::int64_t> maxTokens;  // absent or negative: no limit
};

struct ChatReading {
  std::optional<ChatRequest> request;  // absent when the body is refused
  std::string error;                   // why (for a 400 answer)
};

// Validates a parsed body: "messages" a non-empty list of {role, content},
// "stream" a Bool, "max_tokens" and "temperature" numbers, "lora" a list of
// {"id": 0 ≤ id < loraCount, "scale": number}, "chat_template_kwargs" an object.
ChatReading readChatRequest(const nlohmann::json& body, std::size_t loraCount);

// The text the model is asked to clean: the last user message, after its last
// "Dictation: " when it has one; empty without a user message.
std::string dictationOf(const std::vector<ChatMessage>& messages);

// Cuts text into tokens the way the stand-in "writes" them: each word with the
// white space before it ("Hi there." → "Hi", " there."). Joined, the tokens
// give back the text exactly.
std::vector<std::string> splitTokens(std::string_view text);

// Words (runs of non-space) in text: the stand-in's estimate of token counts.
std::size_t countWords(std::string_view text);

// Tokens after the first whose word also appears in `source`: what an n-gram
// drafter would have guessed (and, here, guessed right).
std::size_t countDrafted(const std::vector<std::string>& tokens, std::string_view source);

struct ChatTimings {
  std::size_t promptTokens = 0;  // evaluated, past what the slot held
  std::size_t cachedTokens = 0;  // reused from the slot
  double promptMs = 0;
  std::size_t predictedTokens = 0;
  double predictedMs = 0;
  std::size_t drafted = 0;
  std::size_t draftedAccepted = 0;

  // {"prompt_n","prompt_ms","cache_n","predicted_n","predicted_ms","draft_n","draft_n_accepted"}
  nlohmann::json toJson() const;
};

// Fields every answer carries: "id", "created", "model", "object".
struct AnswerIdentity {
  std::string id;
  std::int64_t created = 0;
  std::string model;
};

// {"choices":[{"index":0,"finish_reason":…,"message":{"role":"assistant","content":…}}],
//  "usage":{…},"timings":{…}, …}
nlohmann::json wholeAnswer(const AnswerIdentity& identity, const std::string& content,
                           const std::string& finishReason, const ChatTimings& timings);

// A streamed chunk with "choices"[0]."delta" = `delta` and "finish_reason" null.
nlohmann::json deltaChunk(const AnswerIdentity& identity, const nlohmann::json& delta);

// The last streamed chunk: empty delta, the finish reason, "usage" and "timings".
nlohmann::json finalChunk(const AnswerIdentity& identity, const std::string& finishReason,
                          const ChatTimings& timings);

// "data: " + compact JSON + "\n\n".
std::string serverSentEvent(const nlohmann::json& payload);

}  // namespace quorvel::standin
