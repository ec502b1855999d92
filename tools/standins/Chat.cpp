// Chat request reading, tokens and answer shapes for the llama stand-in.
#include "Chat.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace quorvel::standin {

namespace {

using nlohmann::json;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::optional<std::string> contentText(const json& content) {
  if (content.is_null()) return std::string();
  if (content.is_string()) return content.get<std::string>();
  if (!content.is_array()) return std::nullopt;
  std::string text;
  for (const json& part : content) {
    if (!part.is_object()) return std::nullopt;
    const auto type = part.find("type");
    if (type == part.end() || *type != "text") continue;  // images and the like carry no words
    const auto piece = part.find("text");
    if (piece == part.end() || !piece->is_string()) return std::nullopt;
    if (!text.empty()) text += "\n";
    text += piece->get<std::string>();
  }
  return text;
}

std::string trimmed(std::string_view text) {
  const auto first = std::find_if_not(text.begin(), text.end(), isSpace);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
  return first < last ? std::string(first, last) : std::string();
}

json usage(const ChatTimings& timings) {
  return {{"completion_tokens", timings.predictedTokens},
          {"prompt_tokens", timings.promptTokens + timings.cachedTokens},
          {"total_tokens", timings.promptTokens + timings.cachedTokens + timings.predictedTokens}};
}

json identityFields(const AnswerIdentity& identity, const char* object) {
  return {{"id", identity.id}, {"created", identity.created}, {"model", identity.model}, {"object", object}};
}

}  // namespace

ChatReading readChatRequest(const json& body, std::size_t loraCount) {
  if (!body.is_object()) return {std::nullopt, "the body must be a JSON object"};
  ChatRequest request;
  const auto messages = body.find("messages");
  if (messages == body.end() || !messages->is_array() || messages->empty()) {
    return {std::nullopt, "\"messages\" must be a non-empty list"};
  }
  for (const json& message : *messages) {
    const auto role = message.is_object() ? message.find("role") : message.end();
    if (!message.is_object() || role == message.end() || !role->is_string()) {
      return {std::nullopt, "every message needs a \"role\" text"};
    }
    const auto content = message.find("content");
    std::optional<std::string> text = content == message.end() ? std::string() : contentText(*content);
    if (!text) return {std::nullopt, "a message \"content\" must be a text or a list of text parts"};
    request.messages.push_back({role->get<std::string>(), std::move(*text)});
  }
  if (const auto stream = body.find("stream"); stream != body.end() && !stream->is_null()) {
    if (!stream->is_boolean()) return {std::nullopt, "\"stream\" must be true or false"};
    request.stream = stream->get<bool>();
  }
  if (const auto limit = body.find("max_tokens"); limit != body.end() && !limit->is_null()) {
    if (!limit->is_number()) return {std::nullopt, "\"max_tokens\" must be a number"};
    const double value = limit->get<double>();
    if (!std::isfinite(value)) return {std::nullopt, "\"max_tokens\" must be finite"};
    request.maxTokens = static_cast<std::int64_t>(std::clamp(std::floor(value), -1.0, 1e9));
  }
  if (const auto temperature = body.find("temperature");
      temperature != body.end() && !temperature->is_null() && !temperature->is_number()) {
    return {std::nullopt, "\"temperature\" must be a number"};
  }
  if (const auto kwargs = body.find("chat_template_kwargs"); kwargs != body.end() && !kwargs->is_object()) {
    return {std::nullopt, "\"chat_template_kwargs\" must be an object"};
  }
  if (const auto lora = body.find("lora"); lora != body.end()) {
    if (!lora->is_array()) return {std::nullopt, "\"lora\" must be a list"};
    for (const json& entry : *lora) {
      const bool wellFormed = entry.is_object() && entry.contains("id") && entry["id"].is_number_integer() &&
                              entry.contains("scale") && entry["scale"].is_number();
      if (!wellFormed) return {std::nullopt, "every \"lora\" entry needs an integer \"id\" and a number \"scale\""};
      const auto id = entry["id"].get<std::int64_t>();
      if (id < 0 || static_cast<std::uint64_t>(id) >= loraCount) {
        return {std::nullopt, "invalid adapter id " + std::to_string(id)};
      }
    }
  }
  return {std::move(request), {}};
}

std::string dictationOf(const std::vector<ChatMessage>& messages) {
  for (auto message = messages.rbegin(); message != messages.rend(); ++message) {
    if (message->role != "user") continue;
    static constexpr std::string_view kLabel = "Dictation: ";
    const std::size_t at = message->text.rfind(kLabel);
    return at == std::string::npos ? message->text : message->text.substr(at + kLabel.size());
  }
  return {};
}

std::vector<std::string> splitTokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t start = 0;  // where the current token began
  std::size_t gap = 0;    // where the white space after its word began
  bool seenWord = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isSpace(text[i])) {
      if (i > 0 && !isSpace(text[i - 1])) gap = i;
      continue;
    }
    if (i > 0 && isSpace(text[i - 1]) && seenWord) {
      tokens.emplace_back(text.substr(start, gap - start));
      start = gap;
    }
    seenWord = true;
  }
  if (start < text.size()) tokens.emplace_back(text.substr(start));
  return tokens;
}

std::size_t countWords(std::string_view text) {
  std::size_t words = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!isSpace(text[i]) && (i == 0 || isSpace(text[i - 1]))) ++words;
  }
  return words;
}

std::size_t countDrafted(const std::vector<std::string>& tokens, std::string_view source) {
  std::set<std::string> words;
  for (const std::string& word : splitTokens(source)) words.insert(trimmed(word));
  std::size_t drafted = 0;
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    if (words.count(trimmed(tokens[i])) != 0) ++drafted;
  }
  return drafted;
}

json ChatTimings::toJson() const {
  return {{"prompt_n", promptTokens},     {"prompt_ms", promptMs}, {"cache_n", cachedTokens},
          {"predicted_n", predictedTokens},
          {"predicted_ms", predictedMs}, {"draft_n", drafted}, {"draft_n_accepted", draftedAccepted}};
}

json wholeAnswer(const AnswerIdentity& identity, const std::string& content, const std::string& finishReason,
                 const ChatTimings& timings) {
  json answer = identityFields(identity, "chat.completion");
  answer["choices"] = json::array({{{"index", 0},
                                    {"finish_reason", finishReason},
                                    {"message", {{"role", "assistant"}, {"content", content}}}}});
  answer["usage"] = usage(timings);
  answer["timings"] = timings.toJson();
  return answer;
}

json deltaChunk(const AnswerIdentity& identity, const json& delta) {
  json chunk = identityFields(identity, "chat.completion.chunk");
  chunk["choices"] = json::array({{{"index", 0}, {"finish_reason", nullptr}, {"delta", delta}}});
  return chunk;
}

json finalChunk(const AnswerIdentity& identity, const std::string& finishReason, const ChatTimings& timings) {
  json chunk = identityFields(identity, "chat.completion.chunk");
  chunk["choices"] =
      json::array({{{"index", 0}, {"finish_reason", finishReason}, {"delta", json::object()}}});
  chunk["usage"] = usage(timings);
  chunk["timings"] = timings.toJson();
  return chunk;
}

std::string serverSentEvent(const json& payload) {
  return "data: " + payload.dump(-1, ' ', false, json::error_handler_t::replace) + "\n\n";
}

}  // namespace quorvel::standin
