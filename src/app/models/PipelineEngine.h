// The engine the application runs on: one Servers, one Pipeline and the
// model store, behind the AppEngine interface.
//
// Ownership: owns the servers and the pipeline for the life of the process.
// Threading: as AppEngine says.
#pragma once

#include <memory>
#include <mutex>

#include "app/models/AppEngine.h"
#include "engine/Pipeline.h"
#include "engine/Servers.h"

namespace quorvel {

class PipelineEngine final : public AppEngine {
 public:
  PipelineEngine();
  explicit PipelineEngine(ServerWaits waits);
  ~PipelineEngine() override;

  Transcriber transcriber() override;
  bool wakeIfIdle() override;
  std::optional<double> idleAtPress() override;
  std::shared_ptr<TalkAhead> startTalkAhead(TalkAhead::ContextReader readContext) override;
  bool waitUntilReady(std::chrono::duration<double> timeout) override;
  DictationResult finish(const std::string& raw, const std::optional<TalkAheadHead>& head,
                         const std::optional<CursorContext>& context) override;
  bool speechOnNeuralEngine() override;
  Status record(const DictationResult& result, const DictationFacts& facts) override;
  void setOnPartial(std::function<void(const std::string&)> onPartial) override;
  std::string lastDictation() override;
  std::optional<std::string> keepRecording(SampleSpan samples) override;

  std::vector<ModelStore::Item> missingModels() override;
  bool isUpgrade(const std::vector<ModelStore::Item>& items) override;
  bool download(const std::vector<ModelStore::Item>& items, const ModelStore::ByteCallback& bytes,
                const ModelStore::MessageCallback& progress) override;
  void startServers() override;
  void warmUp() override;
  bool restartLanguageModel() override;
  bool restartSpeechModel() override;
  bool isPresent(const ModelStore::Item& item) override;
  void deleteModels(const std::vector<ModelStore::Item>& items) override;
  bool usesAdapters() override;
  void tidyAfterUpgrade(bool ready) override;
  void killStale() override;
  void stopAll() override;
  bool restartExitedServers() override;
  void setOnSpeechComeback(std::function<void()> handler) override;
  void tidyRecordings() override;
  std::optional<std::string> keepFailedRecording(SampleSpan samples) override;
  std::optional<std::string> remoteProblem() override;

  // Ends a download in progress (at quit).
  void cancelDownloads() { cancel_.cancel(); }

 private:
  std::shared_ptr<Servers> servers_;
  std::shared_ptr<Pipeline> pipeline_;
  // The pipeline's context is one field: dictations finish one at a time
  // (the language model serves one request at a time anyway).
  std::mutex finishLock_;
  // Starting and stopping servers happens from one place at a time (the
  // piece tasks take it too, to start a speech server that went away).
  std::shared_ptr<std::mutex> serverLock_ = std::make_shared<std::mutex>();
  // Told when a piece waits for the speech server to come back.
  struct ComebackHandler {
    std::mutex mutex;
    std::function<void()> handler;  // guarded by mutex
  };
  std::shared_ptr<ComebackHandler> comeback_ = std::make_shared<ComebackHandler>();
  CancelToken cancel_;
  HistoryWriter history_;
};

}  // namespace quorvel
