// The dictation engine object: turns a raw transcript into the finished text
// through the user's names, one request to the language model, the guards,
// the restorers, pieces for a long refused text, and the final touches. A long
// text on a slowly writing model skips the whole-text request and is finished
// from the pieces cleaned while the user talked. The user always gets text,
// whatever the model or the server does.
//
// Ownership: create with Pipeline::create; the Servers object must outlive the
// pipeline. Threading: the owner sets the plain fields between dictations;
// finish, cleanPiece, warmCleanup and complete may run on several threads at
// once (they change no field; lastModelUse and idleAtPress are guarded).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/ChatCompletion.h"
#include "engine/DictationResult.h"
#include "engine/Servers.h"
#include "engine/WritingSpeed.h"
#include "text/CleanupConfig.h"
#include "text/CursorContext.h"

namespace quorvel {

// Characters of context around the cursor that callers read for the prompt.
inline constexpr std::int64_t cleanupContextBefore = 300;
inline constexpr std::int64_t cleanupContextAfter = 100;

// The cleanup configuration files the engine uses: the user's file in the data
// folder and the default shipped among the resources.
CleanupFiles engineCleanupFiles();

// A value given explicitly (possibly "none"), or absent to use the pipeline's own.
using ContextOverride = std::optional<std::optional<std::string>>;

class Pipeline : public std::enable_shared_from_this<Pipeline> {
 public:
  static std::shared_ptr<Pipeline> create(Servers& servers) {
    return std::make_shared<Pipeline>(servers);
  }
  explicit Pipeline(Servers& servers);
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // A text of more than this many words may be cleaned in pieces.
  static constexpr int longWords = 90;

  // --- Set by the owner between dictations ---
  bool cleanupEnabled = true;
  bool trained = false;  // the trained cleanup model is loaded
  std::function<void(const std::string&)> onPartial;  // growing cleaned text while streaming
  std::optional<CursorContext> context;               // read at key release
  std::optional<std::string> testBefore, testAfter, testField;  // bank runs
  std::optional<CleanupConfig> configOverride;  // used instead of the user's file
  std::chrono::milliseconds requestTimeout{60000};

  Servers& servers() { return servers_; }

  // --- The dictation ---
  // Never fails: a failing server or request gives a simpler text, and the
  // result's path says which way the text was made.
  DictationResult finish(const std::string& raw, const std::optional<TalkAheadHead>& ahead);
  // One piece cleaned by the model (streamed); a failed request is passed on.
  Result<std::string> cleanPiece(const std::string& piece, const CleanupConfig& config,
                                 const ContextOverride& before, const ContextOverride& field);
  // The same messages with one token, so the server has the shared prompt ready.
  void warmCleanup(const std::string& text, const CleanupConfig& config,
                   const ContextOverride& before, const ContextOverride& field);
  // The share of the text's content words an answer must keep to be used,
  // for the whole text and for each piece alike: the standard model is held
  // closer to what was said than the trained one.
  double minKept() const { return trained ? 0.5 : 0.65; }
  // Whether a piece goes to the model at all: the trained model cleans every
  // piece, the standard one only pieces that need it (the others stay as heard).
  bool pieceNeedsModel(const std::string& piece) const;
  // Whether long texts may be cleaned in pieces, while talking and after the
  // release: the trained model only with its cleanup layer on the base model,
  // the standard model always.
  bool cleansInPieces() const;
  // The "before" context of the next piece: before, then the pieces so far,
  // cut to the last cleanupContextBefore characters.
  static std::optional<std::string> pieceBefore(const std::optional<std::string>& before,
                                                const std::vector<std::string>& soFar);

  // --- The request ---
  MessageList cleanupMessages(const std::string& text, const CleanupConfig& config,
                              const ContextOverride& before, const ContextOverride& field) const;
  // Sends messages to the language model; lastModelUse is set before and after,
  // also when it fails.
  Result<std::string> complete(const MessageList& messages, const std::string& adapter,
                               std::int64_t maxTokens, double temperature = 0,
                               std::function<void(const std::string&)> partial = {},
                               std::function<void(const EngineTimings&)> timings = {},
                               CancelToken cancel = {});
  // Requests to the language model that got no answer at all (the server
  // refused, dropped or timed out), over the pipeline's life. Their
  // dictations fell back; a run compares the count before and after one.
  std::int64_t unansweredRequests() const { return unanswered_.load(); }
  static std::string promptHeader(const std::vector<std::string>& names,
                                  const std::optional<std::string>& before,
                                  const std::optional<std::string>& after,
                                  const std::optional<std::string>& field);
  static std::string fieldName(const CursorContext& context);

  // --- Keeping the models responsive ---
  // Makes both servers load and run their models once.
  void warmUp();
  // At a key press: wakes the language model when it has been idle over 60 s
  // (unless the "wakeOnKey" default is false). Whether a wake-up was started.
  bool wakeIfIdle();
  // How long the model had been idle at the last press; absent if never used.
  std::optional<double> idleAtPress() const;

  // For tests: pretend the model was last used at this time.
  void setLastModelUseForTesting(std::chrono::steady_clock::time_point when);

 private:
  DictationResult finishOrThrow(const std::string& raw, const std::optional<TalkAheadHead>& ahead);
  DictationResult finishText(const std::string& raw, const std::optional<TalkAheadHead>& ahead,
                             const CleanupConfig& config);
  // The whole-text request that was refused and its answer (empty when it failed).
  struct RefusedAttempt {
    MessageList messages;
    std::string answer;
  };
  DictationResult cleanInPieces(const std::string& text, const CleanupConfig& config,
                                const std::optional<TalkAheadHead>& ahead, DictationResult result,
                                const std::optional<RefusedAttempt>& refused);
  // Whether a long text skips the whole-text request and is cleaned in pieces
  // from the talk-ahead's head: the fast finish is chosen and the head fits.
  bool finishesFromHead(const std::string& text, const std::optional<TalkAheadHead>& ahead) const;
  // The text before the cursor and the field name pieces are cleaned for.
  std::optional<std::string> placeBefore() const;
  std::optional<std::string> placeField() const;
  CleanupConfig loadConfig() const;
  void noteModelUse();
  DictationResult finishOrFallBack(const std::string& raw, const std::optional<TalkAheadHead>& ahead);
  // The stored writing speed with the requests not yet saved added.
  WritingSpeed writingSpeed() const;
  // Adds the requests not yet saved to the stored writing speed, in one write.
  void saveWritingSpeed();

  Servers& servers_;
  std::atomic<std::int64_t> unanswered_{0};
  mutable std::mutex useLock_;
  // Absent until the model is first asked for anything ("the distant past").
  std::optional<std::chrono::steady_clock::time_point> lastModelUse_;  // guarded by useLock_
  std::optional<double> idleAtPress_;                                  // guarded by useLock_
  // The counters of the model requests since the last save: one write per
  // finished dictation instead of one synced write per request on the path
  // after the release. Talk-ahead's requests wait for their dictation's end.
  mutable std::mutex speedLock_;
  std::vector<EngineTimings> unsavedSpeed_;  // guarded by speedLock_
};

}  // namespace quorvel
