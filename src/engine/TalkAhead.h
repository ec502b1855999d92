// Uses the time while the user is still talking: cleans the finished sentences
// of the growing transcript in groups of about 60 words, and warms the language
// model with the prompt for the whole transcript so far. At key release the
// owner stops it and hands its Head to Pipeline::finish. Each piece is held to
// the rules of the model the pipeline runs, trained or standard.
//
// Ownership: one per recording, made with create(); it keeps the pipeline
// alive, and the pipeline's Servers must outlive it. Destroying it stops it
// and waits (bounded) for its worker to end.
//
// Threading: update() and stop() may be called from any thread. There is at
// most one worker thread and one piece request at a time; every field of the
// shared state is read and written under its mutex, which is never held
// across a request or a wait. The context reader is called on the worker
// thread (a shell that needs its own thread hops there inside the reader).
#pragma once

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/DictationResult.h"
#include "engine/Pipeline.h"
#include "support/Tasks.h"
#include "text/CleanupConfig.h"
#include "text/CursorContext.h"

namespace quorvel {

class TalkAhead {
 public:
  using Head = TalkAheadHead;
  using ContextReader = std::function<std::optional<CursorContext>()>;

  // Target piece length in words.
  static constexpr int target = 60;
  // QUORVEL_TALK_AHEAD when set (anything but "0" is on), else the "talkAhead"
  // default when it holds a Bool, else on.
  static bool enabled();

  // cfg is fixed now: the pipeline's configOverride, else the user's file.
  static std::shared_ptr<TalkAhead> create(std::shared_ptr<Pipeline> pipeline,
                                           ContextReader readContext = {});
  TalkAhead(std::shared_ptr<Pipeline> pipeline, ContextReader readContext);
  ~TalkAhead();
  TalkAhead(const TalkAhead&) = delete;
  TalkAhead& operator=(const TalkAhead&) = delete;

  // The whole transcript so far. Ignored after stop(); while a worker runs
  // only the newest transcript is kept for it.
  void update(const std::string& transcript);
  // Stops for good: later updates are ignored, a piece request in flight is
  // cancelled and never reaches the head. Returns the head as it is now.
  Head stop();

  // A copy of the head as it is now.
  Head head() const;

  // What the head does not cover yet in the newest transcript given: groups
  // of finished sentences long enough to be cleaned ahead but not cleaned yet
  // (the worker's backlog), and the words after the head's source (what the
  // final cleanup still has to clean). After stop(), what was left at release.
  struct Backlog {
    std::int64_t pieces = 0;
    std::int64_t words = 0;
  };
  Backlog backlog() const;
  // Waits until no worker runs; whether that happened within the timeout.
  bool waitUntilIdle(std::chrono::milliseconds timeout) const;

 private:
  struct State;
  static void run(const std::shared_ptr<State>& state);
  static void work(const std::shared_ptr<State>& state, const std::string& text);
  static void cleanFinishedPieces(const std::shared_ptr<State>& state, const std::string& text);
  // The groups of finished sentences in text after source (absent when text
  // no longer begins with source).
  static std::optional<std::vector<std::string>> piecesAfter(const std::string& source,
                                                              const std::string& text);
  static std::string respelled(const State& state, const std::string& transcript);

  std::shared_ptr<State> state_;
};

}  // namespace quorvel
