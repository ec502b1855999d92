// The engine as the application sees it: transcription of live pieces, the
// model wake-up at a press, talk-ahead, finishing a dictation, the history
// line, and the model files and servers of the setup flow. The product's
// implementation (PipelineEngine) wraps Servers, Pipeline and ModelStore;
// tests use a fake that answers at once or when they say so.
//
// Threading: wakeIfIdle, idleAtPress, startTalkAhead, keepRecording,
// isSetUpForTalkAhead and killStale/stopAll are called on the main thread;
// everything else runs inside background tasks (TaskRunner) and may block.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/history/DictationLog.h"
#include "app/models/ModelStore.h"
#include "audio/TranscriptChain.h"
#include "engine/DictationResult.h"
#include "engine/TalkAhead.h"
#include "text/CursorContext.h"

namespace quorvel {

class AppEngine {
 public:
  virtual ~AppEngine() = default;

  // --- One dictation ---
  // Transcribes one live piece; a piece whose speech server went away waits
  // for it to come back (bounded) and is sent again, and a piece that still
  // fails says why. The function keeps what it needs alive; it is called on
  // the chain's threads.
  virtual Transcriber transcriber() = 0;
  // At a press: wakes an idle language model; whether it had to.
  virtual bool wakeIfIdle() = 0;
  // How long the model had been idle at the last press.
  virtual std::optional<double> idleAtPress() = 0;
  // A talk-ahead for this recording, or null when it is off for this setup.
  virtual std::shared_ptr<TalkAhead> startTalkAhead(TalkAhead::ContextReader readContext) = 0;
  // Waits (bounded by timeout) until both servers answer.
  virtual bool waitUntilReady(std::chrono::duration<double> timeout) = 0;
  // The finished text of a transcript, cleaned for the given place.
  virtual DictationResult finish(const std::string& raw, const std::optional<TalkAheadHead>& head,
                                 const std::optional<CursorContext>& context) = 0;
  virtual bool speechOnNeuralEngine() = 0;
  // Appends the history line; a failure is logged, never shown as success.
  virtual Status record(const DictationResult& result, const DictationFacts& facts) = 0;
  // The growing cleaned text while the model writes; called on any thread.
  virtual void setOnPartial(std::function<void(const std::string&)> onPartial) = 0;
  // The final text of the newest dictation in the history with one, or "".
  virtual std::string lastDictation() = 0;
  // Keeps the recording when the user wants that; its file name.
  virtual std::optional<std::string> keepRecording(SampleSpan samples) = 0;
  // Keeps a recording whose words could not be had, whatever the user's
  // setting, for a week (so it can be tried again); its file name.
  virtual std::optional<std::string> keepFailedRecording(SampleSpan samples) {
    (void)samples;
    return std::nullopt;
  }
  // Removes the kept failed recordings older than a week (at launch).
  virtual void tidyRecordings() {}
  // Called on any thread when a dictation's piece waits for the speech
  // server to come back after it went away.
  virtual void setOnSpeechComeback(std::function<void()> handler) { (void)handler; }

  // --- Models and servers (setup flow) ---
  virtual std::vector<ModelStore::Item> missingModels() = 0;
  // The missing items are an upgrade of models that already work.
  virtual bool isUpgrade(const std::vector<ModelStore::Item>& items) = 0;
  virtual bool download(const std::vector<ModelStore::Item>& items, const ModelStore::ByteCallback& bytes,
                        const ModelStore::MessageCallback& progress) = 0;
  virtual void startServers() = 0;
  virtual void warmUp() = 0;
  // Restarts the language model on the files now present; whether it answered.
  virtual bool restartLanguageModel() = 0;
  // Restarts the speech server on the chosen speech model (the "speechModel"
  // setting); whether it answered.
  virtual bool restartSpeechModel() = 0;
  // Whether the item's file is in the models folder.
  virtual bool isPresent(const ModelStore::Item& item) = 0;
  virtual void deleteModels(const std::vector<ModelStore::Item>& items) = 0;
  virtual bool usesAdapters() = 0;
  // After an upgrade: the files the new models replaced go.
  virtual void tidyAfterUpgrade(bool ready) = 0;
  virtual void killStale() = 0;
  virtual void stopAll() = 0;
  // Starts again a model server that exited on its own (a crash, the system
  // ending it for memory), spaced so one that keeps failing is not hammered;
  // whether one was started. Runs in a background task.
  virtual bool restartExitedServers() = 0;
  // "Can't reach the speech server at HOST: REASON" while a server on another
  // machine fails; nothing while all answer or both are local.
  virtual std::optional<std::string> remoteProblem() { return std::nullopt; }
};

}  // namespace quorvel
