// The chat request to the language-model server.
#include "engine/ChatCompletion.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "support/Http.h"
#include "text/TextHelpers.h"

namespace quorvel {
namespace {

constexpr std::string_view kNotJson = "the language model's answer is not JSON";
constexpr std::string_view kCancelled = "cancelled";

bool isTrimmed(UChar32 c) { return u_isUWhiteSpace(c) || c == u'"' || c == 0x201C || c == 0x201D; }

// "choices"[0] → member → "content", or "" when any step is missing.
std::string contentOf(const Json& answer, const char* member) {
  if (!answer.is_object()) return "";
  auto choices = answer.find("choices");
  if (choices == answer.end() || !choices->is_array() || choices->empty()) return "";
  const Json& first = (*choices)[0];
  if (!first.is_object()) return "";
  auto part = first.find(member);
  if (part == first.end() || !part->is_object()) return "";
  return stringMember(*part, "content").value_or("");
}

void reportTimings(const Json& answer, const ChatRequest& request) {
  if (!request.onTimings || !answer.is_object()) return;
  auto timings = answer.find("timings");
  if (timings == answer.end()) return;
  if (auto counters = EngineTimings::fromJson(*timings)) request.onTimings(*counters);
}

}  // namespace

bool gotNoAnswer(std::string_view failure) { return failure != kNotJson && failure != kCancelled; }

std::string trimAnswer(const std::string& text) {
  const icu::UnicodeString units = icu::UnicodeString::fromUTF8(text);
  int32_t start = 0, end = units.length();
  while (start < end) {
    const UChar32 c = units.char32At(start);
    if (!isTrimmed(c)) break;
    start += U16_LENGTH(c);
  }
  while (end > start) {
    const UChar32 c = units.char32At(end - 1);
    if (!isTrimmed(c)) break;
    end -= U16_LENGTH(c);
  }
  std::string out;
  return units.tempSubString(start, end - start).toUTF8String(out);
}

std::string chatRequestBody(const ChatRequest& request, const std::vector<AdapterEntry>& layers,
                            const std::string& model) {
  Json messages = Json::array();
  for (const auto& message : request.messages) {
    messages.push_back(Json{{"role", message.role}, {"content", message.content}});
  }
  Json body = {
      {"messages", std::move(messages)},
      {"temperature", request.temperature},
      {"max_tokens", request.maxTokens},
      {"chat_template_kwargs", {{"enable_thinking", false}}},
      {"stream", static_cast<bool>(request.onPartial)},
  };
  if (!layers.empty()) {
    Json lora = Json::array();
    for (const auto& layer : layers) {
      lora.push_back(Json{{"id", layer.id}, {"scale", layer.name == request.adapter ? 1.0 : 0.0}});
    }
    body["lora"] = std::move(lora);
  }
  if (!model.empty()) body["model"] = model;
  return compactJson(body);
}

Result<std::string> sendChatRequest(const ChatServer& server, const ChatRequest& request) {
  RemoteServer* remote = server.remote.get();
  auto prepared = modelServerRequest(remote, server.port, server.apiKey, "/v1/chat/completions", "POST");
  if (!prepared) return Error{prepared.error()};
  HttpRequest http = std::move(prepared).value();
  http.headers.emplace_back("Content-Type", "application/json");
  http.body = chatRequestBody(request, server.layers, server.model);
  http.timeout = request.timeout;
  http.cancel = request.cancel;
  // A server elsewhere learns how it went; its failure is the request's.
  const auto failedRemotely = [remote, &request](const Result<HttpResponse>& response) -> std::optional<std::string> {
    if (!remote || (!response && request.cancel.cancelled())) return std::nullopt;
    if (remote->noteAnswer(response)) return remote->problem().value_or("");
    return std::nullopt;
  };

  if (!request.onPartial) {
    auto response = httpFetch(http);
    if (auto failure = failedRemotely(response)) return Error{*failure};
    if (!response) return Error{response.error()};
    auto answer = parseJson(response->body);
    if (!answer) return Error{std::string(kNotJson)};
    reportTimings(*answer, request);
    return trimAnswer(contentOf(*answer, "message"));
  }

  std::string accumulated;
  auto response = httpStreamLines(http, [&](std::string_view line) {
    if (!line.starts_with("data: ")) return true;
    const std::string_view payload = line.substr(6);
    if (payload == "[DONE]") return false;
    auto event = parseJson(payload);
    if (!event || !event->is_object()) return true;  // a broken line is skipped
    reportTimings(*event, request);
    const std::string piece = contentOf(*event, "delta");
    if (!piece.empty()) {
      accumulated += piece;
      request.onPartial(TextHelpers::removeDashes(accumulated));
    }
    return true;
  });
  if (auto failure = failedRemotely(response)) return Error{*failure};
  if (!response) return Error{response.error()};
  return trimAnswer(accumulated);
}

}  // namespace quorvel
