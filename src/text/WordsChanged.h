// The "QuorvelWordsChanged" notice: sent after the personal words were saved,
// for windows that show them. A process-local list of observers; the desktop
// shell forwards the notice to its own thread.
//
// Thread safety: everything may be called from any thread. Observers run on
// the thread that posts (the saving thread), one after another, without any
// lock of this list held, so an observer may post or stop observing. Once
// stopObserving returns, that observer is not running and will not run again
// (unless stopObserving was called from inside the observer itself).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace quorvel::WordsChanged {

inline constexpr std::string_view name = "QuorvelWordsChanged";

using Token = std::uint64_t;

// Registers an observer; the token stops it. An empty function is ignored (token 0).
Token observe(std::function<void()> observer);
void stopObserving(Token token);

// Runs every registered observer once, in registration order.
void post();

// Stops observing when destroyed.
class Observation {
 public:
  explicit Observation(std::function<void()> observer) : token_(observe(std::move(observer))) {}
  ~Observation() { stopObserving(token_); }
  Observation(const Observation&) = delete;
  Observation& operator=(const Observation&) = delete;

 private:
  Token token_;
};

}  // namespace quorvel::WordsChanged
