// Stopping a stand-in: a flag raised by SIGTERM/SIGINT, and waits that end
// early once it is raised, so no handler keeps the process from exiting.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

namespace quorvel::standin {

// Thread-safe; any thread may raise, test or wait on it.
class StopFlag {
 public:
  StopFlag() = default;
  StopFlag(const StopFlag&) = delete;
  StopFlag& operator=(const StopFlag&) = delete;

  void raise();
  bool raised() const;

  // Sleeps for `duration` or until raised. True when the whole duration passed.
  bool sleepFor(std::chrono::milliseconds duration) const;

  // Blocks until raised or until `token` asks to stop. True when raised.
  bool waitRaised(std::stop_token token) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any changed_;
  bool raised_ = false;  // guarded by mutex_
};

// Turns SIGTERM and SIGINT into a raised StopFlag, on a thread of its own
// (no work happens in a signal handler). Also ignores SIGPIPE, so a client
// that goes away mid-answer is an ordinary write error.
// REQUIRES: created on the main thread before any other thread starts, so
// every later thread inherits the blocked signal mask.
class SignalWatcher {
 public:
  explicit SignalWatcher(StopFlag& flag);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  std::jthread thread_;
};

}  // namespace quorvel::standin
