// The pipeline's requests to the language model: the message list with its
// header, the chat request, the warm-up after start and the wake-up at a press.
#include <random>
#include <thread>

#include "audio/Wav.h"
#include "engine/CleanupHeader.h"
#include "engine/Config.h"
#include "engine/Pipeline.h"
#include "engine/Transcription.h"
#include "engine/WritingSpeed.h"
#include "support/Log.h"
#include "support/Settings.h"
#include "text/NameMatching.h"
#include "text/TextHelpers.h"

namespace quorvel {
namespace {

constexpr double kIdleBeforeWake = 60.0;  // seconds

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
  std::string out;
  for (const auto& word : words) {
    if (!out.empty()) out += separator;
    out += word;
  }
  return out;
}

}  // namespace

CleanupFiles engineCleanupFiles() {
  return {Config::userCleanupConfig(), Config::resources() / "cleanup.json"};
}

Pipeline::Pipeline(Servers& servers) : servers_(servers) {}

std::string Pipeline::fieldName(const CursorContext& context) { return quorvel::fieldName(context); }

std::string Pipeline::promptHeader(const std::vector<std::string>& names,
                                   const std::optional<std::string>& before,
                                   const std::optional<std::string>& after,
                                   const std::optional<std::string>& field) {
  return cleanupHeader(names, before, after, field, Config::cleanupHeaderVersion());
}

MessageList Pipeline::cleanupMessages(const std::string& text, const CleanupConfig& config,
                                      const ContextOverride& before,
                                      const ContextOverride& field) const {
  MessageList messages;
  if (trained) {
    messages.push_back({"system", std::string(Config::trainedSystem)});
  } else {
    messages.push_back(
        {"system", replaceAll(config.system, "{DICTIONARY}", joined(config.dictionary, ", "))});
    for (const auto& example : config.examples) {
      if (example.size() != 2) continue;
      messages.push_back({"user", example[0]});
      messages.push_back({"assistant", example[1]});
    }
  }

  std::string header;
  if (servers_.usesLayers()) {
    const auto names = namesForCleanup(text, config.personal().promptNames(), {});
    std::optional<std::string> beforeText, afterText, fieldText;
    if (!before) {
      if (testBefore) {
        beforeText = testBefore;
        afterText = testAfter;
      } else {
        if (context) beforeText = context->before;
        afterText = testAfter ? testAfter : (context ? std::optional(context->after) : std::nullopt);
      }
    } else {
      beforeText = *before;  // as given, possibly none; no after text then
    }
    if (!field) {
      if (testField) {
        fieldText = testField;
      } else if (context) {
        fieldText = fieldName(*context);
      }
    } else {
      fieldText = *field;
    }
    header = promptHeader(names, beforeText, afterText, fieldText);
  }
  messages.push_back({"user", header + text});
  return messages;
}

WritingSpeed Pipeline::writingSpeed() const {
  std::vector<EngineTimings> requests;
  {
    std::scoped_lock lock(speedLock_);
    requests = unsavedSpeed_;
  }
  return WritingSpeed::stored().adding(requests);
}

void Pipeline::saveWritingSpeed() {
  std::vector<EngineTimings> requests;
  {
    std::scoped_lock lock(speedLock_);
    requests.swap(unsavedSpeed_);
  }
  WritingSpeed::note(requests);
}

void Pipeline::noteModelUse() {
  std::scoped_lock lock(useLock_);
  lastModelUse_ = std::chrono::steady_clock::now();
}

Result<std::string> Pipeline::complete(const MessageList& messages, const std::string& adapter,
                                       std::int64_t maxTokens, double temperature,
                                       std::function<void(const std::string&)> partial,
                                       std::function<void(const EngineTimings&)> timings,
                                       CancelToken cancel) {
  noteModelUse();
  ChatServer server{Config::llamaPort(), servers_.apiKey(), servers_.layers(), servers_.languageRemote(),
                    servers_.remoteModel()};
  ChatRequest request;
  request.messages = messages;
  request.adapter = adapter;
  request.maxTokens = maxTokens;
  request.temperature = temperature;
  request.onPartial = std::move(partial);
  // The last counters the server reports also feed the running writing speed.
  std::optional<EngineTimings> reported;
  request.onTimings = [&reported, timings = std::move(timings)](const EngineTimings& counters) {
    reported = counters;
    if (timings) timings(counters);
  };
  request.timeout = requestTimeout;
  request.cancel = std::move(cancel);
  auto answer = sendChatRequest(server, request);
  noteModelUse();
  if (reported) {
    std::scoped_lock lock(speedLock_);
    unsavedSpeed_.push_back(*reported);
  }
  if (!answer && gotNoAnswer(answer.error())) {
    unanswered_.fetch_add(1);
    logLine("Quorvel: the language model gave no answer: " + answer.error());
  }
  return answer;
}

void Pipeline::warmUp() {
  // One second of quiet noise makes the speech server load its model.
  std::mt19937 generator(std::random_device{}());
  std::uniform_int_distribution<int> quiet(-300, 300);
  Samples noise(16000);
  for (auto& sample : noise) sample = static_cast<std::int16_t>(quiet(generator));
  (void)transcribeWav(servers_, wavData(noise, 16000), "", requestTimeout);

  const CleanupConfig config = loadConfig();
  const std::string text = "warm up";
  const MessageList messages =
      cleanupMessages(text, config, std::optional<std::string>(), std::optional<std::string>());
  (void)complete(messages, "cleanup", 3 * TextHelpers::wordCount(text) + 20);
}

bool Pipeline::wakeIfIdle() {
  if (!Settings::wakeOnKey.read()) return false;
  {
    std::scoped_lock lock(useLock_);
    const auto now = std::chrono::steady_clock::now();
    if (!lastModelUse_) {
      idleAtPress_.reset();
    } else {
      const double idle = std::chrono::duration<double>(now - *lastModelUse_).count();
      idleAtPress_ = idle;
      if (idle <= kIdleBeforeWake) return false;
    }
    lastModelUse_ = now;
  }
  // The task holds the pipeline weakly: a pipeline that is gone is not woken.
  std::weak_ptr<Pipeline> weak = weak_from_this();
  std::thread([weak] {
    if (auto pipeline = weak.lock()) {
      (void)pipeline->complete({{"system", std::string(Config::trainedSystem)}, {"user", "Okay."}},
                               "cleanup", 1);
    }
  }).detach();
  return true;
}

std::optional<double> Pipeline::idleAtPress() const {
  std::scoped_lock lock(useLock_);
  return idleAtPress_;
}

void Pipeline::setLastModelUseForTesting(std::chrono::steady_clock::time_point when) {
  std::scoped_lock lock(useLock_);
  lastModelUse_ = when;
}

CleanupConfig Pipeline::loadConfig() const {
  if (configOverride) return *configOverride;
  return CleanupConfig::load(engineCleanupFiles());
}

}  // namespace quorvel
