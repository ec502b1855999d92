// The application's main loop as the shell's logic sees it: work posted to the
// main thread, one-shot and repeating timers, and the clock those timers run
// on. The Qt adapter runs it on QTimer and queued calls; tests use a fake whose
// clock they advance, so rules about tenths of seconds run without sleeping.
//
// Threading: post() may be called from any thread. Everything else, and every
// function the loop runs, is main thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace quorvel {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

class MainLoop {
 public:
  using TimerId = std::uint64_t;  // 0 is never a live timer

  virtual ~MainLoop() = default;

  // Runs work on the main thread soon, in the order posted.
  virtual void post(std::function<void()> work) = 0;
  // Runs work once after delay (main thread).
  virtual TimerId after(Seconds delay, std::function<void()> work) = 0;
  // Runs work every interval until cancelled (main thread).
  virtual TimerId every(Seconds interval, std::function<void()> work) = 0;
  // Stops a timer; cancelling one that already ran or was cancelled is harmless.
  virtual void cancel(TimerId timer) = 0;
  // The loop's monotonic clock; timers are measured on it.
  virtual Clock::time_point now() const = 0;
};

}  // namespace quorvel
