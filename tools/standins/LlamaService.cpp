// Health and chat-completion requests of the llama stand-in.
#include "LlamaService.h"

#include <chrono>
#include <ctime>

#include "Replies.h"

namespace quorvel::standin {

namespace {

using nlohmann::json;
using std::chrono::milliseconds;

milliseconds wholeMs(double ms) { return milliseconds(static_cast<long long>(std::min(ms, kLongestWaitMs))); }

void replyStopping(httplib::Response& response) { replyError(response, 503, "stopping", "unavailable_error"); }

}  // namespace

LlamaService::LlamaService(StandinServer& server, const Settings& settings, RequestLog& log, const StopFlag& stop,
                           std::vector<AnswerCue> cues, LlamaSetup setup)
    : server_(server),
      settings_(settings),
      log_(log),
      stop_(stop),
      cues_(std::move(cues)),
      setup_(std::move(setup)),
      slots_(setup_.slots),
      cache_(setup_.slots) {}

void LlamaService::addRoutes() {
  server_.http().Get("/health", [this](const httplib::Request& request, httplib::Response& response) {
    health(request, response);
  });
  server_.http().Get("/v1/models", [this](const httplib::Request& request, httplib::Response& response) {
    models(request, response);
  });
  server_.http().Post("/v1/chat/completions",
                      [this](const httplib::Request& request, httplib::Response& response) {
                        chat(request, response);
                      });
}

void LlamaService::health(const httplib::Request& request, httplib::Response& response) {
  json record = server_.beginRecord(request);
  if (server_.refuseWithoutKey(request, response, record)) return;
  log_.append(record);
  if (!loaded_) return replyError(response, 503, "Loading model", "unavailable_error");
  replyJson(response, 200, {{"status", "ok"}});
}

void LlamaService::models(const httplib::Request& request, httplib::Response& response) {
  json record = server_.beginRecord(request);
  if (server_.refuseWithoutKey(request, response, record)) return;
  log_.append(record);
  if (!loaded_) return replyError(response, 503, "Loading model", "unavailable_error");
  replyJson(response, 200,
            {{"object", "list"}, {"data", json::array({{{"id", setup_.modelName}, {"object", "model"}}})}});
}

const AnswerCue* LlamaService::findCue(const std::string& dictation) const {
  for (const AnswerCue& cue : cues_) {
    if (cue.match == dictation) return &cue;
  }
  return nullptr;
}

void LlamaService::chat(const httplib::Request& request, httplib::Response& response) {
  json record = server_.beginRecord(request);
  if (server_.refuseWithoutKey(request, response, record)) return;
  const json body = json::parse(request.body, nullptr, /*allow_exceptions=*/false);
  record["body"] = body.is_discarded() ? json(nullptr) : body;
  if (!loaded_) {
    log_.append(record);
    return replyError(response, 503, "Loading model", "unavailable_error");
  }
  if (body.is_discarded()) {
    record["error"] = "the body is not JSON";
    log_.append(record);
    return replyError(response, 400, "the body is not JSON", "invalid_request_error");
  }
  ChatReading reading = readChatRequest(body, setup_.loraCount);
  if (!reading.request) {
    record["error"] = reading.error;
    log_.append(record);
    return replyError(response, 400, reading.error, "invalid_request_error");
  }
  log_.append(record);
  const ChatRequest& chat = *reading.request;

  const std::string dictation = dictationOf(chat.messages);
  const AnswerCue* cue = findCue(dictation);
  std::vector<std::string> tokens = splitTokens(cue != nullptr ? cue->answer : dictation);
  std::string finishReason = "stop";
  if (chat.maxTokens && *chat.maxTokens >= 0 && tokens.size() > static_cast<std::size_t>(*chat.maxTokens)) {
    tokens.resize(static_cast<std::size_t>(*chat.maxTokens));
    finishReason = "length";
  }
  const Fault fault = cue != nullptr && cue->fault != Fault::none ? cue->fault : settings_.fault;
  if (fault == Fault::exit) exitLikeACrash(server_.program());
  if (fault == Fault::hang) return hangUntilStopped(response, stop_);

  // Like llama-server, take the slot that already holds most of this prompt,
  // and read only what it does not hold.
  std::vector<std::string> prompt = promptTokens(chat.messages);
  auto slot = slots_.acquire(stop_, wholeMs(kLongestWaitMs),
                             [this, &prompt](int index) { return cache_.shared(index, prompt); });
  if (!slot) return replyStopping(response);
  const PromptReading held = cache_.read(slot->index(), prompt);
  ChatTimings timings;
  timings.promptTokens = held.evaluated();
  timings.cachedTokens = held.cached;
  timings.promptMs = static_cast<double>(timings.promptTokens) * settings_.msPerPromptToken;
  timings.predictedTokens = tokens.size();
  timings.predictedMs = static_cast<double>(tokens.size()) * settings_.msPerToken;
  timings.drafted = timings.draftedAccepted = countDrafted(tokens, dictation);

  if (!stop_.sleepFor(wholeMs((cue != nullptr ? cue->delayMs : 0) + timings.promptMs))) {
    return replyStopping(response);
  }
  cache_.keep(slot->index(), std::move(prompt));
  // A whole answer also waits for every token; a stream writes them one by one.
  if (!chat.stream && !stop_.sleepFor(wholeMs(timings.predictedMs))) return replyStopping(response);

  const AnswerIdentity identity{"chatcmpl-" + std::to_string(++answers_), static_cast<std::int64_t>(std::time(nullptr)),
                                setup_.modelName};
  if (fault == Fault::http500) return replyError(response, 500, "the model failed to answer");
  if (fault == Fault::notjson) return replyNotJson(response);
  if (chat.stream) {
    return stream(response, std::move(slot), identity, std::move(tokens), finishReason, timings, fault);
  }
  std::string content;
  for (const std::string& token : tokens) content += token;
  json answer = wholeAnswer(identity, content, finishReason, timings);
  if (fault == Fault::notext) {
    answer.erase("choices");
    return replyJson(response, 200, answer);
  }
  if (fault == Fault::drop) {
    return replyDropped(response, answer.dump(-1, ' ', false, json::error_handler_t::replace),
                        "application/json; charset=utf-8");
  }
  replyJson(response, 200, answer);
}

void LlamaService::stream(httplib::Response& response, std::shared_ptr<SlotHold> slot,
                          const AnswerIdentity& identity, std::vector<std::string> tokens,
                          const std::string& finishReason, const ChatTimings& timings, Fault fault) {
  response.status = 200;
  response.set_header("Cache-Control", "no-cache");
  // The provider runs after this handler returns, on the same worker; it
  // keeps the slot until the last event is written.
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, slot, identity, tokens = std::move(tokens), finishReason, timings, fault](
          std::size_t, httplib::DataSink& sink) {
        auto send = [&sink](const std::string& event) { return sink.write(event.data(), event.size()); };
        if (fault == Fault::notext) {
          json chunk = deltaChunk(identity, {{"content", "ignored"}});
          chunk.erase("choices");
          send(serverSentEvent(chunk));
          send("data: [DONE]\n\n");
          sink.done();
          return true;
        }
        if (!send(serverSentEvent(deltaChunk(identity, {{"role", "assistant"}, {"content", nullptr}})))) {
          return false;
        }
        for (const std::string& token : tokens) {
          if (!stop_.sleepFor(wholeMs(settings_.msPerToken))) return false;
          if (!send(serverSentEvent(deltaChunk(identity, {{"content", token}})))) return false;
          if (fault == Fault::drop) return false;  // the connection closes after the first token
        }
        if (fault == Fault::drop) return false;
        send(serverSentEvent(finalChunk(identity, finishReason, timings)));
        send("data: [DONE]\n\n");
        sink.done();
        return true;
      });
}

}  // namespace quorvel::standin
