// The application's engine: servers, pipeline and model store.
#include "app/models/PipelineEngine.h"

#include <algorithm>
#include <system_error>

#include "app/models/ModelStore.h"
#include "app/models/SentOnline.h"
#include "engine/CleanupModel.h"
#include "engine/Config.h"
#include "engine/Transcription.h"
#include "support/Files.h"

namespace quorvel {

namespace {

constexpr const char* kStandAloneCleanup = "cleanup-trained.gguf";

}  // namespace

PipelineEngine::PipelineEngine() : PipelineEngine(ServerWaits{}) {}

PipelineEngine::PipelineEngine(ServerWaits waits)
    : servers_(std::make_shared<Servers>(waits)), pipeline_(Pipeline::create(*servers_)) {
  pipeline_->cleanupEnabled = true;
  // Decided once, before any dictation can read it. The first download brings
  // the speech and base models only (no cleanup layer is published), so what
  // is here now says whether a trained model will run; without one the base
  // model runs as the standard cleanup model, held to its own rules.
  pipeline_->trained = Config::usesAdapters() || pathExists(Config::models() / kStandAloneCleanup);
}

PipelineEngine::~PipelineEngine() { cancel_.cancel(); }

Transcriber PipelineEngine::transcriber() {
  // The pieces' tasks keep the servers alive while they run.
  return [servers = servers_, lock = serverLock_, comeback = comeback_](
             SampleSpan piece, const std::string& context) -> Result<std::string> {
    const auto restartNow = [&servers, &lock] {
      std::scoped_lock held(*lock);
      (void)servers->restartExited(std::chrono::steady_clock::now(), /*speechNeeded=*/true);
    };
    const auto comingBack = [&comeback] {
      std::function<void()> tell;
      {
        std::scoped_lock held(comeback->mutex);
        tell = comeback->handler;
      }
      if (tell) tell();
    };
    return transcribePiece(*servers, piece, context, restartNow, comingBack, speechRequestTimeout(piece));
  };
}

bool PipelineEngine::wakeIfIdle() { return pipeline_->wakeIfIdle(); }

std::optional<double> PipelineEngine::idleAtPress() { return pipeline_->idleAtPress(); }

std::shared_ptr<TalkAhead> PipelineEngine::startTalkAhead(TalkAhead::ContextReader readContext) {
  if (!TalkAhead::enabled() || !pipeline_->cleansInPieces() || !pipeline_->cleanupEnabled) {
    return nullptr;
  }
  return TalkAhead::create(pipeline_, std::move(readContext));
}

bool PipelineEngine::waitUntilReady(std::chrono::duration<double> timeout) {
  const bool ready = servers_->waitUntilReady(timeout);
  if (ready && servers_->languageRemote()) {
    // A language model elsewhere: with its cleanup layer the trained request,
    // else the standard model's.
    std::scoped_lock lock(finishLock_);
    pipeline_->trained = servers_->usesLayers();
  }
  return ready;
}

DictationResult PipelineEngine::finish(const std::string& raw, const std::optional<TalkAheadHead>& head,
                                       const std::optional<CursorContext>& context) {
  std::scoped_lock lock(finishLock_);
  pipeline_->context = context;
  return pipeline_->finish(raw, head);
}

bool PipelineEngine::speechOnNeuralEngine() { return servers_->whisperOnNeuralEngine(); }

Status PipelineEngine::record(const DictationResult& result, const DictationFacts& facts) {
  SentOnline::saveNew();  // once per dictation: what its requests sent elsewhere
  return history_.append(compactJson(dictationLine(result, facts, std::chrono::system_clock::now())));
}

void PipelineEngine::setOnPartial(std::function<void(const std::string&)> onPartial) {
  std::scoped_lock lock(finishLock_);
  pipeline_->onPartial = std::move(onPartial);
}

std::string PipelineEngine::lastDictation() {
  const auto entries = loadEntries();
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (!it->text.empty()) return it->text;
  }
  return "";
}

