// Transcribes the pieces of one recording strictly one after another, each
// with the last words before it as its prompt, and keeps the whole transcript.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "audio/Samples.h"
#include "support/Result.h"

namespace quorvel {

// Text for one piece, or why it could not be had (in words for the user).
// Called on a piece task's thread with the piece (its quiet edges trimmed)
// and the prompt. The chain remembers the first failure, and the pieces after
// a failed one are not sent (they count as heard nothing).
using Transcriber = std::function<Result<std::string>(SampleSpan samples, const std::string& context)>;

// The prompt for the next piece: the last 40 space-separated words of the
// text so far, joined by single spaces.
std::string promptContext(const std::string& textSoFar);

// One per recording, made on the shell's main thread.
//
// Threading: add() and setOnText() are called from one thread at a time;
// result() and count() from any thread. Each piece runs as its own task that
// first waits for the previous piece's task. onText is called on those tasks'
// threads. A piece task keeps what it uses (its samples, the transcriber and
// the callback) alive; the transcriber must not refer to anything that may be
// gone before the task ends. Destroying the last reference to a chain waits
// for its running pieces (a task is a future of std::async), so a shell that
// must not wait hands the chain on in a shared_ptr to whoever awaits it.
class TranscriptChain {
 public:
  TranscriptChain() = default;
  TranscriptChain(const TranscriptChain&) = delete;
  TranscriptChain& operator=(const TranscriptChain&) = delete;

  // Starts the piece's task and returns at once. The callback in place now
  // is the one this piece reports to.
  void add(SharedSamples piece, Transcriber transcribe);
  void add(Samples piece, Transcriber transcribe);

  // The whole transcript once every piece added so far is done; "" when
  // nothing was added. Blocks the calling thread.
  std::string result() const;
  // The task of the last piece added (invalid when none).
  std::shared_future<std::string> tail() const;
  // Number of pieces added.
  int count() const;
  // Why the first piece that failed did so; nothing while none has. Final
  // once tail() is ready.
  std::optional<std::string> failure() const;

  // Called with the whole transcript each time a piece has been transcribed.
  void setOnText(std::function<void(const std::string& text)> onText);

 private:
  mutable std::mutex mutex_;
  std::shared_future<std::string> tail_;                // guarded by mutex_
  int count_ = 0;                                       // guarded by mutex_
  std::function<void(const std::string&)> onText_;      // guarded by mutex_
  // Shared with the piece tasks, which may outlive a call to the chain.
  struct Failure {
    std::mutex mutex;
    std::optional<std::string> reason;  // guarded by mutex
  };
  const std::shared_ptr<Failure> failure_ = std::make_shared<Failure>();
};

}  // namespace quorvel