std::optional<std::string> PipelineEngine::keepRecording(SampleSpan samples) { return saveRecording(samples); }

std::optional<std::string> PipelineEngine::keepFailedRecording(SampleSpan samples) {
  return saveFailedRecording(samples);
}

void PipelineEngine::tidyRecordings() { removeOldFailedRecordings(recordingsFolder(), std::chrono::system_clock::now()); }

void PipelineEngine::setOnSpeechComeback(std::function<void()> handler) {
  std::scoped_lock lock(comeback_->mutex);
  comeback_->handler = std::move(handler);
}

std::vector<ModelStore::Item> PipelineEngine::missingModels() {
  // A server elsewhere has its own model: nothing of its kind is downloaded.
  std::vector<ModelStore::Item> needed;
  for (auto& item : ModelStore::missing()) {
    const auto& speech = Config::speechModels();
    const bool speechFile = std::any_of(speech.begin(), speech.end(),
                                        [&](const ModelChoice& choice) { return choice.file == item.file; });
    if (speechFile ? servers_->speechRemote() != nullptr : servers_->languageRemote() != nullptr) continue;
    needed.push_back(std::move(item));
  }
  return needed;
}

bool PipelineEngine::isUpgrade(const std::vector<ModelStore::Item>& items) {
  return ModelStore::isUpgrade(items) || ModelStore::isNewerLayer(items);
}

bool PipelineEngine::download(const std::vector<ModelStore::Item>& items, const ModelStore::ByteCallback& bytes,
                              const ModelStore::MessageCallback& progress) {
  auto settings = ModelStore::DownloadSettings::fromEnvironment();
  settings.cancel = cancel_;
  return ModelStore::download(items, Config::models(), bytes, progress, settings);
}

void PipelineEngine::startServers() {
  std::scoped_lock lock(*serverLock_);
  // The same file the model store makes sure of (the user's choice, else the
  // default), so a chosen model is never missing at start.
  servers_->startWhisper(ModelStore::chosenSpeechFile());
  servers_->startLlama(chooseCleanupModel().modelFile);
}

void PipelineEngine::warmUp() {
  pipeline_->warmUp();
  SentOnline::saveNew();
}

bool PipelineEngine::restartLanguageModel() {
  {
    std::scoped_lock lock(*serverLock_);
    servers_->startLlama(chooseCleanupModel().modelFile);
  }
  return servers_->waitForLlama();
}

bool PipelineEngine::restartSpeechModel() {
  {
    std::scoped_lock lock(*serverLock_);
    servers_->startWhisper(ModelStore::chosenSpeechFile());
  }
  servers_->waitForWhisper();
  return servers_->waitUntilReady(std::chrono::seconds(10));
}

bool PipelineEngine::isPresent(const ModelStore::Item& item) {
  std::error_code ignored;
  return fs::exists(Config::models() / item.file, ignored);
}

void PipelineEngine::deleteModels(const std::vector<ModelStore::Item>& items) {
  for (const auto& item : items) {
    std::error_code ignored;
    fs::remove(Config::models() / item.file, ignored);
  }
}

bool PipelineEngine::usesAdapters() { return Config::usesAdapters(); }

void PipelineEngine::tidyAfterUpgrade(bool ready) {
  if (Config::isDev()) return;
  std::error_code ignored;
  fs::remove(Config::models() / ModelStore::mergedCleanup().file, ignored);
  if (ready) ModelStore::removeOlderLayers();
}

void PipelineEngine::killStale() {
  std::scoped_lock lock(*serverLock_);
  servers_->killStale();
}

void PipelineEngine::stopAll() {
  cancel_.cancel();
  std::scoped_lock lock(*serverLock_);
  servers_->stopAll();
}

std::optional<std::string> PipelineEngine::remoteProblem() { return servers_->remoteProblem(); }

bool PipelineEngine::restartExitedServers() {
  // The lock keeps this from racing a setup or upgrade that starts servers.
  std::scoped_lock lock(*serverLock_);
  return servers_->restartExited();
}

}  // namespace quorvel
